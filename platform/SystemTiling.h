#pragma once

// The window manager's own tiling of windows dragged to screen edges. Drag snapping leaves
// the zones the window manager handles to it.

namespace quandrel {

struct SystemTiling {
    bool edges = false; // left and right edges and the corners
    bool top = false;   // the top edge maximizes
    bool operator==(const SystemTiling&) const = default;
};

class SystemTilingSource {
public:
    virtual ~SystemTilingSource() = default;
    // A fresh reading every time; nothing is cached.
    virtual SystemTiling read() = 0;
};

} // namespace quandrel
