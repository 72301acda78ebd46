#pragma once

// The seat's pointer and keyboard on a headless Wayland compositor, as from real devices: a
// quandrel-waylandinput process gives the seat a pointer and a keyboard (wlroots' virtual
// devices, or KWin's fake input). Every call returns once the compositor has handled the
// input; false (with a test failure) when the driver failed.

#include "Geometry.h"

#include <QSize>

#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace quandrel::test {

class WaylandInput {
public:
    // `layout` answers the bounds of every output together, in layout pixels.
    explicit WaylandInput(std::function<Rect()> layout);
    ~WaylandInput();
    WaylandInput(const WaylandInput&) = delete;
    WaylandInput& operator=(const WaylandInput&) = delete;

    static constexpr int leftButton = 272; // evdev BTN_LEFT
    static constexpr int rightButton = 273;

    bool move(Point to); // layout pixels
    bool button(int button, bool pressed);
    bool click(Point at, int button = leftButton);
    // Pressed at `from`, moved in steps, released at `to`.
    bool drag(Point from, Point to);
    // Presses and releases the key of a keysym name ("Escape", "space").
    bool key(const std::string& name);

private:
    bool send(const std::string& line);
    std::string readLine();

    std::function<Rect()> m_layout;
    pid_t m_pid = -1;
    int m_in = -1;
    int m_out = -1;
    std::string m_pending;
};

// The captures each compositor's overlay test takes through `input`, with a coloured window at
// (200,150) 300×200 and another window elsewhere: how the capture is chosen on the overlay
// (none: it shows no overlay) and the size of the saved image (empty: it is cancelled).
struct OverlayCapture {
    std::string url;
    std::function<bool()> choose;
    QSize size;
};
std::vector<OverlayCapture> overlayCaptures(WaylandInput& input);

} // namespace quandrel::test
