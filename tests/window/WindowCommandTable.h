#pragma once

// The window-command table every desktop backend runs: all 22 actions in one sequence on a
// real window, with the frame each must leave behind, read back independently of the backend.
//
// The desktop the table assumes: the primary display 1440 × 900 at the origin, nothing
// reserved at its edges, and right of it a second display 900 wide and 1440 tall (a turned
// 1440 × 900 screen); the window's frame, title bar included, at tableStartFrame and focused.
// Frames are in window space (origin top-left of the primary display, y down).

#include "Geometry.h"
#include "PlatformServices.h"
#include "WindowAccess.h"
#include "WindowAction.h"

#include <functional>
#include <ostream>
#include <vector>

namespace quandrel {
inline void PrintTo(const Rect& r, std::ostream* out) { *out << toString(r); }
} // namespace quandrel

namespace quandrel::test {

inline constexpr Rect tableStartFrame{200, 150, 500, 400};
inline constexpr double tableGap = 8;

struct TableRow {
    WindowAction action;
    Rect frame; // window space, after the action
};

const std::vector<TableRow>& windowCommandTable();

// Runs the table on the focused window, which must be `window`, through the backend's
// services; a frame applied later is waited for in the event loop. `outerFrame` reads the window's frame by the test's own means.
void runWindowCommandTable(const PlatformServices& services, WindowHandle window, const std::function<Rect()>& outerFrame);

} // namespace quandrel::test
