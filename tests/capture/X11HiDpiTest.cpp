// Displays of different scales on a real X server: each display takes the scale Qt gives its
// screen, frames are in points that keep each display's top-left corner, and grabs, window
// frames, window moves and the pointer are measured in the pixels of the display concerned.

#include "ScreenCapturer.h"
#include "ScreenSpace.h"
#include "X11Connection.h"
#include "X11Desktop.h"
#include "X11Displays.h"
#include "X11Windows.h"
#include "X11ScreenCapture.h"
#include "XTestSupport.h"

#include <QCoroTask>
#include <QGuiApplication>

#include <xcb/xcb.h>
#include <xcb/xcb_icccm.h>

#include <gtest/gtest.h>

namespace quandrel {

namespace {

using test::XDesktop;

template <typename T>
T valueOf(CaptureResult<T> result)
{
    if (auto* error = std::get_if<CaptureError>(&result))
        ADD_FAILURE() << "capture failed: " << error->description().toStdString();
    return std::get<T>(std::move(result));
}

// A managed window of one colour at a place in root pixels.
class PlainWindow {
public:
    PlainWindow(int x, int y, int width, int height, std::uint32_t colour)
        : m_connection(XDesktop::instance().connection())
    {
        xcb_connection_t* c = m_connection;
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
        m_window = xcb_generate_id(c);
        const std::uint32_t values[] = {colour};
        xcb_create_window(c, XCB_COPY_FROM_PARENT, m_window, screen->root, std::int16_t(x), std::int16_t(y), std::uint16_t(width),
                          std::uint16_t(height), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL, values);
        xcb_size_hints_t hints{};
        xcb_icccm_size_hints_set_position(&hints, 1, x, y);
        xcb_icccm_size_hints_set_size(&hints, 1, width, height);
        xcb_icccm_set_wm_normal_hints(c, m_window, &hints);
        xcb_map_window(c, m_window);
        xcb_flush(c);
        auto& desktop = XDesktop::instance();
        EXPECT_TRUE(desktop.waitUntil([&] { return desktop.isManaged(m_window); }));
    }
    ~PlainWindow()
    {
        xcb_destroy_window(m_connection, m_window);
        xcb_flush(m_connection);
    }
    std::uint32_t id() const { return m_window; }

private:
    xcb_connection_t* m_connection;
    xcb_window_t m_window = 0;
};

} // namespace

TEST(X11HiDpi, MixedScalesFollowQtsScreens)
{
    // MAIN is 1280 x 720 pixels at scale 1; SIDE, right of it, 2560 x 1600 pixels at scale
    // 2: 1280 x 800 points whose top-left corner stays at (1280, 0).
    auto& x = XDesktop::instance();
    x.setMonitors({"*MAIN 1280x720+0+0", "SIDE 2560x1600+1280+0"});
    qputenv("QT_SCREEN_SCALE_FACTORS", "MAIN=1;SIDE=2");
    static int argc = 1;
    static char name[] = "quandrel-hidpi-tests";
    static char* argv[] = {name, nullptr};
    QGuiApplication app(argc, argv);

    auto desktop = x11::X11Desktop::open();
    ASSERT_TRUE(desktop) << "no X display";
    const auto displays = desktop->displays().displays();
    ASSERT_EQ(displays.size(), 2u);
    EXPECT_EQ(displays[0].frame, (Rect{0, 0, 1280, 720}));
    EXPECT_EQ(displays[0].scale, 1);
    EXPECT_EQ(displays[1].frame, (Rect{1280, -80, 1280, 800})); // screen space: reaching 80 below MAIN
    EXPECT_EQ(displays[1].scale, 2);

    x11::X11ScreenCapture capture(desktop->connection());
    ScreenCapturer capturer(capture, desktop->displays());
    PlainWindow window(1480, 400, 600, 400, 0x336699);

    const auto frozen = valueOf(QCoro::waitFor(capturer.freezeDisplays()));
    ASSERT_EQ(frozen.size(), 2u);
    EXPECT_EQ(frozen[1].image.image.size(), QSize(2560, 1600));
    EXPECT_EQ(frozen[1].image.scale, 2);

    // The window's frame in SIDE's points, and a crop by it shows the window's own pixels.
    const Rect outer = x.outerFrame(window.id());
    const Rect expected = ScreenSpace(720).fromWindow({1280 + (outer.x - 1280) / 2, outer.y / 2, outer.width / 2, outer.height / 2});
    const auto windows = valueOf(QCoro::waitFor(capturer.pickableWindows()));
    const auto listed = std::find_if(windows.begin(), windows.end(), [&](const PickableWindow& w) { return w.window == window.id(); });
    ASSERT_NE(listed, windows.end());
    EXPECT_EQ(listed->frame, expected);
    const Rect client = x.clientGeometry(window.id());
    const Rect clientPoints = ScreenSpace(720).fromWindow({1280 + (client.x - 1280) / 2, client.y / 2, client.width / 2, client.height / 2});
    const auto cut = ScreenCapturer::crop(frozen[1], clientPoints);
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->image.size(), QSize(600, 400));
    EXPECT_EQ(cut->image.pixel(0, 0), 0xff336699u);
    EXPECT_EQ(cut->image.pixel(599, 399), 0xff336699u);

    // Window frames are read and written in points: on SIDE, twice as many pixels.
    desktop->windows().setFrame(WindowHandle(window.id()), 0, {1380, 100, 400, 300});
    EXPECT_TRUE(x.waitUntil([&] { return x.outerFrame(window.id()) == Rect{1480, 200, 800, 600}; }))
        << toString(x.outerFrame(window.id()));
    EXPECT_EQ(desktop->windows().readFrame(WindowHandle(window.id())), (Rect{1380, 100, 400, 300}));

    // The pointer below MAIN's bottom edge in pixels is on SIDE, whose points end at 800.
    xcb_connection_t* c = x.connection();
    xcb_warp_pointer(c, XCB_WINDOW_NONE, x.root(), 0, 0, 0, 0, 1700, 1200);
    x11::Reply<xcb_get_input_focus_reply_t>(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    ASSERT_TRUE(capturer.screenUnderMouse());
    EXPECT_EQ(capturer.screenUnderMouse()->name, "SIDE");
    xcb_warp_pointer(c, XCB_WINDOW_NONE, x.root(), 0, 0, 0, 0, 1279, 719);
    x11::Reply<xcb_get_input_focus_reply_t>(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    EXPECT_EQ(capturer.screenUnderMouse()->name, "MAIN");

    x.setMonitors({});
}

} // namespace quandrel
