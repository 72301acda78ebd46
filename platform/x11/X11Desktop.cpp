#include "X11Desktop.h"
#include "ScreenSpace.h"

#include "DesktopEntries.h"
#include "X11Connection.h"
#include "DesktopSystemTiling.h"
#include "X11HotKeys.h"
#include "X11PointerMonitor.h"

#include <xcb/randr.h>
#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>
#include <xcb/xcb_icccm.h>

#include <QLoggingCategory>

#include <algorithm>
#include <climits>
#include <strings.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcX11, "quandrel.x11", QtInfoMsg)

namespace quandrel::x11 {

namespace {

// Reads a property of 32-bit values; empty when it is missing or of another format.
std::vector<std::uint32_t> cardinals(xcb_connection_t* c, xcb_get_property_cookie_t cookie)
{
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(c, cookie, nullptr));
    if (!reply || reply->format != 32)
        return {};
    const auto* data = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    const int n = xcb_get_property_value_length(reply.get()) / 4;
    return {data, data + n};
}

xcb_get_property_cookie_t cardinalProperty(xcb_connection_t* c, xcb_window_t w, xcb_atom_t property, std::uint32_t length = 64)
{
    return xcb_get_property_unchecked(c, 0, w, property, XCB_GET_PROPERTY_TYPE_ANY, 0, length);
}

bool contains(const std::vector<std::uint32_t>& v, std::uint32_t x) { return std::find(v.begin(), v.end(), x) != v.end(); }

} // namespace

// A client window's geometry in root coordinates with the extents that turn it into the frame
// the user sees: the window manager's decorations add to it, a client-side shadow margin
// (_GTK_FRAME_EXTENTS) is taken off.
struct X11Desktop::Geometry {
    int x = 0, y = 0, width = 0, height = 0;
    Extents frame; // _NET_FRAME_EXTENTS
    Extents gtk;   // _GTK_FRAME_EXTENTS

    Rect visibleFrame() const
    {
        return {double(x - frame.left + gtk.left), double(y - frame.top + gtk.top),
                double(width + frame.left + frame.right - gtk.left - gtk.right),
                double(height + frame.top + frame.bottom - gtk.top - gtk.bottom)};
    }
};

X11Desktop::X11Desktop(std::unique_ptr<X11Connection> connection)
    : m_connection(std::move(connection))
{
    const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(m_connection->xcb(), m_connection->root(), XCB_CW_EVENT_MASK, &mask);
    m_connection->flush();
    m_connection->addEventHandler([this](xcb_generic_event_t* e) {
        const auto type = e->response_type & 0x7f;
        if (type == XCB_PROPERTY_NOTIFY) {
            const auto* p = reinterpret_cast<xcb_property_notify_event_t*>(e);
            if (p->window == m_connection->root() && p->atom == m_connection->ewmh()->_NET_SUPPORTING_WM_CHECK)
                m_trusted.reset();
        } else if (type == XCB_DESTROY_NOTIFY) {
            const auto* d = reinterpret_cast<xcb_destroy_notify_event_t*>(e);
            if (d->window == m_checkWindow)
                m_trusted.reset();
            m_watched.erase(d->window);
        }
        return false;
    });
}

X11Desktop::~X11Desktop() = default;

PlatformServices X11Desktop::services()
{
    if (!m_hotKeys) {
        m_hotKeys = std::make_unique<X11HotKeys>(*m_connection);
        m_pointer = std::make_unique<X11PointerMonitor>(*m_connection, *this);
        m_tiling = std::make_unique<DesktopSystemTiling>(*m_connection);
    }
    return {this, this, this, this, this, m_hotKeys.get(), this, m_pointer.get(), m_tiling.get()};
}

std::unique_ptr<X11Desktop> X11Desktop::open(const char* display)
{
    auto connection = X11Connection::open(display);
    if (!connection)
        return nullptr;
    return std::make_unique<X11Desktop>(std::move(connection));
}

std::vector<Display> X11Desktop::displays()
{
    xcb_connection_t* c = m_connection->xcb();
    xcb_ewmh_connection_t* ewmh = m_connection->ewmh();
    const xcb_window_t root = m_connection->root();

    // Monitors (root coordinates), primary first.
    struct Monitor {
        std::string name;
        Rect area;
    };
    std::vector<Monitor> monitors;
    auto monitorCookie = xcb_randr_get_monitors_unchecked(c, root, 1);
    auto clientsCookie = xcb_ewmh_get_client_list_unchecked(ewmh, m_connection->screenNumber());
    auto workareaCookie = cardinalProperty(c, root, ewmh->_NET_WORKAREA, 4);

    // Requests go out in batches: monitor names and struts are asked for together, before
    // any of their replies is read.
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

    // Struts of docks and panels, read from every managed client.
    std::vector<xcb_window_t> clients;
    xcb_ewmh_get_windows_reply_t list;
    if (xcb_ewmh_get_client_list_reply(ewmh, clientsCookie, &list, nullptr)) {
        clients.assign(list.windows, list.windows + list.windows_len);
        xcb_ewmh_get_windows_reply_wipe(&list);
    }
    std::vector<std::pair<xcb_get_property_cookie_t, xcb_get_property_cookie_t>> strutCookies;
    for (xcb_window_t w : clients)
        strutCookies.push_back({cardinalProperty(c, w, ewmh->_NET_WM_STRUT_PARTIAL, 12), cardinalProperty(c, w, ewmh->_NET_WM_STRUT, 4)});

    for (std::size_t i = 0; i < nameCookies.size(); ++i) {
        Reply<xcb_get_atom_name_reply_t> name(xcb_get_atom_name_reply(c, nameCookies[i], nullptr));
        if (name)
            monitors[i].name.assign(xcb_get_atom_name_name(name.get()), xcb_get_atom_name_name_length(name.get()));
    }
    // The primary monitor leads; the others keep the server's order.
    if (const auto first = std::find(primary.begin(), primary.end(), true); first != primary.end()) {
        const auto index = first - primary.begin();
        std::rotate(monitors.begin(), monitors.begin() + index, monitors.begin() + index + 1);
    }
    const xcb_screen_t* screen = m_connection->screen();
    const double rootWidth = screen->width_in_pixels;
    const double rootHeight = screen->height_in_pixels;
    if (monitors.empty())
        monitors.push_back({"screen", {0, 0, rootWidth, rootHeight}});

    struct Strut {
        double left, right, top, bottom;
        double leftStart, leftEnd, rightStart, rightEnd, topStart, topEnd, bottomStart, bottomEnd;
    };
    std::vector<Strut> struts;
    for (auto& [partialCookie, plainCookie] : strutCookies) {
        const auto partial = cardinals(c, partialCookie);
        const auto plain = cardinals(c, plainCookie);
        if (partial.size() >= 12) {
            struts.push_back({double(partial[0]), double(partial[1]), double(partial[2]), double(partial[3]),
                              double(partial[4]), double(partial[5]), double(partial[6]), double(partial[7]),
                              double(partial[8]), double(partial[9]), double(partial[10]), double(partial[11])});
        } else if (plain.size() >= 4) {
            struts.push_back({double(plain[0]), double(plain[1]), double(plain[2]), double(plain[3]), 0, rootHeight - 1,
                              0, rootHeight - 1, 0, rootWidth - 1, 0, rootWidth - 1});
        }
    }
    const auto workarea = cardinals(c, workareaCookie);

    const ScreenSpace space(monitors.front().area.height);
    std::vector<Display> result;
    for (const Monitor& m : monitors) {
        const Rect& a = m.area;
        double left = a.minX(), right = a.maxX(), top = a.minY(), bottom = a.maxY();
        // A strut reserves a band along an edge of the root window; it applies to the
        // monitors that band touches.
        auto spans = [](double start, double end, double min, double max) { return start < max && end >= min; };
        for (const Strut& s : struts) {
            if (s.left > 0 && a.minX() < s.left && spans(s.leftStart, s.leftEnd, a.minY(), a.maxY()))
                left = std::max(left, s.left);
            if (s.right > 0 && a.maxX() > rootWidth - s.right && spans(s.rightStart, s.rightEnd, a.minY(), a.maxY()))
                right = std::min(right, rootWidth - s.right);
            if (s.top > 0 && a.minY() < s.top && spans(s.topStart, s.topEnd, a.minX(), a.maxX()))
                top = std::max(top, s.top);
            if (s.bottom > 0 && a.maxY() > rootHeight - s.bottom && spans(s.bottomStart, s.bottomEnd, a.minX(), a.maxX()))
                bottom = std::min(bottom, rootHeight - s.bottom);
        }
        Rect visible{left, top, std::max(0.0, right - left), std::max(0.0, bottom - top)};
        if (struts.empty() && workarea.size() >= 4) {
            const Rect w{double(workarea[0]), double(workarea[1]), double(workarea[2]), double(workarea[3])};
            const Rect clipped = visible.intersected(w);
            if (!clipped.isEmpty())
                visible = clipped;
        }
        result.push_back({m.name, space.fromWindow(a), space.fromWindow(visible), 1});
    }
    return result;
}

std::optional<X11Desktop::Geometry> X11Desktop::readGeometry(WindowHandle window)
{
    xcb_connection_t* c = m_connection->xcb();
    auto geometryCookie = xcb_get_geometry_unchecked(c, window);
    auto translateCookie = xcb_translate_coordinates_unchecked(c, window, m_connection->root(), 0, 0);
    auto frameCookie = cardinalProperty(c, window, m_connection->ewmh()->_NET_FRAME_EXTENTS, 4);
    auto gtkCookie = cardinalProperty(c, window, m_connection->atom(Atom::GTK_FRAME_EXTENTS), 4);

    Reply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, geometryCookie, nullptr));
    Reply<xcb_translate_coordinates_reply_t> position(xcb_translate_coordinates_reply(c, translateCookie, nullptr));
    const auto frame = cardinals(c, frameCookie);
    const auto gtk = cardinals(c, gtkCookie);
    if (!geometry || !position)
        return std::nullopt;

    Geometry g{position->dst_x, position->dst_y, geometry->width, geometry->height, {}, {}};
    if (frame.size() == 4)
        g.frame = {int(frame[0]), int(frame[1]), int(frame[2]), int(frame[3])};
    if (gtk.size() == 4)
        g.gtk = {int(gtk[0]), int(gtk[1]), int(gtk[2]), int(gtk[3])};
    return g;
}

std::optional<Rect> X11Desktop::readFrame(WindowHandle window)
{
    if (window == 0)
        return std::nullopt;
    if (const auto g = readGeometry(window))
        return g->visibleFrame();
    return std::nullopt;
}

void X11Desktop::watch(WindowHandle window)
{
    if (m_watched.contains(window))
        return;
    const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(m_connection->xcb(), window, XCB_CW_EVENT_MASK, &mask);
    m_watched.insert(window);
}

void X11Desktop::setFrame(WindowHandle window, std::int32_t, const Rect& frame)
{
    xcb_connection_t* c = m_connection->xcb();
    xcb_ewmh_connection_t* ewmh = m_connection->ewmh();
    const int screen = m_connection->screenNumber();

    auto stateCookie = cardinalProperty(c, window, ewmh->_NET_WM_STATE);
    auto current = readGeometry(window);
    const auto state = cardinals(c, stateCookie);
    if (!current)
        return;
    watch(window);

    // Maximized and full-screen windows ignore moves; the state is cleared (not restored
    // afterwards, which would undo the move). The decorations change with the state, so the
    // geometry is read again once the window manager has dropped it.
    const bool maxV = contains(state, ewmh->_NET_WM_STATE_MAXIMIZED_VERT);
    const bool maxH = contains(state, ewmh->_NET_WM_STATE_MAXIMIZED_HORZ);
    const bool fullScreen = contains(state, ewmh->_NET_WM_STATE_FULLSCREEN);
    if (maxV || maxH) {
        xcb_ewmh_request_change_wm_state(ewmh, screen, window, XCB_EWMH_WM_STATE_REMOVE,
                                         maxV ? ewmh->_NET_WM_STATE_MAXIMIZED_VERT : ewmh->_NET_WM_STATE_MAXIMIZED_HORZ,
                                         maxV && maxH ? ewmh->_NET_WM_STATE_MAXIMIZED_HORZ : xcb_atom_t(XCB_ATOM_NONE),
                                         XCB_EWMH_CLIENT_SOURCE_TYPE_OTHER);
    }
    if (fullScreen) {
        xcb_ewmh_request_change_wm_state(ewmh, screen, window, XCB_EWMH_WM_STATE_REMOVE, ewmh->_NET_WM_STATE_FULLSCREEN,
                                         xcb_atom_t(XCB_ATOM_NONE), XCB_EWMH_CLIENT_SOURCE_TYPE_OTHER);
    }
    if (maxV || maxH || fullScreen) {
        auto stillSet = [&] {
            const auto now = cardinals(c, cardinalProperty(c, window, ewmh->_NET_WM_STATE));
            return contains(now, ewmh->_NET_WM_STATE_MAXIMIZED_VERT) || contains(now, ewmh->_NET_WM_STATE_MAXIMIZED_HORZ)
                || contains(now, ewmh->_NET_WM_STATE_FULLSCREEN);
        };
        const auto deadline = std::chrono::steady_clock::now() + settleTimeout;
        while (stillSet() && std::chrono::steady_clock::now() < deadline) {
            m_connection->waitForEvent(
                [&](xcb_generic_event_t* e) {
                    return (e->response_type & 0x7f) == XCB_PROPERTY_NOTIFY
                        && reinterpret_cast<xcb_property_notify_event_t*>(e)->window == window;
                },
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()));
        }
        // Decorations and geometry follow the state change in further requests of the
        // window manager; take them once the window has been quiet for a moment.
        auto forThisWindow = [&](xcb_generic_event_t* e) {
            const auto type = e->response_type & 0x7f;
            return (type == XCB_PROPERTY_NOTIFY && reinterpret_cast<xcb_property_notify_event_t*>(e)->window == window)
                || (type == XCB_CONFIGURE_NOTIFY && reinterpret_cast<xcb_configure_notify_event_t*>(e)->window == window);
        };
        while (std::chrono::steady_clock::now() < deadline && m_connection->waitForEvent(forThisWindow, std::chrono::milliseconds(20))) {
        }
        current = readGeometry(window);
        if (!current)
            return;
    }

    // The client's own size is the frame less the decorations, plus any client-side margin;
    // with north-west gravity the position names the outer frame's top-left corner.
    const Extents& f = current->frame;
    const Extents& g = current->gtk;
    const int x = int(roundHalfAway(frame.x)) - g.left;
    const int y = int(roundHalfAway(frame.y)) - g.top;
    const int width = std::max(1, int(roundHalfAway(frame.width)) - f.left - f.right + g.left + g.right);
    const int height = std::max(1, int(roundHalfAway(frame.height)) - f.top - f.bottom + g.top + g.bottom);
    const int clientX = x + f.left;
    const int clientY = y + f.top;

    const auto size = xcb_ewmh_moveresize_window_opt_flags_t(XCB_EWMH_MOVERESIZE_WINDOW_WIDTH | XCB_EWMH_MOVERESIZE_WINDOW_HEIGHT);
    const auto position = xcb_ewmh_moveresize_window_opt_flags_t(XCB_EWMH_MOVERESIZE_WINDOW_X | XCB_EWMH_MOVERESIZE_WINDOW_Y);
    // Size, position, size again: a window moved to another display may only fit there
    // after the move. When the size stays, the size steps change nothing and are left out.
    const bool resizes = current->width != width || current->height != height;
    if (resizes)
        xcb_ewmh_request_moveresize_window(ewmh, screen, window, XCB_GRAVITY_NORTH_WEST, XCB_EWMH_CLIENT_SOURCE_TYPE_OTHER, size, 0, 0, width, height);
    xcb_ewmh_request_moveresize_window(ewmh, screen, window, XCB_GRAVITY_NORTH_WEST, XCB_EWMH_CLIENT_SOURCE_TYPE_OTHER, position, x, y, 0, 0);
    if (resizes)
        xcb_ewmh_request_moveresize_window(ewmh, screen, window, XCB_GRAVITY_NORTH_WEST, XCB_EWMH_CLIENT_SOURCE_TYPE_OTHER, size, 0, 0, width, height);
    m_connection->flush();

    const bool alreadyThere = current->x == clientX && current->y == clientY && current->width == width
        && current->height == height;
    if (alreadyThere)
        return;

    // Wait until the window manager has put the window where asked, following the window's
    // geometry through its ConfigureNotify events: real ones carry the size, the window
    // manager's synthetic ones (ICCCM) the position in root coordinates too. A window that
    // refuses (minimum size, increments) never gets there: once the events stop for a moment
    // the window is taken as settled.
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + settleTimeout;
    int knownX = current->x, knownY = current->y, knownWidth = current->width, knownHeight = current->height;
    bool sawChange = false;
    for (;;) {
        const auto now = Clock::now();
        if (now >= deadline)
            return;
        auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
        if (sawChange)
            wait = std::min(wait, std::chrono::milliseconds(40));
        bool destroyed = false;
        const bool changed = m_connection->waitForEvent(
            [&](xcb_generic_event_t* e) {
                const auto type = e->response_type & 0x7f;
                if (type == XCB_CONFIGURE_NOTIFY) {
                    const auto* configure = reinterpret_cast<xcb_configure_notify_event_t*>(e);
                    if (configure->window != window)
                        return false;
                    knownWidth = configure->width;
                    knownHeight = configure->height;
                    if (e->response_type & 0x80) {
                        knownX = configure->x;
                        knownY = configure->y;
                    }
                    return true;
                }
                if (type == XCB_DESTROY_NOTIFY && reinterpret_cast<xcb_destroy_notify_event_t*>(e)->window == window) {
                    destroyed = true;
                    return true;
                }
                return false;
            },
            wait);
        if (destroyed) {
            m_watched.erase(window);
            return;
        }
        if (!changed && sawChange)
            return;
        if (!changed)
            continue;
        sawChange = true;
        if (knownX == clientX && knownY == clientY && knownWidth == width && knownHeight == height)
            return;
    }
}

std::vector<WindowHandle> X11Desktop::stackingTopToBottom()
{
    xcb_ewmh_connection_t* ewmh = m_connection->ewmh();
    std::vector<WindowHandle> result;
    xcb_ewmh_get_windows_reply_t list;
    if (xcb_ewmh_get_client_list_stacking_reply(ewmh, xcb_ewmh_get_client_list_stacking_unchecked(ewmh, m_connection->screenNumber()), &list, nullptr)) {
        result.assign(list.windows, list.windows + list.windows_len);
        xcb_ewmh_get_windows_reply_wipe(&list);
    }
    std::reverse(result.begin(), result.end());
    return result;
}

std::int32_t X11Desktop::pidOf(WindowHandle window)
{
    xcb_ewmh_connection_t* ewmh = m_connection->ewmh();
    std::uint32_t pid = 0;
    if (xcb_ewmh_get_wm_pid_reply(ewmh, xcb_ewmh_get_wm_pid_unchecked(ewmh, window), &pid, nullptr))
        return std::int32_t(pid);
    return 0;
}

std::optional<ClientWindow> X11Desktop::focusedWindow()
{
    xcb_ewmh_connection_t* ewmh = m_connection->ewmh();
    xcb_window_t active = XCB_WINDOW_NONE;
    if (!xcb_ewmh_get_active_window_reply(ewmh, xcb_ewmh_get_active_window_unchecked(ewmh, m_connection->screenNumber()), &active, nullptr)
        || active == XCB_WINDOW_NONE)
        return std::nullopt;
    return ClientWindow{active, pidOf(active)};
}

WindowAccessError X11Desktop::focusedWindowError()
{
    const auto window = focusedWindow();
    if (!window)
        return WindowAccessError::none;
    xcb_generic_error_t* error = nullptr;
    Reply<xcb_get_geometry_reply_t> reply(xcb_get_geometry_reply(m_connection->xcb(), xcb_get_geometry(m_connection->xcb(), window->handle), &error));
    const int code = error ? error->error_code : 0;
    std::free(error);
    if (code == 0)
        return WindowAccessError::none;
    return code == XCB_WINDOW || code == XCB_DRAWABLE ? WindowAccessError::windowGone : WindowAccessError::refused;
}

std::optional<ClientWindow> X11Desktop::windowAtPoint(Point screenPoint)
{
    xcb_connection_t* c = m_connection->xcb();
    xcb_ewmh_connection_t* ewmh = m_connection->ewmh();
    const ScreenSpace space = ScreenSpace::of(displays());

    // Front to back, skip what the user cannot see; the first window under the point decides.
    for (const WindowHandle w : stackingTopToBottom()) {
        auto attributesCookie = xcb_get_window_attributes_unchecked(c, w);
        auto stateCookie = cardinalProperty(c, w, ewmh->_NET_WM_STATE);
        Reply<xcb_get_window_attributes_reply_t> attributes(xcb_get_window_attributes_reply(c, attributesCookie, nullptr));
        const auto state = cardinals(c, stateCookie);
        if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE || contains(state, ewmh->_NET_WM_STATE_HIDDEN))
            continue;
        const auto frame = readFrame(w);
        if (!frame || !containsPoint(space.fromWindow(*frame), screenPoint))
            continue;

        const std::int32_t pid = pidOf(w);
        if (pid == ::getpid())
            return std::nullopt;
        if (!isStandardWindow(w).value_or(false))
            return std::nullopt;
        return ClientWindow{w, pid};
    }
    return std::nullopt;
}

std::vector<ClientWindow> X11Desktop::windowsOfApplication(std::int32_t pid)
{
    std::vector<ClientWindow> result;
    for (const WindowHandle w : stackingTopToBottom()) {
        if (pidOf(w) == pid)
            result.push_back({w, pid});
    }
    return result;
}

std::optional<RunningApplication> X11Desktop::frontmostApplication()
{
    const auto window = focusedWindow();
    if (!window)
        return std::nullopt;
    xcb_connection_t* c = m_connection->xcb();
    RunningApplication app{window->pid, {}};

    // The desktop-entry ID, as far as the window tells it: GTK applications publish their
    // application ID; otherwise the WM_CLASS instance names the program.
    auto idCookie = xcb_get_property_unchecked(c, 0, window->handle, m_connection->atom(Atom::GTK_APPLICATION_ID), XCB_GET_PROPERTY_TYPE_ANY, 0, 256);
    auto classCookie = xcb_icccm_get_wm_class_unchecked(c, window->handle);
    if (Reply<xcb_get_property_reply_t> id{xcb_get_property_reply(c, idCookie, nullptr)}; id && id->format == 8)
        app.desktopId.assign(static_cast<const char*>(xcb_get_property_value(id.get())), xcb_get_property_value_length(id.get()));
    xcb_icccm_get_wm_class_reply_t wmClass;
    if (xcb_icccm_get_wm_class_reply(c, classCookie, &wmClass, nullptr)) {
        if (app.desktopId.empty() && wmClass.instance_name)
            app.desktopId = wmClass.instance_name;
        xcb_icccm_get_wm_class_reply_wipe(&wmClass);
    }
    return app;
}

bool X11Desktop::isTrusted()
{
    // The answer is kept until the window manager changes: a new check window on the root or
    // the old one destroyed (see the event handler installed by the constructor).
    // Under Wayland only Xwayland's own windows would obey; that is not window control.
    if (qEnvironmentVariableIsSet("WAYLAND_DISPLAY"))
        return false;
    m_connection->dispatchPending();
    if (m_trusted)
        return *m_trusted;

    // An EWMH window manager announces itself through a check window that names itself.
    xcb_ewmh_connection_t* ewmh = m_connection->ewmh();
    xcb_window_t check = XCB_WINDOW_NONE;
    xcb_window_t self = XCB_WINDOW_NONE;
    const bool trusted = xcb_ewmh_get_supporting_wm_check_reply(ewmh, xcb_ewmh_get_supporting_wm_check_unchecked(ewmh, m_connection->root()), &check, nullptr)
        && xcb_ewmh_get_supporting_wm_check_reply(ewmh, xcb_ewmh_get_supporting_wm_check_unchecked(ewmh, check), &self, nullptr)
        && self == check;
    if (trusted) {
        const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_connection->xcb(), check, XCB_CW_EVENT_MASK, &mask);
        m_checkWindow = check;
        m_trusted = true;
    }
    return trusted;
}

bool X11Desktop::hasCompositingManager()
{
    // A compositing manager owns the _NET_WM_CM_Sn selection of its screen.
    xcb_connection_t* c = m_connection->xcb();
    Reply<xcb_get_selection_owner_reply_t> owner(xcb_get_selection_owner_reply(
        c, xcb_get_selection_owner(c, m_connection->ewmh()->_NET_WM_CM_Sn[m_connection->screenNumber()]), nullptr));
    return owner && owner->owner != XCB_WINDOW_NONE;
}

bool X11Desktop::screenRecordingAllowed()
{
    // Under Wayland the X server here is Xwayland, whose root window shows nothing.
    if (qEnvironmentVariableIsSet("WAYLAND_DISPLAY"))
        return false;
    xcb_connection_t* c = m_connection->xcb();
    Reply<xcb_get_image_reply_t> pixel(xcb_get_image_reply(
        c, xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, m_connection->root(), 0, 0, 1, 1, ~0u), nullptr));
    return pixel != nullptr;
}

void X11Desktop::showTrustPrompt()
{
    qCWarning(lcX11, "Quandrel arranges windows through an EWMH window manager, and none is running on this X display. "
                     "Start one (for example openbox, xfwm4, KWin or Mutter) and try again.");
}

void X11Desktop::beep()
{
    xcb_bell(m_connection->xcb(), 0);
    m_connection->flush();
}

} // namespace quandrel::x11

namespace quandrel::x11 {

std::optional<bool> X11Desktop::isStandardWindow(WindowHandle window)
{
    // A normal window, or one without a type that is not transient for another.
    xcb_connection_t* c = m_connection->xcb();
    xcb_ewmh_connection_t* ewmh = m_connection->ewmh();
    auto geometryCookie = xcb_get_geometry_unchecked(c, window);
    auto typeCookie = cardinalProperty(c, window, ewmh->_NET_WM_WINDOW_TYPE);
    auto transientCookie = xcb_icccm_get_wm_transient_for_unchecked(c, window);
    Reply<xcb_get_geometry_reply_t> exists(xcb_get_geometry_reply(c, geometryCookie, nullptr));
    const auto types = cardinals(c, typeCookie);
    xcb_window_t transientFor = XCB_WINDOW_NONE;
    const bool isTransient = xcb_icccm_get_wm_transient_for_reply(c, transientCookie, &transientFor, nullptr) && transientFor != XCB_WINDOW_NONE;
    if (!exists)
        return std::nullopt;
    return types.empty() ? !isTransient : types.front() == ewmh->_NET_WM_WINDOW_TYPE_NORMAL;
}

std::optional<bool> X11Desktop::isMinimized(WindowHandle window)
{
    xcb_connection_t* c = m_connection->xcb();
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(c, cardinalProperty(c, window, m_connection->ewmh()->_NET_WM_STATE), nullptr));
    if (!reply)
        return std::nullopt;
    const auto* data = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    const int n = reply->format == 32 ? xcb_get_property_value_length(reply.get()) / 4 : 0;
    return std::find(data, data + n, m_connection->ewmh()->_NET_WM_STATE_HIDDEN) != data + n;
}

void X11Desktop::raise(WindowHandle window)
{
    xcb_ewmh_connection_t* ewmh = m_connection->ewmh();
    const auto active = focusedWindow();
    xcb_ewmh_request_change_active_window(ewmh, m_connection->screenNumber(), window, XCB_EWMH_CLIENT_SOURCE_TYPE_OTHER,
                                          XCB_CURRENT_TIME, active ? active->handle : xcb_window_t(XCB_WINDOW_NONE));
    m_connection->flush();
}

void X11Desktop::stopInteractiveMove(WindowHandle window)
{
    xcb_ewmh_connection_t* ewmh = m_connection->ewmh();
    xcb_ewmh_request_wm_moveresize(ewmh, m_connection->screenNumber(), window, 0, 0, XCB_EWMH_WM_MOVERESIZE_CANCEL,
                                   XCB_BUTTON_INDEX_ANY, XCB_EWMH_CLIENT_SOURCE_TYPE_OTHER);
    m_connection->flush();
}

void X11Desktop::resumeInteractiveMove(WindowHandle window, Point screenPointer)
{
    // The window manager takes the pointer again and goes on moving while the button is held.
    xcb_ewmh_connection_t* ewmh = m_connection->ewmh();
    const Point p = ScreenSpace::of(displays()).toWindow(screenPointer);
    xcb_ewmh_request_wm_moveresize(ewmh, m_connection->screenNumber(), window, std::uint32_t(p.x), std::uint32_t(p.y), XCB_EWMH_WM_MOVERESIZE_MOVE, XCB_BUTTON_INDEX_1,
                                   XCB_EWMH_CLIENT_SOURCE_TYPE_OTHER);
    m_connection->flush();
}

std::vector<WindowHandle> X11Desktop::clientList()
{
    xcb_ewmh_connection_t* ewmh = m_connection->ewmh();
    std::vector<WindowHandle> result;
    xcb_ewmh_get_windows_reply_t list;
    if (xcb_ewmh_get_client_list_reply(ewmh, xcb_ewmh_get_client_list_unchecked(ewmh, m_connection->screenNumber()), &list, nullptr)) {
        result.assign(list.windows, list.windows + list.windows_len);
        xcb_ewmh_get_windows_reply_wipe(&list);
    }
    return result;
}

std::vector<WindowHandle> X11Desktop::windowsOfDesktopEntry(const std::string& desktopId)
{
    // A window belongs to the entry when its GTK application ID is the entry's ID, its
    // WM_CLASS matches the entry's StartupWMClass or ID, or (for a window without a class)
    // its process runs the entry's program. Client-list order: oldest first.
    xcb_connection_t* c = m_connection->xcb();
    xcb_ewmh_connection_t* ewmh = m_connection->ewmh();
    const auto entry = findDesktopEntry(desktopId);
    const std::vector<WindowHandle> clients = clientList();

    struct Cookies {
        xcb_get_property_cookie_t gtkId, wmClass;
        xcb_get_property_cookie_t pid;
    };
    std::vector<Cookies> cookies;
    for (const WindowHandle w : clients) {
        cookies.push_back({xcb_get_property_unchecked(c, 0, w, m_connection->atom(Atom::GTK_APPLICATION_ID), XCB_GET_PROPERTY_TYPE_ANY, 0, 256),
                           xcb_icccm_get_wm_class_unchecked(c, w), cardinalProperty(c, w, ewmh->_NET_WM_PID, 1)});
    }
    auto same = [](const std::string& a, const std::string& b) { return !a.empty() && !b.empty() && strcasecmp(a.c_str(), b.c_str()) == 0; };

    std::vector<WindowHandle> result;
    for (std::size_t i = 0; i < clients.size(); ++i) {
        std::string gtkId, instance, wmClass;
        if (Reply<xcb_get_property_reply_t> r{xcb_get_property_reply(c, cookies[i].gtkId, nullptr)}; r && r->format == 8)
            gtkId.assign(static_cast<const char*>(xcb_get_property_value(r.get())), xcb_get_property_value_length(r.get()));
        xcb_icccm_get_wm_class_reply_t classReply;
        if (xcb_icccm_get_wm_class_reply(c, cookies[i].wmClass, &classReply, nullptr)) {
            instance = classReply.instance_name ? classReply.instance_name : std::string();
            wmClass = classReply.class_name ? classReply.class_name : std::string();
            xcb_icccm_get_wm_class_reply_wipe(&classReply);
        }
        const auto pid = cardinals(c, cookies[i].pid);

        bool matches = gtkId == desktopId || same(instance, desktopId) || same(wmClass, desktopId);
        if (!matches && entry && !entry->startupWMClass.empty())
            matches = same(wmClass, entry->startupWMClass) || same(instance, entry->startupWMClass);
        // The program is a last resort for windows that name no class: many programs share
        // one interpreter or launcher binary.
        if (!matches && entry && !entry->executable.empty() && !pid.empty() && instance.empty() && wmClass.empty()) {
            char target[PATH_MAX];
            const std::string link = "/proc/" + std::to_string(pid.front()) + "/exe";
            const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
            if (n > 0) {
                std::string path(target, std::size_t(n));
                matches = path.substr(path.rfind('/') + 1) == entry->executable;
            }
        }
        if (matches)
            result.push_back(clients[i]);
    }
    return result;
}

std::vector<RunningApplicationInfo> X11Desktop::runningApplications(const std::string& desktopId)
{
    // An iconified window may stay the active one for a moment; it is not in front.
    auto active = focusedWindow();
    if (active && isMinimized(active->handle).value_or(false))
        active.reset();
    std::vector<RunningApplicationInfo> result;
    for (const WindowHandle w : windowsOfDesktopEntry(desktopId)) {
        const std::int32_t pid = pidOf(w);
        if (pid <= 0)
            continue;
        const bool isActive = active && active->pid == pid;
        const auto known = std::find_if(result.begin(), result.end(), [&](const auto& r) { return r.pid == pid; });
        if (known == result.end())
            result.push_back({pid, isActive});
    }
    return result;
}

bool X11Desktop::isInstalled(const std::string& desktopId) { return findDesktopEntry(desktopId).has_value(); }

void X11Desktop::hide(std::int32_t pid)
{
    // ICCCM: a request to the window manager to iconify the window.
    for (const WindowHandle w : clientList()) {
        if (pidOf(w) != pid)
            continue;
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = w;
        event.type = m_connection->atom(Atom::WM_CHANGE_STATE);
        event.data.data32[0] = XCB_ICCCM_WM_STATE_ICONIC;
        xcb_send_event(m_connection->xcb(), 0, m_connection->root(),
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY, reinterpret_cast<const char*>(&event));
    }
    m_connection->flush();
}

void X11Desktop::unhide(std::int32_t pid)
{
    // Activating an iconified window brings it back; the newest one ends up in front.
    for (const WindowHandle w : clientList()) {
        if (pidOf(w) == pid && isMinimized(w).value_or(false))
            raise(w);
    }
}

void X11Desktop::openAndActivate(const std::string& desktopId, std::function<void(bool ok)> done)
{
    const auto windows = windowsOfDesktopEntry(desktopId);
    if (!windows.empty()) {
        raise(windows.back());
        if (done)
            done(true);
        return;
    }
    const bool ok = launchDesktopEntry(desktopId);
    if (done)
        done(ok);
}

} // namespace quandrel::x11
