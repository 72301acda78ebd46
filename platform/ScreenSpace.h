#pragma once

// The one place where screen space (origin bottom-left of the primary display, y up) meets
// window space (the X root window's coordinates: origin top-left of the primary display,
// y down), and the one rule for whether a point lies on a rectangle.
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

} // namespace quandrel
