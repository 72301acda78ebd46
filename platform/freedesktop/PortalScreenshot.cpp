#include "PortalScreenshot.h"

#include "ScreenSpace.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusPendingReply>
#include <QFile>
#include <QFileInfo>
#include <QFuture>
#include <QImage>
#include <QImageReader>
#include <QLoggingCategory>
#include <QPainter>
#include <QPromise>
#include <QThreadPool>
#include <QUrl>

#include <QCoroDBusPendingCall>
#include <QCoroFuture>
#include <QCoroSignal>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcPortal, "quandrel.portal")

namespace quandrel::freedesktop {

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");

// The biggest image Quandrel reads from the portal: eight 8K displays.
constexpr int maxImageMegabytes = 8 * 7680 * 4320 * 4 / (1024 * 1024) + 1;

} // namespace

// Waits for the Response signal of one portal request.
class PortalRequest : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

public Q_SLOTS:
    void response(uint code, const QVariantMap& results)
    {
        Q_EMIT answered(code, results.value(QStringLiteral("uri")).toString());
    }

Q_SIGNALS:
    void answered(uint code, QString uri);
};

std::optional<QString> portalFile(const QString& uri, std::chrono::system_clock::time_point requested, std::string* why)
{
    const auto refuse = [why](std::string reason) -> std::optional<QString> {
        if (why)
            *why = std::move(reason);
        return std::nullopt;
    };
    const QUrl url(uri, QUrl::StrictMode);
    if (!url.isValid() || !url.isLocalFile() || !url.host().isEmpty())
        return refuse("the portal's answer names no local file: " + uri.toStdString());
    const QString path = url.toLocalFile();
    if (!QFileInfo(path).isAbsolute() || path.contains(QLatin1String("/../")) || path.endsWith(QLatin1String("/..")))
        return refuse("the portal's file has no plain absolute path: " + path.toStdString());
    struct stat status {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return refuse("the portal's file is not there: " + path.toStdString());
    if (!S_ISREG(status.st_mode))
        return refuse("the portal's file is no plain file: " + path.toStdString());
    if (status.st_uid != ::geteuid())
        return refuse("the portal's file belongs to someone else: " + path.toStdString());
    // File times have whole seconds on some file systems: a second of slack.
    const auto written = std::chrono::system_clock::time_point(std::chrono::seconds(status.st_mtim.tv_sec) + std::chrono::seconds(1));
    if (written < requested)
        return refuse("the portal's file is older than the request: " + path.toStdString());
    return path;
}

PortalShot takePortalFile(const QString& path)
{
    QImageReader reader(path);
    reader.setAllocationLimit(maxImageMegabytes);
    const QImage image = reader.read();
    if (image.isNull())
        return {PortalOutcome::unreadable, {}, "the portal's file " + path.toStdString() + " holds no image Quandrel reads (" +
                                                   reader.errorString().toStdString() + "); it is left there"};
    if (!QFile::remove(path))
        qCWarning(lcPortal, "Quandrel could not remove the portal's screenshot %s.", qUtf8Printable(path));
    auto owned = std::make_shared<QImage>(image.convertToFormat(QImage::Format_RGB32));
    PixelBuffer pixels{owned->width(), owned->height(), owned->bytesPerLine(), owned->bits(), {}};
    pixels.owner = std::move(owned);
    return {PortalOutcome::taken, std::move(pixels), {}};
}

PortalScreenshot::PortalScreenshot(QDBusConnection bus)
    : m_bus(std::move(bus))
{
}

bool PortalScreenshot::available()
{
    QDBusConnectionInterface* names = m_bus.interface();
    if (!names)
        return false;
    if (names->isServiceRegistered(portalService))
        return true;
    const QDBusReply<QStringList> activatable = names->call(QStringLiteral("ListActivatableNames"));
    return activatable.isValid() && activatable.value().contains(portalService);
}

QCoro::Task<PortalShot> PortalScreenshot::take(std::chrono::milliseconds patience)
{
    if (!m_bus.isConnected())
        co_return PortalShot{PortalOutcome::unavailable, {}, "no session bus for the desktop portal"};
    // The request's object path is known ahead (the sender's name and a token of ours), so the
    // answer is listened for before the call: it cannot come before the listening starts.
    const QString token = QStringLiteral("quandrel%1_%2").arg(::getpid()).arg(++m_requests);
    QString sender = m_bus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    QString requestPath = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
    PortalRequest request;
    m_bus.connect(portalService, requestPath, requestInterface, QStringLiteral("Response"), &request, SLOT(response(uint, QVariantMap)));

    const auto requested = std::chrono::system_clock::now();
    QDBusMessage call = QDBusMessage::createMethodCall(portalService, portalPath, QStringLiteral("org.freedesktop.portal.Screenshot"),
                                                       QStringLiteral("Screenshot"));
    call << QString() << QVariantMap{{QStringLiteral("handle_token"), token}, {QStringLiteral("interactive"), false},
                                      {QStringLiteral("modal"), false}};
    QDBusPendingCall pending = m_bus.asyncCall(call, 30000);
    const QDBusPendingReply<QDBusObjectPath> handle = co_await pending;
    if (handle.isError()) {
        m_bus.disconnect(portalService, requestPath, requestInterface, QStringLiteral("Response"), &request, SLOT(response(uint, QVariantMap)));
        co_return PortalShot{PortalOutcome::unavailable, {}, "the desktop portal refused the screenshot: " + handle.error().message().toStdString()};
    }
    if (handle.value().path() != requestPath) {
        // An older portal chose its own path.
        m_bus.disconnect(portalService, requestPath, requestInterface, QStringLiteral("Response"), &request, SLOT(response(uint, QVariantMap)));
        requestPath = handle.value().path();
        m_bus.connect(portalService, requestPath, requestInterface, QStringLiteral("Response"), &request, SLOT(response(uint, QVariantMap)));
    }
    const auto answer = co_await qCoro(&request, &PortalRequest::answered, patience);
    m_bus.disconnect(portalService, requestPath, requestInterface, QStringLiteral("Response"), &request, SLOT(response(uint, QVariantMap)));
    if (!answer) {
        m_bus.asyncCall(QDBusMessage::createMethodCall(portalService, requestPath, requestInterface, QStringLiteral("Close")));
        co_return PortalShot{PortalOutcome::cancelled, {}, "the desktop portal gave no screenshot in time"};
    }
    const auto& [code, uri] = *answer;
    if (code != 0)
        co_return PortalShot{PortalOutcome::cancelled, {}, code == 1 ? "the screenshot was cancelled" : "the desktop portal took no screenshot"};
    std::string why;
    const auto path = portalFile(uri, requested, &why);
    if (!path)
        co_return PortalShot{PortalOutcome::unreadable, {}, why};
    auto promise = std::make_shared<QPromise<PortalShot>>();
    QFuture<PortalShot> read = promise->future();
    promise->start();
    QThreadPool::globalInstance()->start([promise, file = *path] {
        promise->addResult(takePortalFile(file));
        promise->finish();
    });
    co_return co_await read;
}

std::vector<PixelBuffer> cutDisplays(const PixelBuffer& whole, const std::vector<Display>& displays, const std::vector<Rect>& areas)
{
    const ScreenSpace space = ScreenSpace::of(displays);
    std::vector<Rect> frames; // window-space points
    double minX = 0, minY = 0, maxX = 0, maxY = 0;
    for (const Display& d : displays) {
        const Rect f = space.toWindow(d.frame);
        minX = frames.empty() ? f.minX() : std::min(minX, f.minX());
        minY = frames.empty() ? f.minY() : std::min(minY, f.minY());
        maxX = frames.empty() ? f.maxX() : std::max(maxX, f.maxX());
        maxY = frames.empty() ? f.maxY() : std::max(maxY, f.maxY());
        frames.push_back(f);
    }
    const Rect bounds{minX, minY, maxX - minX, maxY - minY};
    const double scale = bounds.width > 0 ? whole.width / bounds.width : 1;
    const QImage image(whole.data, whole.width, whole.height, qsizetype(whole.bytesPerLine), QImage::Format_RGB32);
    std::vector<PixelBuffer> cuts;
    for (const Rect& area : areas) {
        const int width = std::max(1, int(std::lround(area.width)));
        const int height = std::max(1, int(std::lround(area.height)));
        auto cut = std::make_shared<QImage>(width, height, QImage::Format_RGB32);
        cut->fill(Qt::black);
        // The display the area belongs to: the one whose pixel area it is.
        for (std::size_t i = 0; i < displays.size(); ++i) {
            if (pixelArea(displays[i], space) != area)
                continue;
            const Rect& f = frames[i];
            const QRectF source((f.x - bounds.x) * scale, (f.y - bounds.y) * scale, f.width * scale, f.height * scale);
            QPainter painter(cut.get());
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.drawImage(QRectF(0, 0, width, height), image, source);
            break;
        }
        PixelBuffer pixels{cut->width(), cut->height(), cut->bytesPerLine(), cut->bits(), {}};
        pixels.owner = std::move(cut);
        cuts.push_back(std::move(pixels));
    }
    return cuts;
}

PortalScreenFreezer::PortalScreenFreezer(PortalScreenshot& portal, DisplayProvider& displays)
    : m_portal(portal)
    , m_displays(displays)
{
}

QCoro::Task<GrabResult<FrozenScreens>> PortalScreenFreezer::freeze(FreezeRequest request)
{
    FrozenScreens frozen;
    frozen.pointer = pointerPosition();
    if (request.windows) {
        if (auto listed = windows ? windows() : std::nullopt)
            frozen.windows = std::move(*listed);
        else
            frozen.windowsFailure = noWindows;
    }
    if (request.areas.empty())
        co_return frozen;
    if (!std::exchange(m_asked, true) && beforeFirstRequest)
        beforeFirstRequest();
    const std::vector<Display> displays = m_displays.displays();
    PortalShot shot = co_await m_portal.take();
    if (shot.outcome != PortalOutcome::taken) {
        qCInfo(lcPortal, "No screenshot from the desktop portal: %s.", shot.message.c_str());
        co_return GrabFailure{shot.message, WindowAccessError::refused};
    }
    frozen.images = cutDisplays(shot.pixels, displays, request.areas);
    co_return frozen;
}

QCoro::Task<GrabResult<PixelBuffer>> PortalScreenFreezer::windowImage(WindowHandle)
{
    // The portal has no image of one window by itself: the capture cuts it from the display.
    co_return GrabFailure{"the desktop portal gives no image of a single window", WindowAccessError::refused};
}

} // namespace quandrel::freedesktop

#include "PortalScreenshot.moc"
