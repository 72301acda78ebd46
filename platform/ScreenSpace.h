#pragma once

// The one place where screen space (origin bottom-left of the primary display, y up) meets
// window space (the X root window's coordinates: origin top-left of the primary display,
// y down), and the one rule for whether a point lies on a rectangle. "The primary display" is
// the pivot display of Display.h: where a session names no primary (Wayland compositors),
// pivotDisplay picks it the same way for every backend.
//
// A rectangle (x, y, w, h) in one space is (x, H − (y + h), w, h) in the other, H being the
// height of the primary display's full frame; a point (x, y) is (x, H − y). Window space
// measures pixels by their top-left corners, so a rectangle owns its left and top edges
// there; flipped into screen space, that is the left and the top edge again. containsPoint
// keeps that rule, so a point and a rectangle give the same answer in either space.

#include "Display.h"
#include "Geometry.h"

#include <vector>

namespace quandrel {

class ScreenSpace {
public:
    explicit ScreenSpace(double primaryHeight) : m_primaryHeight(primaryHeight) {}
    // The space of a display list: the first display is the primary one.
    static ScreenSpace of(const std::vector<Display>& displays) { return ScreenSpace(primaryScreenHeight(displays)); }

    double primaryHeight() const { return m_primaryHeight; }

    Rect fromWindow(const Rect& r) const { return flip(r); }
    Rect toWindow(const Rect& r) const { return flip(r); }
    Point fromWindow(Point p) const { return {p.x, m_primaryHeight - p.y}; }
    Point toWindow(Point p) const { return {p.x, m_primaryHeight - p.y}; }

private:
    Rect flip(const Rect& r) const { return {r.x, m_primaryHeight - (r.y + r.height), r.width, r.height}; }

    double m_primaryHeight;
};

// Whether a screen-space point lies on a screen-space rectangle: the left and top edges
// belong to it, the right and bottom edges to its neighbours. An empty rectangle holds
// nothing.
inline bool containsPoint(const Rect& r, Point p)
{
    return p.x >= r.minX() && p.x < r.maxX() && p.y > r.minY() && p.y <= r.maxY();
}

// Points and pixels. The X server has one grid of pixels, the root window; each display
// covers a part of it and has its own scale, pixels per point (Qt's device pixel ratio for
// that screen). The rule is Qt's: a display's top-left corner has the same coordinates in
// window-space points as in root pixels, and from there n pixels are n / scale points. Where
// every scale is 1 points are pixels; with mixed scales the displays' frames in points may
// leave gaps between them, as Qt's screen geometries do. A point is converted with the
// display that holds it, a rectangle with the display that holds its centre; what no display
// holds is left as it is. All of these work in window space.

// The display's part of the root window, in pixels.
inline Rect pixelArea(const Display& display, const ScreenSpace& space)
{
    const Rect points = space.toWindow(display.frame);
    const double s = display.scale > 0 ? display.scale : 1;
    return rounded({points.x, points.y, points.width * s, points.height * s});
}

namespace detail {
// Window space measures pixels by their top-left corners: a rectangle owns its left and top
// edges.
inline bool holds(const Rect& r, Point p) { return p.x >= r.minX() && p.x < r.maxX() && p.y >= r.minY() && p.y < r.maxY(); }
} // namespace detail

inline Point pointFromPixels(Point pixel, const std::vector<Display>& displays)
{
    const ScreenSpace space = ScreenSpace::of(displays);
    for (const Display& d : displays) {
        const Rect area = pixelArea(d, space);
        if (detail::holds(area, pixel) && d.scale > 0)
            return {area.x + (pixel.x - area.x) / d.scale, area.y + (pixel.y - area.y) / d.scale};
    }
    return pixel;
}

inline Point pixelFromPoint(Point point, const std::vector<Display>& displays)
{
    const ScreenSpace space = ScreenSpace::of(displays);
    for (const Display& d : displays) {
        const Rect frame = space.toWindow(d.frame);
        if (detail::holds(frame, point) && d.scale > 0)
            return {frame.x + (point.x - frame.x) * d.scale, frame.y + (point.y - frame.y) * d.scale};
    }
    return point;
}

inline Rect rectFromPixels(const Rect& pixels, const std::vector<Display>& displays)
{
    const ScreenSpace space = ScreenSpace::of(displays);
    for (const Display& d : displays) {
        const Rect area = pixelArea(d, space);
        if (detail::holds(area, {pixels.midX(), pixels.midY()}) && d.scale > 0)
            return {area.x + (pixels.x - area.x) / d.scale, area.y + (pixels.y - area.y) / d.scale, pixels.width / d.scale,
                    pixels.height / d.scale};
    }
    return pixels;
}

inline Rect rectToPixels(const Rect& points, const std::vector<Display>& displays)
{
    const ScreenSpace space = ScreenSpace::of(displays);
    for (const Display& d : displays) {
        const Rect frame = space.toWindow(d.frame);
        if (detail::holds(frame, {points.midX(), points.midY()}) && d.scale > 0)
            return {frame.x + (points.x - frame.x) * d.scale, frame.y + (points.y - frame.y) * d.scale, points.width * d.scale,
                    points.height * d.scale};
    }
    return points;
}

} // namespace quandrel
