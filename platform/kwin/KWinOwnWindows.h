#pragma once

// Quandrel's own windows on KWin, given their roles by Quandrel's KWin script, which knows
// them by process and caption: panels kept above everything, on every desktop, out of the
// task bar and switchers (also those that appear later with the same caption), each placed
// where Qt was asked to show it, and handing the focus back when they must not take it; the
// overlay's windows full screen on their outputs, one of them made the active one, since
// Wayland has no keyboard grab, and on release the window that was active before given the
// focus back.

#include "OwnWindows.h"

#include <QString>

#include <set>

namespace quandrel::kwin {

class KWinBridge;

class KWinOwnWindows final : public OwnWindows {
public:
    explicit KWinOwnWindows(KWinBridge& bridge) : m_bridge(bridge) {}

    void markFloatingPanel(QWindow& window) override;
    void keepAspectRatio(QWindow&, int, int) override {}
    bool compositing() override { return true; }
    void markOverlay(QWindow& window) override;
    InputGrabError grabInput(QWindow& window) override;
    void releaseInput() override;
    bool inputGrabbed() const override { return m_grabbed; }

private:
    KWinBridge& m_bridge;
    std::set<QString> m_overlayCaptions;
    bool m_grabbed = false;
};

} // namespace quandrel::kwin
