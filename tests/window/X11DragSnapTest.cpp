// Drag snapping on a real X server: openbox moves the window while its title bar is dragged
// with synthetic input (XTEST relative motion, as a real mouse sends it), and the snapper
// follows through XInput 2 raw events.

#include "DragSnapper.h"
#include "ScreenSpace.h"
#include "PointerMonitor.h"
#include "WindowLayout.h"
#include "WindowManager.h"
#include "X11Connection.h"
#include "X11Desktop.h"
#include "XTestSupport.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

using namespace quandrel;
using quandrel::test::TestWindow;
using quandrel::test::XDesktop;

namespace {

class RecordingPreview final : public SnapPreviewSurface {
public:
    void show(const Rect& frame) override { shown.push_back(frame); }
    void hide() override {}
    std::vector<Rect> shown;
};

class X11DragSnapTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        x.setMonitors({"*MAIN 1440x900+0+0", "SIDE 1440x900+1440+0"});
        desktop = x11::X11Desktop::open();
        ASSERT_TRUE(desktop);
        services = desktop->services();
        windows = std::make_unique<WindowManager>(services);
        windows->gap = 8;
        auto p = std::make_unique<RecordingPreview>();
        preview = p.get();
        snapper = std::make_unique<DragSnapper>(services, *windows, std::move(p), [](int, std::function<void()> f) { f(); });
        snapper->setEnabled(true);
    }
    void TearDown() override
    {
        snapper.reset();
        x.setMonitors({});
    }

    // Runs xdotool while dispatching this connection's events, as the event loop would.
    void runInput(const std::string& arguments)
    {
        const std::string command = "xdotool " + arguments;
        const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
        pid_t pid = -1;
        ASSERT_EQ(posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char* const*>(argv), environ), 0);
        int status = 0;
        auto pump = [&] {
            pollfd pfd{desktop->connection().fileDescriptor(), POLLIN, 0};
            poll(&pfd, 1, 10);
            desktop->connection().dispatchPending();
        };
        while (waitpid(pid, &status, WNOHANG) == 0)
            pump();
        // Events sent before xdotool ended may still be on their way: a round trip to the
        // server makes sure every one of them has arrived.
        x.waitUntil([] { return true; });
        std::free(xcb_get_input_focus_reply(desktop->connection().xcb(), xcb_get_input_focus(desktop->connection().xcb()), nullptr));
        desktop->connection().dispatchPending();
    }

    // Handles Quandrel's events until `condition` holds; false after `timeout`.
    bool pumpUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = std::chrono::seconds(5))
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!condition()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            pollfd pfd{desktop->connection().fileDescriptor(), POLLIN, 0};
            poll(&pfd, 1, 10);
            desktop->connection().dispatchPending();
        }
        return true;
    }

    // Presses at (x, y), moves in `steps` relative steps of (dx, dy), releases; at the pace
    // of a hand on a mouse (a few milliseconds between reports), not all at once.
    void drag(int px, int py, int steps, int dx, int dy)
    {
        std::string args = "mousemove " + std::to_string(px) + " " + std::to_string(py) + " mousedown 1 sleep 0.02";
        for (int i = 0; i < steps; ++i)
            args += " mousemove_relative -- " + std::to_string(dx) + " " + std::to_string(dy) + " sleep 0.005";
        args += " sleep 0.02 mouseup 1";
        runInput(args);
    }

    Point titleBar(std::uint32_t window)
    {
        const Rect f = x.outerFrame(window);
        return {f.midX(), f.y + 8};
    }

    XDesktop& x = XDesktop::instance();
    std::unique_ptr<x11::X11Desktop> desktop;
    PlatformServices services;
    std::unique_ptr<WindowManager> windows;
    RecordingPreview* preview = nullptr;
    std::unique_ptr<DragSnapper> snapper;
};

} // namespace

TEST_F(X11DragSnapTest, DragToTheLeftEdgeSnapsToTheLeftHalf)
{
    TestWindow w({"--geometry", "500x400+600+300"});
    ASSERT_TRUE(x.activate(w.id()));
    const Point grab = titleBar(w.id());
    drag(int(grab.x), int(grab.y), 30, -40, 0);
    EXPECT_TRUE(x.waitUntil([&] { return x.outerFrame(w.id()) == Rect{8, 8, 708, 884}; })) << toString(x.outerFrame(w.id()));
    ASSERT_FALSE(preview->shown.empty());
    EXPECT_EQ(preview->shown.back(), (Rect{8, 8, 708, 884}));
}

TEST_F(X11DragSnapTest, DragToTheTopLeftCornerSnapsToTheQuarter)
{
    TestWindow w({"--geometry", "500x400+600+300"});
    ASSERT_TRUE(x.activate(w.id()));
    const Point grab = titleBar(w.id());
    drag(int(grab.x), int(grab.y), 40, -30, -15);
    const Rect quarter = ScreenSpace(900).toWindow(*targetFrame(WindowAction::topLeft, 0, {0, 0, 1440, 900}, {}, 8));
    EXPECT_TRUE(x.waitUntil([&] { return x.outerFrame(w.id()) == quarter; })) << toString(x.outerFrame(w.id()));
}

TEST_F(X11DragSnapTest, DraggingASnappedWindowAwayRestoresItsSize)
{
    TestWindow w({"--geometry", "500x400+600+300"});
    ASSERT_TRUE(x.activate(w.id()));
    const Rect original = x.outerFrame(w.id());
    windows->perform(WindowAction::leftHalf);
    ASSERT_EQ(x.outerFrame(w.id()), (Rect{8, 8, 708, 884}));

    const Point grab = titleBar(w.id());
    std::string moves = "mousemove " + std::to_string(int(grab.x)) + " " + std::to_string(int(grab.y)) + " mousedown 1 sleep 0.02";
    for (int i = 0; i < 10; ++i)
        moves += " mousemove_relative -- 15 10 sleep 0.005";
    runInput(moves);
    // The old size comes back, and the window manager's move is handed back, while the button
    // is held; on a busy machine the window manager and Quandrel see the motions late, so the
    // hand goes on moving a pixel at a time until each step is seen. The pointer ends at the
    // same relative place across the title bar.
    const auto nudgeUntil = [&](const std::function<bool()>& condition) {
        for (int nudge = 0; nudge < 20 && !pumpUntil(condition, std::chrono::milliseconds(250)); ++nudge)
            runInput("mousemove_relative -- 1 0");
        return condition();
    };
    const auto restored = [&] { return x.outerFrame(w.id()).size() == original.size(); };
    const auto atTheSamePlace = [&] {
        const Rect after = x.outerFrame(w.id());
        const Point pointer = desktop->services().pointer->pointerLocation();
        return restored() && std::abs((pointer.x - after.x) / after.width - (grab.x - 8) / 708.0) < 0.05;
    };
    const bool sizeBack = nudgeUntil(restored);
    const bool samePlace = sizeBack && nudgeUntil(atTheSamePlace);
    runInput("mouseup 1");
    EXPECT_TRUE(sizeBack) << toString(x.outerFrame(w.id()));
    EXPECT_TRUE(samePlace) << toString(x.outerFrame(w.id()));
    runInput("mouseup 1");
    EXPECT_EQ(x.outerFrame(w.id()).size(), original.size());
    EXPECT_TRUE(preview->shown.empty());
}

TEST_F(X11DragSnapTest, ResizingNeverSnaps)
{
    TestWindow w({"--geometry", "500x400+600+300"});
    ASSERT_TRUE(x.activate(w.id()));
    const Rect before = x.outerFrame(w.id());
    // The bottom-right corner of the frame resizes.
    drag(int(before.maxX() - 2), int(before.maxY() - 2), 30, -40, 0);
    EXPECT_TRUE(preview->shown.empty());
    EXPECT_NE(x.outerFrame(w.id()).size(), before.size());
    EXPECT_NE(x.outerFrame(w.id()), (Rect{8, 8, 708, 884}));
}

TEST_F(X11DragSnapTest, SwitchedOffNothingHappens)
{
    snapper->setEnabled(false);
    TestWindow w({"--geometry", "500x400+600+300"});
    ASSERT_TRUE(x.activate(w.id()));
    const Point grab = titleBar(w.id());
    drag(int(grab.x), int(grab.y), 30, -40, 0);
    EXPECT_TRUE(preview->shown.empty());
    EXPECT_NE(x.outerFrame(w.id()), (Rect{8, 8, 708, 884}));
}
