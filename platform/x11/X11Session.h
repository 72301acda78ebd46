#pragma once

// The desktop session around Quandrel on X11: whether an EWMH window manager runs (window
// control is "trusted" then), whether the screen can be read, whether a compositing manager
// runs, and the bell.

#include "FrontmostApplication.h"
#include "X11EventFilter.h"

#include <optional>

namespace quandrel::x11 {

class X11Connection;

class X11Session final : public AccessTrust, public SystemSound {
public:
    explicit X11Session(X11Connection& connection);

    // Whether a compositing manager runs (translucent windows are possible).
    bool hasCompositingManager();

    // AccessTrust
    bool canControlWindows() override;
    void showTrustPrompt() override;
    bool screenRecordingAllowed() override;

    // SystemSound
    void beep() override;

private:
    X11Connection& m_connection;
    std::optional<bool> m_trusted; // until the window manager changes
    xcb_window_t m_checkWindow = XCB_WINDOW_NONE;
    X11EventFilter m_filter; // last: it goes first
};

} // namespace quandrel::x11
