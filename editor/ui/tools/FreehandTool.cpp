// Pen and marker: the drag leaves a freehand stroke through the pointer's path. Samples
// closer than a view point to the last one are skipped, so a slow hand does not pile up
// points; the drawing smooths the corners between samples. The whole stroke is one
// annotation and one undo step, selectable and movable like a shape.

#include "CanvasGeometry.h"
#include "CanvasTool.h"
#include "EditorDocument.h"

#include <QList>

#include <cmath>

namespace quandrel {

namespace {

class FreehandTool final : public CanvasTool {
public:
    FreehandTool(CanvasToolHost& host, Annotation::Kind::Type type)
        : CanvasTool(host)
        , m_type(type)
    {
    }

    void press(QPointF point, int) override
    {
        m_points.clear();
        if (moveSelectedAt(point))
            return;
        m_host.document().setSelectedID(std::nullopt);
        m_points.append(point);
        rebuild();
    }

    void drag(QPointF point, bool) override
    {
        if (m_points.isEmpty() || !m_host.interaction().draft)
            return;
        const QPointF d = point - m_points.back();
        if (std::hypot(d.x(), d.y()) * m_host.displayScale() < 1)
            return;
        m_points.append(point);
        rebuild();
    }

    void release() override
    {
        CanvasTool::release();
        m_points.clear();
    }

private:
    void rebuild()
    {
        CanvasInteraction& live = m_host.interaction();
        const EditorDocument& document = m_host.document();
        Annotation stroke = Annotation::freehand(m_type, m_points, document.color(), document.lineWidthForStrokeSize());
        if (live.draft)
            stroke.id = live.draft->id; // the same live annotation, for the canvas's caches
        live.draft = std::move(stroke);
        m_host.liveAnnotationChanged();
    }

    Annotation::Kind::Type m_type;
    QList<QPointF> m_points; // image pixels, in drawing order
};

} // namespace

std::unique_ptr<CanvasTool> makeFreehandTool(CanvasToolHost& host, Annotation::Kind::Type type)
{
    return std::make_unique<FreehandTool>(host, type);
}

} // namespace quandrel
