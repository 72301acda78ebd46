#pragma once

#include "WindowAccess.h"

// Helpers for tests on the private headless sway (tools/sway-desktop.sh): sway commands, an
// independent reading of a window's frame from sway's tree, waiting on sway's events rather
// than sleeps, and test client windows (foot terminals) in their own processes.

#include "Geometry.h"
#include "WaylandInput.h"

#include <QJsonObject>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>
#include <sys/types.h>

namespace quandrel::sway {
class SwayIpc;
}

namespace quandrel::test {

class SwayTestDesktop {
public:
    static SwayTestDesktop& instance();

    // Runs sway commands; false (with a test failure) when sway refuses one.
    bool run(const std::string& commands);

    // The container with this id in sway's tree; empty when there is none.
    QJsonObject node(std::uint32_t id);
    // A window's frame as the user sees it: its rect with the title bar above it, in layout
    // coordinates (window space).
    std::optional<Rect> outerFrame(std::uint32_t id);
    bool isFloating(std::uint32_t id);
    // Every window with this title, each with the name of its output added as "output".
    std::vector<QJsonObject> windowsTitled(const std::string& title);
    std::uint32_t focusedWindow();

    // Polls `condition` after every window or workspace event, up to `timeout`.
    // Answers the condition's last value.
    bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = std::chrono::seconds(5));

    // The two outputs the tests use: HEADLESS-1, 1440 × 900 at the origin, and right of it
    // HEADLESS-2, 1440 × 900 turned by 90° (900 wide, 1440 tall).
    void useStandardOutputs();
    // The box around every active output, in layout pixels.
    Rect layoutBounds();

private:
    SwayTestDesktop();
    std::unique_ptr<sway::SwayIpc> m_commands;
    std::unique_ptr<sway::SwayIpc> m_events;
};

// A quandrel-waylandwindow process with its own app_id; killed when the value goes.
class SwayClient {
public:
    // Starts the client and waits until sway shows its window with the focus and the client
    // has drawn itself at the size sway gave it.
    // With `text`, the window shows it in black on white instead of its one colour.
    explicit SwayClient(const std::string& appId = "quandrel-test", const std::string& text = {});
    ~SwayClient();
    SwayClient(const SwayClient&) = delete;
    SwayClient& operator=(const SwayClient&) = delete;

    std::uint32_t id() const { return m_id; }
    // The same window as the platform names it.
    WindowHandle handle() const { return WindowHandle(id()); }
    pid_t pid() const { return m_pid; }
    // Kills the process and waits until its window is gone.
    void close();
    // Waits until the client has drawn itself at the size of its window's content in sway's
    // tree: sway's requests reached it, and no answer to an older one is still on its way.
    bool settle(std::chrono::milliseconds timeout = std::chrono::seconds(5));

private:
    pid_t m_pid = -1;
    int m_output = -1; // the client's stdout
    std::string m_pending;
    int m_width = 0;
    int m_height = 0;
    std::uint32_t m_id = 0;
};

// The seat's pointer and keyboard (WaylandInput.h) in the layout of sway's outputs.
class SwayInput final : public WaylandInput {
public:
    SwayInput();
};

} // namespace quandrel::test
