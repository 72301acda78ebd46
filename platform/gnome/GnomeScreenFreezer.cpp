#include "GnomeScreenFreezer.h"

#include "GnomeShell.h"

#include <QFile>
#include <QFuture>
#include <QImage>
#include <QPromise>
#include <QThreadPool>

#include <QCoroFuture>

namespace quandrel::gnome {

GrabResult<PixelBuffer> takeScreenshotFile(const std::string& path)
{
    const QString file = QString::fromStdString(path);
    QImage image(file);
    QFile::remove(file);
    if (image.isNull())
        return GrabFailure{"The Shell's screenshot " + path + " could not be read.", WindowAccessError::refused};
    auto owned = std::make_shared<QImage>(image.convertToFormat(QImage::Format_RGB32));
    PixelBuffer pixels{owned->width(), owned->height(), owned->bytesPerLine(), owned->bits(), {}};
    pixels.owner = std::move(owned);
    return pixels;
}

namespace {

// The files read on the pool, in order; the first failure fails them all (every file is
// removed either way).
QFuture<GrabResult<std::vector<PixelBuffer>>> takeFiles(std::vector<std::string> paths)
{
    auto promise = std::make_shared<QPromise<GrabResult<std::vector<PixelBuffer>>>>();
    QFuture<GrabResult<std::vector<PixelBuffer>>> future = promise->future();
    promise->start();
    QThreadPool::globalInstance()->start([promise, paths = std::move(paths)] {
        std::vector<PixelBuffer> images;
        std::optional<GrabFailure> failure;
        for (const std::string& path : paths) {
            auto taken = takeScreenshotFile(path);
            if (auto* refused = std::get_if<GrabFailure>(&taken); refused && !failure)
                failure = *refused;
            else if (auto* image = std::get_if<PixelBuffer>(&taken))
                images.push_back(std::move(*image));
        }
        if (failure)
            promise->addResult(GrabResult<std::vector<PixelBuffer>>(*failure));
        else
            promise->addResult(GrabResult<std::vector<PixelBuffer>>(std::move(images)));
        promise->finish();
    });
    return future;
}

} // namespace

ScreenFreezer* GnomeScreenFreezer::fallback()
{
    return m_withoutShell && m_shell.state() != ShellState::ready ? m_withoutShell : nullptr;
}

QCoro::Task<GrabResult<FrozenScreens>> GnomeScreenFreezer::freeze(FreezeRequest request)
{
    if (ScreenFreezer* portal = fallback())
        co_return co_await portal->freeze(std::move(request));
    FrozenScreens frozen;
    if (request.windows) {
        if (const auto windows = m_shell.windows()) {
            std::vector<ScreenWindow> shown;
            for (const ShellWindow& w : *windows)
                if (w.visible)
                    shown.push_back({{w.id, w.pid}, w.frame, w.normal || w.dialog});
            frozen.windows = std::move(shown);
        } else {
            frozen.windowsFailure = "The Quandrel GNOME Shell extension did not list the windows.";
        }
    }
    if (request.areas.empty())
        co_return frozen;
    auto shot = co_await m_shell.screenshot(request.areas);
    if (auto* refused = std::get_if<GrabFailure>(&shot))
        co_return *refused;
    auto& taken = std::get<ShellScreenshot>(shot);
    frozen.pointer = taken.pointer;
    auto images = co_await takeFiles(std::move(taken.files));
    if (auto* refused = std::get_if<GrabFailure>(&images))
        co_return *refused;
    frozen.images = std::move(std::get<std::vector<PixelBuffer>>(images));
    if (frozen.images.size() != request.areas.size())
        co_return GrabFailure{"The Shell gave another number of screenshots than asked for.", WindowAccessError::refused};
    co_return frozen;
}

QCoro::Task<GrabResult<PixelBuffer>> GnomeScreenFreezer::windowImage(WindowHandle window)
{
    if (ScreenFreezer* portal = fallback())
        co_return co_await portal->windowImage(window);
    auto shot = co_await m_shell.windowScreenshot(window.value());
    if (auto* refused = std::get_if<GrabFailure>(&shot))
        co_return *refused;
    std::vector<std::string> files;
    files.push_back(std::get<std::string>(shot));
    auto images = co_await takeFiles(std::move(files));
    if (auto* refused = std::get_if<GrabFailure>(&images))
        co_return *refused;
    co_return std::move(std::get<std::vector<PixelBuffer>>(images).front());
}

std::optional<Point> GnomeScreenFreezer::pointerPosition()
{
    if (ScreenFreezer* portal = fallback())
        return portal->pointerPosition();
    return m_shell.pointer();
}

} // namespace quandrel::gnome
