#include "PngEncoder.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace quandrel {

namespace {

void appendBigEndian(QByteArray& out, std::uint32_t v)
{
    const char bytes[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    out.append(bytes, 4);
}

void appendChunk(QByteArray& out, const char type[4], const char* data, std::size_t length)
{
    appendBigEndian(out, std::uint32_t(length));
    const qsizetype start = out.size();
    out.append(type, 4);
    out.append(data, qsizetype(length));
    const auto* typed = reinterpret_cast<const Bytef*>(out.constData() + start);
    appendBigEndian(out, std::uint32_t(crc32(0, typed, uInt(length + 4))));
}

// The pixels of row y as RGB bytes, or RGBA bytes when `channels` is 4 (the image is then
// ARGB32, not premultiplied). Answers whether every pixel of the row is opaque.
bool pixelRow(const QImage& image, int y, int channels, std::uint8_t* out)
{
    const auto* in = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    const int w = image.width();
    if (channels == 4) {
        for (int x = 0; x < w; ++x) {
            const QRgb p = in[x];
            out[4 * x] = std::uint8_t(qRed(p));
            out[4 * x + 1] = std::uint8_t(qGreen(p));
            out[4 * x + 2] = std::uint8_t(qBlue(p));
            out[4 * x + 3] = std::uint8_t(qAlpha(p));
        }
        return true;
    }
    std::uint32_t alpha = 0xff;
    for (int x = 0; x < w; ++x) {
        const QRgb p = in[x];
        alpha &= p >> 24;
        out[3 * x] = std::uint8_t(qRed(p));
        out[3 * x + 1] = std::uint8_t(qGreen(p));
        out[3 * x + 2] = std::uint8_t(qBlue(p));
    }
    return alpha == 0xff;
}

void filterRow(PngOptions::Filter filter, const std::uint8_t* row, const std::uint8_t* above, std::size_t length, std::size_t bpp,
               std::uint8_t* out)
{
    out[0] = std::uint8_t(filter);
    std::uint8_t* d = out + 1;
    switch (filter) {
    case PngOptions::Filter::sub:
        for (std::size_t i = 0; i < length; ++i)
            d[i] = std::uint8_t(row[i] - (i >= bpp ? row[i - bpp] : 0));
        break;
    case PngOptions::Filter::up:
        for (std::size_t i = 0; i < length; ++i)
            d[i] = std::uint8_t(row[i] - above[i]);
        break;
    case PngOptions::Filter::average:
        for (std::size_t i = 0; i < length; ++i)
            d[i] = std::uint8_t(row[i] - ((i >= bpp ? row[i - bpp] : 0) + above[i]) / 2);
        break;
    case PngOptions::Filter::paeth:
        for (std::size_t i = 0; i < length; ++i) {
            const int a = i >= bpp ? row[i - bpp] : 0, b = above[i], c = i >= bpp ? above[i - bpp] : 0;
            const int p = a + b - c;
            const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
            const int predictor = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
            d[i] = std::uint8_t(row[i] - predictor);
        }
        break;
    }
}

// One band of rows, deflated raw; the last band closes the stream.
struct Band {
    int firstRow = 0, endRow = 0;
    bool last = false;
    std::vector<std::uint8_t> deflated;
    uLong adler = 1;
    std::size_t filteredLength = 0;
    bool ok = false;
};

// Compresses a band of RGB (`channels` 3) or RGBA rows. An RGB band gives up, and tells the
// others through `translucent`, at the first row with a pixel that is not opaque.
void compressBand(const QImage& image, const PngOptions& options, int channels, std::atomic<bool>& translucent, Band& band)
{
    const std::size_t length = std::size_t(image.width()) * std::size_t(channels);
    std::vector<std::uint8_t> above(length, 0), row(length), filtered(length + 1);
    if (band.firstRow > 0)
        pixelRow(image, band.firstRow - 1, channels, above.data());

    z_stream z{};
    if (deflateInit2(&z, options.level, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        return;
    band.deflated.resize(deflateBound(&z, uLong((length + 1) * std::size_t(band.endRow - band.firstRow))) + 64);
    z.next_out = band.deflated.data();
    z.avail_out = uInt(band.deflated.size());
    bool ok = true;
    for (int y = band.firstRow; y < band.endRow && ok; ++y) {
        if (!pixelRow(image, y, channels, row.data()))
            translucent = true;
        if (translucent) {
            ok = false;
            break;
        }
        filterRow(options.filter, row.data(), above.data(), length, std::size_t(channels), filtered.data());
        band.adler = adler32(band.adler, filtered.data(), uInt(filtered.size()));
        band.filteredLength += filtered.size();
        z.next_in = filtered.data();
        z.avail_in = uInt(filtered.size());
        const bool lastRow = y + 1 == band.endRow;
        const int flush = !lastRow ? Z_NO_FLUSH : band.last ? Z_FINISH : Z_SYNC_FLUSH;
        const int result = deflate(&z, flush);
        ok = (result == Z_OK || result == Z_STREAM_END || result == Z_BUF_ERROR) && z.avail_in == 0;
        std::swap(row, above);
    }
    band.deflated.resize(band.deflated.size() - z.avail_out);
    deflateEnd(&z);
    band.ok = ok;
}

enum class Outcome { written, translucent, failed };

Outcome encodeBands(const QImage& image, const PngOptions& options, int channels, QByteArray& out)
{
    const int height = image.height();
    int threads = options.threads > 0 ? options.threads : int(std::min(4u, std::max(1u, std::thread::hardware_concurrency())));
    // Small images are not worth a thread.
    threads = std::clamp(std::min(threads, int(std::size_t(image.width()) * std::size_t(height) / 500000) + 1), 1, height);

    std::vector<Band> bands(static_cast<std::size_t>(threads));
    for (int i = 0; i < threads; ++i) {
        bands[i].firstRow = height * i / threads;
        bands[i].endRow = height * (i + 1) / threads;
        bands[i].last = i + 1 == threads;
    }
    std::atomic<bool> translucent = false;
    std::vector<std::thread> workers;
    for (std::size_t i = 1; i < bands.size(); ++i)
        workers.emplace_back(compressBand, std::cref(image), std::cref(options), channels, std::ref(translucent), std::ref(bands[i]));
    compressBand(image, options, channels, translucent, bands[0]);
    for (auto& w : workers)
        w.join();
    if (translucent)
        return Outcome::translucent;
    if (!std::all_of(bands.begin(), bands.end(), [](const Band& b) { return b.ok; }))
        return Outcome::failed;

    std::size_t total = 0;
    for (const Band& b : bands)
        total += b.deflated.size();
    out.clear();
    out.reserve(qsizetype(total + 128));
    out.append("\x89PNG\r\n\x1a\n", 8);

    char header[13];
    const std::uint32_t w = std::uint32_t(image.width()), h = std::uint32_t(height);
    const std::uint8_t colourType = channels == 4 ? 6 : 2; // RGB with alpha, or RGB
    const std::uint8_t fields[13] = {std::uint8_t(w >> 24), std::uint8_t(w >> 16), std::uint8_t(w >> 8), std::uint8_t(w),
                                     std::uint8_t(h >> 24), std::uint8_t(h >> 16), std::uint8_t(h >> 8), std::uint8_t(h),
                                     8, colourType, 0, 0, 0}; // 8 bits, deflate, adaptive filtering, no interlace
    std::memcpy(header, fields, sizeof header);
    appendChunk(out, "IHDR", header, sizeof header);
    if (options.dotsPerMeter > 0) {
        const std::uint32_t d = std::uint32_t(options.dotsPerMeter);
        const char phys[9] = {char(d >> 24), char(d >> 16), char(d >> 8), char(d), char(d >> 24), char(d >> 16), char(d >> 8), char(d), 1};
        appendChunk(out, "pHYs", phys, sizeof phys);
    }

    // One zlib stream across the bands: a header, the raw bands in order, the combined checksum.
    uLong adler = bands[0].adler;
    for (std::size_t i = 1; i < bands.size(); ++i)
        adler = adler32_combine(adler, bands[i].adler, z_off_t(bands[i].filteredLength));
    for (std::size_t i = 0; i < bands.size(); ++i) {
        std::vector<std::uint8_t> data;
        if (i == 0) {
            data = {0x78, 0x01};
        }
        data.insert(data.end(), bands[i].deflated.begin(), bands[i].deflated.end());
        if (i + 1 == bands.size()) {
            for (int shift : {24, 16, 8, 0})
                data.push_back(std::uint8_t(adler >> shift));
        }
        appendChunk(out, "IDAT", reinterpret_cast<const char*>(data.data()), data.size());
    }
    appendChunk(out, "IEND", nullptr, 0);
    return Outcome::written;
}

} // namespace

std::optional<QByteArray> encodePng(const QImage& source, const PngOptions& options)
{
    if (source.isNull())
        return std::nullopt;
    QImage image = source;
    const QImage::Format format = image.format();
    const bool maybeTranslucent = image.hasAlphaChannel();
    if (!maybeTranslucent && format != QImage::Format_RGB32)
        image = image.convertToFormat(QImage::Format_RGB32);
    else if (maybeTranslucent && format != QImage::Format_ARGB32 && format != QImage::Format_ARGB32_Premultiplied)
        image = image.convertToFormat(QImage::Format_ARGB32);
    if (image.isNull())
        return std::nullopt;

    // An image with an alpha channel is written as RGB while every pixel turns out opaque;
    // at its first translucent pixel it starts again as RGBA.
    QByteArray out;
    const Outcome rgb = encodeBands(image, options, 3, out);
    if (rgb == Outcome::written)
        return out;
    if (rgb == Outcome::failed)
        return std::nullopt;
    if (image.format() != QImage::Format_ARGB32)
        image = image.convertToFormat(QImage::Format_ARGB32);
    if (image.isNull() || encodeBands(image, options, 4, out) != Outcome::written)
        return std::nullopt;
    return out;
}

} // namespace quandrel
