#pragma once

// The geometry of window commands: pure functions of rectangles in screen space. Every
// result has integral edges; rounding is to the nearest integer with halves away from zero.

#include "Geometry.h"
#include "WindowAction.h"

#include <optional>
#include <vector>

namespace quandrel {

// The target frame of an action, or none for restore, nextDisplay and previousDisplay.
// `step` counts repeated presses (0 for a first press).
std::optional<Rect> targetFrame(WindowAction action, int step, const Rect& visibleFrame, const Rect& windowFrame, double gap);

// Lays out a unit rectangle: fx, fw are fractions of the width from the left, fy, fh
// fractions of the height from the top. Edges on the border keep the full gap; interior
// edges give up half a gap, so neighbouring tiles are exactly one gap apart.
Rect tileFrame(double fx, double fy, double fw, double fh, const Rect& visibleFrame, double gap);

// The gap actually used on a visible frame: 0 for a negative or non-numeric gap, and at most
// an eighth of the frame's shorter side, so that even the smallest tile keeps a usable size.
double usableGap(double gap, const Rect& visibleFrame);

// Where a window that cannot take its tile's exact size sits inside the tile, per axis.
enum class TileEdge { leading, centre, trailing }; // leading = left or top

struct TileAnchor {
    TileEdge horizontal = TileEdge::leading;
    TileEdge vertical = TileEdge::leading;
    bool operator==(const TileAnchor&) const = default;
};

// The tile's outer edges for an action: a tile against the right (bottom) border of the
// visible frame keeps its right (bottom) edge, a tile clear of both borders or a centred
// action keeps its centre, everything else keeps its left (top) edge.
TileAnchor tileAnchor(WindowAction action, const Rect& tile, const Rect& visibleFrame);

// A window of `size` placed inside `tile` (screen space) by the anchor; integral edges.
Rect anchoredFrame(const Rect& tile, const Size& size, TileAnchor anchor);

// Grows or shrinks a window about its centre by delta points on each side, at least
// 200 × 150 and at most the visible frame, kept inside the visible frame.
Rect resizedFrame(const Rect& windowFrame, double delta, const Rect& visibleFrame);

// Moves a window to another display keeping its size where it fits and its relative place
// within the free space.
Rect frameOnDisplay(const Rect& windowFrame, const Rect& source, const Rect& destination);

// The display a frame counts as being on: largest overlap, else the nearest display.
std::optional<std::size_t> screenIndex(const std::vector<Rect>& visibleFrames, const Rect& frame);

// The neighbouring display in the direction of leftHalf/firstThird or rightHalf/lastThird.
std::optional<Rect> adjacentVisibleFrame(WindowAction action, const std::vector<Rect>& visibleFrames, const Rect& current);

// Left to right; for the same left edge the upper display first.
bool displayOrder(const Rect& a, const Rect& b);

bool approximatelyEqual(const Rect& a, const Rect& b, double tolerance);

} // namespace quandrel
