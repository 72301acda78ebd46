#pragma once

// One element drawn over a screenshot, with the pure geometry every other editor part uses:
// bounds, handles, hit testing, resizing by a handle, moving.
//
// Coordinates and line widths are in the captured image's pixel space: origin at the
// bottom-left corner, y growing upwards.

#include "RGBA.h"

#include <QList>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QUuid>

#include <utility>

namespace quandrel {

struct Annotation {
    // What is drawn, with its payload: the string of a text (lines separated by '\n'), the
    // number of a step badge, whether a rectangle or an ellipse is filled, the points of a
    // freehand stroke. Made only through the factories, so the payload of the other kinds is
    // always empty and field-by-field equality is equality of kind and payload.
    class Kind {
    public:
        enum class Type { text, step, arrow, line, rectangle, ellipse, highlight, pixelate, pen, marker, blur };
        enum class Fill { outline, solid };

        static Kind text(QString string) { return {Type::text, std::move(string), 0}; }
        static Kind step(int number) { return {Type::step, {}, number}; }
        static Kind arrow() { return {Type::arrow, {}, 0}; }
        static Kind line() { return {Type::line, {}, 0}; }
        static Kind rectangle(Fill fill = Fill::outline) { return {Type::rectangle, {}, fill == Fill::solid}; }
        static Kind ellipse(Fill fill = Fill::outline) { return {Type::ellipse, {}, fill == Fill::solid}; }
        static Kind highlight() { return {Type::highlight, {}, 0}; }
        static Kind pixelate() { return {Type::pixelate, {}, 0}; }
        static Kind blur() { return {Type::blur, {}, 0}; }
        // A freehand stroke. Its points are kept relative to the annotation's rectangle (0 at
        // its minimum corner, 1 at its maximum), so moving and resizing by a corner carry the
        // stroke along; Annotation::freehand() makes one from points on the image.
        static Kind pen(QList<QPointF> unitPoints) { return {Type::pen, std::move(unitPoints)}; }
        static Kind marker(QList<QPointF> unitPoints) { return {Type::marker, std::move(unitPoints)}; }

        Type type() const { return m_type; }
        bool is(Type type) const { return m_type == type; }
        bool isFreehand() const { return m_type == Type::pen || m_type == Type::marker; }
        const QString& text() const { return m_text; } // empty unless type() is text
        int stepNumber() const { return m_type == Type::step ? m_number : 0; }
        Fill fill() const { return (m_type == Type::rectangle || m_type == Type::ellipse) && m_number ? Fill::solid : Fill::outline; }
        const QList<QPointF>& unitPoints() const { return m_points; } // empty unless freehand
        // The same kind with another fill; kinds that have none are returned as they are.
        Kind withFill(Fill fill) const;

        bool operator==(const Kind&) const = default;

    private:
        Kind(Type type, QString text, int number)
            : m_type(type)
            , m_text(std::move(text))
            , m_number(number)
        {
        }
        Kind(Type type, QList<QPointF> points)
            : m_type(type)
            , m_number(0)
            , m_points(std::move(points))
        {
        }

        Type m_type;
        QString m_text;
        int m_number;
        QList<QPointF> m_points;
    };

    // A grip by which a selected annotation is reshaped. A corner handle carries the corner's
    // position at the time the handles were computed.
    struct Handle {
        enum class Type { corner, start, end, scale };

        static Handle cornerAt(QPointF position) { return {Type::corner, position}; }
        static Handle startPoint() { return {Type::start, {}}; }
        static Handle endPoint() { return {Type::end, {}}; }
        static Handle scale() { return {Type::scale, {}}; }

        Type type = Type::scale;
        QPointF corner; // only for corner handles

        bool operator==(const Handle& other) const;
    };

    struct HandlePosition {
        Handle handle;
        QPointF position;
        bool operator==(const HandlePosition& other) const;
    };

    QUuid id;
    Kind kind = Kind::line();
    QPointF start; // drag start; text origin (bottom-left of its box); badge centre
    QPointF end;   // drag end; equal to start for text and steps
    RGBA color;
    double lineWidth = 1;

    // A new annotation with a fresh id.
    static Annotation create(Kind kind, QPointF start, QPointF end, RGBA color, double lineWidth);
    // A new pen or marker stroke through `points` (image pixels), spanning their bounding box.
    static Annotation freehand(Kind::Type type, const QList<QPointF>& points, RGBA color, double lineWidth);

    // Exact comparison of every field.
    bool operator==(const Annotation& other) const;

    // The rectangle spanned by start and end.
    QRectF normalizedRect() const;
    double stepRadius() const;   // max(lineWidth × 3.5, 12)
    double textFontSize() const; // max(lineWidth × 5, 12)
    // The width of the drawn stroke: lineWidth, and three times that for a marker.
    double strokeWidth() const;
    // Radius of a blur area's Gaussian: max(lineWidth × 2, 4).
    double blurRadius() const;
    // A freehand stroke's points on the image, in drawing order; empty for other kinds.
    QList<QPointF> strokePoints() const;

    QRectF bounds() const;
    QList<HandlePosition> handles() const;
    bool hitTest(QPointF point, double tolerance) const;
    Annotation resized(const Handle& handle, QPointF point) const;
    Annotation moved(double dx, double dy) const;
};

// The distance from p to the segment a–b (to a itself when a and b coincide).
double segmentDistance(QPointF p, QPointF a, QPointF b);

} // namespace quandrel
