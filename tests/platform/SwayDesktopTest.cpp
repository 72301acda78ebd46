// Window commands, displays and applications on a real sway (headless, two outputs, one of
// them turned), with foot terminals as the other applications' windows.

#include "ScreenSpace.h"
#include "SwayApplications.h"
#include "SwayDesktop.h"
#include "SwayDisplays.h"
#include "SwayIpc.h"
#include "SwayTestSupport.h"
#include "SwayWindows.h"
#include "WindowCommandTable.h"
#include "WindowManager.h"
#include "FrontmostApplication.h"

#include <QLoggingCategory>

#include <gtest/gtest.h>

#include <csignal>
#include <thread>

using namespace quandrel;
using quandrel::test::SwayClient;
using quandrel::test::SwayTestDesktop;

namespace {

class SwayDesktopTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QLoggingCategory::setFilterRules(QStringLiteral("quandrel.windows.info=false"));
        sway.useStandardOutputs();
        desktop = sway::SwayDesktop::open();
        ASSERT_TRUE(desktop) << "no sway";
        manager = std::make_unique<WindowManager>(desktop->services());
        manager->gap = 8;
    }

    // A window of its own, floating at `frame` (window space), placed by the test's own command.
    std::unique_ptr<SwayClient> floatingWindow(const Rect& frame = test::tableStartFrame)
    {
        auto w = std::make_unique<SwayClient>();
        sway.run("[con_id=" + std::to_string(w->id()) + "] floating enable, resize set width " + std::to_string(int(frame.width))
                 + " px height " + std::to_string(int(frame.height)) + " px, move absolute position " + std::to_string(int(frame.x))
                 + " px " + std::to_string(int(frame.y)) + " px");
        EXPECT_TRUE(w->settle());
        return w;
    }

    SwayTestDesktop& sway = SwayTestDesktop::instance();
    std::unique_ptr<sway::SwayDesktop> desktop;
    std::unique_ptr<WindowManager> manager;
};

} // namespace

TEST_F(SwayDesktopTest, OutputsAreDisplaysInScreenSpaceTheOriginOneFirst)
{
    // Listed by sway in another order, the output at the layout's origin still comes first.
    sway.run("output HEADLESS-1 position 900 0, output HEADLESS-2 position 0 0");
    auto displays = desktop->displays().displays();
    ASSERT_EQ(displays.size(), 2u);
    EXPECT_EQ(displays[0].name, "HEADLESS-2");
    EXPECT_EQ(displays[0].frame, (Rect{0, 0, 900, 1440}));
    EXPECT_EQ(displays[1].frame, (Rect{900, 540, 1440, 900}));

    sway.useStandardOutputs();
    displays = desktop->displays().displays();
    ASSERT_EQ(displays.size(), 2u);
    EXPECT_EQ(displays[0].name, "HEADLESS-1");
    EXPECT_EQ(displays[0].frame, (Rect{0, 0, 1440, 900}));
    EXPECT_EQ(displays[0].visibleFrame, displays[0].frame);
    // Turned by 90°: 900 wide, 1440 tall, its top level with the first display's top.
    EXPECT_EQ(displays[1].frame, (Rect{1440, -540, 900, 1440}));
    EXPECT_EQ(displays[1].scale, 1);

    EXPECT_TRUE(desktop->services().trust->canControlWindows());
    EXPECT_TRUE(desktop->services().trust->screenRecordingAllowed()); // screencopy
}

TEST_F(SwayDesktopTest, EveryActionLeavesTheTablesFrame)
{
    auto w = floatingWindow();
    // Each frame is read once the client has drawn itself at its size, so that no answer to
    // an earlier request can still move it.
    test::runWindowCommandTable(desktop->services(), w->handle(), [&] {
        EXPECT_TRUE(w->settle());
        return sway.outerFrame(w->id()).value_or(Rect{});
    });
    EXPECT_TRUE(sway.isFloating(w->id()));
}

TEST_F(SwayDesktopTest, TiledWindowsFloatToBePlacedAndRestoreTilesThemAgain)
{
    SwayClient w;
    ASSERT_FALSE(sway.isFloating(w.id()));
    const Rect tiled = *sway.outerFrame(w.id());
    EXPECT_EQ(tiled, (Rect{0, 0, 1440, 900})); // alone on its workspace, it fills the output

    manager->perform(WindowAction::rightHalf);
    EXPECT_TRUE(sway.isFloating(w.id()));
    EXPECT_EQ(sway.outerFrame(w.id()), (Rect{724, 8, 708, 884}));
    EXPECT_TRUE(desktop->windows().floatedByQuandrel(w.handle()));
    // Repeated presses see the floating frame they left: ½ → ⅔.
    manager->perform(WindowAction::rightHalf);
    EXPECT_EQ(sway.outerFrame(w.id()), (Rect{487, 8, 945, 884}));

    manager->perform(WindowAction::restore);
    EXPECT_FALSE(sway.isFloating(w.id()));
    EXPECT_EQ(sway.outerFrame(w.id()), tiled);
    EXPECT_FALSE(desktop->windows().floatedByQuandrel(w.handle()));
    ASSERT_TRUE(w.settle());

    // A window the user floated stays floating after restore.
    sway.run("[con_id=" + std::to_string(w.id()) + "] floating enable, resize set width 400 px height 300 px, move absolute position 50 60 px");
    ASSERT_TRUE(w.settle());
    const Rect own = *sway.outerFrame(w.id());
    manager->perform(WindowAction::maximize);
    EXPECT_EQ(sway.outerFrame(w.id()), (Rect{8, 8, 1424, 884}));
    ASSERT_TRUE(w.settle());
    manager->perform(WindowAction::restore);
    EXPECT_TRUE(sway.isFloating(w.id()));
    EXPECT_EQ(sway.outerFrame(w.id()), own);
}

TEST_F(SwayDesktopTest, TiledNeighboursStayTiled)
{
    SwayClient left("quandrel-left");
    SwayClient right("quandrel-right");
    ASSERT_EQ(sway.focusedWindow(), right.id());
    manager->perform(WindowAction::topLeft);
    EXPECT_TRUE(sway.isFloating(right.id()));
    EXPECT_FALSE(sway.isFloating(left.id()));
    EXPECT_EQ(sway.outerFrame(right.id()), (Rect{8, 8, 708, 438}));
    // The tiled window took the whole workspace back.
    EXPECT_EQ(sway.outerFrame(left.id()), (Rect{0, 0, 1440, 900}));
}

// Maximize on the turned display uses its own area, and the window is found there.
TEST_F(SwayDesktopTest, WindowsOnTheTurnedDisplayAreFoundThere)
{
    auto w = floatingWindow({1500, 100, 600, 500});
    manager->perform(WindowAction::maximize);
    EXPECT_EQ(sway.outerFrame(w->id()), (Rect{1448, 8, 884, 1424}));

    const ScreenSpace space(900);
    const auto found = desktop->windows().windowAtPoint(space.fromWindow(Point{1500, 700}));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->handle, w->id());
    EXPECT_EQ(found->pid, w->pid());
    EXPECT_FALSE(desktop->windows().windowAtPoint(space.fromWindow(Point{1444, 4})));
}

TEST_F(SwayDesktopTest, ApplicationsAreFoundByAppIdHiddenInTheScratchpadAndShownAgain)
{
    SwayClient a("quandrel-app");
    SwayClient b("konsole");
    auto& apps = desktop->applications();

    const auto running = apps.runningApplications("quandrel-app");
    ASSERT_EQ(running.size(), 1u);
    EXPECT_EQ(running[0].pid, a.pid());
    EXPECT_FALSE(running[0].active);
    // The last dotted part of a desktop-entry ID matches too, ignoring case.
    ASSERT_EQ(apps.runningApplications("org.kde.Konsole").size(), 1u);
    EXPECT_TRUE(apps.runningApplications("org.kde.Konsole")[0].active);
    EXPECT_TRUE(apps.runningApplications("quandrel").empty());
    EXPECT_TRUE(apps.runningApplications("org.kde.konsole-profile").empty());
    EXPECT_EQ(apps.frontmostApplication()->desktopId, "konsole");
    EXPECT_EQ(apps.frontmostApplication()->pid, b.pid());

    apps.hide(b.pid());
    EXPECT_TRUE(desktop->windows().isMinimized(b.handle()).value_or(false));
    EXPECT_EQ(sway.outerFrame(a.id()), (Rect{0, 0, 1440, 900}));
    apps.unhide(b.pid());
    EXPECT_FALSE(desktop->windows().isMinimized(b.handle()).value_or(true));
    EXPECT_FALSE(sway.isFloating(b.id())); // it was tiled, and is again

    desktop->windows().raise(a.handle());
    EXPECT_EQ(sway.focusedWindow(), a.id());
    EXPECT_EQ(desktop->windows().windowsOfApplication(a.pid()).size(), 1u);

    bool opened = false;
    apps.openAndActivate("org.kde.Konsole", [&](bool ok) { opened = ok; });
    EXPECT_TRUE(opened);
    EXPECT_EQ(sway.focusedWindow(), b.id());
}

TEST_F(SwayDesktopTest, VanishedWindowsAndBadFramesAreNoneNeverACrash)
{
    EXPECT_FALSE(desktop->windows().readFrame(0x7ffffff0));
    EXPECT_FALSE(desktop->windows().isStandardWindow(0x7ffffff0));
    desktop->windows().setFrame(0x7ffffff0, 1, {0, 0, 100, 100});
    desktop->windows().restoreFrame(0x7ffffff0, 1, {0, 0, 100, 100});

    auto w = floatingWindow();
    const ClientWindow gone{w->handle(), w->pid()};
    w->close();
    manager->perform(WindowAction::leftHalf, gone);
    EXPECT_FALSE(manager->last());

    // Frames beyond any layout stay within what sway parses.
    auto v = floatingWindow();
    desktop->windows().setFrame(v->handle(), v->pid(), {-1e308, 1e308, std::nan(""), -5});
    const auto frame = sway.outerFrame(v->id());
    ASSERT_TRUE(frame);
    EXPECT_GT(frame->width, 0);

    // A window that closes while it is being moved.
    for (int i = 0; i < 3; ++i) {
        SwayClient racing;
        const pid_t pid = racing.pid();
        std::thread killer([pid] { kill(pid, SIGKILL); });
        manager->perform(WindowAction::maximize, ClientWindow{racing.handle(), pid});
        killer.join();
    }
    EXPECT_TRUE(desktop->services().trust->canControlWindows());
}
