#include "X11SystemTiling.h"

#include "SystemTilingRules.h"
#include "X11Connection.h"

namespace quandrel::x11 {

X11SystemTiling::X11SystemTiling(X11Connection& connection)
    : m_connection(connection)
{
}

std::string X11SystemTiling::windowManagerName()
{
    xcb_ewmh_connection_t* ewmh = m_connection.ewmh();
    xcb_window_t check = XCB_WINDOW_NONE;
    if (!xcb_ewmh_get_supporting_wm_check_reply(ewmh, xcb_ewmh_get_supporting_wm_check(ewmh, m_connection.root()), &check, nullptr))
        return {};
    xcb_ewmh_get_utf8_strings_reply_t name;
    if (!xcb_ewmh_get_wm_name_reply(ewmh, xcb_ewmh_get_wm_name(ewmh, check), &name, nullptr))
        return {};
    std::string result(name.strings, name.strings_len);
    xcb_ewmh_get_utf8_strings_reply_wipe(&name);
    return result;
}

SystemTiling X11SystemTiling::read() { return freedesktop::systemTilingOf(windowManagerName()); }

std::optional<TilingSettingsPage> X11SystemTiling::settingsPage() { return freedesktop::tilingSettingsPageOf(windowManagerName()); }

} // namespace quandrel::x11
