#include "DeveloperPanels.h"

#include "ImageExport.h"
#include "PinWindow.h"
#include "Toast.h"

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

DeveloperPanels::DeveloperPanels(PanelScreens screens, Bookmark bookmark, std::function<void()> beep)
    : m_screens(std::move(screens))
    , m_bookmark(std::move(bookmark))
    , m_beep(std::move(beep))
    , m_thumbnail(m_screens)
{
}

DeveloperPanels::~DeveloperPanels()
{
    for (PinWindow* pin : m_pins)
        delete pin;
}

bool DeveloperPanels::handle(const QString& message)
{
    const bool thumbnail = message.startsWith(thumbnailOption + QLatin1Char('='));
    if (!thumbnail && !message.startsWith(pinOption + QLatin1Char('=')))
        return false;
    const QString path = message.mid(message.indexOf(QLatin1Char('=')) + 1);
    const auto image = QFileInfo(path).isAbsolute() ? load(path) : std::nullopt;
    if (!image) {
        toast(QStringLiteral("Couldn't open ") + QFileInfo(path).fileName(), QStringLiteral("exclamationmark.triangle.fill"));
        return true;
    }
    if (thumbnail)
        showThumbnail(*image);
    else
        pin(*image);
    return true;
}

void DeveloperPanels::toast(const QString& text, const QString& symbol)
{
    QRect area;
    if (const auto visible = m_screens.visibleFrame())
        area = m_screens.toGlobal(*visible);
    ui::showToast(text, symbol, area);
}

void DeveloperPanels::showThumbnail(const CapturedImage& image)
{
    ThumbnailController::Actions actions;
    actions.edit = [this] {
        if (m_beep)
            m_beep();
        toast(QStringLiteral("The editor isn't available yet"), QStringLiteral("exclamationmark.triangle.fill"));
    };
    actions.pin = [this, image] { pin(image); };
    actions.save = [this, image] {
        const SaveResult saved = saveImage(image.image, image.scale, m_bookmark ? m_bookmark() : std::nullopt);
        if (const QString* path = std::get_if<QString>(&saved))
            toast(QStringLiteral("Saved ") + QFileInfo(*path).fileName(), QStringLiteral("square.and.arrow.down.fill"));
        else
            toast(QStringLiteral("Couldn't save the screenshot"), QStringLiteral("exclamationmark.triangle.fill"));
    };
    actions.copy = [this, image] {
        copyImage(image.image, image.scale);
        toast(QStringLiteral("Copied"), QStringLiteral("checkmark.circle.fill"));
    };
    m_thumbnail.show(image, std::move(actions));
}

void DeveloperPanels::pin(const CapturedImage& image)
{
    auto* window = new PinWindow(
        image.image, image.scale, m_bookmark,
        [this](const CapturedImage&) {
            if (m_beep)
                m_beep();
            toast(QStringLiteral("The editor isn't available yet"), QStringLiteral("exclamationmark.triangle.fill"));
        },
        [this](PinWindow* closed) {
            std::erase(m_pins, closed);
            closed->deleteLater();
        },
        m_screens);
    m_pins.push_back(window);
    window->show();
}

} // namespace quandrel
