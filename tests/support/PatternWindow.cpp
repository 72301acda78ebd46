#include "PatternWindow.h"
#include "X11Connection.h"
#include "XTestSupport.h"

#include <xcb/xcb.h>
#include <xcb/xcb_icccm.h>

#include <gtest/gtest.h>

#include <cstring>

namespace quandrel::test {

namespace {

xcb_atom_t intern(xcb_connection_t* c, const char* name)
{
    x11::Reply<xcb_intern_atom_reply_t> r(xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr));
    return r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
}

} // namespace

PatternWindow::PatternWindow(int x, int y, int width, int height, std::optional<std::uint32_t> colour, pid_t pid)
    : m_connection(XDesktop::instance().connection())
{
    xcb_connection_t* c = m_connection;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    m_window = xcb_generate_id(c);
    const std::uint32_t values[] = {colour.value_or(0), 0};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, m_window, screen->root, std::int16_t(x), std::int16_t(y), std::uint16_t(width),
                      std::uint16_t(height), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL, values);
    if (!colour) {
        const std::uint32_t quadrants[] = {topLeft, topRight, bottomLeft, bottomRight};
        for (int i = 0; i < 4; ++i) {
            const xcb_window_t child = xcb_generate_id(c);
            const std::uint32_t background[] = {quadrants[i]};
            xcb_create_window(c, XCB_COPY_FROM_PARENT, child, m_window, std::int16_t(i % 2 ? width / 2 : 0),
                              std::int16_t(i / 2 ? height / 2 : 0), std::uint16_t(width / 2), std::uint16_t(height / 2), 0,
                              XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL, background);
            xcb_map_window(c, child);
        }
    }
    xcb_size_hints_t hints{};
    xcb_icccm_size_hints_set_position(&hints, 1, x, y);
    xcb_icccm_size_hints_set_size(&hints, 1, width, height);
    xcb_icccm_set_wm_normal_hints(c, m_window, &hints);
    const char title[] = "capture pattern";
    xcb_icccm_set_wm_name(c, m_window, XCB_ATOM_STRING, 8, sizeof title - 1, title);
    if (pid) {
        const std::uint32_t value = std::uint32_t(pid);
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, m_window, intern(c, "_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1, &value);
    }
    xcb_map_window(c, m_window);
    xcb_flush(c);
    auto& desktop = XDesktop::instance();
    EXPECT_TRUE(desktop.waitUntil([&] { return desktop.isManaged(m_window) && viewable(); }));
}

PatternWindow::~PatternWindow()
{
    xcb_destroy_window(m_connection, m_window);
    xcb_flush(m_connection);
    auto& desktop = XDesktop::instance();
    desktop.waitUntil([&] { return !desktop.isManaged(m_window); });
}

Rect PatternWindow::client() const { return XDesktop::instance().clientGeometry(m_window); }

bool PatternWindow::viewable() const
{
    x11::Reply<xcb_get_window_attributes_reply_t> a(
        xcb_get_window_attributes_reply(m_connection, xcb_get_window_attributes(m_connection, m_window), nullptr));
    return a && a->map_state == XCB_MAP_STATE_VIEWABLE;
}

} // namespace quandrel::test
