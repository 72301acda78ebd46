#pragma once

#include "Geometry.h"

#include <string>
#include <vector>

namespace quandrel {

// One display (an X11 monitor). Frames are in screen space; the visible frame leaves out
// docks and panels that reserve space at the display's edges.
struct Display {
    std::string name;
    Rect frame;
    Rect visibleFrame;
    double scale = 1; // pixels per point; ScreenSpace.h says how points meet pixels
    bool operator==(const Display&) const = default;
};

// The display list in the platform's order: the primary display first.
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
