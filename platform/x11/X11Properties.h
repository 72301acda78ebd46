#pragma once

// The reads that every part of the X11 backend shares: window properties, the window
// manager's client lists, a client's process, and the frame the user sees around a client.
// Each returns none or empty for a window that vanished; nothing here throws or logs.

#include "Geometry.h"
#include "WindowAccess.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>

namespace quandrel::x11 {

// The X window a handle of this backend names, and the handle of an X window.
inline xcb_window_t xid(WindowHandle handle) { return xcb_window_t(handle.value()); }
inline WindowHandle handleOf(xcb_window_t window) { return WindowHandle(window); }

class X11Connection;

// Asks for up to `length` 32-bit units of a property of any type; read the reply with
// cardinals() or text().
xcb_get_property_cookie_t requestProperty(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property, std::uint32_t length = 64);

// A property of 32-bit values; empty when it is missing or of another format.
std::vector<std::uint32_t> cardinals(xcb_connection_t* c, xcb_get_property_cookie_t cookie);
// A property of 8-bit text (GTK's application ID, say); empty when missing or of another format.
std::string text(xcb_connection_t* c, xcb_get_property_cookie_t cookie);
// The first value of a _NET_WM_PID read; 0 when the window does not say.
std::int32_t pidFrom(xcb_connection_t* c, xcb_get_property_cookie_t cookie);

inline bool contains(const std::vector<std::uint32_t>& values, std::uint32_t value)
{
    for (const std::uint32_t v : values) {
        if (v == value)
            return true;
    }
    return false;
}

// The windows of a list property of the window manager's (asked for with
// xcb_ewmh_get_client_list_unchecked, say, to batch it with other requests); none when it
// does not publish it.
std::optional<std::vector<xcb_window_t>> windowList(xcb_ewmh_connection_t* ewmh, xcb_get_property_cookie_t cookie);

// The managed clients, oldest first (_NET_CLIENT_LIST); empty when the window manager does
// not publish it.
std::vector<xcb_window_t> clientList(X11Connection& connection);
// The managed clients, frontmost first (_NET_CLIENT_LIST_STACKING, or the server's stacking of
// their frames where that list is missing or behind _NET_CLIENT_LIST); none when the window
// manager publishes neither.
std::optional<std::vector<xcb_window_t>> clientsFrontToBack(X11Connection& connection);

// The process that owns a client, by _NET_WM_PID; 0 when it does not say.
std::int32_t pidOf(X11Connection& connection, xcb_window_t window);

// A client window's geometry in root coordinates with the extents that turn it into the frame
// the user sees: the window manager's decorations (_NET_FRAME_EXTENTS) add to it, a
// client-side shadow margin (_GTK_FRAME_EXTENTS) is taken off.
struct ClientGeometry {
    struct Extents {
        int left = 0, right = 0, top = 0, bottom = 0;
    };
    int x = 0, y = 0, width = 0, height = 0;
    Extents frame;
    Extents gtk;

    Rect visibleFrame() const;
};
std::optional<ClientGeometry> readClientGeometry(X11Connection& connection, xcb_window_t window);
// The visible frame in window space; none for window 0 or a window that vanished.
std::optional<Rect> readVisibleFrame(X11Connection& connection, xcb_window_t window);

// What an X error means above the seam: a vanished window or drawable, or a refusal.
WindowAccessError errorKind(const xcb_generic_error_t* error);

} // namespace quandrel::x11
