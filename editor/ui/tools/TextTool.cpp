// Text: a press on a text re-opens it for editing, anywhere else opens an empty field there.

#include "CanvasTool.h"
#include "EditorDocument.h"

namespace quandrel {

namespace {

class TextTool final : public CanvasTool {
public:
    using CanvasTool::CanvasTool;

    void press(QPointF point, int) override
    {
        EditorDocument& document = m_host.document();
        if (const auto hit = document.annotationAt(point, tolerance()); hit && hit->kind.is(Annotation::Kind::Type::text)) {
            document.setSelectedID(hit->id);
            m_host.beginTextEditing(hit->kind.text(), hit, hit->start);
        } else {
            m_host.beginTextEditing(QString(), std::nullopt, point);
        }
    }
};

} // namespace

std::unique_ptr<CanvasTool> makeTextTool(CanvasToolHost& host) { return std::make_unique<TextTool>(host); }

} // namespace quandrel
