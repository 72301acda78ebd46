#include "X11Properties.h"

#include "X11Connection.h"

#include <xcb/xcb_ewmh.h>

#include <algorithm>

namespace quandrel::x11 {

xcb_get_property_cookie_t requestProperty(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property, std::uint32_t length)
{
    return xcb_get_property_unchecked(c, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, length);
}

std::vector<std::uint32_t> cardinals(xcb_connection_t* c, xcb_get_property_cookie_t cookie)
{
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(c, cookie, nullptr));
    if (!reply || reply->format != 32)
        return {};
    const auto* data = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    return {data, data + xcb_get_property_value_length(reply.get()) / 4};
}

std::string text(xcb_connection_t* c, xcb_get_property_cookie_t cookie)
{
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(c, cookie, nullptr));
    if (!reply || reply->format != 8)
        return {};
    return {static_cast<const char*>(xcb_get_property_value(reply.get())), std::size_t(xcb_get_property_value_length(reply.get()))};
}

std::int32_t pidFrom(xcb_connection_t* c, xcb_get_property_cookie_t cookie)
{
    const auto values = cardinals(c, cookie);
    return values.empty() ? 0 : std::int32_t(values.front());
}

std::optional<std::vector<xcb_window_t>> windowList(xcb_ewmh_connection_t* ewmh, xcb_get_property_cookie_t cookie)
{
    xcb_ewmh_get_windows_reply_t list;
    if (!xcb_ewmh_get_windows_reply(ewmh, cookie, &list, nullptr))
        return std::nullopt;
    std::vector<xcb_window_t> result(list.windows, list.windows + list.windows_len);
    xcb_ewmh_get_windows_reply_wipe(&list);
    return result;
}

std::vector<xcb_window_t> clientList(X11Connection& connection)
{
    xcb_ewmh_connection_t* ewmh = connection.ewmh();
    return windowList(ewmh, xcb_ewmh_get_client_list_unchecked(ewmh, connection.screenNumber())).value_or(std::vector<xcb_window_t>{});
}

std::optional<std::vector<xcb_window_t>> clientsFrontToBack(X11Connection& connection)
{
    xcb_ewmh_connection_t* ewmh = connection.ewmh();
    auto stacking = windowList(ewmh, xcb_ewmh_get_client_list_stacking_unchecked(ewmh, connection.screenNumber()));
    if (stacking)
        std::reverse(stacking->begin(), stacking->end());
    return stacking;
}

std::int32_t pidOf(X11Connection& connection, xcb_window_t window)
{
    return pidFrom(connection.xcb(), requestProperty(connection.xcb(), window, connection.ewmh()->_NET_WM_PID, 1));
}

Rect ClientGeometry::visibleFrame() const
{
    return {double(x - frame.left + gtk.left), double(y - frame.top + gtk.top),
            double(width + frame.left + frame.right - gtk.left - gtk.right),
            double(height + frame.top + frame.bottom - gtk.top - gtk.bottom)};
}

std::optional<ClientGeometry> readClientGeometry(X11Connection& connection, xcb_window_t window)
{
    xcb_connection_t* c = connection.xcb();
    auto geometryCookie = xcb_get_geometry_unchecked(c, window);
    auto translateCookie = xcb_translate_coordinates_unchecked(c, window, connection.root(), 0, 0);
    auto frameCookie = requestProperty(c, window, connection.ewmh()->_NET_FRAME_EXTENTS, 4);
    auto gtkCookie = requestProperty(c, window, connection.atom(Atom::GTK_FRAME_EXTENTS), 4);

    Reply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, geometryCookie, nullptr));
    Reply<xcb_translate_coordinates_reply_t> position(xcb_translate_coordinates_reply(c, translateCookie, nullptr));
    const auto frame = cardinals(c, frameCookie);
    const auto gtk = cardinals(c, gtkCookie);
    if (!geometry || !position)
        return std::nullopt;

    ClientGeometry g{position->dst_x, position->dst_y, geometry->width, geometry->height, {}, {}};
    if (frame.size() == 4)
        g.frame = {int(frame[0]), int(frame[1]), int(frame[2]), int(frame[3])};
    if (gtk.size() == 4)
        g.gtk = {int(gtk[0]), int(gtk[1]), int(gtk[2]), int(gtk[3])};
    return g;
}

std::optional<Rect> readVisibleFrame(X11Connection& connection, xcb_window_t window)
{
    if (window == XCB_WINDOW_NONE)
        return std::nullopt;
    if (const auto g = readClientGeometry(connection, window))
        return g->visibleFrame();
    return std::nullopt;
}

WindowAccessError errorKind(const xcb_generic_error_t* error)
{
    if (!error)
        return WindowAccessError::none;
    return error->error_code == XCB_WINDOW || error->error_code == XCB_DRAWABLE ? WindowAccessError::windowGone : WindowAccessError::refused;
}

} // namespace quandrel::x11
