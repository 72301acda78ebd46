#include "X11Displays.h"

#include "ScreenSpace.h"
#include "WorkArea.h"
#include "X11Connection.h"
#include "X11Properties.h"

#include <xcb/randr.h>
#include <xcb/xcb_ewmh.h>

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <set>

namespace quandrel::x11 {

namespace {

// Qt's screens, primary first, when this process has a GUI application.
QList<QScreen*> qtScreens()
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return {};
    QList<QScreen*> screens = QGuiApplication::screens();
    if (QScreen* primary = QGuiApplication::primaryScreen(); primary && screens.removeOne(primary))
        screens.prepend(primary);
    return screens;
}

// The scale of a monitor: the device pixel ratio of Qt's screen for it, found by name or
// else by its top-left corner, which Qt keeps in pixels. 1 when Qt has no such screen.
double scaleOf(const QList<QScreen*>& screens, const std::string& name, const Rect& pixels)
{
    for (QScreen* screen : screens) {
        if (screen->name().toStdString() == name && screen->devicePixelRatio() > 0)
            return screen->devicePixelRatio();
    }
    for (QScreen* screen : screens) {
        if (screen->geometry().topLeft() == QPoint(int(pixels.x), int(pixels.y)) && screen->devicePixelRatio() > 0)
            return screen->devicePixelRatio();
    }
    return 1;
}

// The struts of the panels on the screen, with each panel's place: the managed clients, and
// for the panels that window managers draw themselves (icewm's task bar), the windows a few
// levels below the root.
std::vector<Strut> panelStruts(X11Connection& connection, const std::vector<xcb_window_t>& clients, xcb_query_tree_cookie_t rootTree, Size rootSize)
{
    xcb_connection_t* c = connection.xcb();
    xcb_ewmh_connection_t* ewmh = connection.ewmh();
    auto children = [&](xcb_query_tree_cookie_t cookie) {
        Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, cookie, nullptr));
        if (!tree)
            return std::vector<xcb_window_t>{};
        const xcb_window_t* w = xcb_query_tree_children(tree.get());
        return std::vector<xcb_window_t>(w, w + xcb_query_tree_children_length(tree.get()));
    };
    struct Panel {
        std::vector<std::uint32_t> partial, plain;
        xcb_get_geometry_cookie_t geometry;
        xcb_translate_coordinates_cookie_t position;
    };
    std::vector<Panel> panels;

    // Level by level, one batch each, down to a window manager's frame around its own panel
    // (icewm: frame, task bar frame, task bar). Only what is on the screen counts, and is
    // looked into: a hidden panel may keep its old strut.
    std::vector<xcb_window_t> level = children(rootTree);
    level.insert(level.end(), clients.begin(), clients.end());
    std::set<xcb_window_t> seen;
    constexpr int depth = 3;
    for (int d = 1; d <= depth && !level.empty(); ++d) {
        struct Reads {
            xcb_window_t window;
            xcb_get_property_cookie_t partial, plain;
            xcb_get_window_attributes_cookie_t attributes;
            std::optional<xcb_query_tree_cookie_t> tree;
        };
        std::vector<Reads> reads;
        for (xcb_window_t w : level) {
            if (!seen.insert(w).second)
                continue;
            reads.push_back({w, requestProperty(c, w, ewmh->_NET_WM_STRUT_PARTIAL, 12), requestProperty(c, w, ewmh->_NET_WM_STRUT, 4),
                             xcb_get_window_attributes_unchecked(c, w),
                             d < depth ? std::optional(xcb_query_tree_unchecked(c, w)) : std::nullopt});
        }
        level.clear();
        for (const Reads& r : reads) {
            auto partial = cardinals(c, r.partial);
            auto plain = cardinals(c, r.plain);
            Reply<xcb_get_window_attributes_reply_t> attributes(xcb_get_window_attributes_reply(c, r.attributes, nullptr));
            const bool shown = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
            if (r.tree) {
                if (shown) {
                    const auto inner = children(*r.tree);
                    level.insert(level.end(), inner.begin(), inner.end());
                } else {
                    xcb_discard_reply(c, r.tree->sequence);
                }
            }
            if (shown && (!partial.empty() || !plain.empty()))
                panels.push_back({std::move(partial), std::move(plain), xcb_get_geometry_unchecked(c, r.window),
                                  xcb_translate_coordinates_unchecked(c, r.window, connection.root(), 0, 0)});
        }
    }
    std::vector<Strut> struts;
    for (const Panel& p : panels) {
        Reply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, p.geometry, nullptr));
        Reply<xcb_translate_coordinates_reply_t> position(xcb_translate_coordinates_reply(c, p.position, nullptr));
        if (!geometry || !position)
            continue;
        const Rect place{double(position->dst_x), double(position->dst_y), double(geometry->width), double(geometry->height)};
        if (const auto strut = strutFrom(p.partial, p.plain, rootSize, place))
            struts.push_back(*strut);
    }
    return struts;
}

} // namespace

std::vector<Display> scaledScreens()
{
    const QList<QScreen*> screens = qtScreens();
    if (std::all_of(screens.begin(), screens.end(), [](QScreen* s) { return s->devicePixelRatio() == 1; }))
        return {};
    const ScreenSpace space(screens.front()->geometry().height());
    std::vector<Display> result;
    for (QScreen* screen : screens) {
        const QRect g = screen->geometry();
        const Rect frame = space.fromWindow({double(g.x()), double(g.y()), double(g.width()), double(g.height())});
        result.push_back({screen->name().toStdString(), frame, frame, screen->devicePixelRatio() > 0 ? screen->devicePixelRatio() : 1});
    }
    return result;
}

X11Displays::X11Displays(X11Connection& connection)
    : m_connection(connection)
{
}

std::vector<Display> X11Displays::displays()
{
    xcb_connection_t* c = m_connection.xcb();
    xcb_ewmh_connection_t* ewmh = m_connection.ewmh();
    const xcb_window_t root = m_connection.root();

    // Monitors (root coordinates), primary first.
    struct Monitor {
        std::string name;
        Rect area;
    };
    std::vector<Monitor> monitors;
    auto monitorCookie = xcb_randr_get_monitors_unchecked(c, root, 1);
    auto clientsCookie = xcb_ewmh_get_client_list_unchecked(ewmh, m_connection.screenNumber());
    auto workareaCookie = requestProperty(c, root, ewmh->_NET_WORKAREA, 4);
    auto treeCookie = xcb_query_tree_unchecked(c, root);

    // Requests go out in batches: monitor names and the windows that may be panels are asked
    // for together, before any of their replies is read.
    std::vector<xcb_get_atom_name_cookie_t> nameCookies;
    std::vector<bool> primary;
    if (Reply<xcb_randr_get_monitors_reply_t> reply{xcb_randr_get_monitors_reply(c, monitorCookie, nullptr)}) {
        for (auto it = xcb_randr_get_monitors_monitors_iterator(reply.get()); it.rem; xcb_randr_monitor_info_next(&it)) {
            const xcb_randr_monitor_info_t* m = it.data;
            monitors.push_back({{}, {double(m->x), double(m->y), double(m->width), double(m->height)}});
            primary.push_back(m->primary);
            nameCookies.push_back(xcb_get_atom_name_unchecked(c, m->name));
        }
    }

    for (std::size_t i = 0; i < nameCookies.size(); ++i) {
        Reply<xcb_get_atom_name_reply_t> name(xcb_get_atom_name_reply(c, nameCookies[i], nullptr));
        if (name)
            monitors[i].name.assign(xcb_get_atom_name_name(name.get()), xcb_get_atom_name_name_length(name.get()));
    }
    // The pivot monitor leads (the primary one, where the server names one); the others keep
    // the server's order.
    {
        std::vector<Rect> frames;
        for (const auto& m : monitors)
            frames.push_back(m.area);
        const auto first = std::find(primary.begin(), primary.end(), true);
        leadWith(monitors, pivotDisplay(frames, first != primary.end() ? std::optional<std::size_t>(std::size_t(first - primary.begin()))
                                                                         : std::nullopt));
    }
    const xcb_screen_t* screen = m_connection.screen();
    const Size rootSize{double(screen->width_in_pixels), double(screen->height_in_pixels)};
    if (monitors.empty())
        monitors.push_back({"screen", {0, 0, rootSize.width, rootSize.height}});

    const std::vector<Strut> struts =
        panelStruts(m_connection, windowList(ewmh, clientsCookie).value_or(std::vector<xcb_window_t>{}), treeCookie, rootSize);
    const auto workarea = cardinals(c, workareaCookie);

    // Frames in points (ScreenSpace.h): each monitor's top-left corner stays, its size is
    // divided by its scale.
    const QList<QScreen*> screens = qtScreens();
    std::vector<double> scales;
    for (const Monitor& m : monitors)
        scales.push_back(scaleOf(screens, m.name, m.area));
    const ScreenSpace space(monitors.front().area.height / scales.front());
    std::vector<Rect> areas;
    for (const Monitor& m : monitors)
        areas.push_back(m.area);
    const std::vector<Rect> visible = visibleAreas(areas, struts, rootSize, workarea);
    std::vector<Display> result;
    for (std::size_t i = 0; i < monitors.size(); ++i) {
        const Rect& a = monitors[i].area;
        const double s = scales[i];
        const auto points = [&](const Rect& r) { return Rect{a.x + (r.x - a.x) / s, a.y + (r.y - a.y) / s, r.width / s, r.height / s}; };
        result.push_back({monitors[i].name, space.fromWindow(points(a)), space.fromWindow(points(visible[i])), s});
    }
    return result;
}

} // namespace quandrel::x11
