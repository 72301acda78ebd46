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

namespace {

// The clients in the server's own stacking order of their top-level windows (the window
// manager's frames), frontmost first.
std::vector<xcb_window_t> serverStacking(X11Connection& connection, const std::vector<xcb_window_t>& clients)
{
    xcb_connection_t* c = connection.xcb();
    const xcb_window_t root = connection.root();
    Reply<xcb_query_tree_reply_t> rootTree(xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr));
    if (!rootTree)
        return {};
    const xcb_window_t* children = xcb_query_tree_children(rootTree.get());
    const std::vector<xcb_window_t> order(children, children + xcb_query_tree_children_length(rootTree.get()));

    // Each client's top-level window, a level per batch.
    std::vector<xcb_window_t> top = clients;
    std::vector<bool> done(clients.size(), false);
    for (int level = 0; level < 4; ++level) {
        std::vector<xcb_query_tree_cookie_t> cookies;
        for (std::size_t i = 0; i < top.size(); ++i)
            cookies.push_back(xcb_query_tree_unchecked(c, top[i]));
        for (std::size_t i = 0; i < top.size(); ++i) {
            Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, cookies[i], nullptr));
            if (done[i])
                continue;
            if (!tree || tree->parent == root || tree->parent == XCB_WINDOW_NONE)
                done[i] = true;
            else
                top[i] = tree->parent;
        }
    }
    std::vector<std::pair<std::ptrdiff_t, xcb_window_t>> ranked;
    for (std::size_t i = 0; i < clients.size(); ++i) {
        const auto at = std::find(order.begin(), order.end(), top[i]);
        if (at != order.end())
            ranked.push_back({at - order.begin(), clients[i]});
    }
    std::sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<xcb_window_t> result;
    for (const auto& [rank, window] : ranked)
        result.push_back(window);
    return result;
}

} // namespace

std::optional<std::vector<xcb_window_t>> clientsFrontToBack(X11Connection& connection)
{
    xcb_ewmh_connection_t* ewmh = connection.ewmh();
    auto stackingCookie = xcb_ewmh_get_client_list_stacking_unchecked(ewmh, connection.screenNumber());
    auto clientsCookie = xcb_ewmh_get_client_list_unchecked(ewmh, connection.screenNumber());
    auto stacking = windowList(ewmh, stackingCookie);
    const auto clients = windowList(ewmh, clientsCookie);
    auto sorted = [](std::vector<xcb_window_t> v) {
        std::sort(v.begin(), v.end());
        return v;
    };
    if (stacking && (!clients || sorted(*stacking) == sorted(*clients))) {
        std::reverse(stacking->begin(), stacking->end());
        return stacking;
    }
    // A stacking list that is missing or behind the client list (xfwm4 publishes it only from
    // its first restacking on): the server's own order.
    if (!clients)
        return std::nullopt;
    return serverStacking(connection, *clients);
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
