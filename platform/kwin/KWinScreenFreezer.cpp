#include "KWinScreenFreezer.h"

#include "KWinBridge.h"
#include "KWinWindows.h"
#include "ScreenSpace.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFuture>
#include <QLoggingCategory>
#include <QProcess>
#include <QPromise>
#include <QSaveFile>
#include <QStandardPaths>
#include <QThreadPool>

#include <QCoroFuture>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

Q_DECLARE_LOGGING_CATEGORY(lcKWin)

namespace quandrel::kwin {

namespace {

const QString screenshotInterface = QStringLiteral("org.kde.KWin.ScreenShot2");

struct OutputPlace {
    QString name;
    Rect area; // window space
};

// QImage's 32-bit formats, which KWin sends: RGB32, ARGB32, ARGB32_Premultiplied.
bool isFourByteFormat(uint format) { return format >= 4 && format <= 6; }

// Reads everything from `fd` until the writer closes it.
QByteArray readAll(int fd)
{
    QByteArray data;
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0)
            data.append(buffer, n);
        else if (n == 0 || errno != EINTR)
            break;
    }
    ::close(fd);
    return data;
}

// One CaptureScreen or CaptureWindow call with its pixels, on the calling thread.
GrabResult<PixelBuffer> capture(const QString& method, const QString& target)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return GrabFailure{"no pipe for KWin's screenshot", WindowAccessError::refused};
    QByteArray data;
    std::thread reader([&data, fd = fds[0]] { data = readAll(fd); });
    QDBusMessage reply;
    {
        // The message holds a copy of the pipe's write end: it goes before the read can end.
        QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.kde.KWin"), QStringLiteral("/org/kde/KWin/ScreenShot2"),
                                                           screenshotInterface, method);
        QVariantMap options{{QStringLiteral("native-resolution"), true}, {QStringLiteral("include-cursor"), false},
                            {QStringLiteral("include-decoration"), true}};
        call << target << options << QVariant::fromValue(QDBusUnixFileDescriptor(fds[1]));
        ::close(fds[1]);
        reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 5000);
    }
    reader.join();
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return GrabFailure{"KWin refused the screenshot: " + reply.errorMessage().toStdString(), WindowAccessError::refused};
    const QVariantMap results = qdbus_cast<QVariantMap>(reply.arguments().at(0));
    const int width = results.value(QStringLiteral("width")).toInt();
    const int height = results.value(QStringLiteral("height")).toInt();
    const int stride = results.value(QStringLiteral("stride")).toInt();
    const uint format = results.value(QStringLiteral("format")).toUInt();
    if (width <= 0 || height <= 0 || stride < width * 4 || !isFourByteFormat(format) || data.size() < qsizetype(stride) * height)
        return GrabFailure{"KWin's screenshot came in a form Quandrel does not read", WindowAccessError::refused};
    auto pixels = std::shared_ptr<std::uint8_t[]>(new std::uint8_t[std::size_t(width) * height * 4]);
    for (int row = 0; row < height; ++row) {
        auto* to = reinterpret_cast<std::uint32_t*>(pixels.get() + std::ptrdiff_t(row) * width * 4);
        std::memcpy(to, data.constData() + std::ptrdiff_t(row) * stride, std::size_t(width) * 4);
        for (int x = 0; x < width; ++x)
            to[x] |= 0xff000000u; // opaque, whatever KWin's alpha
    }
    PixelBuffer image{width, height, std::ptrdiff_t(width) * 4, pixels.get(), {}};
    image.owner = std::move(pixels);
    return image;
}

// One requested area put together from the output images that cover it; black elsewhere.
PixelBuffer compose(const Rect& area, const std::vector<OutputPlace>& places, const std::vector<PixelBuffer>& images)
{
    const int width = std::max(0, int(area.width));
    const int height = std::max(0, int(area.height));
    for (std::size_t i = 0; i < places.size(); ++i)
        if (places[i].area == area && images[i].width == width && images[i].height == height)
            return images[i];
    const std::ptrdiff_t bytesPerLine = std::ptrdiff_t(width) * 4;
    auto pixels = std::shared_ptr<std::uint8_t[]>(new std::uint8_t[std::max<std::ptrdiff_t>(1, bytesPerLine * height)]);
    std::fill_n(reinterpret_cast<std::uint32_t*>(pixels.get()), std::size_t(width) * height, 0xff000000u);
    for (std::size_t i = 0; i < places.size(); ++i) {
        const Rect both = places[i].area.intersected(area);
        if (both.isEmpty())
            continue;
        const PixelBuffer& from = images[i];
        const int fromX = int(both.x - places[i].area.x);
        const int fromY = int(both.y - places[i].area.y);
        const int toX = int(both.x - area.x);
        const int toY = int(both.y - area.y);
        const int columns = std::min({int(both.width), from.width - fromX, width - toX});
        for (int row = 0; row < int(both.height) && fromY + row < from.height && toY + row < height; ++row)
            std::memcpy(pixels.get() + (toY + row) * bytesPerLine + std::ptrdiff_t(toX) * 4,
                        from.data + (fromY + row) * from.bytesPerLine + std::ptrdiff_t(fromX) * 4,
                        std::size_t(std::max(0, columns)) * 4);
    }
    PixelBuffer image{width, height, bytesPerLine, pixels.get(), {}};
    image.owner = std::move(pixels);
    return image;
}

template <typename T>
QFuture<T> onPool(std::function<T()> work)
{
    auto promise = std::make_shared<QPromise<T>>();
    QFuture<T> future = promise->future();
    promise->start();
    QThreadPool::globalInstance()->start([promise, work = std::move(work)] {
        promise->addResult(work());
        promise->finish();
    });
    return future;
}

} // namespace

KWinScreenFreezer::KWinScreenFreezer(KWinWindows& windows, ScreenFreezer* portal)
    : m_windows(windows)
    , m_portal(portal)
{
    installPermission();
}

QString KWinScreenFreezer::permissionEntry(const QString& executable)
{
    return QStringLiteral("[Desktop Entry]\nType=Application\nName=Quandrel\nExec=%1\nNoDisplay=true\n"
                          "X-KDE-DBUS-Restricted-Interfaces=%2\n")
        .arg(executable, screenshotInterface);
}

bool KWinScreenFreezer::installPermission()
{
    const QString executable = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    if (executable.isEmpty())
        return false;
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/applications");
    // One entry per program path, so that copies in different places each have theirs.
    const QString path = folder + QStringLiteral("/quandrel-screenshots-%1.desktop")
                                      .arg(QString::fromLatin1(QCryptographicHash::hash(executable.toUtf8(), QCryptographicHash::Sha1).toHex().left(12)));
    const QByteArray text = permissionEntry(executable).toUtf8();
    QFile existing(path);
    if (existing.open(QIODevice::ReadOnly) && existing.readAll() == text)
        return true;
    existing.close();
    QDir().mkpath(folder);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        qCWarning(lcKWin, "Quandrel cannot write %s, so KWin will not hand it screenshots.", qUtf8Printable(path));
        return false;
    }
    // KWin looks the program up in KDE's service cache, which is rebuilt meanwhile.
    QProcess::startDetached(QStringLiteral("kbuildsycoca5"), {});
    return true;
}

std::optional<Point> KWinScreenFreezer::pointerPosition() { return m_windows.pointer(); }

std::vector<ScreenWindow> KWinScreenFreezer::shownWindows()
{
    std::vector<ScreenWindow> shown;
    for (const KWinWindow& w : m_windows.windows())
        if (!w.minimized)
            shown.push_back({{w.handle, w.pid}, w.frame, w.normal});
    return shown;
}

QCoro::Task<GrabResult<FrozenScreens>> KWinScreenFreezer::freeze(FreezeRequest request)
{
    if (m_refused && m_portal && !request.areas.empty())
        co_return co_await m_portal->freeze(std::move(request));
    FrozenScreens frozen;
    frozen.pointer = pointerPosition();
    if (request.windows)
        frozen.windows = shownWindows();
    if (request.areas.empty())
        co_return frozen;

    std::vector<OutputPlace> places;
    const std::vector<Display> displays = m_windows.displays();
    const ScreenSpace space = ScreenSpace::of(displays);
    for (const Display& d : displays)
        places.push_back({QString::fromStdString(d.name), space.toWindow(d.frame)});
    if (places.empty())
        co_return GrabFailure{"KWin did not list its outputs.", WindowAccessError::refused};

    // Named before the await: temporaries inside a co_await expression are not safe with
    // every compiler.
    std::function<GrabResult<std::vector<PixelBuffer>>()> work = [places]() -> GrabResult<std::vector<PixelBuffer>> {
        const auto all = [&]() -> GrabResult<std::vector<PixelBuffer>> {
            std::vector<PixelBuffer> images;
            for (const OutputPlace& place : places) {
                auto image = capture(QStringLiteral("CaptureScreen"), place.name);
                if (auto* refused = std::get_if<GrabFailure>(&image))
                    return *refused;
                images.push_back(std::get<PixelBuffer>(std::move(image)));
            }
            return images;
        };
        auto images = all();
        // KWin finds the permission entry in KDE's service cache; when it refuses the first
        // time, the cache is rebuilt, and KWin asked again until it has read the new cache
        // (it notices the change from its event loop), for up to two seconds.
        static std::atomic<bool> rebuilt{false};
        if (std::holds_alternative<GrabFailure>(images) && !rebuilt.exchange(true)) {
            QProcess::execute(QStringLiteral("kbuildsycoca5"), {});
            for (int attempt = 0; attempt < 20 && std::holds_alternative<GrabFailure>(images); ++attempt) {
                images = all();
                if (std::holds_alternative<GrabFailure>(images))
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        }
        return images;
    };
    QFuture<GrabResult<std::vector<PixelBuffer>>> future = onPool(std::move(work));
    auto captured = co_await future;
    if (auto* refused = std::get_if<GrabFailure>(&captured)) {
        if (m_portal) {
            m_refused = true;
            qCWarning(lcKWin, "%s Screenshots go through the desktop portal instead.", refused->message.c_str());
            co_return co_await m_portal->freeze(std::move(request));
        }
        static bool told = false;
        if (!std::exchange(told, true))
            qCWarning(lcKWin, "%s", refused->message.c_str());
        co_return *refused;
    }
    const auto& images = std::get<std::vector<PixelBuffer>>(captured);
    for (const Rect& area : request.areas)
        frozen.images.push_back(compose(area, places, images));
    co_return frozen;
}

QCoro::Task<GrabResult<PixelBuffer>> KWinScreenFreezer::windowImage(WindowHandle window)
{
    if (m_refused && m_portal)
        co_return co_await m_portal->windowImage(window);
    const QString uuid = m_windows.uuidOf(window);
    if (uuid.isEmpty())
        co_return GrabFailure{"the window is gone", WindowAccessError::windowGone};
    std::function<GrabResult<PixelBuffer>()> work = [uuid] { return capture(QStringLiteral("CaptureWindow"), uuid); };
    QFuture<GrabResult<PixelBuffer>> future = onPool(std::move(work));
    co_return co_await future;
}

} // namespace quandrel::kwin
