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

constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();
constexpr double infinite = std::numeric_limits<double>::infinity();

} // namespace

TEST(ThumbnailSize, FollowsTheLongSideAndTheMinimums)
{
    const std::pair<Size, Size> rows[] = {
        {{1600, 900}, {220, 123.75}}, {{300, 1200}, {80, 220}}, {{3000, 100}, {220, 60}}, {{20000, 200}, {220, 60}},
        {{500, 500}, {220, 220}},     {{1, 1}, {220, 220}},     {{0, 0}, {80, 220}},      {{0, 500}, {80, 220}},
        {{500, 0}, {220, 60}},        {{notANumber, 10}, {80, 220}},
    };
    for (const auto& [image, expected] : rows) {
        const Size actual = thumbnailSize(image);
        EXPECT_NEAR(actual.width, expected.width, 1e-9) << image.width << "x" << image.height;
        EXPECT_NEAR(actual.height, expected.height, 1e-9) << image.width << "x" << image.height;
    }
    // Pixels over a scale: a retina capture gives the same thumbnail as its point size.
    EXPECT_EQ(pointSize(3200, 1800, 2), (Size{1600, 900}));
    EXPECT_EQ(pointSize(100, 50, 0), (Size{100, 50}));
    EXPECT_EQ(pointSize(100, 50, infinite), (Size{100, 50}));
}

TEST(PanelPlacement, CornerAndToastInTheVisibleFrameOfThePointersDisplayElseThePrimary)
{
    const Rect visible{1920, 64, 2560, 1376}; // a 64-point dock strut at the bottom
    EXPECT_EQ(thumbnailOrigin(visible, {220, 123.75}), (Point{1920 + 2560 - 220 - 20, 64 + 20}));
    EXPECT_EQ(toastOrigin(visible, {200, 40}), (Point{1920 + 1280 - 100, 64 + 80}));

    const std::vector<Display> displays = {
        Display{"left", Rect{0, 0, 1920, 1080}, Rect{0, 0, 1920, 1050}, 1},
        Display{"right", Rect{1920, 0, 2560, 1440}, visible, 1},
    };
    // Window space: the right display's top-left pixel is at (1920, 1080 - 1440) = (1920, -360).
    const std::pair<std::optional<Point>, int> pointers[] = {
        {Point{2000, 100}, 1}, {Point{10, 10}, 0}, {Point{1920, -360}, 1}, {Point{9000, 100}, 0}, {std::nullopt, 0}};
    for (const auto& [pointer, index] : pointers)
        EXPECT_EQ(panelVisibleFrame(displays, pointer), displays[std::size_t(index)].visibleFrame) << index;
    EXPECT_EQ(panelVisibleFrame({}, Point{0, 0}), std::nullopt);
    // A visible frame remembered from a display that is gone falls back to the primary.
    EXPECT_EQ(onScreenVisibleFrame(displays, visible), visible);
    EXPECT_EQ(onScreenVisibleFrame(displays, Rect{5000, 0, 1920, 1080}), displays[0].visibleFrame);
    EXPECT_EQ(onScreenVisibleFrame(displays, Rect{}), displays[0].visibleFrame);
    EXPECT_EQ(onScreenVisibleFrame({}, Rect{0, 0, 10, 10}), std::nullopt);
}

TEST(PinGeometry, FitsEightyPercentOfTheVisibleFrameAndNeverEnlarges)
{
    const Rect visible{0, 25, 1440, 875};
    EXPECT_NEAR(pinFitFactor({4000, 3000}, visible), 875 * 0.8 / 3000, 1e-12);
    const Rect frame = pinFrame({4000, 3000}, visible);
    EXPECT_NEAR(frame.width, 933.33, 0.01);
    EXPECT_NEAR(frame.height, 700, 1e-9);
    EXPECT_NEAR(frame.midX(), visible.midX(), 1e-9);
    EXPECT_NEAR(frame.midY(), visible.midY(), 1e-9);
    EXPECT_EQ(pinFrame({200, 100}, visible).size(), (Size{200, 100}));
    const Rect huge = pinFrame({15360, 8640}, visible);
    EXPECT_LE(huge.width, 0.8 * 1440 + 1e-9);
    EXPECT_LE(huge.height, 0.8 * 875 + 1e-9);
    const Rect empty = pinFrame({0, 0}, visible); // neither divides by zero nor vanishes
    EXPECT_TRUE(std::isfinite(empty.width) && empty.width > 0 && std::isfinite(empty.height) && empty.height > 0);
}

TEST(PinGeometry, ZoomAndOpacityAreClampedAndTheWheelStepsThroughThem)
{
    for (const auto& [asked, zoom] : {std::pair{1.05, 1.05}, {100.0, 8.0}, {0.001, 0.1}, {-3.0, 0.1}, {notANumber, 1.0}})
        EXPECT_DOUBLE_EQ(clampZoom(asked), zoom) << asked;
    // No window grows past what X11 can map: a 16K image stops at about twice its size.
    EXPECT_NEAR(clampZoom(8, Size{15360, 8640}), 32767.0 / 15360, 1e-12);
    const Rect current{100, 200, 400, 300};
    EXPECT_EQ(zoomedFrame(current, {400, 300}, 2), (Rect{-100, 50, 800, 600})); // around the centre
    EXPECT_EQ(zoomedFrame(current, {400, 300}, 50).size(), (Size{3200, 2400}));
    EXPECT_EQ(zoomedFrame(current, {400, 300}, 0).size(), (Size{40, 30}));

    double zoom = clampZoom((1 + wheelStep(1, false)) * 1);
    EXPECT_DOUBLE_EQ(zoom, 1.05);
    for (int i = 0; i < 200; ++i)
        zoom = clampZoom((1 + wheelStep(1, false)) * zoom);
    EXPECT_DOUBLE_EQ(zoom, 8);
    EXPECT_DOUBLE_EQ(wheelStep(40, true), 0.2); // precise (pixel) deltas count over 200
    EXPECT_DOUBLE_EQ(wheelStep(infinite, true), 0);

    for (const auto& [asked, opacity] : {std::pair{0.5, 0.5}, {0.1, 0.2}, {1.3, 1.0}})
        EXPECT_DOUBLE_EQ(clampOpacity(asked), opacity);
    double alpha = 1;
    for (int i = 0; i < 100; ++i)
        alpha = clampOpacity(alpha + wheelStep(-1, false));
    EXPECT_DOUBLE_EQ(alpha, 0.2);
}

TEST(PinKeys, FollowTheTableInOrder)
{
    // Exact characters: Shift+W gives "W" and does not close; Ctrl+0 is not actual size; the
    // letters alone do nothing; no characters go to the default handling.
    const std::tuple<bool, const char*, bool, PinCommand> rows[] = {
        {true, "", false, PinCommand::close},  {true, "w", true, PinCommand::close},   {false, "w", true, PinCommand::close},
        {false, "c", true, PinCommand::copy},  {false, "s", true, PinCommand::save},   {false, "e", true, PinCommand::edit},
        {false, "0", false, PinCommand::actualSize}, {false, "W", true, PinCommand::none}, {false, "0", true, PinCommand::none},
        {false, "w", false, PinCommand::none}, {false, "c", false, PinCommand::none},  {false, "", true, PinCommand::none},
        {false, "x", true, PinCommand::none},
    };
    for (const auto& [escape, text, command, expected] : rows)
        EXPECT_EQ(pinCommandForKey(escape, text, command), expected) << escape << " '" << text << "' " << command;
}

TEST(DismissTimer, FiresOnceAfterItsDelayOnlyForTheLatestStart)
{
    test::ManualClock clock;
    int fired = 0;
    {
        DismissTimer gone(1600, clock.scheduler(), [&] { ++fired; });
        gone.start();
    }
    clock.advance(2000); // does nothing once destroyed
    DismissTimer timer(8000, clock.scheduler(), [&] { ++fired; });
    timer.start();
    clock.advance(5000);
    timer.cancel(); // hovered ...
    clock.advance(20000);
    EXPECT_FALSE(timer.isPending());
    timer.start(); // ... and left: a full 8 seconds again
    clock.advance(7999);
    EXPECT_TRUE(timer.isPending());
    EXPECT_EQ(fired, 0);
    clock.advance(1);
    EXPECT_EQ(fired, 1);
    EXPECT_FALSE(timer.isPending());
    timer.start();
    clock.advance(3000);
    timer.start();
    clock.advance(5000); // the first run comes due and does nothing
    EXPECT_EQ(fired, 1);
    clock.advance(3000);
    EXPECT_EQ(fired, 2);
    clock.advance(100000);
    EXPECT_EQ(fired, 2);
}
