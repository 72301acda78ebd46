#pragma once

// The canvas's arithmetic, kept apart from the widget: fitting the image into the view and
// mapping between view and image, the Shift constraints, which handle a press grabs, and
// the editor window's size rule.
//
// The image's pixel space has its origin at the bottom-left and y up; a widget's has its
// origin at the top-left and y down. CanvasMapping is the one place where the two meet:
// the image rectangle is worked out y-up as the canvas rules state it, flipped once into
// widget coordinates, and every conversion goes through toImage()/toWidget().

#include "Annotation.h"

#include <QPointF>
#include <QRectF>
#include <QSize>
#include <QSizeF>
#include <QTransform>

#include <optional>

namespace quandrel {

namespace canvasRules {
inline constexpr double handleGrabRadius = 9;   // view points
inline constexpr double hitTolerance = 6;       // view points
inline constexpr double minimumDrag = 3;        // image pixels; a new shape needs more
inline constexpr double minimumCropWidth = 4;   // image pixels
inline constexpr double nudge = 1;              // image pixels
inline constexpr double shiftNudge = 10;
} // namespace canvasRules

// How far the canvas is zoomed in: fitted into the view, or a zoom factor over the image's
// natural size (1 shows one image point per view point) with the image point that is kept at
// the view's centre where the image is larger than the view.
struct CanvasZoom {
    static constexpr double minimum = 0.1;
    static constexpr double maximum = 8;
    static constexpr double step = 1.25; // per wheel notch and Ctrl++ / Ctrl+-

    std::optional<double> factor; // none: fitted
    QPointF centre;               // image pixels
};

class CanvasMapping {
public:
    CanvasMapping() = default;
    // viewSize in view points (the widget's size); imagePixels the image's pixel size;
    // imageScale its pixels per point.
    CanvasMapping(QSizeF viewSize, QSize imagePixels, double imageScale, const CanvasZoom& zoom = {});

    // s: view points per image pixel. Fitted, never larger than 1 / imageScale (the image is
    // not shown above its natural size unless zoomed), never zero or negative.
    double scale() const { return m_scale; }
    // The zoom factor shown (1: natural size).
    double zoomFactor() const { return m_scale * m_imageScale; }
    // The image point at the view's centre (outside the image where the image is smaller).
    QPointF centre() const;
    // Where the image is, in widget coordinates (whole points).
    QRectF imageRect() const { return m_imageRect; }
    QSize imagePixels() const { return m_pixels; }
    double imageScale() const { return m_imageScale; }
    QSizeF viewSize() const { return m_view; }

    // A widget position to the image point under it, clamped to the image.
    QPointF toImage(QPointF widgetPoint) const;
    // The same, not clamped.
    QPointF toImageUnclamped(QPointF widgetPoint) const;
    // An image point to its widget position.
    QPointF toWidget(QPointF imagePoint) const;
    // An image rectangle to the widget rectangle it covers.
    QRectF toWidget(const QRectF& imageRect) const;
    // Image space to widget coordinates, for a painter.
    QTransform imageToWidget() const;

private:
    double m_scale = 1;
    double m_imageScale = 1;
    QSizeF m_view;
    QRectF m_imageRect;
    QSize m_pixels;
};

// The zoom `factor` (clamped to the zoom range) that keeps the image point under
// `widgetPoint` where it is, as far as the image's edges allow.
CanvasZoom zoomedAround(const CanvasMapping& current, double factor, QPointF widgetPoint);
// The zoom moved by (dx, dy) view points (scrolling; positive dy shows what is further down).
CanvasZoom scrolled(const CanvasMapping& current, const CanvasZoom& zoom, double dx, double dy);

// The Shift constraint for a point dragged from `anchor`: line-like drags keep their length
// and snap their direction to a multiple of 45°; other drags become squares.
QPointF constrain(QPointF point, QPointF anchor, bool lineLike);

// The fixed point that a handle's drag is constrained around: the opposite corner, the
// other end of a line, none for a scale handle.
std::optional<QPointF> anchor(const Annotation::Handle& handle, const Annotation& annotation);

// The first of the annotation's handles within `radius` of the point (inclusive), in the
// annotation's handle order.
std::optional<Annotation::Handle> handleAt(const Annotation& annotation, QPointF point, double radius);

// The view bounds an annotation can paint into (its shadow and the selection decorations
// included), in image pixels; used to repaint only what a change touches.
QRectF paintedBounds(const Annotation& annotation, double displayScale);

// The editor window's content size for an image on a visible frame (points), and the
// window's position centred on that frame.
QSizeF editorContentSize(QSize imagePixels, double imageScale, QSizeF visibleFrame);
QPointF centredOrigin(QSizeF frameSize, const QRectF& visibleFrame);

} // namespace quandrel
