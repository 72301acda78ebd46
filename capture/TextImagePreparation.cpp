#include "TextImagePreparation.h"

#include <QPainter>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace quandrel {

namespace {

// How far a colour must be from the background to count as a mark rather than noise or the
// faint edge of one (on 0…255, 255 being black against white).
constexpr int markThreshold = 32;

// Columns are measured apart in strips of this width, so that lines beside each other at
// different heights do not merge into one tall line.
constexpr int stripWidth = 48;

QImage opaqueRgb(const QImage& image)
{
    if (!image.hasAlphaChannel())
        return image.convertToFormat(QImage::Format_RGB32);
    QImage result(image.size(), QImage::Format_RGB32);
    result.fill(Qt::white);
    QPainter painter(&result);
    painter.drawImage(0, 0, image);
    return result;
}

QRgb backgroundColour(const QImage& rgb)
{
    // The most common colour, four bits a channel, from at most about two million samples;
    // then the mean of the samples in that bin.
    const qint64 pixels = qint64(rgb.width()) * rgb.height();
    const int step = std::max(1, int(std::sqrt(double(pixels) / 2e6)));
    std::vector<int> counts(4096);
    for (int y = 0; y < rgb.height(); y += step) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); x += step) {
            const QRgb c = line[x];
            ++counts[((qRed(c) >> 4) << 8) | ((qGreen(c) >> 4) << 4) | (qBlue(c) >> 4)];
        }
    }
    const int mode = int(std::max_element(counts.begin(), counts.end()) - counts.begin());
    qint64 r = 0, g = 0, b = 0, n = 0;
    for (int y = 0; y < rgb.height(); y += step) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); x += step) {
            const QRgb c = line[x];
            if ((((qRed(c) >> 4) << 8) | ((qGreen(c) >> 4) << 4) | (qBlue(c) >> 4)) == mode) {
                r += qRed(c);
                g += qGreen(c);
                b += qBlue(c);
                ++n;
            }
        }
    }
    return qRgb(int(r / n), int(g / n), int(b / n));
}

// Distance from the background per pixel, 0…255: the root mean square of the channel
// differences.
QImage distanceFrom(const QImage& rgb, QRgb background)
{
    static const std::vector<uchar> root = [] {
        std::vector<uchar> table(255 * 255 + 1);
        for (std::size_t i = 0; i < table.size(); ++i)
            table[i] = uchar(std::lround(std::sqrt(double(i))));
        return table;
    }();
    const int br = qRed(background), bg = qGreen(background), bb = qBlue(background);
    QImage result(rgb.size(), QImage::Format_Grayscale8);
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        uchar* out = result.scanLine(y);
        for (int x = 0; x < rgb.width(); ++x) {
            const int dr = qRed(in[x]) - br, dg = qGreen(in[x]) - bg, db = qBlue(in[x]) - bb;
            out[x] = root[(dr * dr + dg * dg + db * db) / 3];
        }
    }
    return result;
}

// The median height of the runs of rows with marks, strip by strip; 0 when there are none.
double medianLineHeight(const QImage& distance, const QRect& area)
{
    std::vector<int> runs;
    std::vector<char> marked(std::size_t(area.height()));
    for (int left = area.left(); left <= area.right(); left += stripWidth) {
        const int right = std::min(area.right(), left + stripWidth - 1);
        for (int y = area.top(); y <= area.bottom(); ++y) {
            const uchar* line = distance.constScanLine(y);
            marked[std::size_t(y - area.top())] = std::any_of(line + left, line + right + 1, [](uchar d) { return d >= markThreshold; });
        }
        int run = 0;
        for (std::size_t i = 0; i <= marked.size(); ++i) {
            if (i < marked.size() && marked[i]) {
                ++run;
            } else {
                if (run >= 3)
                    runs.push_back(run);
                run = 0;
            }
        }
    }
    if (runs.empty())
        return 0;
    std::nth_element(runs.begin(), runs.begin() + std::ptrdiff_t(runs.size() / 2), runs.end());
    return runs[runs.size() / 2];
}

} // namespace

PreparedTextImage prepareForTextRecognition(const QImage& image, const TextImageLimits& limits)
{
    PreparedTextImage result;
    if (image.isNull() || image.width() < 1 || image.height() < 1)
        return result;

    const QImage rgb = opaqueRgb(image);
    QImage distance = distanceFrom(rgb, backgroundColour(rgb));

    // Where the marks are, and how strong a typical one is.
    std::array<qint64, 256> histogram{};
    int left = distance.width(), top = distance.height(), right = -1, bottom = -1;
    for (int y = 0; y < distance.height(); ++y) {
        const uchar* line = distance.constScanLine(y);
        bool any = false;
        for (int x = 0; x < distance.width(); ++x) {
            ++histogram[line[x]];
            if (line[x] >= markThreshold) {
                left = std::min(left, x);
                right = std::max(right, x);
                any = true;
            }
        }
        if (any) {
            top = std::min(top, y);
            bottom = y;
        }
    }
    if (right < 0)
        return result;

    // Full strength is where the strongest tenth of the marks begins: thin strokes of small
    // text seldom reach the full contrast of their colour.
    qint64 marks = 0;
    for (int d = markThreshold; d < 256; ++d)
        marks += histogram[std::size_t(d)];
    int strength = 255;
    for (qint64 seen = 0; strength > markThreshold; --strength) {
        seen += histogram[std::size_t(strength)];
        if (seen * 10 >= marks)
            break;
    }

    const QRect area(QPoint(left, top), QPoint(right, bottom));
    result.lineHeight = medianLineHeight(distance, area);

    // The marks with a margin of half a line around them.
    const int margin = std::max(8, int(result.lineHeight / 2));
    const QRect crop = area.adjusted(-margin, -margin, margin, margin).intersected(distance.rect());
    double scale = result.lineHeight > 0 ? std::clamp(limits.targetLineHeight / result.lineHeight, 1.0, limits.maxScale) : 1.0;
    const double framedPixels = double(crop.width() + 2 * margin) * double(crop.height() + 2 * margin);
    scale = std::max(1.0, std::min(scale, std::sqrt(double(limits.maxPixels) / framedPixels)));

    // Dark on white: 255 at the background, 0 from full strength on.
    std::array<uchar, 256> tone{};
    for (int d = 0; d < 256; ++d)
        tone[std::size_t(d)] = uchar(255 - std::min(255, d * 255 / std::max(1, strength)));
    QImage grey = distance.copy(crop);
    for (int y = 0; y < grey.height(); ++y) {
        uchar* line = grey.scanLine(y);
        for (int x = 0; x < grey.width(); ++x)
            line[x] = tone[line[x]];
    }
    distance = QImage();

    const QSize scaled(std::max(1, int(std::lround(crop.width() * scale))), std::max(1, int(std::lround(crop.height() * scale))));
    if (scaled != grey.size())
        grey = grey.scaled(scaled, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).convertToFormat(QImage::Format_Grayscale8);

    // The whole crop is framed in white, so that marks cut off at the image's edge do not
    // touch the edge of what the engine sees.
    const int frame = int(std::lround(margin * scale));
    result.image = QImage(grey.width() + 2 * frame, grey.height() + 2 * frame, QImage::Format_Grayscale8);
    result.image.fill(255);
    for (int y = 0; y < grey.height(); ++y)
        std::copy_n(grey.constScanLine(y), grey.width(), result.image.scanLine(y + frame) + frame);
    result.scale = scale;
    result.toSource = QTransform::fromTranslate(-frame, -frame) * QTransform::fromScale(double(crop.width()) / grey.width(), double(crop.height()) / grey.height())
        * QTransform::fromTranslate(crop.left(), crop.top());
    return result;
}

} // namespace quandrel
