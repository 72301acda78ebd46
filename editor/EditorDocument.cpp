#include "EditorDocument.h"

#include "AnnotationRenderer.h"
#include "EditorGeometry.h"

#include <QColorSpace>
#include <QPainter>

#include <algorithm>

namespace quandrel {

bool Snapshot::operator==(const Snapshot& other) const
{
    return annotations == other.annotations && exactlyEqual(crop, other.crop);
}

EditorDocument::EditorDocument(QImage image, double scale, QObject* parent)
    : QObject(parent)
    , m_image(std::move(image))
    , m_scale(scale)
{
    Q_ASSERT(scale > 0);
}

std::optional<Annotation> EditorDocument::selectedAnnotation() const
{
    if (!m_selectedID)
        return std::nullopt;
    for (const Annotation& annotation : m_annotations) {
        if (annotation.id == *m_selectedID)
            return annotation;
    }
    return std::nullopt;
}

int EditorDocument::nextStepNumber() const
{
    int highest = 0;
    for (const Annotation& annotation : m_annotations) {
        if (annotation.kind.is(Annotation::Kind::Type::step))
            highest = std::max(highest, annotation.kind.stepNumber());
    }
    return highest + 1;
}

std::optional<Annotation> EditorDocument::annotationAt(QPointF point, double tolerance) const
{
    for (auto it = m_annotations.crbegin(); it != m_annotations.crend(); ++it) {
        if (it->hitTest(point, tolerance))
            return *it;
    }
    return std::nullopt;
}

double EditorDocument::lineWidthForStrokeSize() const { return rawValue(m_strokeSize) * m_scale; }

QImage EditorDocument::flattened() const { return tryFlatten().value_or(m_image); }

std::optional<QImage> EditorDocument::tryFlatten() const
{
    const int width = m_image.width();
    const int height = m_image.height();
    // Qt's native raster format: 8 bits per component, premultiplied alpha.
    QImage canvas(width, height, QImage::Format_ARGB32_Premultiplied);
    if (canvas.isNull())
        return std::nullopt;
    canvas.fill(Qt::transparent);
    canvas.setColorSpace(m_image.colorSpace().isValid() ? m_image.colorSpace() : QColorSpace(QColorSpace::SRgb));
    {
        QPainter painter(&canvas);
        if (!painter.isActive())
            return std::nullopt;
        painter.setTransform(imagePixelSpace(height));
        renderScene(painter, m_annotations, m_image);
    }
    if (!m_crop)
        return canvas;

    // The crop is kept with the origin at the bottom-left; QImage rows start at the top.
    const QRectF topDown(minX(*m_crop), height - maxY(*m_crop), m_crop->width(), m_crop->height());
    const QImage cut = canvas.copy(integralRect(topDown).toRect());
    if (cut.isNull())
        return std::nullopt;
    return cut;
}

void EditorDocument::changed()
{
    if (m_onChange)
        m_onChange();
}

void EditorDocument::checkpoint()
{
    m_undoStack.append(currentSnapshot());
    if (m_undoStack.size() > undoLimit)
        m_undoStack.removeFirst();
    m_redoStack.clear();
}

void EditorDocument::add(const Annotation& annotation)
{
    checkpoint();
    m_annotations.append(annotation);
    changed();
}

void EditorDocument::update(const Annotation& annotation, UndoRecording recording)
{
    const auto it = std::find_if(m_annotations.begin(), m_annotations.end(),
                                 [&](const Annotation& a) { return a.id == annotation.id; });
    if (it == m_annotations.end())
        return;
    const qsizetype index = it - m_annotations.begin();
    if (recording == UndoRecording::record)
        checkpoint();
    m_annotations[index] = annotation;
    changed();
}

void EditorDocument::deleteSelected()
{
    if (!selectedAnnotation())
        return;
    checkpoint();
    const QUuid id = *m_selectedID;
    m_annotations.removeIf([&](const Annotation& a) { return a.id == id; });
    setSelectedID(std::nullopt);
    changed();
}

void EditorDocument::applyCrop(std::optional<QRectF> rect)
{
    std::optional<QRectF> crop;
    if (rect) {
        // A rectangle dragged towards the origin has a negative width or height.
        const QRectF request = normalizedRect(rect->topLeft(), rect->bottomRight());
        const QRectF clipped = intersection(integralRect(request), QRectF(0, 0, m_image.width(), m_image.height()));
        if (clipped.width() >= minimumCropSize && clipped.height() >= minimumCropSize)
            crop = clipped;
    }
    if (exactlyEqual(crop, m_crop))
        return;
    checkpoint();
    setCrop(crop);
    changed();
}

void EditorDocument::setCrop(std::optional<QRectF> crop)
{
    if (exactlyEqual(crop, m_crop))
        return;
    m_crop = crop;
    Q_EMIT cropChanged();
}

void EditorDocument::restore(QList<Snapshot>& from, QList<Snapshot>& to)
{
    if (from.isEmpty())
        return;
    Snapshot snapshot = from.takeLast();
    to.append(currentSnapshot());
    m_annotations = std::move(snapshot.annotations);
    setCrop(snapshot.crop);
    if (m_selectedID && !selectedAnnotation())
        setSelectedID(std::nullopt);
    changed();
}

void EditorDocument::undo() { restore(m_undoStack, m_redoStack); }

void EditorDocument::redo() { restore(m_redoStack, m_undoStack); }

void EditorDocument::applyStyleToSelection()
{
    std::optional<Annotation> selected = selectedAnnotation();
    if (!selected)
        return;
    selected->color = m_color;
    selected->lineWidth = lineWidthForStrokeSize();
    selected->kind = selected->kind.withFill(m_fill);
    update(*selected, UndoRecording::record);
}

void EditorDocument::setFill(Annotation::Kind::Fill fill)
{
    if (fill == m_fill)
        return;
    m_fill = fill;
    Q_EMIT fillChanged();
}

void EditorDocument::setTool(EditorTool tool)
{
    if (tool == m_tool)
        return;
    m_tool = tool;
    Q_EMIT toolChanged();
}

void EditorDocument::setColor(RGBA color)
{
    if (color == m_color)
        return;
    m_color = color;
    Q_EMIT colorChanged();
}

void EditorDocument::setStrokeSize(StrokeSize size)
{
    if (size == m_strokeSize)
        return;
    m_strokeSize = size;
    Q_EMIT strokeSizeChanged();
}

void EditorDocument::setSelectedID(std::optional<QUuid> id)
{
    if (id == m_selectedID)
        return;
    m_selectedID = id;
    Q_EMIT selectionChanged();
}

} // namespace quandrel
