#pragma once

// The canvas's painting with the caches that make it fast on large captures: the same
// picture as drawCanvas(), built so that a repaint costs what the change touches.
//
//  - The backdrop (window colour, the image's drop shadow and the image itself, scaled down
//    once to its size on screen) is one device-pixel image, rebuilt only when the view size,
//    the image rectangle, the colour or the device pixel ratio change.
//  - Annotations whose drawing is expensive (pixelate areas, texts and badges with their
//    blurred shadows) are kept as ready layers per annotation, rebuilt only when that
//    annotation or the display scale changes. Strokes and fills are drawn directly.
//  - Only annotations that reach into the region being repainted are drawn.

#include "CanvasPainter.h"

#include <QHash>
#include <QImage>
#include <QRectF>
#include <QUuid>

class QPainter;

namespace quandrel {

class CanvasRenderer {
public:
    // Paints the part `dirty` (widget coordinates) of the scene. The painter is the widget's,
    // already clipped to what is being repainted; dpr is the device pixel ratio.
    void paint(QPainter& painter, const CanvasScene& scene, const QRectF& viewBounds, const QRectF& dirty, double dpr);

    // Forgets every cached picture (the source image changed, for example).
    void clear();

    // What the caches hold, in bytes (for measurements).
    qint64 cachedBytes() const;
    int cachedLayerCount() const { return int(m_layers.size()); }

private:
    struct Backdrop {
        QImage image;
        QSizeF viewSize;
        QRectF imageRect;
        QColor background;
        double dpr = 0;
        qint64 sourceKey = 0;
    };
    struct Layer {
        Annotation annotation;
        double scale = 0;
        QRectF imageRect;
        double dpr = 0;
        QImage image;   // device pixels; empty when nothing of it is visible
        QRectF target;  // widget coordinates
    };

    const QImage& backdrop(const CanvasScene& scene, const QRectF& viewBounds, double dpr);
    const Layer& layer(const CanvasScene& scene, const Annotation& annotation, const QRectF& viewBounds, double dpr);

    Backdrop m_backdrop;
    QHash<QUuid, Layer> m_layers;
};

// Whether an annotation is painted from a cached layer rather than drawn directly.
bool paintedFromLayer(const Annotation& annotation);

} // namespace quandrel
