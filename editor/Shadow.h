#pragma once

// Soft drop shadows for QPainter: the alpha of what is drawn is blurred with a Gaussian and
// painted, tinted with the shadow colour and offset, underneath.
//
// The offset and the blur are in the device's units (logical pixels of the paint
// device), not scaled by the painter's transformation: a badge's shadow is as many screen
// pixels on the canvas as image pixels in the flattened bitmap. The offset is given with y
// up (0, −1 is one pixel down on screen), as the shadow constants are given.

#include <QColor>
#include <QPointF>
#include <QRectF>

#include <functional>

class QImage;
class QPainter;

namespace quandrel {

struct Shadow {
    QColor color;
    QPointF offset; // device units, y up
    double blur = 0; // device units; the Gaussian's standard deviation is blur / 2
};

// Paints the shadow of whatever drawShape paints (only its alpha counts). drawShape is called
// with a painter that has the same transformation as `painter`; shapeBounds is, in the
// painter's user space, a rectangle that contains everything drawShape paints. The shape
// itself is not painted; the caller paints it afterwards.
void paintShadow(QPainter& painter, const Shadow& shadow, const QRectF& shapeBounds,
                 const std::function<void(QPainter&)>& drawShape);

// Blurs an 8-bit alpha image in place with three box blurs that approximate a Gaussian of
// the given standard deviation (in pixels). Exposed for tests.
void blurAlpha(QImage& alpha8, double sigma);

} // namespace quandrel
