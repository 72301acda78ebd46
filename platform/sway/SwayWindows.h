#pragma once

// Other applications' windows on sway, through its IPC socket. Window handles are sway's
// container ids. sway places tiled windows itself, so a tiled window is made floating before
// it is placed; restoring gives such a window back to the tiling layout. Commands name their
// window by `[con_id=…]`, so they never act on whichever window happens to have the focus.

#include "SwayTree.h"
#include "WindowAccess.h"

#include <QString>

#include <map>
#include <string>

namespace quandrel {
class DisplayProvider;
}

namespace quandrel::sway {

class SwayIpc;

class SwayWindows final : public WindowAccess {
public:
    SwayWindows(SwayIpc& ipc, DisplayProvider& displays);

    // The windows front to back; empty (with lastError set) when sway does not answer.
    std::vector<SwayWindow> windows();
    std::optional<SwayWindow> window(WindowHandle handle);
    WindowAccessError lastError() const { return m_lastError; }

    // Runs commands on one window; false when sway refused or did not answer.
    bool command(WindowHandle window, const QString& commands);

    // Whether Quandrel took the window out of the tiling layout to place it. Restoring gives
    // it back to the layout of the workspace it came from.
    bool floatedByQuandrel(WindowHandle window) const { return m_floated.contains(window); }

    std::optional<ClientWindow> focusedWindow() override;
    WindowAccessError focusedWindowError() override { return m_lastError; }
    std::optional<Rect> readFrame(WindowHandle window) override;
    using WindowAccess::restoreFrame;
    using WindowAccess::setFrame;
    // sway applies a command before it answers it: `applied` is called before returning.
    void setFrame(WindowHandle window, std::int32_t pid, const Rect& frame, FrameApplied applied) override;
    void restoreFrame(WindowHandle window, std::int32_t pid, const Rect& frame, FrameApplied applied) override;
    std::optional<ClientWindow> windowAtPoint(Point screenPoint) override;
    std::vector<ClientWindow> windowsOfApplication(std::int32_t pid) override;
    std::optional<bool> isStandardWindow(WindowHandle window) override;
    std::optional<bool> isMinimized(WindowHandle window) override;
    void raise(WindowHandle window) override;

private:
    void place(WindowHandle window, std::int32_t pid, const Rect& frame);

    SwayIpc& m_ipc;
    DisplayProvider& m_displays;
    WindowAccessError m_lastError = WindowAccessError::none;
    std::map<WindowHandle, std::string> m_floated; // taken out of the tiling layout by setFrame, with its workspace
};

// sway's integer coordinates for a frame coordinate: rounded and kept within a range sway
// parses; not-a-number is 0. Sizes are at least 1.
int swayCoordinate(double value);
int swaySize(double value);

} // namespace quandrel::sway
