#pragma once

// The services a session cannot offer, answering plainly that they are not available: no
// crash, no pretending. Each says so once in the log when first asked.

#include "InputGrabs.h"
#include "OwnWindows.h"
#include "PointerMonitor.h"
#include "ScreenFreezer.h"
#include "SystemTiling.h"

#include <string>

namespace quandrel {

// `session` names the session in the log lines ("sway", "Wayland").
class UnavailablePointerMonitor final : public PointerMonitor {
public:
    explicit UnavailablePointerMonitor(std::string session) : m_session(std::move(session)) {}
    void setMonitoring(bool on) override;
    bool isMonitoring() const override { return false; }
    Point pointerLocation() override { return {}; }

private:
    std::string m_session;
    bool m_told = false;
};

class UnavailableScreenFreezer final : public ScreenFreezer {
public:
    explicit UnavailableScreenFreezer(std::string session) : m_session(std::move(session)) {}
    QCoro::Task<GrabResult<FrozenScreens>> freeze(FreezeRequest) override;
    QCoro::Task<GrabResult<PixelBuffer>> windowImage(WindowHandle) override;
    std::optional<Point> pointerPosition() override { return std::nullopt; }

private:
    GrabFailure failure() const;
    std::string m_session;
};

// Own windows where the session gives them no roles of their own: Qt's window flags alone
// (frameless, stays on top, no focus) and no input grabs.
class PlainOwnWindows final : public OwnWindows {
public:
    void markFloatingPanel(QWindow&) override {}
    void keepAspectRatio(QWindow&, int, int) override {}
    bool compositing() override { return false; }
    void markOverlay(QWindow&) override {}
    InputGrabError grabInput(QWindow&) override { return InputGrabError::refused; }
    void releaseInput() override {}
    bool inputGrabbed() const override { return false; }
};

// A window manager without edge tiling of its own that drag snapping would have to avoid.
class NoSystemTiling final : public SystemTilingSource {
public:
    SystemTiling read() override { return {}; }
};

} // namespace quandrel
