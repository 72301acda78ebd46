#include "CanvasTool.h"

#include "CanvasGeometry.h"
#include "EditorDocument.h"

#include <cmath>

namespace quandrel {

void CanvasTool::drag(QPointF point, bool shift)
{
    Q_UNUSED(point);
    Q_UNUSED(shift);
}

void CanvasTool::release()
{
    CanvasInteraction& live = m_host.interaction();
    if (!live.draft)
        return;
    const QPointF d = live.draft->end - live.draft->start;
    if (std::hypot(d.x(), d.y()) > canvasRules::minimumDrag) {
        const Annotation created = *live.draft;
        live.draft.reset();
        m_host.document().add(created);
        m_host.document().setSelectedID(created.id);
    }
}

bool CanvasTool::moveSelectedAt(QPointF point)
{
    const auto selected = m_host.document().selectedAnnotation();
    if (!selected || !selected->hitTest(point, tolerance()))
        return false;
    m_host.interaction().moving = selected; // the drag moves it; the tool stays
    return true;
}

double CanvasTool::tolerance() const { return canvasRules::hitTolerance / m_host.displayScale(); }

std::unique_ptr<CanvasTool> makeCanvasTool(EditorTool tool, CanvasToolHost& host)
{
    switch (tool) {
    case EditorTool::select: return makeSelectTool(host);
    case EditorTool::text: return makeTextTool(host);
    case EditorTool::step: return makeStepTool(host);
    case EditorTool::crop: return makeCropTool(host);
    case EditorTool::pen: return makeFreehandTool(host, Annotation::Kind::Type::pen);
    case EditorTool::marker: return makeFreehandTool(host, Annotation::Kind::Type::marker);
    case EditorTool::arrow:
    case EditorTool::line:
    case EditorTool::rectangle:
    case EditorTool::ellipse:
    case EditorTool::highlight:
    case EditorTool::pixelate:
    case EditorTool::blur: return makeShapeTool(host, tool);
    }
    Q_UNREACHABLE();
}

} // namespace quandrel
