#include "CanvasRenderer.h"

#include "AnnotationRenderer.h"
#include "CanvasGeometry.h"
#include "EditorGeometry.h"
#include "Shadow.h"

#include <QPainter>
#include <QPainterPath>
#include <QSet>

#include <algorithm>

namespace quandrel {

using Type = Annotation::Kind::Type;

namespace {

QTransform imageTransform(const CanvasScene& scene)
{
    return canvasImageTransform(scene);
}

// The widget rectangle an annotation can paint into.
QRectF widgetBounds(const CanvasScene& scene, const Annotation& annotation)
{
    return imageTransform(scene).mapRect(paintedBounds(annotation, scene.scale));
}

bool sameRect(const QRectF& a, const QRectF& b) { return exactlyEqual(a, b); }

} // namespace

bool paintedFromLayer(const Annotation& annotation)
{
    switch (annotation.kind.type()) {
    case Type::pixelate:
    case Type::blur:
    case Type::text:
    case Type::step:
        return true;
    case Type::pen:
    case Type::marker:
    case Type::arrow:
    case Type::line:
    case Type::rectangle:
    case Type::ellipse:
    case Type::highlight:
        break;
    }
    return false;
}

void CanvasRenderer::clear()
{
    m_backdrop = {};
    m_layers.clear();
}

qint64 CanvasRenderer::cachedBytes() const
{
    qint64 bytes = m_backdrop.image.sizeInBytes();
    for (const Layer& layer : m_layers)
        bytes += layer.image.sizeInBytes();
    return bytes;
}

const QImage& CanvasRenderer::backdrop(const CanvasScene& scene, const QRectF& viewBounds, double dpr)
{
    Backdrop& b = m_backdrop;
    if (!b.image.isNull() && b.viewSize == viewBounds.size() && sameRect(b.imageRect, scene.imageRect)
        && b.background == scene.background && b.dpr == dpr && b.sourceKey == scene.source.cacheKey())
        return b.image;

    b = {};
    const QSize deviceSize = (viewBounds.size() * dpr).toSize();
    QImage image(deviceSize.expandedTo({1, 1}), QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return b.image; // no memory: painted without a backdrop
    image.setDevicePixelRatio(dpr);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.fillRect(viewBounds, scene.background);
        // The drop shadow only while the whole image is in view (zoomed in, it is outside).
        if (viewBounds.contains(scene.imageRect))
            paintShadow(p, {QColor::fromRgbF(0, 0, 0, float(canvas::imageShadowAlpha)), {0, -2}, canvas::imageShadowBlur},
                        scene.imageRect, [&](QPainter& shadow) { shadow.fillRect(scene.imageRect, scene.background); });
        p.fillRect(scene.imageRect, scene.background);
        const QSize fittedSize = (scene.imageRect.size() * dpr).toSize();
        if (scene.scale * dpr < 1) {
            // Smaller than its pixels: the image scaled once, smoothly, to its device size;
            // repaints only copy it.
            if (!scene.source.isNull() && !fittedSize.isEmpty()) {
                const QImage fitted = scene.source.scaled(fittedSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
                p.drawImage(scene.imageRect, fitted);
            }
        } else {
            // Zoomed in: only the part in view, each image pixel a sharp square.
            p.setClipRect(scene.imageRect.intersected(viewBounds));
            p.setRenderHint(QPainter::SmoothPixmapTransform, false);
            p.drawImage(scene.imageRect, scene.source);
        }
    }
    b = {std::move(image), viewBounds.size(), scene.imageRect, scene.background, dpr, scene.source.cacheKey()};
    return b.image;
}

const CanvasRenderer::Layer& CanvasRenderer::layer(const CanvasScene& scene, const Annotation& annotation,
                                                   const QRectF& viewBounds, double dpr)
{
    auto it = m_layers.find(annotation.id);
    if (it != m_layers.end() && it->annotation == annotation && it->scale == scene.scale
        && sameRect(it->imageRect, scene.imageRect) && it->dpr == dpr)
        return *it;

    Layer fresh{annotation, scene.scale, scene.imageRect, dpr, {}, {}};
    const QRectF target = widgetBounds(scene, annotation).intersected(scene.imageRect).intersected(viewBounds);
    const QRect device = QRectF(target.topLeft() * dpr, target.size() * dpr).toAlignedRect();
    if (!device.isEmpty()) {
        QImage image(device.size(), QImage::Format_ARGB32_Premultiplied);
        if (!image.isNull()) {
            image.fill(Qt::transparent);
            image.setDevicePixelRatio(dpr);
            QPainter p(&image);
            p.translate(-QPointF(device.topLeft()) / dpr);
            p.setTransform(imageTransform(scene), true);
            p.setRenderHint(QPainter::SmoothPixmapTransform);
            // A highlight's multiply onto a transparent layer leaves its colour as it is; the
            // multiply happens when the layer is composed onto the canvas.
            drawAnnotation(p, annotation, scene.source);
            p.end();
            fresh.image = std::move(image);
            fresh.target = QRectF(QPointF(device.topLeft()) / dpr, QSizeF(device.size()) / dpr);
        }
    }
    return *m_layers.insert(annotation.id, std::move(fresh));
}

void CanvasRenderer::paint(QPainter& painter, const CanvasScene& scene, const QRectF& viewBounds, const QRectF& dirty,
                           double dpr)
{
    Q_ASSERT(scene.scale > 0);
    painter.save();

    const QImage& back = backdrop(scene, viewBounds, dpr);
    if (back.isNull()) {
        painter.fillRect(dirty, scene.background);
    } else {
        // Whole device pixels of the backdrop onto the same pixels of the widget.
        const QRect source = QRectF(dirty.topLeft() * dpr, dirty.size() * dpr).toAlignedRect().intersected(back.rect());
        painter.drawImage(QRectF(QPointF(source.topLeft()) / dpr, QSizeF(source.size()) / dpr), back, source);
    }

    const QRectF clip = dirty.intersected(scene.imageRect);
    if (!clip.isEmpty()) {
        painter.setClipRect(clip, Qt::IntersectClip);
        painter.setRenderHint(QPainter::Antialiasing);
        const QTransform toWidget = imageTransform(scene);

        const QList<Annotation> annotations = visibleAnnotations(scene);
        QSet<QUuid> present;
        present.reserve(annotations.size());
        for (const Annotation& a : annotations) {
            present.insert(a.id);
            if (!widgetBounds(scene, a).intersects(clip))
                continue;
            if (paintedFromLayer(a)) {
                const Layer& l = layer(scene, a, viewBounds, dpr);
                if (l.image.isNull())
                    continue;
                painter.save();
                painter.resetTransform();
                painter.drawImage(l.target, l.image);
                painter.restore();
            } else {
                painter.save();
                painter.setTransform(toWidget);
                drawAnnotation(painter, a, scene.source);
                painter.restore();
            }
        }
        for (auto it = m_layers.begin(); it != m_layers.end();) {
            if (present.contains(it.key()))
                ++it;
            else
                it = m_layers.erase(it);
        }

        painter.setTransform(toWidget);
        drawSelectionAndCrop(painter, scene, annotations);
    }
    painter.restore();
}

} // namespace quandrel
