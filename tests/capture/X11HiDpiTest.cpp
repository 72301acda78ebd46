// Displays of different scales on a real X server: each display takes the scale Qt gives its
// screen, frames are in points that keep each display's top-left corner, and grabs, window
// frames, window moves and the pointer are measured in the pixels of the display concerned.

#include "CaptureTestSupport.h"
#include "PatternWindow.h"
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

#include <gtest/gtest.h>

namespace quandrel {

using test::XDesktop;
using test::valueOf;

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
    test::PatternWindow window(1480, 400, 600, 400, 0x336699);

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
