#pragma once

// A PNG encoder for screenshots: 8-bit RGB with a physical resolution, compressed in
// horizontal bands on several threads at once. The bands form one zlib stream (each band but
// the last ends on a byte boundary without closing it, and the checksums are combined), so
// any PNG reader sees an ordinary file. Opaque images are written as RGB whatever their
// format; only an image with a pixel that is not fully opaque is written as RGBA.

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

// The PNG of an image: RGB when every pixel is opaque, RGBA (not premultiplied) otherwise.
// None for a null image or when compression fails.
std::optional<QByteArray> encodePng(const QImage& image, const PngOptions& options = {});

} // namespace quandrel
