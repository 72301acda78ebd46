#pragma once

// Exactly how annotations are painted, into the flattened bitmap and on the canvas alike.
//
// Every function here draws in the image's pixel space: origin at the bottom-left, y up,
// one unit per image pixel. The painter passed in is already set up for it, by
// imagePixelSpace() for a QImage of the captured size, or by the canvas's own transform;
// nothing flips coordinates per call. Text and images, which Qt draws top-down, are turned
// upright locally where they are drawn.

#include "Annotation.h"

#include <QImage>
#include <QList>
#include <QTransform>

#include <optional>

class QPainter;

namespace quandrel {

// Constants of the drawing (image pixels).
namespace rendering {
inline constexpr double highlightAlpha = 0.4;
inline constexpr double minimumPixelateCell = 10;
inline constexpr double badgeShadowAlpha = 0.35;
inline constexpr double textShadowAlpha = 0.45;
inline constexpr double numberFontFactor = 1.15; // badge number size = radius × 1.15
inline constexpr double numberLuminanceThreshold = 0.7;
} // namespace rendering

// The transform from the image's pixel space (y up) to a QImage's pixel grid (row 0 on top).
QTransform imagePixelSpace(double imageHeight);

// Paints one annotation. Only pixelate and blur read `source`, the captured image.
void drawAnnotation(QPainter& painter, const Annotation& annotation, const QImage& source);

// The part of `source` under `rect`, like pixelatedRegion(), blurred with a Gaussian of
// standard deviation `radius` pixels that also reads the pixels around the area.
std::optional<QImage> blurredRegion(const QImage& source, const QRectF& rect, double radius);

// Draws `source` into (0, 0, width, height), then every annotation in order (later on top).
void renderScene(QPainter& painter, const QList<Annotation>& annotations, const QImage& source);

// The part of `source` under `rect` (image pixel space), rounded outwards to whole pixels
// and clipped to the image, pixelated with square cells of `cell` pixels on a grid anchored
// at the clipped area's minimum corner (its bottom-left). Each cell takes the average of the
// source pixels it covers; cells cut by the area's edge average only the pixels inside, so
// nothing outside (and no transparency) mixes in. The result is a top-down QImage of the
// clipped area's size, or nothing when less than one pixel of the area is inside the image.
std::optional<QImage> pixelatedRegion(const QImage& source, const QRectF& rect, double cell);

// Draws `image` upright (its first row at the top) into `target`, given in image pixel space.
void drawImageUpright(QPainter& painter, const QRectF& target, const QImage& image);

} // namespace quandrel
