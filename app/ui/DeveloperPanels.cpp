#include "DeveloperPanels.h"

#include <QFileInfo>
#include <QImageReader>

#include <cmath>

namespace quandrel {

namespace {

const QString thumbnailOption = QStringLiteral("--show-thumbnail");
const QString pinOption = QStringLiteral("--pin");

// The scale a PNG of Quandrel's records as its resolution: 72 DPI per unit of scale, in
// halves. Anything else (96 DPI is what an image without a resolution reads as) is 1.
double scaleOf(const QImage& image)
{
    const double halves = image.dotsPerMeterX() * 0.0254 / 72 * 2;
    const double rounded = std::round(halves);
    if (!std::isfinite(halves) || std::abs(halves - rounded) > 0.02 || rounded < 2 || rounded > 8)
        return 1;
    return rounded / 2;
}

std::optional<CapturedImage> load(const QString& path)
{
    QImageReader reader(path);
    reader.setAllocationLimit(2048); // megabytes: 16K screenshots are fine
    QImage image = reader.read();
    if (image.isNull())
        return std::nullopt;
    return CapturedImage{image, scaleOf(image)};
}

} // namespace

QStringList DeveloperPanels::messages(const QStringList& thumbnails, const QStringList& pins)
{
    QStringList result;
    for (const QString& file : thumbnails)
        result << thumbnailOption + QLatin1Char('=') + QFileInfo(file).absoluteFilePath();
    for (const QString& file : pins)
        result << pinOption + QLatin1Char('=') + QFileInfo(file).absoluteFilePath();
    return result;
}

DeveloperPanels::DeveloperPanels(Show showThumbnail, Show pin, Toast toast)
    : m_showThumbnail(std::move(showThumbnail))
    , m_pin(std::move(pin))
    , m_toast(std::move(toast))
{
}

bool DeveloperPanels::handle(const QString& message)
{
    const bool thumbnail = message.startsWith(thumbnailOption + QLatin1Char('='));
    if (!thumbnail && !message.startsWith(pinOption + QLatin1Char('=')))
        return false;
    const QString path = message.mid(message.indexOf(QLatin1Char('=')) + 1);
    const auto image = QFileInfo(path).isAbsolute() ? load(path) : std::nullopt;
    if (!image) {
        m_toast(QStringLiteral("Couldn't open ") + QFileInfo(path).fileName(), QStringLiteral("exclamationmark.triangle.fill"));
        return true;
    }
    (thumbnail ? m_showThumbnail : m_pin)(*image);
    return true;
}

} // namespace quandrel
