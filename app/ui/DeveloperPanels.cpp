#include "DeveloperPanels.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QImageReader>
#include <QPromise>
#include <QThreadPool>

#include <cmath>
#include <memory>

namespace quandrel {

namespace {

const QString thumbnailOption = QStringLiteral("--show-thumbnail");
const QString pinOption = QStringLiteral("--pin");
const QByteArray pngSignature("\x89PNG\r\n\x1a\n", 8);

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

// A PNG reader that never falls back to another format.
void configure(QImageReader& reader)
{
    reader.setFormat("png");
    reader.setAutoDetectImageFormat(false);
    reader.setDecideFormatFromContent(false);
    reader.setAllocationLimit(int(DeveloperPanels::maxPixels * 4 / (1024 * 1024)) + 1); // megabytes
}

std::optional<CapturedImage> decode(const QString& path)
{
    if (DeveloperPanels::refusal(path))
        return std::nullopt; // changed since it was looked at
    QImageReader reader(path);
    configure(reader);
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

std::optional<QString> DeveloperPanels::refusal(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isAbsolute() || !info.isFile())
        return QCoreApplication::translate("DeveloperPanels", "isn't a file");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.read(pngSignature.size()) != pngSignature)
        return QCoreApplication::translate("DeveloperPanels", "isn't a PNG");
    file.close();
    QImageReader reader(path);
    configure(reader);
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty())
        return QCoreApplication::translate("DeveloperPanels", "isn't a readable PNG");
    if (qint64(size.width()) * size.height() > maxPixels)
        return QCoreApplication::translate("DeveloperPanels", "has more than %1 pixels").arg(maxPixels);
    return std::nullopt;
}

std::optional<bool> DeveloperPanels::handle(const QString& message)
{
    const bool thumbnail = message.startsWith(thumbnailOption + QLatin1Char('='));
    if (!thumbnail && !message.startsWith(pinOption + QLatin1Char('=')))
        return std::nullopt;
    const QString path = message.mid(message.indexOf(QLatin1Char('=')) + 1);
    const QString name = QFileInfo(path).fileName();
    const auto failed = [this, name] {
        m_toast(QCoreApplication::translate("DeveloperPanels", "Couldn't open %1").arg(name), QStringLiteral("exclamationmark.triangle.fill"));
    };
    if (refusal(path)) {
        failed();
        return false;
    }

    // Decoding a large PNG takes a while and its memory: never on the main thread.
    auto promise = std::make_shared<QPromise<std::optional<CapturedImage>>>();
    auto* watcher = new QFutureWatcher<std::optional<CapturedImage>>(&m_decodings);
    QObject::connect(watcher, &QFutureWatcherBase::finished, watcher, [this, watcher, thumbnail, failed] {
        watcher->deleteLater();
        const auto image = watcher->future().resultCount() > 0 ? watcher->result() : std::nullopt;
        if (!image)
            failed();
        else
            (thumbnail ? m_showThumbnail : m_pin)(*image);
    });
    watcher->setFuture(promise->future());
    QThreadPool::globalInstance()->start([promise, path] {
        promise->start();
        promise->addResult(decode(path));
        promise->finish();
    });
    return true;
}

} // namespace quandrel
