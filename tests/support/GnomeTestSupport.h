#pragma once

// Helpers for tests in the private headless GNOME Shell (tools/gnome-desktop.sh --testing):
// the Shell's own Eval for reading and placing windows independently of the extension,
// waiting on what the Shell reports rather than on sleeps, and Wayland test clients in their
// own processes.

#include "Geometry.h"
#include "WindowAccess.h"

#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <sys/types.h>
#include <vector>

namespace quandrel::test {

class GnomeTestDesktop {
public:
    // The first use lets this test program call the extension (its `callers` file).
    static GnomeTestDesktop& instance();

    // Lets another program (an executable's path) call the extension.
    void allowCaller(const std::string& executable);

    // Runs JavaScript in the Shell; the value it ends with, as JSON text, or none when it threw.
    std::optional<QString> eval(const QString& code);

    // A window's frame as the Shell has it (window space), none when there is no such window.
    std::optional<Rect> frame(std::uint64_t id);
    // Places a window by the Shell's own call and waits until it shows the frame.
    bool place(std::uint64_t id, const Rect& frame);
    std::uint64_t focusedWindow();

    // Presses the keys (X keysyms) in order and releases them in reverse, as a keyboard of
    // mutter's remote desktop; false when mutter refuses.
    bool pressKeys(const std::vector<std::uint32_t>& keysyms);
    // The same until `seen` holds, pressing again (up to five times) when a press had no effect.
    bool pressKeysUntil(const std::vector<std::uint32_t>& keysyms, const std::function<bool()>& seen);

    // Polls `condition`, letting the event loop run in between, up to `timeout`. Answers the
    // condition's last value.
    bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = std::chrono::seconds(5));

private:
    GnomeTestDesktop();
    QString m_remoteSession; // mutter's remote desktop session, started on first use
};

// A quandrel-waylandwindow process with its own app_id, or a quandrel-testwindow under the
// Shell's Xwayland (painted 0x336699) with that WM_CLASS; killed when the value goes.
class GnomeClient {
public:
    enum class Kind { wayland, xwayland };
    // Starts the client and waits until the Shell shows its window with the focus (activating
    // it where the Shell gives the focus to no new window).
    explicit GnomeClient(const std::string& appId = "quandrel-test", Kind kind = Kind::wayland);
    ~GnomeClient();
    GnomeClient(const GnomeClient&) = delete;
    GnomeClient& operator=(const GnomeClient&) = delete;

    std::uint64_t id() const { return m_id; }
    WindowHandle handle() const { return WindowHandle(m_id); }
    pid_t pid() const { return m_pid; }
    void close();

private:
    pid_t m_pid = -1;
    std::uint64_t m_id = 0;
};

} // namespace quandrel::test
