// Select: a press picks the topmost annotation under the pointer and the drag moves it; a
// double click on a text opens it for editing; a press on nothing clears the selection.

#include "CanvasTool.h"
#include "EditorDocument.h"

namespace quandrel {

namespace {

class SelectTool final : public CanvasTool {
public:
    using CanvasTool::CanvasTool;

    void press(QPointF point, int clickCount) override
    {
        EditorDocument& document = m_host.document();
        if (const auto hit = document.annotationAt(point, tolerance())) {
            document.setSelectedID(hit->id);
            m_host.interaction().moving = hit;
            if (clickCount == 2 && hit->kind.is(Annotation::Kind::Type::text))
                m_host.beginTextEditing(hit->kind.text(), hit, hit->start);
        } else {
            document.setSelectedID(std::nullopt);
        }
        m_host.sceneChanged();
    }
};

} // namespace

std::unique_ptr<CanvasTool> makeSelectTool(CanvasToolHost& host) { return std::make_unique<SelectTool>(host); }

} // namespace quandrel
