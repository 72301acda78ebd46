#pragma once

// The canvas's on-screen painting (drawCanvas): backdrop, the image's drop
// shadow, the annotations, the selection with its handles and the crop shade.
//
// The painter is in the view's own coordinates, Qt's widget convention (origin top-left,
// y down, view points). Inside the image rectangle everything is drawn in the image's pixel
// space (y up), scaled by the display scale s; the decorations are sized by 1 / s so they
// stay the same number of view points at every window size.

#include "Annotation.h"

#include <QColor>
#include <QImage>
#include <QList>
#include <QRectF>
#include <QTransform>
#include <QUuid>

#include <optional>

class QPainter;

namespace quandrel {

namespace canvas {
inline constexpr double margin = 20;              // view points around the fitted image
inline constexpr double imageShadowAlpha = 0.3;
inline constexpr double imageShadowBlur = 12;
inline constexpr double selectionWidth = 1.5;     // view points, like the lengths below
inline constexpr double selectionDashOn = 4;
inline constexpr double selectionDashOff = 3;
inline constexpr double selectionOutset = 4;
inline constexpr double handleDiameter = 9;
inline constexpr double handleStrokeWidth = 1.5;
inline constexpr double cropShadeAlpha = 0.5;
inline constexpr double cropBorderWidth = 1;
} // namespace canvas

// What the canvas shows at one moment: the document's part and the interaction's part.
struct CanvasScene {
    QImage source;                    // the captured image
    QList<Annotation> annotations;    // the document's, in order
    std::optional<Annotation> moving; // live copy of an annotation being moved or resized
    std::optional<Annotation> draft;  // a new annotation being drawn, on top of all
    std::optional<QUuid> selectedID;
    std::optional<QRectF> crop;       // the document's crop (image pixels)
    std::optional<QRectF> cropDraft;  // a crop being dragged; shown instead of `crop`
    QRectF imageRect;                 // where the image is, in view coordinates
    double scale = 1;                 // s: view points per image pixel
    QColor background;                // the window background colour
    QColor accent;                    // the selection's colour
};

// The canvas backdrop and accent: the desktop palette's window and highlight colours.
QColor defaultCanvasBackground();
QColor defaultCanvasAccent();

// The list the canvas draws: `moving` replaces the stored annotation with its id (same
// position), `draft` goes last.
QList<Annotation> visibleAnnotations(const CanvasScene& scene);

// The transform from the image's pixel space (y up) to view coordinates.
QTransform canvasImageTransform(const CanvasScene& scene);

void drawCanvas(QPainter& painter, const CanvasScene& scene, const QRectF& viewBounds);

// The selected annotation's dashed outline and handles, and the crop's shade and border, in
// image coordinates (the painter already maps the image to the view).
void drawSelectionAndCrop(QPainter& painter, const CanvasScene& scene, const QList<Annotation>& annotations);

} // namespace quandrel
