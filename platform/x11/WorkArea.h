#pragma once

// The part of a monitor that windows may use: its area less the bands that docks and panels
// reserve along the edges (EWMH struts), or, where no panel declares a strut and every
// monitor has one size, less what the window manager's _NET_WORKAREA leaves out. Pure
// arithmetic in root window coordinates (pixels, origin top-left, y down), apart from the
// X11 reads.

#include "Geometry.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace quandrel::x11 {

// One panel's reservation: band widths along the edges, and for each edge the range (first
// and last pixel, inclusive) along that edge that the band covers.
struct Strut {
    double left = 0, right = 0, top = 0, bottom = 0;
    double leftStart = 0, leftEnd = 0, rightStart = 0, rightEnd = 0;
    double topStart = 0, topEnd = 0, bottomStart = 0, bottomEnd = 0;
    // A strut of the old kind (_NET_WM_STRUT) names no range: it would cover a whole edge of
    // the root, and so every monitor along it, also those of another size that the panel is
    // not on. Where the panel's own place (root coordinates) is known, such a strut applies
    // to the monitors the panel overlaps, and its width counts from the root's edge where
    // that reaches into the monitor, else from the monitor's own edge (icewm counts so).
    bool wholeEdge = false;
    std::optional<Rect> panel = std::nullopt;
    bool operator==(const Strut&) const = default;
};

// A panel's strut from its _NET_WM_STRUT_PARTIAL values (12), else its _NET_WM_STRUT values
// (4, covering each edge's full length); none when it declares neither or reserves nothing.
std::optional<Strut> strutFrom(const std::vector<std::uint32_t>& partial, const std::vector<std::uint32_t>& plain, Size root,
                               std::optional<Rect> panel = std::nullopt);

// The usable part of `monitor`. A strut applies to the monitors its band reaches into. The
// work area (_NET_WORKAREA's first four values) counts only where no strut was given, and
// only where it overlaps the monitor. Reservations that would leave nothing of the monitor
// (a broken panel, a value from another screen size) are ignored rather than followed.
Rect visibleArea(const Rect& monitor, const std::vector<Strut>& struts, Size root, const std::vector<std::uint32_t>& workArea);

// The usable part of every monitor. The window manager's one work area describes monitors of
// different sizes wrongly (it is the part every monitor has, say), so it is taken only where
// all monitors have the same size.
std::vector<Rect> visibleAreas(const std::vector<Rect>& monitors, const std::vector<Strut>& struts, Size root,
                               const std::vector<std::uint32_t>& workArea);

} // namespace quandrel::x11
