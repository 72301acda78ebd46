// A tiny X client for tests: one window with exact size hints (no resize increments), an
// optional client-side shadow margin, window type, strut or minimum size. It prints
// "READY <window id>" once mapped and runs until killed or closed.
//
//   quandrel-testwindow [--title T] [--geometry WxH+X+Y] [--csd L,R,T,B] [--dialog]
//                       [--dock-top H] [--dock-bottom H --dock-span X0,X1] [--plain-strut]
//                       [--min WxH]
//                       [--class NAME] [--pid PID] [--count N] [--type TYPE] [--fixed]
//                       [--increments WxH]
//
// --type sets _NET_WM_WINDOW_TYPE_<TYPE> (e.g. DESKTOP, DOCK, NORMAL), or no type with "none".
// A dock's strut is _NET_WM_STRUT_PARTIAL over the span, or with --plain-strut the old
// _NET_WM_STRUT alone. --fixed makes the size the minimum and the maximum; --increments adds resize steps over a
// base size of the minimum.
//
// With --count it opens N windows (each offset a little) and prints one READY line each.

#include <xcb/xcb.h>
#include <xcb/xcb_icccm.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <algorithm>
#include <vector>

namespace {

xcb_atom_t intern(xcb_connection_t* c, const char* name)
{
    xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr);
    const xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(r);
    return a;
}

void setCardinals(xcb_connection_t* c, xcb_window_t w, xcb_atom_t property, xcb_atom_t type, const std::vector<std::uint32_t>& values)
{
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, property, type, 32, values.size(), values.data());
}

} // namespace

int main(int argc, char** argv)
{
    std::string title = "quandrel test window";
    std::string wmClass = "quandrel-testwindow";
    int width = 400, height = 300, x = 100, y = 100;
    int csd[4] = {0, 0, 0, 0};
    bool hasCsd = false, dialog = false;
    int dockTop = 0, dockBottom = 0, spanStart = 0, spanEnd = -1;
    int minWidth = 0, minHeight = 0;
    long claimedPid = getpid();
    int count = 1;
    std::string type;
    bool fixed = false, plainStrut = false;
    int widthStep = 0, heightStep = 0;

    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char* v = i + 1 < argc ? argv[i + 1] : "";
        if (a == "--title") { title = v; ++i; }
        else if (a == "--class") { wmClass = v; ++i; }
        else if (a == "--geometry") { std::sscanf(v, "%dx%d+%d+%d", &width, &height, &x, &y); ++i; }
        else if (a == "--csd") { std::sscanf(v, "%d,%d,%d,%d", &csd[0], &csd[1], &csd[2], &csd[3]); hasCsd = true; ++i; }
        else if (a == "--dialog") { dialog = true; }
        else if (a == "--dock-top") { dockTop = std::atoi(v); ++i; }
        else if (a == "--dock-bottom") { dockBottom = std::atoi(v); ++i; }
        else if (a == "--dock-span") { std::sscanf(v, "%d,%d", &spanStart, &spanEnd); ++i; }
        else if (a == "--count") { count = std::max(1, std::atoi(v)); ++i; }
        else if (a == "--pid") { claimedPid = std::atol(v); ++i; }
        else if (a == "--type") { type = v; ++i; }
        else if (a == "--fixed") { fixed = true; }
        else if (a == "--plain-strut") { plainStrut = true; }
        else if (a == "--increments") { std::sscanf(v, "%dx%d", &widthStep, &heightStep); ++i; }
        else if (a == "--min") { std::sscanf(v, "%dx%d", &minWidth, &minHeight); ++i; }
    }

    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(c))
        return 1;
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber; ++i)
        xcb_screen_next(&it);
    xcb_screen_t* screen = it.data;

    std::vector<xcb_window_t> windows;
    xcb_atom_t deleteWindow = XCB_ATOM_NONE;
    for (int n = 0; n < count; ++n) {
        const xcb_window_t w = xcb_generate_id(c);
        windows.push_back(w);
        const std::uint32_t values[] = {0x336699, XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_STRUCTURE_NOTIFY};
        xcb_create_window(c, XCB_COPY_FROM_PARENT, w, screen->root, x + 30 * n, y + 30 * n, width, height, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);

        xcb_icccm_set_wm_name(c, w, XCB_ATOM_STRING, 8, title.size(), title.c_str());
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, intern(c, "_NET_WM_NAME"), intern(c, "UTF8_STRING"), 8, title.size(), title.c_str());
        const std::string classValue = wmClass + '\0' + wmClass + '\0';
        xcb_icccm_set_wm_class(c, w, classValue.size(), classValue.c_str());
        setCardinals(c, w, intern(c, "_NET_WM_PID"), XCB_ATOM_CARDINAL, {std::uint32_t(claimedPid)});

        xcb_size_hints_t hints{};
        xcb_icccm_size_hints_set_position(&hints, 1, x + 30 * n, y + 30 * n);
        xcb_icccm_size_hints_set_size(&hints, 1, width, height);
        if (minWidth > 0)
            xcb_icccm_size_hints_set_min_size(&hints, minWidth, minHeight);
        if (fixed) {
            xcb_icccm_size_hints_set_min_size(&hints, width, height);
            xcb_icccm_size_hints_set_max_size(&hints, width, height);
        }
        if (widthStep > 0 && heightStep > 0) {
            xcb_icccm_size_hints_set_base_size(&hints, minWidth, minHeight);
            xcb_icccm_size_hints_set_resize_inc(&hints, widthStep, heightStep);
        }
        xcb_icccm_set_wm_normal_hints(c, w, &hints);

        deleteWindow = intern(c, "WM_DELETE_WINDOW");
        xcb_icccm_set_wm_protocols(c, w, intern(c, "WM_PROTOCOLS"), 1, &deleteWindow);

        const xcb_atom_t typeAtom = intern(c, "_NET_WM_WINDOW_TYPE");
        if (type == "none") {
        } else if (!type.empty()) {
            setCardinals(c, w, typeAtom, XCB_ATOM_ATOM, {intern(c, ("_NET_WM_WINDOW_TYPE_" + type).c_str())});
        } else if (dialog) {
            setCardinals(c, w, typeAtom, XCB_ATOM_ATOM, {intern(c, "_NET_WM_WINDOW_TYPE_DIALOG")});
        } else if (dockTop > 0 || dockBottom > 0) {
            setCardinals(c, w, typeAtom, XCB_ATOM_ATOM, {intern(c, "_NET_WM_WINDOW_TYPE_DOCK")});
            const std::uint32_t end = spanEnd < 0 ? screen->width_in_pixels - 1 : std::uint32_t(spanEnd);
            const std::uint32_t start = std::uint32_t(spanStart);
            if (plainStrut)
                setCardinals(c, w, intern(c, "_NET_WM_STRUT"), XCB_ATOM_CARDINAL, {0, 0, std::uint32_t(dockTop), std::uint32_t(dockBottom)});
            else
                setCardinals(c, w, intern(c, "_NET_WM_STRUT_PARTIAL"), XCB_ATOM_CARDINAL,
                             {0, 0, std::uint32_t(dockTop), std::uint32_t(dockBottom), 0, 0, 0, 0,
                              dockTop ? start : 0, dockTop ? end : 0, dockBottom ? start : 0, dockBottom ? end : 0});
        } else {
            setCardinals(c, w, typeAtom, XCB_ATOM_ATOM, {intern(c, "_NET_WM_WINDOW_TYPE_NORMAL")});
        }
        if (hasCsd) {
            // Client-side decorations: no frame from the window manager, a shadow margin around
            // the visible window.
            setCardinals(c, w, intern(c, "_GTK_FRAME_EXTENTS"), XCB_ATOM_CARDINAL,
                         {std::uint32_t(csd[0]), std::uint32_t(csd[1]), std::uint32_t(csd[2]), std::uint32_t(csd[3])});
            const xcb_atom_t motif = intern(c, "_MOTIF_WM_HINTS");
            setCardinals(c, w, motif, motif, {2, 0, 0, 0, 0});
        }
        xcb_map_window(c, w);
    }
    xcb_flush(c);

    // Each window is announced once, at its first MapNotify, in creation order.
    std::vector<bool> announced(windows.size(), false);
    std::size_t nextToAnnounce = 0;
    while (xcb_generic_event_t* e = xcb_wait_for_event(c)) {
        const auto type = e->response_type & 0x7f;
        if (type == XCB_MAP_NOTIFY) {
            const auto* map = reinterpret_cast<xcb_map_notify_event_t*>(e);
            for (std::size_t i = 0; i < windows.size(); ++i) {
                if (windows[i] == map->window)
                    announced[i] = true;
            }
            while (nextToAnnounce < windows.size() && announced[nextToAnnounce]) {
                std::printf("READY %u\n", windows[nextToAnnounce++]);
                std::fflush(stdout);
            }
        } else if (type == XCB_CLIENT_MESSAGE) {
            auto* m = reinterpret_cast<xcb_client_message_event_t*>(e);
            if (m->data.data32[0] == deleteWindow) {
                std::free(e);
                break;
            }
        } else if (type == XCB_DESTROY_NOTIFY) {
            std::free(e);
            break;
        }
        std::free(e);
    }
    xcb_disconnect(c);
    return 0;
}
