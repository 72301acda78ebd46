#pragma once

// Points, sizes and rectangles in points, as 64-bit floating point values.
//
// Two spaces are used across Quandrel. Screen space has its origin at the bottom-left of the
// primary display with y growing upwards; all layout, snapping and capture geometry lives
// there. Window space ("accessibility space") has its origin at the top-left of the primary
// display with y growing downwards: it is the X root window's coordinate system, in which
// other applications' frames are read and written. ScreenSpace (ScreenSpace.h) converts
// between the two.

#include <algorithm>
#include <cmath>
#include <string>

namespace quandrel {

struct Point {
    double x = 0;
    double y = 0;
    bool operator==(const Point&) const = default;
};

struct Size {
    double width = 0;
    double height = 0;
    bool operator==(const Size&) const = default;
};

struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    double minX() const { return x; }
    double minY() const { return y; }
    double maxX() const { return x + width; }
    double maxY() const { return y + height; }
    double midX() const { return x + width / 2; }
    double midY() const { return y + height / 2; }
    Point origin() const { return {x, y}; }
    Size size() const { return {width, height}; }
    bool isEmpty() const { return width <= 0 || height <= 0; }

    // The overlap of two rectangles, or an empty rectangle when they do not overlap.
    Rect intersected(const Rect& o) const
    {
        const double left = std::max(minX(), o.minX());
        const double right = std::min(maxX(), o.maxX());
        const double bottom = std::max(minY(), o.minY());
        const double top = std::min(maxY(), o.maxY());
        if (right <= left || top <= bottom)
            return {};
        return {left, bottom, right - left, top - bottom};
    }

    Rect insetBy(double dx, double dy) const { return {x + dx, y + dy, width - 2 * dx, height - 2 * dy}; }

    bool operator==(const Rect&) const = default;
};

// The same rectangle with a non-negative width and height: a rectangle dragged up or to the
// left has its origin at the opposite corner.
inline Rect normalized(const Rect& r)
{
    return {std::min(r.x, r.x + r.width), std::min(r.y, r.y + r.height), std::abs(r.width), std::abs(r.height)};
}

// Rounds to the nearest integer, halves away from zero.
inline double roundHalfAway(double v) { return std::round(v); }

inline Rect rounded(const Rect& r)
{
    return {roundHalfAway(r.x), roundHalfAway(r.y), roundHalfAway(r.width), roundHalfAway(r.height)};
}

// "(x, y, w, h)" with integral values printed without decimals.
std::string toString(const Rect& r);
std::string toString(const Point& p);

} // namespace quandrel
