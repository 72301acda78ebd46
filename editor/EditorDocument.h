#pragma once

// The model of one editor window: the captured image, the annotations over it, an optional
// crop, the current tool, colour and stroke size, the selection, and bounded undo and redo.
//
// Two ways of observing it: the change callback (setOnChange), which the canvas sets to a
// redraw request, runs after every change of the annotations or the crop; the …Changed
// signals tell the toolbar that the value it shows changed. Main thread only.

#include "Annotation.h"
#include "EditorTool.h"
#include "RGBA.h"
#include "StrokeSize.h"

#include <QImage>
#include <QList>
#include <QObject>
#include <QRectF>
#include <QUuid>

#include <functional>
#include <optional>

namespace quandrel {

// The undoable part of the document.
struct Snapshot {
    QList<Annotation> annotations;
    std::optional<QRectF> crop; // image pixels, origin bottom-left

    bool operator==(const Snapshot& other) const;
};

enum class UndoRecording {
    record,
    skip,
};

class EditorDocument : public QObject {
    Q_OBJECT

public:
    static constexpr qsizetype undoLimit = 200;
    static constexpr double minimumCropSize = 4;

    // image: the captured bitmap; scale: its pixels per point.
    EditorDocument(QImage image, double scale, QObject* parent = nullptr);

    const QImage& image() const { return m_image; }
    double scale() const { return m_scale; }
    const QList<Annotation>& annotations() const { return m_annotations; }
    const std::optional<QRectF>& crop() const { return m_crop; }
    EditorTool tool() const { return m_tool; }
    RGBA color() const { return m_color; }
    StrokeSize strokeSize() const { return m_strokeSize; }
    // Whether new rectangles and ellipses are filled; outlined at first.
    Annotation::Kind::Fill fill() const { return m_fill; }
    std::optional<QUuid> selectedID() const { return m_selectedID; }
    const QList<Snapshot>& undoStack() const { return m_undoStack; }
    const QList<Snapshot>& redoStack() const { return m_redoStack; }

    void setOnChange(std::function<void()> onChange) { m_onChange = std::move(onChange); }

    // Queries.
    std::optional<Annotation> selectedAnnotation() const;
    int nextStepNumber() const;
    // The topmost annotation that the point hits.
    std::optional<Annotation> annotationAt(QPointF point, double tolerance) const;
    double lineWidthForStrokeSize() const;
    // The image with every annotation drawn, cut to the crop. Its scale is scale(). When
    // drawing is impossible (no memory for the bitmap), the captured image as it is.
    QImage flattened() const;
    // The same image, or nothing when drawing it was impossible, for callers that tell the
    // user that the annotations were left out.
    std::optional<QImage> tryFlatten() const;

    // Mutations of the annotations and the crop; each ends with the change callback.
    void checkpoint(); // records the current state for undo; no callback
    void add(const Annotation& annotation);
    // Replaces the annotation with the same id in place; does nothing when there is none.
    void update(const Annotation& annotation, UndoRecording recording);
    void deleteSelected();
    // Rounds outwards to whole pixels and clips to the image; a result under 4 × 4 pixels
    // (or none) removes the crop. Setting the crop it already has records nothing.
    void applyCrop(std::optional<QRectF> rect);
    void undo();
    void redo();
    // Gives the selected annotation the current colour, stroke size and (for a rectangle or an
    // ellipse) fill, as one undo step.
    void applyStyleToSelection();

    // Plain setters: no undo step, no change callback; the signal only when the value changes.
    void setTool(EditorTool tool);
    void setColor(RGBA color);
    void setStrokeSize(StrokeSize size);
    void setFill(Annotation::Kind::Fill fill);
    void setSelectedID(std::optional<QUuid> id);

Q_SIGNALS:
    void toolChanged();
    void colorChanged();
    void strokeSizeChanged();
    void fillChanged();
    void selectionChanged();
    void cropChanged();

private:
    Snapshot currentSnapshot() const { return {m_annotations, m_crop}; }
    void restore(QList<Snapshot>& from, QList<Snapshot>& to);
    void setCrop(std::optional<QRectF> crop);
    void changed();

    QImage m_image;
    double m_scale;
    QList<Annotation> m_annotations;
    std::optional<QRectF> m_crop;
    EditorTool m_tool = EditorTool::arrow;
    RGBA m_color = editorPalette[0];
    StrokeSize m_strokeSize = StrokeSize::medium;
    Annotation::Kind::Fill m_fill = Annotation::Kind::Fill::outline;
    std::optional<QUuid> m_selectedID;
    QList<Snapshot> m_undoStack; // oldest first
    QList<Snapshot> m_redoStack; // most recent last
    std::function<void()> m_onChange;
};

} // namespace quandrel
