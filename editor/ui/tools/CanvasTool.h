#pragma once

// The editor's tools, one class per tool under one base. The canvas turns the mouse into
// image points and routes a press, the drag that follows and the release to the active
// tool. What is the same for every tool stays in the canvas: grabbing a handle of the
// selected annotation, moving or resizing it, and committing the move on release.
//
// While a drag is in progress the document is left alone: a tool keeps its live copy in the
// canvas's interaction (draft, cropDraft) and changes the document once, on release, so
// every new shape is one undo step.

#include "Annotation.h"
#include "EditorTool.h"

#include <QPointF>
#include <QRectF>
#include <QString>

#include <memory>
#include <optional>

namespace quandrel {

class EditorDocument;

// The live state of one press-drag-release.
struct CanvasInteraction {
    std::optional<QPointF> dragOrigin; // the press, in image pixels
    std::optional<Annotation> draft;   // a new annotation being drawn
    std::optional<Annotation> moving;  // live copy of a stored annotation being moved or resized
    std::optional<QRectF> cropDraft;   // a crop being dragged
};

// What a tool may use of the canvas.
class CanvasToolHost {
public:
    virtual EditorDocument& document() const = 0;
    virtual CanvasInteraction& interaction() = 0;
    // View points per image pixel at the current size and zoom.
    virtual double displayScale() const = 0;
    // Opens the text field at `origin` (image pixels) on `text`; `existing` is the annotation
    // being re-edited, none for a new text.
    virtual void beginTextEditing(const QString& text, const std::optional<Annotation>& existing, QPointF origin) = 0;
    // The draft or the moved copy changed: repaints what it covered and covers.
    virtual void liveAnnotationChanged() = 0;
    virtual void sceneChanged() = 0;

protected:
    ~CanvasToolHost() = default;
};

class CanvasTool {
public:
    explicit CanvasTool(CanvasToolHost& host)
        : m_host(host)
    {
    }
    virtual ~CanvasTool() = default;
    CanvasTool(const CanvasTool&) = delete;
    CanvasTool& operator=(const CanvasTool&) = delete;

    // A press at an image point that grabbed no handle; clickCount 2 for a double click.
    virtual void press(QPointF point, int clickCount) = 0;
    // A drag that is not moving or resizing a stored annotation.
    virtual void drag(QPointF point, bool shift);
    // The release of such a drag: a draft longer than the minimum drag is added and selected.
    virtual void release();

protected:
    // With a drawing tool, a press on the selected annotation moves it instead of drawing;
    // true when it did.
    bool moveSelectedAt(QPointF point);
    // The hit tolerance in image pixels.
    double tolerance() const;

    CanvasToolHost& m_host;
};

std::unique_ptr<CanvasTool> makeCanvasTool(EditorTool tool, CanvasToolHost& host);

// The tools, each in its own file.
std::unique_ptr<CanvasTool> makeSelectTool(CanvasToolHost& host);
std::unique_ptr<CanvasTool> makeShapeTool(CanvasToolHost& host, EditorTool tool); // drag-to-draw kinds
std::unique_ptr<CanvasTool> makeFreehandTool(CanvasToolHost& host, Annotation::Kind::Type type);
std::unique_ptr<CanvasTool> makeTextTool(CanvasToolHost& host);
std::unique_ptr<CanvasTool> makeStepTool(CanvasToolHost& host);
std::unique_ptr<CanvasTool> makeCropTool(CanvasToolHost& host);

} // namespace quandrel
