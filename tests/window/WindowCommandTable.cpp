#include "WindowCommandTable.h"

#include "WindowManager.h"
#include "FrontmostApplication.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <gtest/gtest.h>

#include <string>

namespace quandrel::test {

namespace {

class CountingSound final : public SystemSound {
public:
    void beep() override { ++beeps; }
    int beeps = 0;
};

} // namespace

const std::vector<TableRow>& windowCommandTable()
{
    using A = WindowAction;
    static const std::vector<TableRow> table = {
        // Moves and sizes relative to the current frame.
        {A::center, {470, 250, 500, 400}},
        {A::smaller, {500, 280, 440, 340}},
        {A::larger, {470, 250, 500, 400}},
        {A::maximizeHeight, {470, 8, 500, 884}},
        // Repeated presses cycle ½ → ⅔ → ⅓ → ½, each compared with the frame read back.
        {A::leftHalf, {8, 8, 708, 884}},
        {A::leftHalf, {8, 8, 945, 884}},
        {A::leftHalf, {8, 8, 471, 884}},
        {A::leftHalf, {8, 8, 708, 884}},
        {A::rightHalf, {724, 8, 708, 884}},
        {A::topHalf, {8, 8, 1424, 438}},
        {A::bottomHalf, {8, 454, 1424, 438}},
        {A::topLeft, {8, 8, 708, 438}},
        {A::topRight, {724, 8, 708, 438}},
        {A::bottomLeft, {8, 454, 708, 438}},
        {A::bottomRight, {724, 454, 708, 438}},
        // Thirds of 1424 less two gaps land on whole pixels: 471 + 466 + 471.
        {A::firstThird, {8, 8, 471, 884}},
        {A::centerThird, {487, 8, 466, 884}},
        {A::lastThird, {961, 8, 471, 884}},
        {A::firstTwoThirds, {8, 8, 945, 884}},
        {A::lastTwoThirds, {487, 8, 945, 884}},
        {A::maximize, {8, 8, 1424, 884}},
        {A::almostMaximize, {72, 45, 1296, 810}},
        // Back to the frame from before the first command.
        {A::restore, tableStartFrame},
        // To the turned display and back, keeping the size and the relative place; with two
        // displays, previous from the first wraps round to the second.
        {A::nextDisplay, {1525, 312, 500, 400}},
        {A::previousDisplay, tableStartFrame},
        {A::previousDisplay, {1525, 312, 500, 400}},
        {A::nextDisplay, tableStartFrame},
    };
    return table;
}

void runWindowCommandTable(const PlatformServices& services, WindowHandle window, const std::function<Rect()>& outerFrame)
{
    CountingSound sound;
    PlatformServices platform = services;
    platform.sound = &sound;
    WindowManager manager(platform);
    manager.gap = tableGap;

    const auto focused = platform.windows->focusedWindow();
    ASSERT_TRUE(focused);
    ASSERT_EQ(focused->handle, window);
    ASSERT_EQ(outerFrame(), tableStartFrame);

    std::size_t row = 0;
    for (const TableRow& entry : windowCommandTable()) {
        manager.perform(entry.action);
        // Backends that ask over D-Bus apply the frame later, from the event loop.
        const QDeadlineTimer deadline(5000);
        while (manager.isInFlight() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        const std::string where = "row " + std::to_string(row++) + ", " + std::string(rawName(entry.action));
        EXPECT_EQ(outerFrame(), entry.frame) << where;
        EXPECT_EQ(platform.windows->readFrame(window), entry.frame) << where;
        EXPECT_EQ(sound.beeps, 0) << where;
    }
    // Restore let the window go; the display moves remembered it again.
    EXPECT_EQ(manager.history().size(), 1u);
}

} // namespace quandrel::test
