#pragma once

// Small geometry helpers for the editor's image pixel space (origin bottom-left, y up).
//
// The editor uses QPointF and QRectF, but not all of their conventions: their operator== is
// fuzzy and QRectF::contains includes the right and top edges. The Parts compare points and
// rectangles exactly and treat a rectangle as half-open (min <= p < max), so the few
// operations that depend on this are spelled out here. In this space QRectF::y() is the
// minimum y (the bottom edge) and y() + height() the maximum; minY()/maxY() say so.

#include <QPointF>
#include <QRectF>

#include <algorithm>
#include <cmath>
#include <optional>

namespace quandrel {

inline double minX(const QRectF& r) { return r.x(); }
inline double maxX(const QRectF& r) { return r.x() + r.width(); }
inline double minY(const QRectF& r) { return r.y(); }
inline double maxY(const QRectF& r) { return r.y() + r.height(); }

inline bool exactlyEqual(QPointF a, QPointF b) { return a.x() == b.x() && a.y() == b.y(); }

inline bool exactlyEqual(const QRectF& a, const QRectF& b)
{
    return a.x() == b.x() && a.y() == b.y() && a.width() == b.width() && a.height() == b.height();
}

inline bool exactlyEqual(const std::optional<QRectF>& a, const std::optional<QRectF>& b)
{
    if (!a || !b)
        return !a && !b;
    return exactlyEqual(*a, *b);
}

// The rectangle spanned by two points, with a non-negative size.
inline QRectF normalizedRect(QPointF a, QPointF b)
{
    return {std::min(a.x(), b.x()), std::min(a.y(), b.y()), std::abs(b.x() - a.x()), std::abs(b.y() - a.y())};
}

// Grows (or, with a negative amount, shrinks) a rectangle by d on every side. The size may
// become negative; such a rectangle contains no point.
inline QRectF grown(const QRectF& r, double d) { return {r.x() - d, r.y() - d, r.width() + 2 * d, r.height() + 2 * d}; }

// Half-open containment: min <= p < max on both axes. An empty rectangle contains nothing.
inline bool containsPoint(const QRectF& r, QPointF p)
{
    return p.x() >= minX(r) && p.x() < maxX(r) && p.y() >= minY(r) && p.y() < maxY(r);
}

// The smallest rectangle of whole pixels that covers r: floor of the minimum corner, ceiling
// of the maximum corner.
inline QRectF integralRect(const QRectF& r)
{
    const double x0 = std::floor(minX(r));
    const double y0 = std::floor(minY(r));
    return {x0, y0, std::ceil(maxX(r)) - x0, std::ceil(maxY(r)) - y0};
}

// The overlap of two rectangles, or an empty (0, 0, 0, 0) rectangle when they do not overlap.
inline QRectF intersection(const QRectF& a, const QRectF& b)
{
    const double left = std::max(minX(a), minX(b));
    const double right = std::min(maxX(a), maxX(b));
    const double bottom = std::max(minY(a), minY(b));
    const double top = std::min(maxY(a), maxY(b));
    if (right <= left || top <= bottom)
        return {};
    return {left, bottom, right - left, top - bottom};
}

} // namespace quandrel
