#pragma once

#include "WindowAccess.h"

// A managed top-level window whose pixels the X server paints itself: one colour, or four
// quadrants of known colours, so that no client drawing has to be awaited. It lives in the
// test's own process, so its _NET_WM_PID is the test's unless another pid is given.

#include "Geometry.h"

#include <cstdint>
#include <optional>
#include <sys/types.h>

struct xcb_connection_t;

namespace quandrel::test {

inline constexpr std::uint32_t topLeft = 0xd03030, topRight = 0x30d030, bottomLeft = 0x3030d0, bottomRight = 0xd0d030;

class PatternWindow {
public:
    PatternWindow(int x, int y, int width, int height, std::optional<std::uint32_t> colour, pid_t pid = 0);
    ~PatternWindow();
    PatternWindow(const PatternWindow&) = delete;
    PatternWindow& operator=(const PatternWindow&) = delete;

    std::uint32_t id() const { return m_window; }
    // The same window as the platform names it.
    WindowHandle handle() const { return WindowHandle(id()); }
    // The client area in root coordinates.
    Rect client() const;
    bool viewable() const;

private:
    xcb_connection_t* m_connection;
    std::uint32_t m_window = 0;
};

} // namespace quandrel::test
