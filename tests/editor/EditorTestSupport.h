#pragma once

// Pixel probes for the editor's rendering tests. Points are in image pixel space (origin
// bottom-left, y up); a probe reads the pixel that contains the point.

#include "Annotation.h"

#include <QColor>
#include <QImage>
#include <QList>

#include <ostream>

namespace quandrel {

QImage filledImage(int width, int height, const QColor& color);

// The colour of the pixel containing the image-space point (x, y).
QColor pixelAt(const QImage& image, double x, double y);

// The image with `annotations` drawn over `source`, as the flattened bitmap is made.
QImage rendered(const QImage& source, const QList<Annotation>& annotations);

// True when every channel is within `tolerance` of the expected value (0…255).
bool near(const QColor& actual, const QColor& expected, int tolerance = 2);

} // namespace quandrel

// GoogleTest finds printers by argument-dependent lookup, so they live beside the Qt types.
void PrintTo(const QColor& color, std::ostream* out);
void PrintTo(const QPointF& point, std::ostream* out);
void PrintTo(const QRectF& rect, std::ostream* out);
