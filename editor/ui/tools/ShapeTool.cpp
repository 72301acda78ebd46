// The drag-to-draw tools (arrow, line, rectangle, ellipse, highlight, pixelate, blur): a drag
// spans the new shape from the press to the pointer; Shift keeps lines at multiples of 45°
// and other shapes square. Rectangles and ellipses take the document's fill.

#include "CanvasGeometry.h"
#include "CanvasTool.h"
#include "EditorDocument.h"

namespace quandrel {

namespace {

class ShapeTool final : public CanvasTool {
public:
    ShapeTool(CanvasToolHost& host, EditorTool tool)
        : CanvasTool(host)
        , m_tool(tool)
    {
    }

    void press(QPointF point, int) override
    {
        if (moveSelectedAt(point))
            return;
        EditorDocument& document = m_host.document();
        document.setSelectedID(std::nullopt);
        Annotation::Kind kind = *annotationKind(m_tool);
        if (takesFill(m_tool))
            kind = kind.withFill(document.fill());
        m_host.interaction().draft
            = Annotation::create(std::move(kind), point, point, document.color(), document.lineWidthForStrokeSize());
        m_host.liveAnnotationChanged();
    }

    void drag(QPointF point, bool shift) override
    {
        CanvasInteraction& live = m_host.interaction();
        if (!live.draft || !live.dragOrigin)
            return;
        if (shift)
            point = constrain(point, *live.dragOrigin, m_tool == EditorTool::arrow || m_tool == EditorTool::line);
        live.draft->end = point;
        m_host.liveAnnotationChanged();
    }

private:
    EditorTool m_tool;
};

} // namespace

std::unique_ptr<CanvasTool> makeShapeTool(CanvasToolHost& host, EditorTool tool)
{
    return std::make_unique<ShapeTool>(host, tool);
}

} // namespace quandrel
