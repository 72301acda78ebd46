#pragma once

#include "Geometry.h"

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace quandrel {

// One display (an X11 monitor, a Wayland output). Frames are in screen space; the visible frame leaves out
// docks and panels that reserve space at the display's edges.
struct Display {
    std::string name;
    Rect frame;
    Rect visibleFrame;
    double scale = 1; // pixels per point; ScreenSpace.h says how points meet pixels
    bool operator==(const Display&) const = default;
};

// Which display the screen space pivots on (it leads every display list; its full frame's
// height is the flip between screen and window space), among display frames in window space
// (y down) or the compositor's layout coordinates: the display the session names primary;
// where it names none (Wayland compositors have no primary output, an X server may have no
// primary monitor), the one at the layout's origin; else the topmost, then leftmost. Every
// backend orders its displays by this one rule. 0 for an empty list.
std::size_t pivotDisplay(const std::vector<Rect>& frames, std::optional<std::size_t> primary = std::nullopt);

// Moves element `pivot` to the front, keeping the others in their order.
template <typename T>
void leadWith(std::vector<T>& list, std::size_t pivot)
{
    if (pivot < list.size())
        std::rotate(list.begin(), list.begin() + std::ptrdiff_t(pivot), list.begin() + std::ptrdiff_t(pivot) + 1);
}

// The display list in the platform's order: the pivot display (pivotDisplay) first.
class DisplayProvider {
public:
    virtual ~DisplayProvider() = default;
    virtual std::vector<Display> displays() = 0;
};

// Height of the first display's full frame, the pivot between screen and window space;
// 0 without displays.
inline double primaryScreenHeight(const std::vector<Display>& displays)
{
    return displays.empty() ? 0 : displays.front().frame.height;
}

} // namespace quandrel
