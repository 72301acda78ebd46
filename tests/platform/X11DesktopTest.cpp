// Window commands on a real X server with a real EWMH window manager: openbox, or the one the
// virtual desktop names in QUANDREL_TEST_WM.

#include "WindowCommandTable.h"
#include "WindowLayout.h"
#include "ScreenSpace.h"
#include "WindowManager.h"
#include "X11Applications.h"
#include "X11Desktop.h"
#include "X11Displays.h"
#include "X11Session.h"
#include "X11Windows.h"
#include "XTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <signal.h>
#include <string>
#include <thread>
#include <unistd.h>

using namespace quandrel;
using quandrel::test::TestWindow;
using quandrel::test::XDesktop;

namespace {

constexpr double primaryHeight = 900;

Rect toWindowSpace(const Rect& screen) { return ScreenSpace(primaryHeight).toWindow(screen); }

std::string windowManager()
{
    const char* wm = std::getenv("QUANDREL_TEST_WM");
    return wm ? wm : "openbox";
}

class X11DesktopTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        x.setMonitors({"*MAIN 1440x900+0+0", "SIDE 1440x900+1440+0"});
        desktop = x11::X11Desktop::open();
        ASSERT_TRUE(desktop) << "no X display";
        manager = std::make_unique<WindowManager>(desktop->services());
        manager->gap = 8;
    }
    void TearDown() override { x.setMonitors({}); }

    // A window without resize increments, active and ready for commands.
    std::unique_ptr<TestWindow> activeWindow(std::vector<std::string> arguments = {"--geometry", "500x400+200+150"})
    {
        auto w = std::make_unique<TestWindow>(arguments);
        EXPECT_TRUE(x.activate(w->id()));
        return w;
    }

    XDesktop& x = XDesktop::instance();
    std::unique_ptr<x11::X11Desktop> desktop;
    std::unique_ptr<WindowManager> manager;
};

} // namespace

TEST_F(X11DesktopTest, DisplaysAreMonitorsInScreenSpacePrimaryFirst)
{
    x.setMonitors({"SIDE 1440x900+1440+0", "*MAIN 1440x900+0+0", "TALL 900x1600+2880+0"});
    const auto displays = desktop->displays().displays();
    ASSERT_EQ(displays.size(), 3u);
    EXPECT_EQ(displays[0].name, "MAIN");
    EXPECT_EQ(displays[0].frame, (Rect{0, 0, 1440, 900}));
    EXPECT_EQ(displays[1].frame, (Rect{1440, 0, 1440, 900}));
    EXPECT_EQ(displays[2].frame, (Rect{2880, -700, 900, 1600}));
    EXPECT_EQ(displays[2].visibleFrame, displays[2].frame);
    EXPECT_TRUE(desktop->session().canControlWindows());
}

// Every action places the outer frame exactly, and restore gives the client its size back.
TEST_F(X11DesktopTest, EveryActionLeavesTheTablesFrame)
{
    x.setMonitors({"*MAIN 1440x900+0+0", "SIDE 900x1440+1440+0"});
    auto w = activeWindow();
    const auto focused = desktop->windows().focusedWindow();
    ASSERT_TRUE(focused);
    EXPECT_EQ(focused->pid, w->pid());
    EXPECT_EQ(desktop->applications().frontmostApplication()->desktopId, "quandrel-testwindow");
    desktop->windows().setFrame(w->handle(), w->pid(), test::tableStartFrame);
    const Size client = x.clientGeometry(w->id()).size();
    test::runWindowCommandTable(desktop->services(), w->handle(), [&] { return x.outerFrame(w->id()); });
    EXPECT_EQ(x.clientGeometry(w->id()).size(), client);
}

TEST_F(X11DesktopTest, MaximizedWindowIsUnmaximizedAndPlaced)
{
    auto w = activeWindow();
    x.maximize(w->id());
    ASSERT_TRUE(x.isMaximized(w->id()));
    manager->perform(WindowAction::rightHalf);
    EXPECT_FALSE(x.isMaximized(w->id()));
    EXPECT_EQ(x.outerFrame(w->id()), toWindowSpace({724, 8, 708, 884}));
}

TEST_F(X11DesktopTest, ClientSideDecorationsAreMeasuredByTheirVisibleEdges)
{
    auto w = activeWindow({"--geometry", "540x430+300+200", "--csd", "20,20,12,28"});
    const Rect before = *desktop->windows().readFrame(w->handle());
    EXPECT_EQ(before.width, 500);
    EXPECT_EQ(before.height, 390);

    manager->perform(WindowAction::topLeft);
    const Rect expected = toWindowSpace(*targetFrame(WindowAction::topLeft, 0, {0, 0, 1440, 900}, {}, 8));
    // The shadow margin reaches past the tile, the visible window does not; icewm keeps the
    // whole client on the screen (its LimitPosition, on by default).
    Rect client{expected.x - 20, expected.y - 12, expected.width + 40, expected.height + 40};
    if (windowManager() == "icewm")
        client = {std::max(client.x, 0.0), std::max(client.y, 0.0), client.width, client.height};
    EXPECT_EQ(desktop->windows().readFrame(w->handle()), (Rect{client.x + 20, client.y + 12, expected.width, expected.height}));
    EXPECT_EQ(x.clientGeometry(w->id()), client);
}

TEST_F(X11DesktopTest, DocksShrinkTheVisibleFrameOfTheirOwnMonitor)
{
    TestWindow top({"--geometry", "1440x30+0+0", "--dock-top", "30", "--dock-span", "0,1439"});
    TestWindow side({"--geometry", "1440x45+1440+0", "--dock-top", "45", "--dock-span", "1440,2879"});
    const auto displays = desktop->displays().displays();
    ASSERT_EQ(displays.size(), 2u);
    EXPECT_EQ(displays[0].visibleFrame, (Rect{0, 0, 1440, 870}));
    EXPECT_EQ(displays[1].visibleFrame, (Rect{1440, 0, 1440, 855}));

    auto w = activeWindow();
    manager->perform(WindowAction::maximize);
    EXPECT_EQ(x.outerFrame(w->id()), toWindowSpace({8, 8, 1424, 854}));
}

// A panel on the short monitor takes nothing from the portrait one beside it: icewm's own task
// bar, which declares an old _NET_WM_STRUT counted from its monitor's edge and one
// _NET_WORKAREA for both monitors, and elsewhere a dock that declares the same.
TEST_F(X11DesktopTest, APanelOnTheShortMonitorLeavesThePortraitOneItsHeight)
{
    x.setMonitors({"*MAIN 1440x900+0+0", "TALL 900x1440+1440+0"});
    const bool icewm = windowManager() == "icewm";
    std::unique_ptr<TestWindow> dock;
    if (icewm)
        ASSERT_EQ(test::run("icesh -T unhide"), 0);
    else
        dock = std::make_unique<TestWindow>(std::vector<std::string>{"--geometry", "1440x26+0+874", "--dock-bottom", "26", "--plain-strut"});
    // Shown means at the bottom: icewm's task bar passes through other places while it unhides.
    const auto panelShown = [&] {
        const Display main = desktop->displays().displays().front();
        return main.visibleFrame.height < primaryHeight && main.visibleFrame.y == main.frame.y + primaryHeight - main.visibleFrame.height;
    };
    EXPECT_TRUE(x.waitUntil(panelShown));
    const auto displays = desktop->displays().displays();
    ASSERT_EQ(displays.size(), 2u);
    EXPECT_GE(displays[0].visibleFrame.height, primaryHeight - 40);
    EXPECT_EQ(displays[1].visibleFrame, displays[1].frame);

    auto w = activeWindow({"--geometry", "500x400+1600+200"});
    manager->perform(WindowAction::maximize);
    EXPECT_EQ(x.outerFrame(w->id()), (Rect{1448, 8, 884, 1424}));
    if (icewm) {
        test::run("icesh -T hide");
        x.waitUntil([&] { return !panelShown(); });
    }
}

// Centring again and again keeps the window's size, also where the window manager grows a
// window by its decorations when _NET_MOVERESIZE_WINDOW names only a position (fluxbox).
TEST_F(X11DesktopTest, RepeatedCentringKeepsTheSize)
{
    auto w = activeWindow();
    const Size size = x.outerFrame(w->id()).size();
    for (int press = 0; press < 3; ++press) {
        manager->perform(WindowAction::center);
        const Rect frame = x.outerFrame(w->id());
        EXPECT_EQ(frame.size(), size) << "press " << press;
        EXPECT_NEAR(frame.midX(), 720, 1) << "press " << press;
        EXPECT_NEAR(frame.midY(), 450, 1) << "press " << press;
    }
}

TEST_F(X11DesktopTest, DisplayMovesWalkAndWrapAcrossThreeMonitors)
{
    x.setMonitors({"*LEFT 1440x900+0+0", "RIGHT 1440x900+1440+0", "TALL 900x1600+2880+0"});
    auto w = activeWindow();
    const auto displays = desktop->displays().displays();
    std::vector<Rect> visible;
    for (const Display& d : displays)
        visible.push_back(d.visibleFrame);
    auto displayOf = [&] { return *screenIndex(visible, ScreenSpace(primaryHeight).fromWindow(*desktop->windows().readFrame(w->handle()))); };

    EXPECT_EQ(displayOf(), 0u);
    for (const std::size_t expected : {1u, 2u, 0u}) {
        manager->perform(WindowAction::nextDisplay);
        EXPECT_EQ(displayOf(), expected);
    }
    for (const std::size_t expected : {2u, 1u, 0u}) {
        manager->perform(WindowAction::previousDisplay);
        EXPECT_EQ(displayOf(), expected);
    }
    // The window kept its size all the way.
    EXPECT_EQ(x.clientGeometry(w->id()).size(), (Size{500, 400}));
}

TEST_F(X11DesktopTest, WindowAtPointFindsOnlyStandardWindowsOfOtherProcesses)
{
    auto w = activeWindow({"--geometry", "300x300+100+100"});
    const Rect frame = *desktop->windows().readFrame(w->handle());
    const Point inside{frame.midX(), primaryHeight - frame.midY()};
    const auto found = desktop->windows().windowAtPoint(inside);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->handle, w->id());
    EXPECT_EQ(found->pid, w->pid());
    EXPECT_FALSE(desktop->windows().windowAtPoint({1400, 20}));

    TestWindow dialog({"--geometry", "200x150+120+120", "--dialog"});
    ASSERT_TRUE(x.activate(dialog.id()));
    EXPECT_FALSE(desktop->windows().windowAtPoint({frame.x + 30, primaryHeight - (frame.y + 60)}));
    dialog.close();

    TestWindow own({"--geometry", "200x150+120+120", "--pid", std::to_string(getpid())});
    ASSERT_TRUE(x.activate(own.id()));
    EXPECT_FALSE(desktop->windows().windowAtPoint({frame.x + 30, primaryHeight - (frame.y + 60)}));
    EXPECT_EQ(desktop->windows().windowsOfApplication(w->pid()).size(), 1u);
}

TEST_F(X11DesktopTest, VanishedWindowsAreNoneNeverACrash)
{
    EXPECT_FALSE(desktop->windows().readFrame(0x7fffff0));
    desktop->windows().setFrame(0x7fffff0, 1, {0, 0, 100, 100});

    auto w = activeWindow();
    const ClientWindow gone{w->handle(), w->pid()};
    w->close();
    manager->perform(WindowAction::leftHalf, gone);
    EXPECT_FALSE(manager->last());

    // A window that closes while it is being moved.
    for (int i = 0; i < 5; ++i) {
        TestWindow racing({"--geometry", "300x200+100+100"});
        const pid_t pid = racing.pid();
        std::thread killer([pid] { kill(pid, SIGKILL); });
        manager->perform(WindowAction::maximize, ClientWindow{racing.handle(), pid});
        killer.join();
    }
    EXPECT_TRUE(desktop->session().canControlWindows());
}
