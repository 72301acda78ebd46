#pragma once

#include "WindowAccess.h"

// Helpers for tests on the private virtual desktop: test client windows in their own
// processes, waiting for the window manager by events rather than sleeps, monitor layouts
// through RandR, and an independent reading of a window's outer frame.

#include "Geometry.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

struct xcb_connection_t;

namespace quandrel::test {

// A quandrel-testwindow process; killed when the value goes.
class TestWindow {
public:
    // Starts the program with `arguments` and waits until the window manager manages it.
    explicit TestWindow(const std::vector<std::string>& arguments = {}, int windowCount = 1);
    ~TestWindow();
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    std::uint32_t id() const { return m_windows.front(); }
    // The same window as the platform names it.
    WindowHandle handle() const { return WindowHandle(id()); }
    const std::vector<std::uint32_t>& ids() const { return m_windows; }
    pid_t pid() const { return m_pid; }
    // Kills the process and waits until the window is gone from the client list.
    void close();

private:
    pid_t m_pid = -1;
    std::vector<std::uint32_t> m_windows;
};

class XDesktop {
public:
    static XDesktop& instance();

    xcb_connection_t* connection() const { return m_connection; }
    std::uint32_t root() const { return m_root; }

    // Polls `condition` after every root property change or window configuration, up to
    // `timeout`. Answers the condition's last value.
    bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = std::chrono::seconds(5));

    bool isManaged(std::uint32_t window);
    bool isViewable(std::uint32_t window);
    // _NET_CLIENT_LIST_STACKING: the managed windows from bottom to top.
    std::vector<std::uint32_t> stacking();
    std::uint32_t activeWindow();
    bool activate(std::uint32_t window);
    // Asks the window manager to iconify the window (ICCCM WM_CHANGE_STATE).
    void minimize(std::uint32_t window);
    bool isMinimized(std::uint32_t window);
    void maximize(std::uint32_t window);
    bool isMaximized(std::uint32_t window);

    // The window manager's frame window around a client, measured by its own geometry (root
    // coordinates), independent of _NET_FRAME_EXTENTS.
    Rect outerFrame(std::uint32_t window);
    // The client window's own geometry in root coordinates.
    Rect clientGeometry(std::uint32_t window);

    // Replaces the monitor layout: each entry is "NAME WxH+X+Y", a leading '*' marks the
    // primary. An empty list restores the single default monitor.
    void setMonitors(const std::vector<std::string>& monitors);

    // Names the system tray's foreground colour (_NET_SYSTEM_TRAY_COLORS on the owner of
    // _NET_SYSTEM_TRAY_S0), as GTK-based panels do from their theme; 0xRRGGBB. False without
    // a tray.
    bool declareTrayForeground(std::uint32_t rgb);

private:
    XDesktop();
    xcb_connection_t* m_connection = nullptr;
    std::uint32_t m_root = 0;
    std::vector<std::string> m_monitorNames;
};

// Runs a shell command and answers its exit status.
int run(const std::string& command);

} // namespace quandrel::test
