// The floating panels' rules without widgets: thumbnail sizes and placement, which visible
// frame a panel uses, the pin's fit, zoom and opacity limits, the wheel and the key table,
// and the dismissal timer on a clock the test advances.

#include "DismissTimer.h"
#include "PanelLayout.h"

#include "ManualClock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace quandrel;

namespace {

void expectSize(Size actual, double width, double height)
{
    EXPECT_NEAR(actual.width, width, 1e-9);
    EXPECT_NEAR(actual.height, height, 1e-9);
}

// Two displays side by side; the right one has a dock strut along its bottom edge.
std::vector<Display> twoDisplays()
{
    return {
        Display{"left", Rect{0, 0, 1920, 1080}, Rect{0, 0, 1920, 1050}, 1},
        Display{"right", Rect{1920, 0, 2560, 1440}, Rect{1920, 64, 2560, 1376}, 1},
    };
}

} // namespace

TEST(ThumbnailSize, FollowsTheLongSideAndTheMinimums)
{
    expectSize(thumbnailSize({1600, 900}), 220, 123.75);
    expectSize(thumbnailSize({300, 1200}), 80, 220);  // 55 wide, raised to 80
    expectSize(thumbnailSize({3000, 100}), 220, 60);  // 7.3 high, raised to 60
    expectSize(thumbnailSize({20000, 200}), 220, 60); // a strip
    expectSize(thumbnailSize({500, 500}), 220, 220);
    expectSize(thumbnailSize({15360, 8640}), 220, 123.75); // 16K
}

TEST(ThumbnailSize, DegenerateImagesStayAtTheMinimums)
{
    expectSize(thumbnailSize({1, 1}), 220, 220);
    expectSize(thumbnailSize({0, 0}), 80, 220);
    expectSize(thumbnailSize({0, 500}), 80, 220);
    expectSize(thumbnailSize({500, 0}), 220, 60); // height below 1 divides by nothing
    expectSize(thumbnailSize({std::numeric_limits<double>::quiet_NaN(), 10}), 80, 220);
    // Pixels over a scale: a retina capture gives the same thumbnail as its point size.
    expectSize(pointSize(3200, 1800, 2), 1600, 900);
    expectSize(pointSize(100, 50, 0), 100, 50);
    expectSize(pointSize(100, 50, std::numeric_limits<double>::infinity()), 100, 50);
}

TEST(PanelPlacement, ThumbnailSitsTwentyPointsInFromTheRightAndBottomOfTheVisibleFrame)
{
    const Rect visible{1920, 64, 2560, 1376}; // a 64-point dock strut at the bottom
    const Point origin = thumbnailOrigin(visible, {220, 123.75});
    EXPECT_DOUBLE_EQ(origin.x, 1920 + 2560 - 220 - 20);
    EXPECT_DOUBLE_EQ(origin.y, 64 + 20);
    const Point toast = toastOrigin(visible, {200, 40});
    EXPECT_DOUBLE_EQ(toast.x, 1920 + 1280 - 100);
    EXPECT_DOUBLE_EQ(toast.y, 64 + 80);
}

TEST(PanelPlacement, UsesTheDisplayUnderThePointerElseThePrimary)
{
    const auto displays = twoDisplays();
    // Window space: the right display's top-left pixel is at (1920, 1080 - 1440) = (1920, -360).
    EXPECT_EQ(panelVisibleFrame(displays, Point{2000, 100}), displays[1].visibleFrame);
    EXPECT_EQ(panelVisibleFrame(displays, Point{10, 10}), displays[0].visibleFrame);
    EXPECT_EQ(panelVisibleFrame(displays, Point{1920, -360}), displays[1].visibleFrame);
    // Off every display (its screen unplugged), or no pointer at all: the primary display.
    EXPECT_EQ(panelVisibleFrame(displays, Point{9000, 100}), displays[0].visibleFrame);
    EXPECT_EQ(panelVisibleFrame(displays, std::nullopt), displays[0].visibleFrame);
    EXPECT_EQ(panelVisibleFrame({}, Point{0, 0}), std::nullopt);

    // A visible frame remembered from a display that is gone falls back to the primary.
    EXPECT_EQ(onScreenVisibleFrame(displays, displays[1].visibleFrame), displays[1].visibleFrame);
    EXPECT_EQ(onScreenVisibleFrame(displays, Rect{5000, 0, 1920, 1080}), displays[0].visibleFrame);
    EXPECT_EQ(onScreenVisibleFrame(displays, Rect{}), displays[0].visibleFrame);
    EXPECT_EQ(onScreenVisibleFrame({}, Rect{0, 0, 10, 10}), std::nullopt);
}

TEST(PinGeometry, FitsEightyPercentOfTheVisibleFrameAndNeverEnlarges)
{
    const Rect visible{0, 25, 1440, 875};
    const double f = pinFitFactor({4000, 3000}, visible);
    EXPECT_NEAR(f, 875 * 0.8 / 3000, 1e-12); // min(0.288, 0.2333, 1)
    const Rect frame = pinFrame({4000, 3000}, visible);
    EXPECT_NEAR(frame.width, 933.33, 0.01);
    EXPECT_NEAR(frame.height, 700, 1e-9);
    EXPECT_NEAR(frame.midX(), visible.midX(), 1e-9);
    EXPECT_NEAR(frame.midY(), visible.midY(), 1e-9);

    EXPECT_DOUBLE_EQ(pinFitFactor({200, 100}, visible), 1);
    EXPECT_EQ(pinFrame({200, 100}, visible).size(), (Size{200, 100}));

    // A 16K capture fits; an empty image neither divides by zero nor vanishes.
    const Rect huge = pinFrame({15360, 8640}, visible);
    EXPECT_LE(huge.width, 0.8 * 1440 + 1e-9);
    EXPECT_LE(huge.height, 0.8 * 875 + 1e-9);
    const Rect empty = pinFrame({0, 0}, visible);
    EXPECT_TRUE(std::isfinite(empty.width) && empty.width > 0);
    EXPECT_TRUE(std::isfinite(empty.height) && empty.height > 0);
}

TEST(PinGeometry, ZoomIsClampedAndKeepsTheCentre)
{
    EXPECT_DOUBLE_EQ(clampZoom(1.05), 1.05);
    EXPECT_DOUBLE_EQ(clampZoom(100), 8);
    EXPECT_DOUBLE_EQ(clampZoom(0.001), 0.1);
    EXPECT_DOUBLE_EQ(clampZoom(-3), 0.1);
    EXPECT_DOUBLE_EQ(clampZoom(std::numeric_limits<double>::quiet_NaN()), 1);
    // No window grows past what X11 can map: a 16K image stops at about twice its size.
    EXPECT_NEAR(clampZoom(8, Size{15360, 8640}), 32767.0 / 15360, 1e-12);

    const Rect current{100, 200, 400, 300};
    const Rect zoomed = zoomedFrame(current, {400, 300}, 2);
    EXPECT_EQ(zoomed, (Rect{-100, 50, 800, 600}));
    EXPECT_EQ(zoomedFrame(current, {400, 300}, 50).size(), (Size{3200, 2400}));
    EXPECT_EQ(zoomedFrame(current, {400, 300}, 0).size(), (Size{40, 30}));

    // A wheel notch up at zoom 1 gives 1.05; going on stops at the limits.
    double zoom = 1;
    zoom = clampZoom((1 + wheelStep(1, false)) * zoom);
    EXPECT_DOUBLE_EQ(zoom, 1.05);
    for (int i = 0; i < 200; ++i)
        zoom = clampZoom((1 + wheelStep(1, false)) * zoom);
    EXPECT_DOUBLE_EQ(zoom, 8);
    for (int i = 0; i < 400; ++i)
        zoom = clampZoom((1 + wheelStep(-1, false)) * zoom);
    EXPECT_DOUBLE_EQ(zoom, 0.1);
    // Precise (pixel) deltas count over 200.
    EXPECT_DOUBLE_EQ(wheelStep(40, true), 0.2);
    EXPECT_DOUBLE_EQ(wheelStep(std::numeric_limits<double>::infinity(), true), 0);
}

TEST(PinGeometry, OpacityStaysBetweenOneFifthAndOpaque)
{
    EXPECT_DOUBLE_EQ(clampOpacity(0.5), 0.5);
    EXPECT_DOUBLE_EQ(clampOpacity(0.1), 0.2);
    EXPECT_DOUBLE_EQ(clampOpacity(1.3), 1);
    double alpha = 1;
    for (int i = 0; i < 100; ++i)
        alpha = clampOpacity(alpha + wheelStep(-1, false));
    EXPECT_DOUBLE_EQ(alpha, 0.2);
}

TEST(PinKeys, FollowTheTableInOrder)
{
    EXPECT_EQ(pinCommandForKey(true, {}, false), PinCommand::close);
    EXPECT_EQ(pinCommandForKey(true, "w", true), PinCommand::close);
    EXPECT_EQ(pinCommandForKey(false, "w", true), PinCommand::close);
    EXPECT_EQ(pinCommandForKey(false, "c", true), PinCommand::copy);
    EXPECT_EQ(pinCommandForKey(false, "s", true), PinCommand::save);
    EXPECT_EQ(pinCommandForKey(false, "e", true), PinCommand::edit);
    EXPECT_EQ(pinCommandForKey(false, "0", false), PinCommand::actualSize);
    // Exact characters: Shift+W gives "W" and does not close; Ctrl+0 is not actual size;
    // the letters alone do nothing; no characters go to the default handling.
    EXPECT_EQ(pinCommandForKey(false, "W", true), PinCommand::none);
    EXPECT_EQ(pinCommandForKey(false, "0", true), PinCommand::none);
    EXPECT_EQ(pinCommandForKey(false, "w", false), PinCommand::none);
    EXPECT_EQ(pinCommandForKey(false, "c", false), PinCommand::none);
    EXPECT_EQ(pinCommandForKey(false, {}, true), PinCommand::none);
    EXPECT_EQ(pinCommandForKey(false, "x", true), PinCommand::none);
}

namespace {

using test::ManualClock;

} // namespace

TEST(DismissTimer, FiresOnceAfterItsDelay)
{
    ManualClock clock;
    int fired = 0;
    DismissTimer timer(8000, clock.scheduler(), [&] { ++fired; });
    timer.start();
    clock.advance(7999);
    EXPECT_EQ(fired, 0);
    EXPECT_TRUE(timer.isPending());
    clock.advance(1);
    EXPECT_EQ(fired, 1);
    EXPECT_FALSE(timer.isPending());
    clock.advance(100000);
    EXPECT_EQ(fired, 1);
}

TEST(DismissTimer, CancelledAndRestartedRunsOnlyTheLatest)
{
    ManualClock clock;
    int fired = 0;
    DismissTimer timer(8000, clock.scheduler(), [&] { ++fired; });
    timer.start();
    clock.advance(5000);
    timer.cancel(); // hovered ...
    clock.advance(20000);
    EXPECT_EQ(fired, 0);
    timer.start(); // ... and left: a full 8 seconds again
    clock.advance(7999);
    EXPECT_EQ(fired, 0);
    clock.advance(1);
    EXPECT_EQ(fired, 1);

    timer.start();
    clock.advance(3000);
    timer.start();
    clock.advance(5000); // the first run comes due and does nothing
    EXPECT_EQ(fired, 1);
    clock.advance(3000);
    EXPECT_EQ(fired, 2);
}

TEST(DismissTimer, DoesNothingOnceDestroyed)
{
    ManualClock clock;
    int fired = 0;
    {
        DismissTimer timer(1600, clock.scheduler(), [&] { ++fired; });
        timer.start();
    }
    clock.advance(2000);
    EXPECT_EQ(fired, 0);
}
