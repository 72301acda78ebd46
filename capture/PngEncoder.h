#pragma once

// A PNG encoder for screenshots: opaque 8-bit RGB with a physical resolution, compressed in
// horizontal bands on several threads at once. The bands form one zlib stream (each band but
// the last ends on a byte boundary without closing it, and the checksums are combined), so
// any PNG reader sees an ordinary file. Images with transparency are left to Qt's writer.

#include <QByteArray>
#include <QImage>

#include <optional>

namespace quandrel {

struct PngOptions {
    int dotsPerMeter = 0;  // none: no pHYs chunk
    int level = 3;         // zlib compression level
    int threads = 0;       // 0: as many as the machine has, up to 4
    enum class Filter { sub = 1, up = 2, average = 3, paeth = 4 } filter = Filter::paeth;
};

// The PNG of an opaque image (RGB32, or ARGB32 without transparency); none for other formats
// or when compression fails.
std::optional<QByteArray> encodeOpaquePng(const QImage& image, const PngOptions& options = {});

} // namespace quandrel
