#pragma once

// The window manager's own tiling of windows dragged to screen edges. Drag snapping leaves
// the zones the window manager handles to it.

#include <optional>
#include <string>
#include <vector>

namespace quandrel {

struct SystemTiling {
    bool edges = false; // left and right edges and the corners
    bool top = false;   // the top edge maximizes
    // The window manager that alone tiles dragged windows in this session, where Quandrel
    // cannot follow a drag (KWin on Wayland); empty where Quandrel's drag snapping works.
    std::string soleSnapper = {};
    bool operator==(const SystemTiling&) const = default;
};

// The desktop's own settings page where its edge tiling is switched off, and the program
// that opens it.
struct TilingSettingsPage {
    std::string title; // the page as the desktop names it: "Multitasking", "Screen Edges"
    std::string program;
    std::vector<std::string> arguments;
    bool operator==(const TilingSettingsPage&) const = default;
};

class SystemTilingSource {
public:
    virtual ~SystemTilingSource() = default;
    // A fresh reading every time; nothing is cached.
    virtual SystemTiling read() = 0;
    // Where the desktop's edge tiling is switched; none when no such page is known.
    virtual std::optional<TilingSettingsPage> settingsPage() { return std::nullopt; }
    // Whether dragging windows to edges is the window manager's alone (GNOME on Wayland, where
    // no other program sees the pointer): Quandrel offers no drag snapping of its own there.
    virtual bool ownsDragSnapping() { return false; }
};

} // namespace quandrel
