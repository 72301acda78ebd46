#pragma once

// Quandrel's own windows in the in-memory desktop: every request is recorded, so tests can see
// which windows were made panels or overlays, what aspect ratio was asked for and which
// window holds the input. Grabs answer `grabAnswer`.

#include "OwnWindows.h"

#include <utility>
#include <vector>

namespace quandrel {

class FakeOwnWindows final : public OwnWindows {
public:
    void markFloatingPanel(QWindow& window) override { panels.push_back(&window); }
    void keepAspectRatio(QWindow& window, int width, int height) override { aspectRequests.push_back({&window, {width, height}}); }
    bool compositing() override { return composited; }
    void markOverlay(QWindow& window) override { overlays.push_back(&window); }
    InputGrabError grabInput(QWindow& window) override
    {
        grabbed = grabAnswer == InputGrabError::none ? &window : nullptr;
        return grabAnswer;
    }
    void releaseInput() override { grabbed = nullptr; }
    bool inputGrabbed() const override { return grabbed != nullptr; }

    std::vector<QWindow*> panels;
    std::vector<QWindow*> overlays;
    std::vector<std::pair<QWindow*, std::pair<int, int>>> aspectRequests;
    QWindow* grabbed = nullptr;
    InputGrabError grabAnswer = InputGrabError::none;
    bool composited = false;
};

} // namespace quandrel
