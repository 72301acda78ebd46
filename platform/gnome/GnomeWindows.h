#pragma once

// Other applications' windows and the displays on GNOME, through the Shell extension. Window
// handles are the Shell's window ids. Placements complete when the extension answers, once the
// client has taken its new frame.

#include "Display.h"
#include "GnomeShell.h"
#include "WindowAccess.h"

namespace quandrel::gnome {

class GnomeDisplays final : public DisplayProvider {
public:
    explicit GnomeDisplays(GnomeShell& shell) : m_shell(shell) {}
    std::vector<Display> displays() override;

private:
    GnomeShell& m_shell;
};

// The Shell's monitors as displays in screen space, the primary one first; their work areas
// as visible frames.
std::vector<Display> displaysOf(const std::vector<ShellDisplay>& monitors);

class GnomeWindows final : public WindowAccess {
public:
    GnomeWindows(GnomeShell& shell, DisplayProvider& displays) : m_shell(shell), m_displays(displays) {}

    // The windows front to back; empty (with the error set) when the extension does not answer.
    std::vector<ShellWindow> windows();
    std::optional<ShellWindow> window(WindowHandle handle);
    // The focused window, read with the displays in one call.
    std::optional<ShellWindow> focused();

    std::optional<ClientWindow> focusedWindow() override;
    WindowAccessError focusedWindowError() override { return m_lastError; }
    std::optional<Rect> readFrame(WindowHandle window) override;
    using WindowAccess::setFrame;
    void setFrame(WindowHandle window, std::int32_t pid, const Rect& frame, FrameApplied applied) override;
    std::optional<ClientWindow> windowAtPoint(Point screenPoint) override;
    std::vector<ClientWindow> windowsOfApplication(std::int32_t pid) override;
    std::optional<bool> isStandardWindow(WindowHandle window) override;
    std::optional<bool> isMinimized(WindowHandle window) override;
    void raise(WindowHandle window) override;
    void minimizeWindow(WindowHandle window);

private:
    GnomeShell& m_shell;
    DisplayProvider& m_displays;
    WindowAccessError m_lastError = WindowAccessError::none;
};

} // namespace quandrel::gnome
