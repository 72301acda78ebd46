#include "FakeDesktop.h"
#include "WindowManager.h"

#include <QtGlobal>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

using namespace quandrel;

namespace {

std::vector<std::string> logLines;

class WindowManagerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        logLines.clear();
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext& context, const QString& message) {
            logLines.push_back(std::string(context.category ? context.category : "") + ": " + message.toStdString());
        });
        desktop.addDisplay({0, 0, 1440, 900}, {0, 0, 1440, 875}, "main");
        desktop.addApplication(42, "org.example.Editor");
        window = desktop.addWindow(42, {100, 100, 600, 400});
        desktop.setFrontmost(42);
        manager.gap = 8;
    }
    void TearDown() override { qInstallMessageHandler(nullptr); }

    Rect frame() const { return desktop.screenFrame(window); }
    int step() const { return manager.last() ? manager.last()->step : -1; }

    FakeDesktop desktop;
    WindowManager manager{desktop.services()};
    WindowHandle window;
};

const Rect start{100, 100, 600, 400}, half{8, 8, 708, 859}, rightHalf{724, 8, 708, 859};

} // namespace

TEST_F(WindowManagerTest, RepeatedPressesCycleSizesUntilTheWindowMoves)
{
    const Rect cycle[] = {half, {8, 8, 945, 859}, {8, 8, 471, 859}, half};
    for (int press = 0; press < 4; ++press) {
        manager.perform(WindowAction::leftHalf);
        EXPECT_EQ(frame(), cycle[press]) << "press " << press;
        EXPECT_EQ(step(), press);
    }
    manager.perform(WindowAction::rightHalf); // another action starts afresh
    EXPECT_EQ(frame(), rightHalf);
    desktop.window(window).frame.x += 3; // 3 points off still repeats; 5 points does not
    manager.perform(WindowAction::rightHalf);
    EXPECT_EQ(step(), 1);
    desktop.window(window).frame.x += 5;
    manager.perform(WindowAction::rightHalf);
    EXPECT_EQ(step(), 0);
    EXPECT_EQ(frame(), rightHalf);
    for (const WindowAction a : {WindowAction::topLeft, WindowAction::maximize, WindowAction::center}) {
        manager.perform(a);
        const Rect first = frame();
        manager.perform(a);
        EXPECT_EQ(frame(), first) << rawName(a);
        EXPECT_EQ(step(), 0) << rawName(a);
    }
    manager.repeatBehavior = RepeatBehavior::nothing;
    manager.perform(WindowAction::leftHalf);
    manager.perform(WindowAction::leftHalf);
    EXPECT_EQ(frame(), half);
    EXPECT_EQ(step(), 0);
    EXPECT_EQ(desktop.beeps(), 0);
}

TEST_F(WindowManagerTest, RepeatComparesAgainstTheFrameReadBack)
{
    // The application enforces a minimum width, so the frame differs from the request; the
    // next press must still count as a repeat.
    desktop.window(window).minimumSize = {800, 0};
    manager.perform(WindowAction::leftHalf);
    EXPECT_EQ(frame(), (Rect{8, 8, 800, 859}));
    EXPECT_EQ(manager.last()->frame, frame());
    manager.perform(WindowAction::leftHalf);
    EXPECT_EQ(step(), 1);
    EXPECT_EQ(frame(), (Rect{8, 8, 945, 859}));
}

TEST_F(WindowManagerTest, RestoreReturnsTheFrameFromBeforeTheFirstAction)
{
    manager.perform(WindowAction::leftHalf);
    manager.perform(WindowAction::maximize);
    desktop.window(window).frame.x += 200; // dragged somewhere after it was snapped
    manager.perform(WindowAction::restore);
    EXPECT_EQ(frame(), start);
    EXPECT_FALSE(manager.last());
    EXPECT_EQ(desktop.beeps(), 0);
    manager.perform(WindowAction::restore);
    EXPECT_EQ(desktop.beeps(), 1);

    // An explicit window and original frame are used.
    const WindowHandle other = desktop.addWindow(7, {300, 300, 300, 300});
    manager.perform(WindowAction::rightHalf, ClientWindow{other, 7}, Rect{1, 2, 333, 222});
    EXPECT_EQ(desktop.screenFrame(other), rightHalf);
    EXPECT_EQ(frame(), start);
    manager.perform(WindowAction::restore, ClientWindow{other, 7});
    EXPECT_EQ(desktop.screenFrame(other), (Rect{1, 2, 333, 222}));

    // The history keeps two hundred windows: the oldest is forgotten.
    std::vector<WindowHandle> windows{window};
    for (int i = 0; i < 200; ++i)
        windows.push_back(desktop.addWindow(42, {200.0 + i, 100, 300, 300}));
    for (const WindowHandle w : windows)
        manager.perform(WindowAction::leftHalf, ClientWindow{w, 42});
    EXPECT_EQ(manager.history().size(), 200u);
    manager.perform(WindowAction::restore, ClientWindow{windows.front(), 42});
    EXPECT_EQ(desktop.beeps(), 2);
    manager.perform(WindowAction::restore, ClientWindow{windows[1], 42});
    EXPECT_EQ(desktop.beeps(), 2);
    EXPECT_EQ(desktop.screenFrame(windows[1]), (Rect{200, 100, 300, 300}));
}

TEST_F(WindowManagerTest, DisplayMoves)
{
    manager.perform(WindowAction::nextDisplay); // no second display
    EXPECT_EQ(desktop.beeps(), 1);
    EXPECT_EQ(desktop.frameWrites(), 0);

    desktop.addDisplay({-1440, 0, 1440, 900}, {-1440, 0, 1440, 900}, "left");
    manager.repeatBehavior = RepeatBehavior::acrossDisplays;
    const Rect across[] = {half, {-716, 8, 708, 884}, {-1432, 8, 708, 884}, {-1432, 8, 708, 884}};
    for (const Rect& expected : across) { // to the neighbour's right half, then its left, then stop
        manager.perform(WindowAction::leftHalf);
        EXPECT_EQ(frame(), expected);
        EXPECT_EQ(manager.last()->action, WindowAction::leftHalf);
    }
    manager.perform(WindowAction::topHalf);
    const Rect top = frame();
    manager.perform(WindowAction::topHalf);
    EXPECT_EQ(frame(), top);

    desktop.setDisplays({});
    desktop.addDisplay({0, 0, 1000, 800}, {0, 0, 1000, 800}, "middle");
    desktop.addDisplay({1000, 0, 1000, 800}, {1000, 0, 1000, 800}, "right");
    desktop.addDisplay({-1000, 0, 1000, 800}, {-1000, 0, 1000, 800}, "left");
    desktop.window(window).frame = {100, 100, 400, 300};
    for (const auto& [action, x] : {std::pair{WindowAction::nextDisplay, 1100}, {WindowAction::nextDisplay, -900},
                                    {WindowAction::nextDisplay, 100}, {WindowAction::previousDisplay, -900}}) {
        manager.perform(action);
        EXPECT_EQ(frame().minX(), x);
    }
    EXPECT_EQ(desktop.beeps(), 1);
}

TEST_F(WindowManagerTest, FailuresAreQuietAndLogged)
{
    manager.perform(WindowAction::leftHalf);
    EXPECT_EQ(logLines.back(), "quandrel.windows: leftHalf in org.example.Editor: (100, 400, 600, 400) → (8, 33, 708, 859)");
    manager.perform(WindowAction::restore);

    desktop.setTrusted(false);
    manager.perform(WindowAction::leftHalf);
    EXPECT_EQ(desktop.trustPrompts(), 1);
    EXPECT_EQ(desktop.beeps(), 0);
    EXPECT_EQ(logLines.back(), "quandrel.windows: leftHalf: this session lets Quandrel control no windows");
    desktop.setTrusted(true);
    desktop.window(window).readable = false;
    manager.perform(WindowAction::maximize);
    EXPECT_EQ(desktop.beeps(), 1);
    EXPECT_EQ(logLines.back(), "quandrel.windows: maximize: no focused window in org.example.Editor (window gone)");
    desktop.setFrontmost(0);
    manager.perform(WindowAction::maximize);
    EXPECT_EQ(desktop.beeps(), 2);
    desktop.setFrontmost(42);
    desktop.window(window).readable = true;

    // A desktop, dock or dialog in front is left alone, with a beep.
    desktop.window(window).standard = false;
    for (const WindowAction action : {WindowAction::leftHalf, WindowAction::maximize, WindowAction::nextDisplay})
        manager.perform(action);
    EXPECT_EQ(frame(), start);
    EXPECT_EQ(desktop.beeps(), 5);
    EXPECT_TRUE(manager.history().empty());
    EXPECT_EQ(logLines.back(), "quandrel.windows: nextDisplay: the window in org.example.Editor is not a standard window");
    desktop.window(window).standard = true;

    desktop.setDisplays({});
    manager.perform(WindowAction::maximize);
    EXPECT_EQ(desktop.beeps(), 5);
    EXPECT_EQ(desktop.frameWrites(), 2);
}

TEST_F(WindowManagerTest, UnsnapRestoresSizeUnderThePointer)
{
    manager.perform(WindowAction::leftHalf);
    const Rect snapped = frame();
    // Started somewhere else: no longer where it was arranged.
    EXPECT_FALSE(manager.unsnap({window, 42}, {300, 8, 708, 859}, {100, 800}, {100, 800}));
    // The pointer at a quarter of the width keeps that place; the top edge stays.
    const Point pointer{snapped.minX() + snapped.width / 4, 800};
    EXPECT_TRUE(manager.unsnap({window, 42}, snapped, pointer, pointer));
    EXPECT_EQ(frame(), (Rect{std::round(pointer.x - start.width / 4), snapped.maxY() - start.height, start.width, start.height}));
    EXPECT_FALSE(manager.last());
    EXPECT_TRUE(manager.history().empty());
    EXPECT_FALSE(manager.unsnap({window, 42}, frame(), pointer, pointer));
    // Pointer outside the window: the fraction is limited to [0, 1].
    manager.perform(WindowAction::rightHalf);
    EXPECT_TRUE(manager.unsnap({window, 42}, frame(), {5000, 800}, {5000, 800}));
    EXPECT_EQ(frame().maxX(), 5000);
}

TEST_F(WindowManagerTest, WindowsThatCannotTakeTheTileKeepItsOuterEdges)
{
    // A fixed-size window: the limits are known beforehand, one write places it.
    desktop.window(window).minimumSize = {600, 400};
    desktop.window(window).maximumSize = {600, 400};
    manager.perform(WindowAction::rightHalf);
    EXPECT_EQ(frame(), (Rect{832, 467, 600, 400}));
    EXPECT_EQ(desktop.frameWrites(), 1);
    manager.perform(WindowAction::bottomLeft);
    EXPECT_EQ(frame(), (Rect{8, 8, 600, 400}));
    manager.perform(WindowAction::centerThird);
    EXPECT_EQ(frame().midX(), 720);
    // Limits found only in the answer: placed again against the same edges.
    desktop.window(window).hidesLimits = true;
    desktop.window(window).maximumSize = {500, 300};
    manager.perform(WindowAction::bottomRight);
    EXPECT_EQ(frame(), (Rect{932, 8, 500, 300}));
    EXPECT_EQ(manager.last()->frame, frame());
    // A window larger than the tile keeps the outer edge too, and so stays on the display.
    desktop.window(window).hidesLimits = false;
    desktop.window(window).maximumSize = {};
    desktop.window(window).minimumSize = {900, 300};
    manager.perform(WindowAction::rightHalf);
    EXPECT_EQ(frame().maxX(), 1432);
}

// A window manager that answers later (over D-Bus): nothing is read back before it answers,
// and presses in between count from the frame still in flight.
TEST_F(WindowManagerTest, DeferredPlacementIsRecordedWhenTheWindowManagerAnswers)
{
    desktop.defersFrames = true;
    desktop.window(window).minimumSize = {800, 0};
    EXPECT_TRUE(manager.perform(WindowAction::leftHalf));
    EXPECT_EQ(frame(), start);
    EXPECT_TRUE(manager.isInFlight());
    EXPECT_EQ(manager.last()->frame, (Rect{8, 8, 800, 859})); // the target, limits foreseen
    desktop.applyFrames();
    EXPECT_FALSE(manager.isInFlight());
    EXPECT_EQ(frame(), (Rect{8, 8, 800, 859}));
    EXPECT_EQ(manager.last()->frame, frame());
    ASSERT_EQ(manager.history().size(), 1u);
    EXPECT_EQ(manager.history().front().snapped, frame());
    EXPECT_EQ(manager.history().front().original, start);
    desktop.window(window).minimumSize = {};
    manager.perform(WindowAction::restore);
    desktop.applyFrames();
    EXPECT_EQ(frame(), start);
    EXPECT_FALSE(manager.last());

    for (int press = 0; press < 3; ++press)
        manager.perform(WindowAction::leftHalf);
    EXPECT_EQ(step(), 2);
    desktop.applyFrames();
    EXPECT_EQ(frame(), (Rect{8, 8, 471, 859}));
    EXPECT_EQ(step(), 2);
    EXPECT_EQ(manager.last()->frame, frame());
    EXPECT_EQ(manager.history().front().original, start); // the first press's frame

    // An answer with another size is placed again against the edges.
    const int writes = desktop.frameWrites();
    desktop.window(window).hidesLimits = true;
    desktop.window(window).maximumSize = {500, 300};
    manager.perform(WindowAction::bottomRight);
    desktop.applyFrames();
    EXPECT_EQ(frame(), (Rect{932, 8, 500, 300}));
    EXPECT_EQ(desktop.frameWrites(), writes + 2);
    EXPECT_EQ(manager.last()->frame, frame());
    EXPECT_FALSE(manager.isInFlight());

    // Answers after the manager is gone are ignored.
    desktop.window(window).hidesLimits = false;
    desktop.window(window).maximumSize = {};
    {
        WindowManager shortLived{desktop.services()};
        shortLived.perform(WindowAction::leftHalf);
    }
    desktop.applyFrames();
    EXPECT_EQ(frame(), (Rect{0, 0, 720, 875}));
}
