#include "ScreenCapturer.h"
#include "ScreenSpace.h"

#include <QCoroTimer>

#include <chrono>
#include <cmath>
#include <unistd.h>

namespace quandrel {

namespace {

// Snaps values that are integral but for floating-point noise, so that 200.0000000001 does
// not widen a crop by a whole pixel.
double snapped(double v)
{
    const double r = std::round(v);
    return std::abs(v - r) < 1e-6 ? r : v;
}

} // namespace

ScreenCapturer::ScreenCapturer(ScreenCapture& capture, DisplayProvider& displays)
    : ownPid(::getpid())
    , m_capture(capture)
    , m_displays(displays)
{
}

QImage ScreenCapturer::imageOf(const PixelBuffer& pixels)
{
    // The image keeps the buffer's owner alive.
    auto* owner = new std::shared_ptr<void>(pixels.owner);
    return QImage(pixels.data, pixels.width, pixels.height, qsizetype(pixels.bytesPerLine), QImage::Format_RGB32,
                  [](void* info) { delete static_cast<std::shared_ptr<void>*>(info); }, owner);
}

QCoro::Task<CaptureResult<std::vector<FrozenDisplay>>> ScreenCapturer::freezeDisplays()
{
    const std::vector<Display> displays = m_displays.displays();
    if (displays.empty())
        co_return CaptureError::noDisplays();
    const ScreenSpace space = ScreenSpace::of(displays);

    std::vector<FrozenDisplay> frozen;
    {
        // Our own windows stay out of sight until every display is taken, whatever happens.
        const auto hidden = m_capture.hideOwnWindows();
        if (hidden)
            co_await QCoro::sleepFor(m_capture.repaintDelay());
        for (std::size_t i = 0; i < displays.size(); ++i) {
            if (i > 0)
                co_await QCoro::sleepFor(std::chrono::milliseconds(0)); // let the event loop run
            auto grabbed = m_capture.grabArea(pixelArea(displays[i], space));
            if (const auto* failure = std::get_if<GrabFailure>(&grabbed))
                co_return CaptureError::platform(failure->message);
            const auto& pixels = std::get<PixelBuffer>(grabbed);
            const double scale = displays[i].frame.width > 0 ? pixels.width / displays[i].frame.width : 1;
            frozen.push_back({displays[i], {imageOf(pixels), scale}});
        }
    }
    if (frozen.empty())
        co_return CaptureError::noDisplays();
    co_return frozen;
}

QCoro::Task<CaptureResult<std::vector<PickableWindow>>> ScreenCapturer::pickableWindows()
{
    auto listed = m_capture.windowsFrontToBack();
    if (const auto* failure = std::get_if<GrabFailure>(&listed))
        co_return CaptureError::platform(failure->message);
    const std::vector<Display> displays = m_displays.displays();
    const ScreenSpace space = ScreenSpace::of(displays);
    std::vector<PickableWindow> result;
    for (const ScreenWindow& w : std::get<std::vector<ScreenWindow>>(listed)) {
        // In points of the display that holds the window's centre.
        const Rect frame = rectFromPixels(w.frame, displays);
        if (!w.ordinary || w.pid == ownPid || !(frame.width > 40) || !(frame.height > 40))
            continue;
        if (std::any_of(result.begin(), result.end(), [&](const PickableWindow& p) { return p.window == w.handle; }))
            continue;
        result.push_back({w.handle, space.fromWindow(frame)});
    }
    co_return result;
}

QCoro::Task<CaptureResult<CapturedImage>> ScreenCapturer::captureWindow(PickableWindow window)
{
    auto prepared = m_capture.prepareWindow(window.window);
    if (const auto* failure = std::get_if<GrabFailure>(&prepared))
        co_return CaptureError::platform(failure->message);
    auto image = std::move(std::get<std::unique_ptr<ScreenCapture::WindowImage>>(prepared));
    if (image->needsRepaint())
        co_await QCoro::sleepFor(m_capture.repaintDelay());
    auto grabbed = image->read();
    if (const auto* failure = std::get_if<GrabFailure>(&grabbed))
        co_return CaptureError::platform(failure->message);
    const auto& pixels = std::get<PixelBuffer>(grabbed);
    const double scale = window.frame.width > 0 ? pixels.width / window.frame.width : 1;
    co_return CapturedImage{imageOf(pixels), scale};
}

std::optional<Display> ScreenCapturer::screenAt(const std::vector<Display>& displays, Point p)
{
    for (const Display& d : displays) {
        if (containsPoint(d.frame, p))
            return d;
    }
    if (displays.empty())
        return std::nullopt;
    return displays.front();
}

std::optional<Display> ScreenCapturer::screenUnderMouse()
{
    const std::vector<Display> displays = m_displays.displays();
    const auto pointer = m_capture.pointerPosition();
    if (!pointer)
        return displays.empty() ? std::nullopt : std::optional<Display>(displays.front());
    return screenAt(displays, ScreenSpace::of(displays).fromWindow(pointFromPixels(*pointer, displays)));
}

std::optional<CapturedImage> ScreenCapturer::crop(const FrozenDisplay& display, const Rect& rect)
{
    const Rect& frame = display.screen.frame;
    const double s = display.image.scale;
    if (!std::isfinite(rect.x) || !std::isfinite(rect.y) || !std::isfinite(rect.width) || !std::isfinite(rect.height)
        || !std::isfinite(s) || s <= 0)
        return std::nullopt;
    const Rect part = normalized(rect).intersected(frame);
    if (part.isEmpty() || part.width < 1 || part.height < 1)
        return std::nullopt;

    // Pixels from the image's top-left corner, widened to the smallest whole-pixel rectangle
    // that holds the area.
    const double left = std::floor(snapped(s * (part.minX() - frame.minX())));
    const double top = std::floor(snapped(s * (frame.maxY() - part.maxY())));
    const double right = std::ceil(snapped(s * (part.maxX() - frame.minX())));
    const double bottom = std::ceil(snapped(s * (frame.maxY() - part.minY())));
    const QImage& image = display.image.image;
    const QRect pixels = QRect(QPoint(int(left), int(top)), QPoint(int(right) - 1, int(bottom) - 1)).intersected(image.rect());
    if (pixels.isEmpty())
        return std::nullopt;
    QImage cut = image.copy(pixels);
    if (cut.isNull())
        return std::nullopt;
    return CapturedImage{std::move(cut), s};
}

} // namespace quandrel
