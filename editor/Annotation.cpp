#include "Annotation.h"

#include "EditorGeometry.h"
#include "TextMeasure.h"

#include <algorithm>
#include <cmath>

namespace quandrel {

using Type = Annotation::Kind::Type;

bool Annotation::Handle::operator==(const Handle& other) const
{
    return type == other.type && (type != Type::corner || exactlyEqual(corner, other.corner));
}

bool Annotation::HandlePosition::operator==(const HandlePosition& other) const
{
    return handle == other.handle && exactlyEqual(position, other.position);
}

Annotation Annotation::create(Kind kind, QPointF start, QPointF end, RGBA color, double lineWidth)
{
    return {QUuid::createUuid(), std::move(kind), start, end, color, lineWidth};
}

Annotation::Kind Annotation::Kind::withFill(Fill fill) const
{
    if (m_type != Type::rectangle && m_type != Type::ellipse)
        return *this;
    Kind result = *this;
    result.m_number = fill == Fill::solid;
    return result;
}

Annotation Annotation::freehand(Kind::Type type, const QList<QPointF>& points, RGBA color, double lineWidth)
{
    Q_ASSERT(type == Type::pen || type == Type::marker);
    if (points.isEmpty())
        return create(type == Type::pen ? Kind::pen({}) : Kind::marker({}), {}, {}, color, lineWidth);
    double x0 = points.front().x(), y0 = points.front().y(), x1 = x0, y1 = y0;
    for (const QPointF& p : points) {
        x0 = std::min(x0, p.x());
        y0 = std::min(y0, p.y());
        x1 = std::max(x1, p.x());
        y1 = std::max(y1, p.y());
    }
    const double w = x1 - x0;
    const double h = y1 - y0;
    QList<QPointF> unit;
    unit.reserve(points.size());
    for (const QPointF& p : points)
        unit.append({w > 0 ? (p.x() - x0) / w : 0, h > 0 ? (p.y() - y0) / h : 0});
    Kind kind = type == Type::pen ? Kind::pen(std::move(unit)) : Kind::marker(std::move(unit));
    return create(std::move(kind), {x0, y0}, {x1, y1}, color, lineWidth);
}

QList<QPointF> Annotation::strokePoints() const
{
    const QRectF r = normalizedRect();
    QList<QPointF> points;
    points.reserve(kind.unitPoints().size());
    for (const QPointF& u : kind.unitPoints())
        points.append({minX(r) + u.x() * r.width(), minY(r) + u.y() * r.height()});
    return points;
}

double Annotation::strokeWidth() const { return kind.is(Type::marker) ? lineWidth * 3 : lineWidth; }

double Annotation::blurRadius() const { return std::max(lineWidth * 2, 4.0); }

bool Annotation::operator==(const Annotation& other) const
{
    return id == other.id && kind == other.kind && exactlyEqual(start, other.start)
        && exactlyEqual(end, other.end) && color == other.color && lineWidth == other.lineWidth;
}

QRectF Annotation::normalizedRect() const { return quandrel::normalizedRect(start, end); }

double Annotation::stepRadius() const { return std::max(lineWidth * 3.5, 12.0); }

double Annotation::textFontSize() const { return std::max(lineWidth * 5, 12.0); }

QRectF Annotation::bounds() const
{
    switch (kind.type()) {
    case Type::step: {
        const double r = stepRadius();
        return {start.x() - r, start.y() - r, 2 * r, 2 * r};
    }
    case Type::text:
        return {start, measureText(kind.text(), textFontSize(), FontWeight::semibold)};
    case Type::arrow:
    case Type::line:
    case Type::rectangle:
    case Type::ellipse:
    case Type::highlight:
    case Type::pixelate:
    case Type::blur:
    case Type::pen:
    case Type::marker:
        break;
    }
    return grown(normalizedRect(), strokeWidth());
}

QList<Annotation::HandlePosition> Annotation::handles() const
{
    switch (kind.type()) {
    case Type::text: {
        const QRectF b = bounds();
        return {{Handle::scale(), {maxX(b), maxY(b)}}};
    }
    case Type::step:
        return {{Handle::scale(), {start.x() + stepRadius(), start.y()}}};
    case Type::arrow:
    case Type::line:
        return {{Handle::startPoint(), start}, {Handle::endPoint(), end}};
    case Type::rectangle:
    case Type::ellipse:
    case Type::highlight:
    case Type::pixelate:
    case Type::blur:
    case Type::pen:
    case Type::marker:
        break;
    }
    const QRectF r = normalizedRect();
    QList<HandlePosition> result;
    for (const QPointF corner : {QPointF(minX(r), minY(r)), QPointF(maxX(r), minY(r)), QPointF(minX(r), maxY(r)),
                                 QPointF(maxX(r), maxY(r))})
        result.append({Handle::cornerAt(corner), corner});
    return result;
}

bool Annotation::hitTest(QPointF point, double tolerance) const
{
    switch (kind.type()) {
    case Type::rectangle:
    case Type::ellipse: {
        if (kind.fill() == Kind::Fill::solid)
            break; // hit anywhere inside, like a highlight
        // Only a band around the outline hits, for an ellipse too; a rectangle too thin to
        // have an inside is hit anywhere within its grown outline.
        const QRectF r = normalizedRect();
        const QRectF inner = grown(r, -(tolerance + lineWidth));
        return containsPoint(grown(r, tolerance), point) && !containsPoint(inner, point);
    }
    case Type::arrow:
    case Type::line:
        return segmentDistance(point, start, end) <= tolerance + lineWidth * 0.5;
    case Type::pen:
    case Type::marker: {
        const QList<QPointF> points = strokePoints();
        const double reach = tolerance + strokeWidth() * 0.5;
        if (points.size() == 1)
            return segmentDistance(point, points.front(), points.front()) <= reach;
        for (qsizetype i = 1; i < points.size(); ++i) {
            if (segmentDistance(point, points[i - 1], points[i]) <= reach)
                return true;
        }
        return false;
    }
    case Type::text:
    case Type::step:
    case Type::highlight:
    case Type::pixelate:
    case Type::blur:
        break;
    }
    return containsPoint(grown(bounds(), tolerance), point);
}

Annotation Annotation::resized(const Handle& handle, QPointF point) const
{
    Annotation result = *this;
    switch (handle.type) {
    case Handle::Type::corner: {
        const QRectF r = normalizedRect();
        const QPointF c = handle.corner;
        const double fixedX = minX(r) != c.x() ? minX(r) : maxX(r);
        const double fixedY = minY(r) != c.y() ? minY(r) : maxY(r);
        result.start = {fixedX, fixedY};
        result.end = point;
        break;
    }
    case Handle::Type::start:
        result.start = point;
        break;
    case Handle::Type::end:
        result.end = point;
        break;
    case Handle::Type::scale:
        if (kind.is(Type::step)) {
            const double radius = std::max(std::hypot(point.x() - start.x(), point.y() - start.y()), 8.0);
            result.lineWidth = radius / 3.5;
        } else if (kind.is(Type::text)) {
            const double fontSize = textFontSize();
            const double width = measureText(kind.text(), fontSize, FontWeight::semibold).width();
            double factor = point.x() - start.x();
            if (width > 1)
                factor /= width;
            result.lineWidth = std::max(fontSize * std::max(factor, 0.1), 8.0) / 5;
        }
        break;
    }
    return result;
}

Annotation Annotation::moved(double dx, double dy) const
{
    Annotation result = *this;
    result.start += QPointF(dx, dy);
    result.end += QPointF(dx, dy);
    return result;
}

double segmentDistance(QPointF p, QPointF a, QPointF b)
{
    const QPointF d = b - a;
    const double length2 = d.x() * d.x() + d.y() * d.y();
    QPointF nearest = a;
    if (length2 > 0) {
        const double t = std::clamp(QPointF::dotProduct(p - a, d) / length2, 0.0, 1.0);
        nearest = a + t * d;
    }
    return std::hypot(p.x() - nearest.x(), p.y() - nearest.y());
}

} // namespace quandrel
