#include "X11WindowHints.h"

#include <xcb/xcb.h>
#include <xcb/xcb_icccm.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace quandrel::x11 {

namespace {

struct Free {
    void operator()(void* p) const { std::free(p); }
};

xcb_atom_t intern(xcb_connection_t* c, const char* name)
{
    std::unique_ptr<xcb_intern_atom_reply_t, Free> reply(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::uint16_t(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

} // namespace

void markFloatingPanel(xcb_connection_t* c, std::uint32_t window)
{
    if (!c || !window)
        return;
    const xcb_atom_t state = intern(c, "_NET_WM_STATE");
    std::vector<xcb_atom_t> atoms;
    std::unique_ptr<xcb_get_property_reply_t, Free> current(
        xcb_get_property_reply(c, xcb_get_property(c, 0, window, state, XCB_ATOM_ATOM, 0, 64), nullptr));
    if (current && current->type == XCB_ATOM_ATOM && current->format == 32) {
        const auto* data = static_cast<const xcb_atom_t*>(xcb_get_property_value(current.get()));
        atoms.assign(data, data + xcb_get_property_value_length(current.get()) / 4);
    }
    for (const char* name : {"_NET_WM_STATE_STICKY", "_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER", "_NET_WM_STATE_ABOVE"}) {
        const xcb_atom_t atom = intern(c, name);
        if (atom != XCB_ATOM_NONE && std::find(atoms.begin(), atoms.end(), atom) == atoms.end())
            atoms.push_back(atom);
    }
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, state, XCB_ATOM_ATOM, 32, std::uint32_t(atoms.size()), atoms.data());
    const std::uint32_t allDesktops = 0xFFFFFFFF;
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, intern(c, "_NET_WM_DESKTOP"), XCB_ATOM_CARDINAL, 32, 1, &allDesktops);
    xcb_flush(c);
}

void setAspectRatio(xcb_connection_t* c, std::uint32_t window, int width, int height)
{
    if (!c || !window || width <= 0 || height <= 0)
        return;
    xcb_size_hints_t hints{};
    if (!xcb_icccm_get_wm_normal_hints_reply(c, xcb_icccm_get_wm_normal_hints(c, window), &hints, nullptr))
        hints = {};
    xcb_icccm_size_hints_set_aspect(&hints, width, height, width, height);
    xcb_icccm_set_wm_normal_hints(c, window, &hints);
    xcb_flush(c);
}

bool compositingManagerRuns(xcb_connection_t* c, int screen)
{
    if (!c)
        return false;
    const std::string name = "_NET_WM_CM_S" + std::to_string(screen);
    const xcb_atom_t selection = intern(c, name.c_str());
    if (selection == XCB_ATOM_NONE)
        return false;
    std::unique_ptr<xcb_get_selection_owner_reply_t, Free> owner(
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr));
    return owner && owner->owner != XCB_WINDOW_NONE;
}

std::optional<TrayForeground> systemTrayForeground(xcb_connection_t* c, int screen)
{
    if (!c)
        return std::nullopt;
    const xcb_atom_t selection = intern(c, ("_NET_SYSTEM_TRAY_S" + std::to_string(screen)).c_str());
    const xcb_atom_t colors = intern(c, "_NET_SYSTEM_TRAY_COLORS");
    if (selection == XCB_ATOM_NONE || colors == XCB_ATOM_NONE)
        return std::nullopt;
    std::unique_ptr<xcb_get_selection_owner_reply_t, Free> owner(
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr));
    if (!owner || owner->owner == XCB_WINDOW_NONE)
        return std::nullopt;
    // Foreground, error, warning and success, three CARDINALs each; the first three count.
    std::unique_ptr<xcb_get_property_reply_t, Free> reply(
        xcb_get_property_reply(c, xcb_get_property(c, 0, owner->owner, colors, XCB_ATOM_CARDINAL, 0, 12), nullptr));
    if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) < int(3 * sizeof(std::uint32_t)))
        return std::nullopt;
    const auto* values = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    return TrayForeground{std::uint16_t(values[0]), std::uint16_t(values[1]), std::uint16_t(values[2])};
}

} // namespace quandrel::x11
