#include "XTestSupport.h"

#include "PipedProcess.h"
#include "X11Connection.h"

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <signal.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace quandrel::test {

namespace {

using x11::Reply;

xcb_atom_t intern(xcb_connection_t* c, const char* name)
{
    Reply<xcb_intern_atom_reply_t> r(xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr));
    return r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
}

std::vector<std::uint32_t> cardinals(xcb_connection_t* c, xcb_window_t w, const char* name)
{
    Reply<xcb_get_property_reply_t> r(
        xcb_get_property_reply(c, xcb_get_property(c, 0, w, intern(c, name), XCB_GET_PROPERTY_TYPE_ANY, 0, 1024), nullptr));
    if (!r || r->format != 32)
        return {};
    const auto* d = static_cast<const std::uint32_t*>(xcb_get_property_value(r.get()));
    return {d, d + xcb_get_property_value_length(r.get()) / 4};
}

void sendRootMessage(xcb_connection_t* c, xcb_window_t root, xcb_window_t window, const char* type, std::vector<std::uint32_t> data)
{
    xcb_client_message_event_t e{};
    e.response_type = XCB_CLIENT_MESSAGE;
    e.format = 32;
    e.window = window;
    e.type = intern(c, type);
    for (std::size_t i = 0; i < data.size() && i < 5; ++i)
        e.data.data32[i] = data[i];
    xcb_send_event(c, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT, reinterpret_cast<const char*>(&e));
    xcb_flush(c);
}

} // namespace

int run(const std::string& command) { return std::system(command.c_str()); }

TestWindow::TestWindow(const std::vector<std::string>& arguments, int windowCount)
{
    std::vector<std::string> args{QUANDREL_TESTWINDOW};
    args.insert(args.end(), arguments.begin(), arguments.end());
    if (windowCount > 1)
        args.insert(args.end(), {"--count", std::to_string(windowCount)});
    int output = -1;
    m_pid = spawnPiped(args, &output);
    if (m_pid <= 0)
        throw std::runtime_error("cannot start the test window");
    // One "READY <id>" line for each window, once it is mapped.
    std::string pending;
    std::uint32_t window = 0;
    while (m_windows.size() < std::size_t(windowCount)
           && std::sscanf(readLine(output, pending, std::chrono::seconds(5)).c_str(), "READY %u", &window) == 1)
        m_windows.push_back(window);
    ::close(output);
    if (m_windows.size() != std::size_t(windowCount)) {
        close();
        throw std::runtime_error("the test window did not start");
    }
    XDesktop& desktop = XDesktop::instance();
    for (const std::uint32_t w : m_windows) {
        if (!desktop.waitUntil([&] { return desktop.isManaged(w); })) {
            close(); // no destructor runs for a constructor that throws
            throw std::runtime_error("the window manager did not manage the test window");
        }
    }
}

TestWindow::~TestWindow() { close(); }

void TestWindow::close()
{
    if (m_pid <= 0)
        return;
    kill(m_pid, SIGTERM);
    waitpid(m_pid, nullptr, 0);
    m_pid = -1;
    XDesktop& desktop = XDesktop::instance();
    for (const std::uint32_t window : m_windows)
        desktop.waitUntil([&] { return !desktop.isManaged(window); });
}

XDesktop& XDesktop::instance()
{
    static XDesktop desktop;
    return desktop;
}

XDesktop::XDesktop()
{
    m_connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(m_connection))
        throw std::runtime_error("no X display: X tests run on the private virtual desktop of tools/test.sh");
    m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
    const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(m_connection, m_root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(m_connection);
}

bool XDesktop::waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (condition())
            return true;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return condition();
        // Wake on the next event from the server (or after a short while, as a safety net).
        pollfd pfd{xcb_get_file_descriptor(m_connection), POLLIN, 0};
        poll(&pfd, 1, int(std::min<long>(left.count(), 20)));
        while (xcb_generic_event_t* e = xcb_poll_for_event(m_connection))
            std::free(e);
    }
}

bool XDesktop::isViewable(std::uint32_t window)
{
    xcb_get_window_attributes_reply_t* a = xcb_get_window_attributes_reply(m_connection, xcb_get_window_attributes(m_connection, window), nullptr);
    const bool viewable = a && a->map_state == XCB_MAP_STATE_VIEWABLE;
    std::free(a);
    return viewable;
}

std::vector<std::uint32_t> XDesktop::stacking() { return cardinals(m_connection, m_root, "_NET_CLIENT_LIST_STACKING"); }

bool XDesktop::isManaged(std::uint32_t window)
{
    const auto clients = cardinals(m_connection, m_root, "_NET_CLIENT_LIST");
    bool listed = false;
    for (auto c : clients)
        listed = listed || c == window;
    if (!listed)
        return false;
    if (cardinals(m_connection, window, "_NET_FRAME_EXTENTS").size() == 4)
        return true;
    // Some window managers (metacity) set no extents on a window they do not decorate: such a
    // window counts once it has its ICCCM state and is on the screen.
    return isViewable(window) && !cardinals(m_connection, window, "WM_STATE").empty();
}

std::uint32_t XDesktop::activeWindow()
{
    const auto active = cardinals(m_connection, m_root, "_NET_ACTIVE_WINDOW");
    return active.empty() ? 0 : active.front();
}

bool XDesktop::activate(std::uint32_t window)
{
    sendRootMessage(m_connection, m_root, window, "_NET_ACTIVE_WINDOW", {2, XCB_CURRENT_TIME, 0});
    return waitUntil([&] { return activeWindow() == window; });
}

void XDesktop::minimize(std::uint32_t window)
{
    sendRootMessage(m_connection, m_root, window, "WM_CHANGE_STATE", {3});
    waitUntil([&] { return isMinimized(window); });
}

bool XDesktop::isMinimized(std::uint32_t window)
{
    const auto state = cardinals(m_connection, window, "_NET_WM_STATE");
    return std::ranges::count(state, intern(m_connection, "_NET_WM_STATE_HIDDEN")) > 0;
}

void XDesktop::maximize(std::uint32_t window)
{
    sendRootMessage(m_connection, m_root, window, "_NET_WM_STATE",
                    {1, intern(m_connection, "_NET_WM_STATE_MAXIMIZED_VERT"), intern(m_connection, "_NET_WM_STATE_MAXIMIZED_HORZ"), 2});
    waitUntil([&] { return isMaximized(window); });
}

bool XDesktop::isMaximized(std::uint32_t window)
{
    const auto state = cardinals(m_connection, window, "_NET_WM_STATE");
    return std::ranges::count(state, intern(m_connection, "_NET_WM_STATE_MAXIMIZED_VERT")) > 0;
}

Rect XDesktop::outerFrame(std::uint32_t window)
{
    xcb_window_t w = window;
    for (;;) {
        Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, w), nullptr));
        if (!tree)
            return {};
        if (tree->parent == m_root || tree->parent == XCB_WINDOW_NONE)
            break;
        w = tree->parent;
    }
    Reply<xcb_get_geometry_reply_t> g(xcb_get_geometry_reply(m_connection, xcb_get_geometry(m_connection, w), nullptr));
    return g ? Rect{double(g->x), double(g->y), double(g->width + 2 * g->border_width), double(g->height + 2 * g->border_width)} : Rect{};
}

Rect XDesktop::clientGeometry(std::uint32_t window)
{
    Reply<xcb_get_geometry_reply_t> g(xcb_get_geometry_reply(m_connection, xcb_get_geometry(m_connection, window), nullptr));
    Reply<xcb_translate_coordinates_reply_t> t(
        xcb_translate_coordinates_reply(m_connection, xcb_translate_coordinates(m_connection, window, m_root, 0, 0), nullptr));
    return g && t ? Rect{double(t->dst_x), double(t->dst_y), double(g->width), double(g->height)} : Rect{};
}

void XDesktop::setMonitors(const std::vector<std::string>& monitors)
{
    for (const std::string& name : m_monitorNames)
        run("xrandr --delmonitor " + name + " >/dev/null 2>&1");
    m_monitorNames.clear();
    bool first = true;
    for (const std::string& spec : monitors) {
        const auto space = spec.find(' ');
        std::string name = spec.substr(0, space);
        const std::string geometry = spec.substr(space + 1);
        int w = 0, h = 0, x = 0, y = 0;
        std::sscanf(geometry.c_str(), "%dx%d+%d+%d", &w, &h, &x, &y);
        // Physical size in millimetres at roughly 96 dpi.
        const std::string physical = std::to_string(w) + "/" + std::to_string(w * 254 / 960) + "x" + std::to_string(h) + "/"
            + std::to_string(h * 254 / 960) + "+" + std::to_string(x) + "+" + std::to_string(y);
        run("xrandr --setmonitor '" + name + "' " + physical + " " + (first ? "screen" : "none") + " >/dev/null 2>&1");
        if (name.front() == '*')
            name.erase(0, 1);
        m_monitorNames.push_back(name);
        first = false;
    }
}

bool XDesktop::declareTrayForeground(std::uint32_t rgb)
{
    Reply<xcb_get_selection_owner_reply_t> owner(xcb_get_selection_owner_reply(
        m_connection, xcb_get_selection_owner(m_connection, intern(m_connection, "_NET_SYSTEM_TRAY_S0")), nullptr));
    const xcb_window_t window = owner ? owner->owner : xcb_window_t(XCB_WINDOW_NONE);
    if (window == XCB_WINDOW_NONE)
        return false;
    const auto channel = [rgb](int shift) { return std::uint32_t((rgb >> shift) & 0xff) * 0x101; };
    // Foreground, error, warning, success.
    const std::uint32_t colors[12] = {channel(16), channel(8), channel(0), 0xffff, 0, 0, 0xffff, 0x8000, 0, 0, 0xffff, 0};
    return !Reply<xcb_generic_error_t>(xcb_request_check(
        m_connection, xcb_change_property_checked(m_connection, XCB_PROP_MODE_REPLACE, window, intern(m_connection, "_NET_SYSTEM_TRAY_COLORS"),
                                                  XCB_ATOM_CARDINAL, 32, 12, colors)));
}

} // namespace quandrel::test
