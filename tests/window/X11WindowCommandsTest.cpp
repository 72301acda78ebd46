// Window commands on windows that are not ordinary: special window types, windows that
// refuse sizes, extreme gaps, and the event loop's responsiveness meanwhile. Real X server,
// real window manager (openbox).

#include "WindowManager.h"
#include "X11Desktop.h"
#include "FrontmostApplication.h"
#include "X11Windows.h"
#include "XTestSupport.h"

#include <QLoggingCategory>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <limits>
#include <thread>
#include <unistd.h>

using namespace quandrel;
using quandrel::test::TestWindow;
using quandrel::test::XDesktop;

namespace {

class CountingSound final : public SystemSound {
public:
    void beep() override { ++beeps; }
    int beeps = 0;
};

class X11WindowCommandsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        x.setMonitors({"*MAIN 1440x900+0+0"});
        QLoggingCategory::setFilterRules(QStringLiteral("quandrel.windows.info=false"));
        desktop = x11::X11Desktop::open();
        ASSERT_TRUE(desktop) << "no X display";
        PlatformServices services = desktop->services();
        services.sound = &sound;
        manager = std::make_unique<WindowManager>(services);
        manager->gap = 8;
    }
    void TearDown() override { x.setMonitors({}); }

    ClientWindow client(const TestWindow& w) { return {w.id(), w.pid()}; }

    XDesktop& x = XDesktop::instance();
    std::unique_ptr<x11::X11Desktop> desktop;
    std::unique_ptr<WindowManager> manager;
    CountingSound sound;
};

} // namespace

TEST_F(X11WindowCommandsTest, DesktopDockAndTransientWindowsAreLeftAlone)
{
    TestWindow background({"--type", "DESKTOP", "--geometry", "1440x900+0+0"});
    TestWindow dock({"--type", "DOCK", "--geometry", "1440x30+0+870"});
    TestWindow utility({"--type", "UTILITY", "--geometry", "200x300+600+200"});
    for (const TestWindow* w : {&background, &dock, &utility}) {
        const Rect before = x.outerFrame(w->id());
        manager->perform(WindowAction::leftHalf, client(*w));
        manager->perform(WindowAction::maximize, client(*w));
        EXPECT_EQ(x.outerFrame(w->id()), before);
    }
    EXPECT_EQ(sound.beeps, 6);
    EXPECT_TRUE(manager->history().empty());

    // Untyped windows count as standard.
    TestWindow untyped({"--type", "none", "--geometry", "300x200+100+100"});
    manager->perform(WindowAction::leftHalf, client(untyped));
    EXPECT_EQ(sound.beeps, 6);
    EXPECT_EQ(x.outerFrame(untyped.id()).x, 8);
}

TEST_F(X11WindowCommandsTest, WindowsThatRefuseTheSizeKeepTheTilesOuterEdges)
{
    // Screen 1440 × 900, gap 8: tiles end at x 1432 and, in window space, y 892.
    TestWindow fixed({"--geometry", "400x300+100+100", "--fixed"});
    manager->perform(WindowAction::rightHalf, client(fixed));
    Rect frame = x.outerFrame(fixed.id());
    EXPECT_EQ(frame.maxX(), 1432);
    EXPECT_EQ(frame.y, 8);
    manager->perform(WindowAction::bottomRight, client(fixed));
    frame = x.outerFrame(fixed.id());
    EXPECT_EQ(frame.maxX(), 1432);
    EXPECT_EQ(frame.maxY(), 892);
    manager->perform(WindowAction::centerThird, client(fixed));
    EXPECT_NEAR(x.outerFrame(fixed.id()).midX(), 720, 1);

    // Resize steps, like a terminal's character cells.
    TestWindow stepped({"--geometry", "500x400+100+100", "--min", "20x20", "--increments", "7x13"});
    manager->perform(WindowAction::bottomHalf, client(stepped));
    frame = x.outerFrame(stepped.id());
    EXPECT_EQ(frame.maxY(), 892);
    EXPECT_EQ(frame.x, 8);
    EXPECT_EQ(int(x.clientGeometry(stepped.id()).height - 20) % 13, 0);
    EXPECT_EQ(sound.beeps, 0);
}

TEST_F(X11WindowCommandsTest, ExtremeGapsAndFramesStayOnTheScreen)
{
    TestWindow w({"--geometry", "400x300+100+100"});
    for (const double gap : {1e308, 500.0, -30.0, std::numeric_limits<double>::quiet_NaN()}) {
        manager->gap = gap;
        manager->perform(WindowAction::leftHalf, client(w));
        const Rect frame = x.outerFrame(w.id());
        EXPECT_GE(frame.x, 0) << gap;
        EXPECT_GE(frame.y, 0) << gap;
        EXPECT_LE(frame.maxX(), 1440) << gap;
        EXPECT_LE(frame.maxY(), 900) << gap;
        EXPECT_GE(frame.width, 500) << gap;
        EXPECT_GE(frame.height, 600) << gap;
        manager->perform(WindowAction::restore, client(w));
    }

    // Frames beyond the protocol's range saturate instead of wrapping around.
    EXPECT_EQ(x11::saturatedCoordinate(1e308), 32767);
    EXPECT_EQ(x11::saturatedCoordinate(-1e308), -32768);
    EXPECT_EQ(x11::saturatedCoordinate(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(x11::saturatedSize(1e308), 32767);
    EXPECT_EQ(x11::saturatedSize(-5), 1);
    EXPECT_EQ(x11::saturatedCoordinate(-12.5), -13);
    desktop->windows().setFrame(w.handle(), w.pid(), {-1e308, 1e308, 1e308, -1e308});
    const Rect frame = x.outerFrame(w.id());
    EXPECT_LT(frame.width, 32768);
    EXPECT_LT(frame.height, 32768);
}

TEST(X11ConfigurePosition, NamesTheFramesCornerByTheWindowsGravity)
{
    // A frame at (100, 50) with decorations 2 left, 4 right, 20 top and 6 bottom.
    const struct {
        std::uint32_t gravity;
        std::pair<int, int> position;
    } rows[] = {{0, {100, 50}}, /* unset: north-west */ {1, {100, 50}}, /* north-west */ {2, {103, 50}}, /* north */
                {5, {103, 63}}, /* centre */ {9, {106, 76}}, /* south-east */ {10, {102, 70}}, /* static */ {99, {100, 50}}};
    for (const auto& row : rows)
        EXPECT_EQ(x11::configurePosition(row.gravity, 100, 50, 2, 4, 20, 6), row.position) << row.gravity;
}

// A window the window manager does not resize answers nothing to most commands; none of
// them may hold the event loop waiting for that answer.
TEST_F(X11WindowCommandsTest, CommandsOnAFixedSizeWindowLeaveTheEventLoopResponsive)
{
    TestWindow fixed({"--geometry", "400x300+100+100", "--fixed"});
    ASSERT_TRUE(x.activate(fixed.id()));
    // Repeated maximizes leave the window where it is, so the window manager answers nothing.
    const WindowAction actions[] = {WindowAction::maximize, WindowAction::maximize, WindowAction::maximize, WindowAction::rightHalf};
    std::chrono::steady_clock::duration slowest{};
    for (int command = 0; command < 100; ++command) {
        const auto started = std::chrono::steady_clock::now();
        manager->perform(actions[command % 4], client(fixed));
        slowest = std::max(slowest, std::chrono::steady_clock::now() - started);
    }
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(slowest).count(), 100);
    EXPECT_EQ(x.outerFrame(fixed.id()).maxX(), 1432); // the last command, rightHalf, held
    EXPECT_EQ(sound.beeps, 0);
}

// On a busy machine the window manager answers late; the command waits for its answer, so
// the next command reads the frame this one asked for.
TEST_F(X11WindowCommandsTest, ALateWindowManagerIsWaitedFor)
{
    const char* wm = std::getenv("QUANDREL_TEST_WM_PID");
    if (!wm)
        GTEST_SKIP() << "the virtual desktop does not name its window manager";
    const pid_t pid = std::atoi(wm);
    TestWindow w({"--geometry", "500x400+200+150"});
    ASSERT_TRUE(x.activate(w.id()));

    // The window manager stops before it is asked and goes on 100 ms later.
    ASSERT_EQ(::kill(pid, SIGSTOP), 0);
    std::thread resume([pid] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        ::kill(pid, SIGCONT);
    });
    manager->perform(WindowAction::leftHalf, client(w));
    const Rect seen = x.outerFrame(w.id());
    resume.join();
    EXPECT_EQ(seen, (Rect{8, 8, 708, 884}));
    manager->perform(WindowAction::leftHalf, client(w));
    EXPECT_EQ(x.outerFrame(w.id()), (Rect{8, 8, 945, 884}));
}
