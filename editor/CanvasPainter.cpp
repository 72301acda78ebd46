#include "CanvasPainter.h"

#include "AnnotationRenderer.h"
#include "EditorGeometry.h"
#include "Shadow.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>

#include <algorithm>

namespace quandrel {

QColor defaultCanvasBackground() { return QGuiApplication::palette().color(QPalette::Window); }

QColor defaultCanvasAccent() { return QGuiApplication::palette().color(QPalette::Highlight); }

QList<Annotation> visibleAnnotations(const CanvasScene& scene)
{
    QList<Annotation> list = scene.annotations;
    if (scene.moving) {
        for (Annotation& annotation : list) {
            if (annotation.id == scene.moving->id) {
                annotation = *scene.moving;
                break;
            }
        }
    }
    if (scene.draft)
        list.append(*scene.draft);
    return list;
}

QTransform canvasImageTransform(const CanvasScene& scene)
{
    const QRectF& r = scene.imageRect;
    return QTransform(scene.scale, 0, 0, -scene.scale, r.left(), r.bottom());
}

void drawSelectionAndCrop(QPainter& painter, const CanvasScene& scene, const QList<Annotation>& annotations)
{
    const double s = scene.scale;
    if (scene.selectedID) {
        const auto selected = std::find_if(annotations.begin(), annotations.end(),
                                           [&](const Annotation& a) { return a.id == *scene.selectedID; });
        if (selected != annotations.end()) {
            // Qt measures dashes in pen widths.
            QPen outline(scene.accent, canvas::selectionWidth / s, Qt::CustomDashLine, Qt::FlatCap, Qt::MiterJoin);
            outline.setDashPattern({canvas::selectionDashOn / canvas::selectionWidth,
                                    canvas::selectionDashOff / canvas::selectionWidth});
            outline.setDashOffset(0);
            painter.setPen(outline);
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(grown(selected->bounds(), canvas::selectionOutset / s));

            painter.setPen(QPen(scene.accent, canvas::handleStrokeWidth / s));
            painter.setBrush(Qt::white);
            const double radius = canvas::handleDiameter / s / 2;
            for (const Annotation::HandlePosition& handle : selected->handles())
                painter.drawEllipse(handle.position, radius, radius);
        }
    }

    const std::optional<QRectF> crop = scene.cropDraft ? scene.cropDraft : scene.crop;
    if (crop) {
        QPainterPath shade;
        shade.setFillRule(Qt::OddEvenFill);
        shade.addRect(QRectF(0, 0, scene.source.width(), scene.source.height()));
        shade.addRect(*crop);
        painter.fillPath(shade, QColor::fromRgbF(0, 0, 0, float(canvas::cropShadeAlpha)));
        painter.setPen(QPen(Qt::white, canvas::cropBorderWidth / s));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(*crop);
    }
}

void drawCanvas(QPainter& painter, const CanvasScene& scene, const QRectF& viewBounds)
{
    Q_ASSERT(scene.scale > 0);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);

    painter.fillRect(viewBounds, scene.background);
    paintShadow(painter, {QColor::fromRgbF(0, 0, 0, float(canvas::imageShadowAlpha)), {0, -2}, canvas::imageShadowBlur},
                scene.imageRect, [&](QPainter& p) { p.fillRect(scene.imageRect, scene.background); });
    painter.fillRect(scene.imageRect, scene.background);

    painter.save();
    painter.setClipRect(scene.imageRect);
    painter.setTransform(canvasImageTransform(scene), true);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);

    const QList<Annotation> annotations = visibleAnnotations(scene);
    renderScene(painter, annotations, scene.source);

    drawSelectionAndCrop(painter, scene, annotations);

    painter.restore();
    painter.restore();
}

} // namespace quandrel
