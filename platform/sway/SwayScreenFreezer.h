#pragma once

// Screen reading on sway: every output through wlroots screencopy (WlrScreencopy.h) on a
// thread of its own, placed where GET_OUTPUTS puts it, and the windows window mode picks from
// GET_TREE. A window's own image is not available: the capture crops the frozen display.

#include "ScreenFreezer.h"

namespace quandrel::sway {

class SwayIpc;

class SwayScreenFreezer final : public ScreenFreezer {
public:
    explicit SwayScreenFreezer(SwayIpc& ipc) : m_ipc(ipc) {}
    QCoro::Task<GrabResult<FrozenScreens>> freeze(FreezeRequest request) override;
    QCoro::Task<GrabResult<PixelBuffer>> windowImage(WindowHandle window) override;
    std::optional<Point> pointerPosition() override { return std::nullopt; }

private:
    SwayIpc& m_ipc;
};

} // namespace quandrel::sway
