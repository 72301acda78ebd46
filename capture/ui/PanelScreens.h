#pragma once

// Where floating panels go: the display list now and the pointer, with the conversion from
// screen space (points, y up) to the global coordinates widgets are placed in.

#include "Display.h"
#include "Geometry.h"

#include <QRect>

#include <functional>
#include <optional>
#include <vector>

namespace quandrel {

struct PanelScreens {
    std::function<std::vector<Display>()> displays;
    // The pointer in global (window-space) coordinates; QCursor::pos() when not set.
    std::function<std::optional<Point>()> pointer;

    std::vector<Display> currentDisplays() const { return displays ? displays() : std::vector<Display>{}; }
    std::optional<Point> currentPointer() const;

    // The visible frame of the display under the pointer, else the primary display's, in
    // screen space; none without displays.
    std::optional<Rect> visibleFrame() const;

    // A screen-space rectangle in global coordinates, for the current displays.
    QRect toGlobal(const Rect& screenRect) const;
    Rect fromGlobal(const QRect& global) const;
};

} // namespace quandrel
