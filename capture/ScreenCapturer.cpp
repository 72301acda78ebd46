#include "ScreenCapturer.h"
#include "ScreenSpace.h"

#include <QPainter>

#include <algorithm>
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

ScreenCapturer::ScreenCapturer(ScreenFreezer& freezer, DisplayProvider& displays)
    : ownPid(::getpid())
    , m_freezer(freezer)
    , m_displays(displays)
{
}

ScreenCapturer::ScreenCapturer(ScreenCapture& capture, DisplayProvider& displays)
    : ownPid(::getpid())
    , m_ownFreezer(std::make_unique<GrabbingScreenFreezer>(capture))
    , m_freezer(*m_ownFreezer)
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

QCoro::Task<CaptureResult<FrozenScreen>> ScreenCapturer::freeze(bool windows)
{
    const std::vector<Display> displays = m_displays.displays();
    if (displays.empty())
        co_return CaptureError::noDisplays();
    const ScreenSpace space = ScreenSpace::of(displays);
    FreezeRequest request{{}, windows, includePointer && includePointer()};
    for (const Display& d : displays)
        request.areas.push_back(pixelArea(d, space));

    const std::vector<Rect> areas = request.areas; // the request itself goes to the freezer
    auto answer = co_await m_freezer.freeze(std::move(request));
    if (const auto* failure = std::get_if<GrabFailure>(&answer))
        co_return CaptureError::platform(failure->message);
    auto& frozen = std::get<FrozenScreens>(answer);
    if (frozen.images.size() != displays.size())
        co_return CaptureError::noDisplays();
    FrozenScreen result;
    for (std::size_t i = 0; i < displays.size(); ++i) {
        const PixelBuffer& pixels = frozen.images[i];
        const double scale = displays[i].frame.width > 0 ? pixels.width / displays[i].frame.width : 1;
        result.displays.push_back({displays[i], {imageOf(pixels), scale}});
        if (frozen.pointerImage)
            drawPointer(result.displays.back().image.image, areas[i], *frozen.pointerImage);
    }
    if (frozen.windows)
        result.windows = pickable(*frozen.windows, displays);
    else if (windows)
        result.windows = CaptureError::platform(frozen.windowsFailure.empty() ? "this session lists no windows" : frozen.windowsFailure);
    co_return result;
}

QCoro::Task<CaptureResult<std::vector<FrozenDisplay>>> ScreenCapturer::freezeDisplays()
{
    auto frozen = co_await freeze(false);
    if (auto* error = std::get_if<CaptureError>(&frozen))
        co_return std::move(*error);
    co_return std::get<FrozenScreen>(std::move(frozen)).displays;
}

QCoro::Task<CaptureResult<FrozenScreen>> ScreenCapturer::freezeWithWindows() { return freeze(true); }

std::vector<PickableWindow> ScreenCapturer::pickable(const std::vector<ScreenWindow>& windows, const std::vector<Display>& displays) const
{
    const ScreenSpace space = ScreenSpace::of(displays);
    std::vector<PickableWindow> result;
    for (const ScreenWindow& w : windows) {
        // In points of the display that holds the window's centre.
        const Rect frame = rectFromPixels(w.frame, displays);
        if (!w.ordinary || w.pid == ownPid || !(frame.width > 40) || !(frame.height > 40))
            continue;
        if (std::any_of(result.begin(), result.end(), [&](const PickableWindow& p) { return p.window == w.handle; }))
            continue;
        result.push_back({w.handle, space.fromWindow(frame)});
    }
    return result;
}

QCoro::Task<CaptureResult<std::vector<PickableWindow>>> ScreenCapturer::pickableWindows()
{
    auto answer = co_await m_freezer.freeze({{}, true});
    if (const auto* failure = std::get_if<GrabFailure>(&answer))
        co_return CaptureError::platform(failure->message);
    const auto& frozen = std::get<FrozenScreens>(answer);
    if (!frozen.windows)
        co_return CaptureError::platform(frozen.windowsFailure.empty() ? "this session lists no windows" : frozen.windowsFailure);
    co_return pickable(*frozen.windows, m_displays.displays());
}

QCoro::Task<CaptureResult<CapturedImage>> ScreenCapturer::captureWindow(PickableWindow window)
{
    auto grabbed = co_await m_freezer.windowImage(window.window);
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
    const auto pointer = m_freezer.pointerPosition();
    if (!pointer)
        return displays.empty() ? std::nullopt : std::optional<Display>(displays.front());
    return screenAt(displays, ScreenSpace::of(displays).fromWindow(pointFromPixels(*pointer, displays)));
}

void ScreenCapturer::drawPointer(QImage& image, const Rect& area, const PointerImage& pointer)
{
    // The picture's top-left corner in the image's pixels: both are in window-space pixels.
    const QPointF corner(pointer.position.x - pointer.hotspot.x - area.x, pointer.position.y - pointer.hotspot.y - area.y);
    const QRectF target(corner, QSizeF(pointer.pixels.width, pointer.pixels.height));
    if (!target.intersects(QRectF(image.rect())))
        return;
    const QImage picture(pointer.pixels.data, pointer.pixels.width, pointer.pixels.height, pointer.pixels.bytesPerLine,
                         QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image); // the frozen image's own copy, made here
    painter.drawImage(corner, picture);
}

std::optional<CapturedImage> ScreenCapturer::combined(const std::vector<FrozenDisplay>& displays)
{
    if (displays.empty())
        return std::nullopt;
    double scale = 0;
    double minX = displays.front().screen.frame.minX(), maxX = displays.front().screen.frame.maxX();
    double minY = displays.front().screen.frame.minY(), maxY = displays.front().screen.frame.maxY();
    double covered = 0;
    for (const FrozenDisplay& d : displays) {
        const Rect& f = d.screen.frame;
        scale = std::max(scale, d.image.scale);
        minX = std::min(minX, f.minX());
        maxX = std::max(maxX, f.maxX());
        minY = std::min(minY, f.minY());
        maxY = std::max(maxY, f.maxY());
        covered += f.width * f.height;
    }
    if (!(scale > 0) || !std::isfinite(scale))
        return std::nullopt;
    const QSize size(int(std::lround((maxX - minX) * scale)), int(std::lround((maxY - minY) * scale)));
    if (size.isEmpty())
        return std::nullopt;
    // Displays do not overlap, so when their areas fill the bounding box there is no gap.
    const bool gaps = covered < (maxX - minX) * (maxY - minY) - 0.5;
    QImage image(size, gaps ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    if (image.isNull())
        return std::nullopt;
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    for (const FrozenDisplay& d : displays) {
        const Rect& f = d.screen.frame;
        const QRect target(int(std::lround((f.minX() - minX) * scale)), int(std::lround((maxY - f.maxY()) * scale)),
                           int(std::lround(f.width * scale)), int(std::lround(f.height * scale)));
        if (target.size() == d.image.image.size())
            painter.drawImage(target.topLeft(), d.image.image);
        else
            painter.drawImage(target, d.image.image);
    }
    painter.end();
    return CapturedImage{std::move(image), scale};
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
