#pragma once

// A ScreenFreezer for sessions that read the screen area by area (ScreenCapture.h): the X
// server, and the in-memory screen of the tests. Own windows are hidden for the whole freeze
// and given time to vanish; between two displays the event loop runs.

#include "ScreenFreezer.h"

namespace quandrel {

class GrabbingScreenFreezer final : public ScreenFreezer {
public:
    // The capture is not owned and outlives this object and every task it started.
    explicit GrabbingScreenFreezer(ScreenCapture& capture)
        : m_capture(capture)
    {
    }

    QCoro::Task<GrabResult<FrozenScreens>> freeze(FreezeRequest request) override;
    QCoro::Task<GrabResult<PixelBuffer>> windowImage(WindowHandle window) override;
    std::optional<Point> pointerPosition() override { return m_capture.pointerPosition(); }
    void releaseBuffers() override { m_capture.releaseBuffers(); }

private:
    ScreenCapture& m_capture;
};

} // namespace quandrel
