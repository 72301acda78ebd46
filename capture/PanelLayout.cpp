#include "PanelLayout.h"

#include "ScreenSpace.h"

#include <algorithm>
#include <cmath>

namespace quandrel {

namespace {

double finiteOr(double value, double fallback) { return std::isfinite(value) ? value : fallback; }

} // namespace

Size pointSize(int pixelWidth, int pixelHeight, double scale)
{
    const double s = std::isfinite(scale) && scale > 0 ? scale : 1;
    return {std::max(pixelWidth, 0) / s, std::max(pixelHeight, 0) / s};
}

Size thumbnailSize(Size image)
{
    const double w = std::max(finiteOr(image.width, 0), 0.0);
    const double h = std::max(finiteOr(image.height, 0), 0.0);
    const double aspect = h > 1 ? w / h : w;
    if (aspect < 1)
        return {std::max(aspect * panel::thumbnailLongSide, panel::thumbnailMinWidth), panel::thumbnailLongSide};
    return {panel::thumbnailLongSide, std::max(panel::thumbnailLongSide / aspect, panel::thumbnailMinHeight)};
}

Point thumbnailOrigin(const Rect& visibleFrame, Size size)
{
    return {visibleFrame.maxX() - size.width - panel::thumbnailMargin, visibleFrame.minY() + panel::thumbnailMargin};
}

Point toastOrigin(const Rect& visibleFrame, Size size)
{
    return {visibleFrame.midX() - size.width / 2, visibleFrame.minY() + panel::toastBottomOffset};
}

std::optional<Rect> panelVisibleFrame(const std::vector<Display>& displays, std::optional<Point> windowPointer)
{
    if (displays.empty())
        return std::nullopt;
    if (windowPointer) {
        const Point p = ScreenSpace::of(displays).fromWindow(*windowPointer);
        for (const Display& d : displays)
            if (containsPoint(d.frame, p))
                return d.visibleFrame;
    }
    return displays.front().visibleFrame;
}

std::optional<Rect> onScreenVisibleFrame(const std::vector<Display>& displays, const Rect& requested)
{
    if (displays.empty())
        return std::nullopt;
    for (const Display& d : displays)
        if (!requested.isEmpty() && !d.frame.intersected(requested).isEmpty())
            return requested;
    return displays.front().visibleFrame;
}

double pinFitFactor(Size image, const Rect& visibleFrame)
{
    // A zero-size image counts as one point, so nothing divides by zero.
    const double w = std::max(finiteOr(image.width, 1), 1.0);
    const double h = std::max(finiteOr(image.height, 1), 1.0);
    const double f = std::min({panel::pinScreenShare * visibleFrame.width / w, panel::pinScreenShare * visibleFrame.height / h, 1.0});
    return f > 0 ? f : 1;
}

Rect pinFrame(Size image, const Rect& visibleFrame)
{
    const double f = pinFitFactor(image, visibleFrame);
    const double w = std::max(image.width, 1.0) * f;
    const double h = std::max(image.height, 1.0) * f;
    return {visibleFrame.midX() - w / 2, visibleFrame.midY() - h / 2, w, h};
}

double clampZoom(double zoom, std::optional<Size> image)
{
    double upper = panel::maxZoom;
    if (image) {
        const double longSide = std::max({finiteOr(image->width, 1), finiteOr(image->height, 1), 1.0});
        upper = std::max(panel::minZoom, std::min(upper, maxWindowExtent / longSide));
    }
    if (std::isnan(zoom))
        return std::min(1.0, upper);
    return std::clamp(zoom, panel::minZoom, upper);
}

double clampOpacity(double opacity)
{
    if (std::isnan(opacity))
        return panel::maxOpacity;
    return std::clamp(opacity, panel::minOpacity, panel::maxOpacity);
}

Rect zoomedFrame(const Rect& current, Size image, double zoom)
{
    const double z = clampZoom(zoom, image);
    const double w = std::max(image.width, 1.0) * z;
    const double h = std::max(image.height, 1.0) * z;
    return {current.midX() - w / 2, current.midY() - h / 2, w, h};
}

double wheelStep(double delta, bool precise)
{
    if (!std::isfinite(delta))
        return 0;
    return delta / (precise ? panel::preciseWheelDivisor : panel::notchWheelDivisor);
}

PinCommand pinCommandForKey(bool escape, const QString& characters, bool command)
{
    if (escape)
        return PinCommand::close;
    if (characters.isEmpty())
        return PinCommand::none;
    if (command) {
        if (characters == QLatin1String("w"))
            return PinCommand::close;
        if (characters == QLatin1String("c"))
            return PinCommand::copy;
        if (characters == QLatin1String("C"))
            return PinCommand::copyText;
        if (characters == QLatin1String("s"))
            return PinCommand::save;
        if (characters == QLatin1String("e"))
            return PinCommand::edit;
        return PinCommand::none;
    }
    return characters == QLatin1String("0") ? PinCommand::actualSize : PinCommand::none;
}

} // namespace quandrel
