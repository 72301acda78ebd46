#include "CanvasGeometry.h"

#include "EditorGeometry.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace quandrel {

namespace {

constexpr double margin = 20; // view points around the fitted image

} // namespace

CanvasMapping::CanvasMapping(QSizeF viewSize, QSize imagePixels, double imageScale, const CanvasZoom& zoom)
    : m_imageScale(imageScale > 0 ? imageScale : 1)
    , m_view(viewSize)
    , m_pixels(imagePixels)
{
    const double w = imagePixels.width();
    const double h = imagePixels.height();
    if (w < 1 || h < 1 || !(imageScale > 0)) {
        m_scale = 1;
    } else if (zoom.factor) {
        m_scale = std::clamp(*zoom.factor, CanvasZoom::minimum, CanvasZoom::maximum) / imageScale;
    } else {
        m_scale = std::min({1 / imageScale, (viewSize.width() - 2 * margin) / w, (viewSize.height() - 2 * margin) / h});
        // A view smaller than its margins would give a zero or negative scale; the image then
        // shrinks to a speck rather than turning over.
        if (!(m_scale > 0))
            m_scale = 1e-6;
    }
    // In y-up view coordinates: centred on each axis where the image fits between the
    // margins, else placed so the zoom's centre point sits at the view's centre, without
    // leaving more than the margin beside the image. Rounded to whole points, flipped once.
    const double iw = std::max(w, 0.0) * m_scale;
    const double ih = std::max(h, 0.0) * m_scale;
    const auto place = [&](double view, double extent, double centre) {
        if (!zoom.factor || extent <= view - 2 * margin)
            return (view - extent) / 2;
        return std::clamp(view / 2 - centre * m_scale, view - margin - extent, margin);
    };
    const double x = place(viewSize.width(), iw, zoom.centre.x());
    const double y = place(viewSize.height(), ih, zoom.centre.y());
    const QRectF yUp = zoom.factor ? QRectF(std::round(x), std::round(y), iw, ih) : integralRect({x, y, iw, ih});
    m_imageRect = QRectF(minX(yUp), viewSize.height() - maxY(yUp), yUp.width(), yUp.height());
}

QPointF CanvasMapping::centre() const { return toImageUnclamped({m_view.width() / 2, m_view.height() / 2}); }

QPointF CanvasMapping::toImageUnclamped(QPointF widgetPoint) const
{
    return {(widgetPoint.x() - m_imageRect.left()) / m_scale, (m_imageRect.bottom() - widgetPoint.y()) / m_scale};
}

CanvasZoom zoomedAround(const CanvasMapping& current, double factor, QPointF widgetPoint)
{
    factor = std::clamp(factor, CanvasZoom::minimum, CanvasZoom::maximum);
    const double s = factor / current.imageScale();
    const QPointF q = current.toImageUnclamped(widgetPoint);
    // The view's centre lies (centre − pointer) view points from the pointer; y is up in
    // the image.
    const QPointF viewCentre(current.viewSize().width() / 2, current.viewSize().height() / 2);
    const QPointF d((viewCentre.x() - widgetPoint.x()) / s, (widgetPoint.y() - viewCentre.y()) / s);
    return {factor, q + d};
}

CanvasZoom scrolled(const CanvasMapping& current, const CanvasZoom& zoom, double dx, double dy)
{
    if (!zoom.factor)
        return zoom;
    return {zoom.factor, current.centre() + QPointF(dx / current.scale(), -dy / current.scale())};
}

QPointF CanvasMapping::toImage(QPointF widgetPoint) const
{
    // y up from the image rectangle's bottom edge.
    const double x = (widgetPoint.x() - m_imageRect.left()) / m_scale;
    const double y = (m_imageRect.bottom() - widgetPoint.y()) / m_scale;
    return {std::clamp(x, 0.0, double(std::max(m_pixels.width(), 0))),
            std::clamp(y, 0.0, double(std::max(m_pixels.height(), 0)))};
}

QPointF CanvasMapping::toWidget(QPointF p) const
{
    return {m_imageRect.left() + p.x() * m_scale, m_imageRect.bottom() - p.y() * m_scale};
}

QRectF CanvasMapping::toWidget(const QRectF& r) const
{
    return QRectF(toWidget(QPointF(minX(r), maxY(r))), toWidget(QPointF(maxX(r), minY(r)))).normalized();
}

QTransform CanvasMapping::imageToWidget() const
{
    return QTransform(m_scale, 0, 0, -m_scale, m_imageRect.left(), m_imageRect.bottom());
}

QPointF constrain(QPointF point, QPointF anchor, bool lineLike)
{
    const QPointF d = point - anchor;
    if (lineLike) {
        const double step = std::numbers::pi / 4;
        const double angle = std::round(std::atan2(d.y(), d.x()) / step) * step;
        const double length = std::hypot(d.x(), d.y());
        return anchor + length * QPointF(std::cos(angle), std::sin(angle));
    }
    const double m = std::max(std::abs(d.x()), std::abs(d.y()));
    return anchor + QPointF(d.x() < 0 ? -m : m, d.y() < 0 ? -m : m);
}

std::optional<QPointF> anchor(const Annotation::Handle& handle, const Annotation& annotation)
{
    using Type = Annotation::Handle::Type;
    switch (handle.type) {
    case Type::corner: {
        const QRectF r = annotation.normalizedRect();
        return QPointF(minX(r) != handle.corner.x() ? minX(r) : maxX(r), minY(r) != handle.corner.y() ? minY(r) : maxY(r));
    }
    case Type::start:
        return annotation.end;
    case Type::end:
        return annotation.start;
    case Type::scale:
        break;
    }
    return std::nullopt;
}

std::optional<Annotation::Handle> handleAt(const Annotation& annotation, QPointF point, double radius)
{
    for (const Annotation::HandlePosition& h : annotation.handles()) {
        if (std::hypot(h.position.x() - point.x(), h.position.y() - point.y()) <= radius)
            return h.handle;
    }
    return std::nullopt;
}

QRectF paintedBounds(const Annotation& annotation, double displayScale)
{
    // The stroke's half width is inside bounds() already; shadows reach about three blur
    // radii plus their offset (text: F × 0.125 blur, F / 20 offset; badges: r × 0.25, 1 px,
    // in view points); the dashed outline and the handles reach 4 + 4.5 + 1.5 view points.
    const double s = displayScale > 0 ? displayScale : 1;
    // Shadow sizes are device units, so they are divided by s like the decorations.
    double extra = annotation.lineWidth;
    using Type = Annotation::Kind::Type;
    if (annotation.kind.is(Type::text))
        extra += (annotation.textFontSize() * 0.5 + 2) / s;
    if (annotation.kind.is(Type::step))
        extra += (annotation.stepRadius() * 0.8 + 2) / s;
    const double decorations = 12 / s;
    return grown(annotation.bounds(), extra + decorations);
}

QSizeF editorContentSize(QSize imagePixels, double imageScale, QSizeF visibleFrame)
{
    const double scale = imageScale > 0 ? imageScale : 1;
    const double width = std::min(visibleFrame.width() * 0.9, std::max(imagePixels.width() / scale + 40, 720.0));
    const double height = std::min(visibleFrame.height() * 0.9, std::max(imagePixels.height() / scale + 90, 420.0));
    return {width, height};
}

QPointF centredOrigin(QSizeF frameSize, const QRectF& visibleFrame)
{
    return {visibleFrame.center().x() - frameSize.width() / 2, visibleFrame.center().y() - frameSize.height() / 2};
}

} // namespace quandrel
