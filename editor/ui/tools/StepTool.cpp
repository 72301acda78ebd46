// Step Number: each press places the next numbered badge, centred on the press.

#include "CanvasTool.h"
#include "EditorDocument.h"

namespace quandrel {

namespace {

class StepTool final : public CanvasTool {
public:
    using CanvasTool::CanvasTool;

    void press(QPointF point, int) override
    {
        EditorDocument& document = m_host.document();
        document.add(Annotation::create(Annotation::Kind::step(document.nextStepNumber()), point, point,
                                        document.color(), document.lineWidthForStrokeSize()));
    }
};

} // namespace

std::unique_ptr<CanvasTool> makeStepTool(CanvasToolHost& host) { return std::make_unique<StepTool>(host); }

} // namespace quandrel
