// Crop: the drag spans the crop; a click (less than the minimum width) removes it.

#include "CanvasGeometry.h"
#include "CanvasTool.h"
#include "EditorDocument.h"
#include "EditorGeometry.h"

namespace quandrel {

namespace {

class CropTool final : public CanvasTool {
public:
    using CanvasTool::CanvasTool;

    void press(QPointF point, int) override
    {
        m_host.interaction().cropDraft = QRectF(point, QSizeF(0, 0));
        m_host.sceneChanged();
    }

    void drag(QPointF point, bool) override
    {
        CanvasInteraction& live = m_host.interaction();
        if (!live.cropDraft || !live.dragOrigin)
            return;
        live.cropDraft = normalizedRect(*live.dragOrigin, point);
        m_host.sceneChanged();
    }

    void release() override
    {
        CanvasInteraction& live = m_host.interaction();
        if (!live.cropDraft)
            return;
        const QRectF crop = *live.cropDraft;
        live.cropDraft.reset();
        m_host.document().applyCrop(crop.width() < canvasRules::minimumCropWidth ? std::nullopt
                                                                                 : std::optional<QRectF>(crop));
    }
};

} // namespace

std::unique_ptr<CanvasTool> makeCropTool(CanvasToolHost& host) { return std::make_unique<CropTool>(host); }

} // namespace quandrel
