#include "Shadow.h"

#include <QImage>
#include <QPaintDevice>
#include <QPainter>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace quandrel {

namespace {

// Widths of three successive box blurs whose combination approximates a Gaussian of standard
// deviation sigma (the variance of a box of width w is (w² − 1) / 12; three boxes of odd
// widths wl or wl + 2 are chosen so that the variances add up to sigma²).
std::array<int, 3> boxRadii(double sigma)
{
    constexpr int n = 3;
    const double ideal = std::sqrt(12 * sigma * sigma / n + 1);
    int lower = int(std::floor(ideal));
    if (lower % 2 == 0)
        --lower;
    const int upper = lower + 2;
    const double idealCount = (12 * sigma * sigma - n * lower * lower - 4 * n * lower - 3 * n) / (-4.0 * lower - 4);
    const int count = int(std::lround(idealCount));
    std::array<int, 3> radii{};
    for (int i = 0; i < n; ++i)
        radii[i] = ((i < count ? lower : upper) - 1) / 2;
    return radii;
}

// One box blur of radius r along a line of `length` values spaced `stride` apart; values
// beyond the ends count as zero (the layers have a transparent margin).
void boxBlurLine(float* line, int length, int stride, int r, std::vector<float>& scratch)
{
    scratch.resize(size_t(length));
    for (int i = 0; i < length; ++i)
        scratch[size_t(i)] = line[i * stride];
    const float scale = 1.0f / float(2 * r + 1);
    float sum = 0;
    for (int i = 0; i <= std::min(r, length - 1); ++i)
        sum += scratch[size_t(i)];
    for (int i = 0; i < length; ++i) {
        line[i * stride] = sum * scale;
        if (i + r + 1 < length)
            sum += scratch[size_t(i + r + 1)];
        if (i - r >= 0)
            sum -= scratch[size_t(i - r)];
    }
}

void blurPlane(std::vector<float>& plane, int width, int height, double sigma)
{
    if (sigma <= 0 || width == 0 || height == 0)
        return;
    std::vector<float> scratch;
    for (const int r : boxRadii(sigma)) {
        if (r <= 0)
            continue;
        for (int y = 0; y < height; ++y)
            boxBlurLine(plane.data() + size_t(y) * size_t(width), width, 1, r, scratch);
        for (int x = 0; x < width; ++x)
            boxBlurLine(plane.data() + x, height, width, r, scratch);
    }
}

} // namespace

void blurAlpha(QImage& alpha8, double sigma)
{
    Q_ASSERT(alpha8.format() == QImage::Format_Alpha8);
    const int width = alpha8.width();
    const int height = alpha8.height();
    std::vector<float> plane(size_t(width) * size_t(height));
    for (int y = 0; y < height; ++y) {
        const uchar* row = alpha8.constScanLine(y);
        for (int x = 0; x < width; ++x)
            plane[size_t(y) * size_t(width) + size_t(x)] = row[x];
    }
    blurPlane(plane, width, height, sigma);
    for (int y = 0; y < height; ++y) {
        uchar* row = alpha8.scanLine(y);
        for (int x = 0; x < width; ++x)
            row[x] = uchar(std::clamp(std::lround(plane[size_t(y) * size_t(width) + size_t(x)]), 0L, 255L));
    }
}

void paintShadow(QPainter& painter, const Shadow& shadow, const QRectF& shapeBounds,
                 const std::function<void(QPainter&)>& drawShape)
{
    if (shadow.color.alpha() == 0 || !painter.device())
        return;
    const QPaintDevice* device = painter.device();
    const double dpr = device->devicePixelRatioF();
    const double sigma = std::max(shadow.blur, 0.0) / 2 * dpr;
    const int margin = int(std::ceil(3 * sigma)) + 4;
    const QPointF offset(shadow.offset.x() * dpr, -shadow.offset.y() * dpr); // device pixels, y down

    // The layer covers the shape in device pixels plus the blur's reach, limited to what can
    // land on the device after the offset.
    const QTransform toPixels = painter.transform() * QTransform::fromScale(dpr, dpr);
    QRect layerRect = toPixels.mapRect(shapeBounds).toAlignedRect().adjusted(-margin, -margin, margin, margin);
    const QRect reachable = QRect(0, 0, int(std::ceil(device->width() * dpr)), int(std::ceil(device->height() * dpr)))
                                .translated(-offset.toPoint())
                                .adjusted(-margin - 1, -margin - 1, margin + 1, margin + 1);
    layerRect &= reachable;
    if (layerRect.isEmpty())
        return;

    QImage layer(layerRect.size(), QImage::Format_ARGB32_Premultiplied);
    if (layer.isNull())
        return;
    layer.fill(Qt::transparent);
    {
        QPainter layerPainter(&layer);
        layerPainter.setRenderHints(painter.renderHints());
        layerPainter.setTransform(toPixels * QTransform::fromTranslate(-layerRect.x(), -layerRect.y()));
        drawShape(layerPainter);
    }

    QImage mask = layer.convertToFormat(QImage::Format_Alpha8);
    blurAlpha(mask, sigma);

    const QRgb tint = shadow.color.rgba();
    const int tintAlpha = qAlpha(tint);
    QImage shadowImage(layerRect.size(), QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < mask.height(); ++y) {
        const uchar* in = mask.constScanLine(y);
        auto* out = reinterpret_cast<QRgb*>(shadowImage.scanLine(y));
        for (int x = 0; x < mask.width(); ++x)
            out[x] = qPremultiply(qRgba(qRed(tint), qGreen(tint), qBlue(tint), (in[x] * tintAlpha + 127) / 255));
    }

    painter.save();
    painter.resetTransform();
    const QRectF target((QPointF(layerRect.topLeft()) + offset) / dpr, QSizeF(layerRect.size()) / dpr);
    painter.drawImage(target, shadowImage);
    painter.restore();
}

} // namespace quandrel
