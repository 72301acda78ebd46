#pragma once

// The few window properties Quandrel's floating panels need that Qt does not set: on every
// desktop, out of the task bar and pager, an aspect ratio kept while resizing, and whether a
// compositing manager runs. They work on any XCB connection, Qt's own included
// (QNativeInterface::QX11Application::connection()). Refused requests are ignored. The
// system tray's colours are read here too.

#include <cstdint>
#include <optional>

struct xcb_connection_t;

namespace quandrel::x11 {

// Adds _NET_WM_STATE_STICKY, _SKIP_TASKBAR, _SKIP_PAGER and _ABOVE to a window that is not
// mapped yet (Qt keeps states already present when it maps the window) and puts it on all
// desktops (_NET_WM_DESKTOP 0xFFFFFFFF).
void markFloatingPanel(xcb_connection_t* connection, std::uint32_t window);

// Sets the aspect ratio of WM_NORMAL_HINTS to width : height, keeping the hints already
// there. Qt rewrites the hints whenever it moves or resizes the window, so callers set the
// ratio again afterwards.
void setAspectRatio(xcb_connection_t* connection, std::uint32_t window, int width, int height);

// Whether a compositing manager owns _NET_WM_CM_S<screen>.
bool compositingManagerRuns(xcb_connection_t* connection, int screen);

// The foreground colour (16 bits a channel) the system tray of <screen> asks its icons to
// draw in, from _NET_SYSTEM_TRAY_COLORS on the owner of _NET_SYSTEM_TRAY_S<screen> (the
// GTK-based panels set it from their theme); none without a tray or without the property.
struct TrayForeground {
    std::uint16_t red = 0, green = 0, blue = 0;
};
std::optional<TrayForeground> systemTrayForeground(xcb_connection_t* connection, int screen);

} // namespace quandrel::x11
