#pragma once

// Other applications' windows on X11: EWMH client windows, read and placed through the window
// manager. Frames are the outer frames the user sees (X11Properties.h); every X error (a
// window that vanished, a refused request) turns into "none".

#include "Display.h"
#include "WindowAccess.h"
#include "X11EventFilter.h"

#include <chrono>
#include <set>

namespace quandrel::x11 {

class X11Connection;

// Double to X protocol values, saturating instead of overflowing: coordinates to the 16-bit
// signed range, sizes to 1 … 32767; NaN becomes 0 (a size 1).
std::int32_t saturatedCoordinate(double value);
std::int32_t saturatedSize(double value);

class X11Windows final : public WindowAccess {
public:
    // The displays give the flip between screen and window space.
    X11Windows(X11Connection& connection, DisplayProvider& displays);

    // How long setFrame waits for the window manager's answer at most. The wait normally ends
    // on the ConfigureNotify that shows the frame asked for (size limits and steps applied);
    // this safety bound only matters for a window manager that answers nothing, and is
    // generous so that a busy machine's next command never reads a frame still in flight.
    std::chrono::milliseconds settleTimeout{1000};
    // How long a maximized or full-screen window may take to leave that state.
    std::chrono::milliseconds stateTimeout{1000};
    // Once the window has moved but not to the frame asked for, how long without further
    // events counts as settled (the window manager placed it elsewhere).
    std::chrono::milliseconds quietTime{50};

    std::optional<ClientWindow> focusedWindow() override;
    WindowAccessError focusedWindowError() override;
    std::optional<Rect> readFrame(WindowHandle window) override;
    using WindowAccess::setFrame;
    // The fast path: waits for the window manager's answer and calls `applied` before
    // returning.
    void setFrame(WindowHandle window, std::int32_t pid, const Rect& frame, FrameApplied applied) override;
    std::optional<Size> fittedSize(WindowHandle window, const Size& size) override;
    std::optional<ClientWindow> windowAtPoint(Point screenPoint) override;
    std::vector<ClientWindow> windowsOfApplication(std::int32_t pid) override;
    std::vector<ClientWindow> windowsOfProcesses(const std::vector<std::int32_t>& pids) override;
    std::optional<bool> isStandardWindow(WindowHandle window) override;
    std::optional<bool> isMinimized(WindowHandle window) override;
    void raise(WindowHandle window) override;
    void stopInteractiveMove(WindowHandle window) override;
    void resumeInteractiveMove(WindowHandle window, Point screenPointer) override;

private:
    std::vector<std::uint32_t> frontToBack();
    void place(WindowHandle window, const Rect& frame);
    // Selects structure and property events of a window whose frame is being set.
    void watch(std::uint32_t window);

    X11Connection& m_connection;
    DisplayProvider& m_displays;
    std::set<std::uint32_t> m_watched;
    X11EventFilter m_filter; // last: it goes first
};

} // namespace quandrel::x11
