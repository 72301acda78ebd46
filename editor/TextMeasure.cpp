#include "TextMeasure.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QImage>
#include <QPaintDevice>

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace quandrel {

namespace {

constexpr double referenceDpi = 72;

QFont systemFont(double pointSize, FontWeight weight)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setStyleHint(QFont::SansSerif);
    font.setWeight(weight == FontWeight::bold ? QFont::Bold : QFont::DemiBold);
    font.setPointSizeF(pointSize);
    // Hinting snaps outlines and advances to the pixel grid of one size; without it text
    // scales linearly, so measurements at 72 DPI hold for drawing on any device.
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

// QImage reports its logical DPI as round(dots per metre × 0.0254); 2835 dots per metre is
// exactly 72 DPI.
const QImage& referenceDevice()
{
    static const QImage device = [] {
        QImage image(1, 1, QImage::Format_ARGB32_Premultiplied);
        image.setDotsPerMeterX(2835);
        image.setDotsPerMeterY(2835);
        return image;
    }();
    return device;
}

} // namespace

QFont fontForDevice(double pixelSize, FontWeight weight, const QPaintDevice* device)
{
    Q_ASSERT(pixelSize > 0);
    const double dpi = device ? device->logicalDpiY() : referenceDpi;
    return systemFont(pixelSize * referenceDpi / (dpi > 0 ? dpi : referenceDpi), weight);
}

TextMetrics textMetrics(const QString& text, double pixelSize, FontWeight weight)
{
    const QImage& device = referenceDevice();
    const QFontMetricsF metrics(fontForDevice(pixelSize, weight, &device), &device);
    const QStringList lines = text.split(QLatin1Char('\n'));
    double width = 0;
    for (const QString& line : lines)
        width = std::max(width, metrics.horizontalAdvance(line));
    const double spacing = metrics.lineSpacing();
    return {width, metrics.ascent() + metrics.descent() + spacing * double(lines.size() - 1), metrics.descent(),
            metrics.ascent(), spacing};
}

QSizeF measureText(const QString& text, double pixelSize, FontWeight weight)
{
    const TextMetrics m = textMetrics(text, pixelSize, weight);
    return {std::ceil(m.width), std::ceil(m.height)};
}

} // namespace quandrel
