// The screen capturer's logic against an in-memory screen: crops, scales, the order and the
// failures of freezing, window picking and the display under the pointer.

#include "CaptureTestSupport.h"
#include "FakeScreenCapture.h"
#include "ScreenCapturer.h"

#include <QCoroTask>

#include <gtest/gtest.h>

// Inside the namespace, so that Display is ours and not Xlib's, which Qt's headers declare.
namespace quandrel {

namespace {

struct Displays final : DisplayProvider {
    std::vector<Display> list;
    std::vector<Display> displays() override { return list; }
};

// A colour that names its pixel: x in the upper 12 bits, y in the lower 12.
std::uint32_t positionColour(int x, int y) { return (std::uint32_t(x & 0xfff) << 12) | std::uint32_t(y & 0xfff); }
std::pair<int, int> positionOf(QRgb pixel) { return {int((pixel & 0xffffff) >> 12), int(pixel & 0xfff)}; }

using test::valueOf;

class ScreenCapturerTest : public ::testing::Test {
protected:
    void SetUp() override { screen.pixelAt = positionColour; }

    FakeScreenCapture screen;
    Displays displays;
    ScreenCapturer capturer{screen, displays};
};

FrozenDisplay frozen(const Rect& frame, double scale)
{
    QImage image(int(frame.width * scale), int(frame.height * scale), QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, positionColour(x, y));
    return {{"D", frame, frame, scale}, {image, scale}};
}

} // namespace

TEST(Crop, ConvertsScreenRectanglesToWholePixelsFromTheTopLeft)
{
    struct Row {
        const char* what;
        Rect display;
        double scale;
        Rect rect;
        std::optional<QRect> pixels;
    };
    const Row rows[] = {
        {"second display at scale 2", {1512, 0, 1512, 982}, 2, {1612, 782, 100, 100}, QRect(200, 200, 200, 200)},
        {"half outside on the left", {1512, 0, 1512, 982}, 2, {1412, 782, 200, 100}, QRect(0, 200, 200, 200)},
        {"reaching past the top", {0, 0, 800, 600}, 1, {10, 550, 20, 100}, QRect(10, 0, 20, 50)},
        {"fractions widen outwards", {0, 0, 100, 100}, 1, {10.25, 20.5, 5.5, 5.25}, QRect(10, 74, 6, 6)},
        {"half-point edges at scale 2 stay exact", {0, 0, 100, 100}, 2, {10.5, 20.5, 5, 5}, QRect(21, 149, 10, 10)},
        {"whole display", {0, 0, 300, 200}, 1, {0, 0, 300, 200}, QRect(0, 0, 300, 200)},
        {"dragged down and to the left", {0, 0, 800, 600}, 1, {30, 574, -20, -24}, QRect(10, 26, 20, 24)},
        {"half a point wide", {0, 0, 800, 600}, 1, {100, 100, 0.5, 50}, std::nullopt},
        {"half a point high after clipping", {0, 0, 800, 600}, 1, {100, 599.5, 50, 50}, std::nullopt},
        {"beside the display", {0, 0, 800, 600}, 1, {900, 100, 50, 50}, std::nullopt},
        {"touching the edge only", {0, 0, 800, 600}, 1, {800, 100, 50, 50}, std::nullopt},
        {"not a number", {0, 0, 800, 600}, 1, {std::nan(""), 100, 50, 50}, std::nullopt},
        {"infinite", {0, 0, 800, 600}, 1, {0, 0, INFINITY, 50}, std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const FrozenDisplay display = frozen(row.display, row.scale);
        const auto cut = ScreenCapturer::crop(display, row.rect);
        ASSERT_EQ(cut.has_value(), row.pixels.has_value());
        if (!cut)
            continue;
        EXPECT_EQ(cut->scale, row.scale);
        EXPECT_EQ(cut->image.size(), row.pixels->size());
        // The cut's corners are the frozen image's pixels at the expected places.
        EXPECT_EQ(positionOf(cut->image.pixel(0, 0)), std::make_pair(row.pixels->left(), row.pixels->top()));
        EXPECT_EQ(positionOf(cut->image.pixel(cut->image.width() - 1, cut->image.height() - 1)),
                  std::make_pair(row.pixels->right(), row.pixels->bottom()));
    }
}

TEST(Combined, DisplaysFillingTheirBoxMakeAnOpaqueImageAndGapsStayTransparent)
{
    const FrozenDisplay left = frozen({0, 0, 100, 50}, 1);
    const auto all = ScreenCapturer::combined({left, frozen({100, 0, 60, 50}, 2)});
    ASSERT_TRUE(all);
    EXPECT_EQ(all->image.size(), QSize(320, 100)); // at the higher scale
    EXPECT_FALSE(all->image.hasAlphaChannel());
    EXPECT_TRUE(ScreenCapturer::combined({left, frozen({100, 0, 60, 30}, 1)})->image.hasAlphaChannel());
}

TEST_F(ScreenCapturerTest, FreezesEveryDisplayInOrderFromItsAreaOfTheScreen)
{
    displays.list = {{"MAIN", {0, 0, 1000, 800}, {0, 0, 1000, 800}, 1}, {"SIDE", {1000, 200, 600, 400}, {1000, 200, 600, 400}, 1}};
    const auto result = valueOf(QCoro::waitFor(capturer.freezeDisplays()));
    ASSERT_EQ(result.size(), 2u);
    EXPECT_EQ(result[0].screen.name, "MAIN");
    EXPECT_EQ(result[1].screen.name, "SIDE");
    ASSERT_EQ(screen.grabs.size(), 2u);
    EXPECT_EQ(screen.grabs[0].area, (Rect{0, 0, 1000, 800}));
    EXPECT_EQ(screen.grabs[1].area, (Rect{1000, 200, 600, 400})); // window space: 800 - 600 = 200
    EXPECT_EQ(result[1].image.image.size(), QSize(600, 400));
    EXPECT_EQ(positionOf(result[1].image.image.pixel(0, 0)), std::make_pair(1000, 200));
    EXPECT_EQ(result[1].image.scale, 1);

    // The scale is measured from the image: a platform that hands back more pixels than the
    // display's scale promises wins.
    displays.list = {{"RETINA", {0, 0, 1512, 982}, {0, 0, 1512, 982}, 2}};
    for (const auto& [factor, width, scale] : {std::tuple{1.0, 3024, 2.0}, {1.5, 4536, 3.0}}) {
        screen.sizeFactor = factor;
        const auto retina = valueOf(QCoro::waitFor(capturer.freezeDisplays()));
        ASSERT_EQ(retina.size(), 1u);
        EXPECT_EQ(retina[0].image.image.width(), width);
        EXPECT_EQ(retina[0].image.scale, scale);
    }
}

TEST_F(ScreenCapturerTest, OwnWindowsAreHiddenForEveryGrabAndBackAfterwardsEvenOnFailure)
{
    // No displays is an error of its own, before any grab.
    const auto none = QCoro::waitFor(capturer.freezeDisplays());
    ASSERT_TRUE(std::holds_alternative<CaptureError>(none));
    EXPECT_EQ(std::get<CaptureError>(none).code, CaptureError::Code::noDisplays);
    EXPECT_EQ(std::get<CaptureError>(none).description(), "There's no display to capture.");
    EXPECT_TRUE(screen.grabs.empty());

    displays.list = {{"A", {0, 0, 100, 100}, {0, 0, 100, 100}, 1}, {"B", {100, 0, 100, 100}, {100, 0, 100, 100}, 1}};
    screen.ownWindowsOnScreen = true;
    const auto result = valueOf(QCoro::waitFor(capturer.freezeDisplays()));
    EXPECT_EQ(result.size(), 2u);
    ASSERT_EQ(screen.grabs.size(), 2u);
    EXPECT_TRUE(screen.grabs[0].ownWindowsHidden);
    EXPECT_TRUE(screen.grabs[1].ownWindowsHidden);
    EXPECT_EQ(screen.hiddenNow, 0);

    // A refused second grab fails the whole freeze; nothing half-done comes back and our
    // windows are shown again.
    screen.grabs.clear();
    screen.failingGrab = 1;
    auto failed = QCoro::waitFor(capturer.freezeDisplays());
    ASSERT_TRUE(std::holds_alternative<CaptureError>(failed));
    EXPECT_EQ(std::get<CaptureError>(failed).code, CaptureError::Code::platform);
    EXPECT_EQ(std::get<CaptureError>(failed).description(), "grab refused");
    EXPECT_EQ(screen.hiddenNow, 0);
}

TEST_F(ScreenCapturerTest, PickableWindowsAreOtherProgramsOrdinaryWindowsLargerThan40Points)
{
    displays.list = {{"MAIN", {0, 0, 1600, 1000}, {0, 0, 1600, 1000}, 1}};
    capturer.ownPid = 7;
    screen.windows = {
        {1, 50, {100, 50, 400, 300}, true},   // front
        {2, 50, {0, 0, 40, 300}, true},       // exactly 40 wide: out
        {3, 50, {0, 0, 41, 300}, true},       // 41: in
        {4, 7, {0, 0, 500, 500}, true},       // ours
        {5, 60, {0, 0, 1600, 30}, false},     // a panel
        {6, 0, {10, 10, 300, 41}, true},      // no pid: someone else's
        {1, 50, {999, 999, 400, 300}, true},  // listed twice: the first one counts
    };
    const auto result = valueOf(QCoro::waitFor(capturer.pickableWindows()));
    ASSERT_EQ(result.size(), 3u);
    EXPECT_EQ(result[0], (PickableWindow{1, {100, 650, 400, 300}}));
    EXPECT_EQ(result[1].window, 3u);
    EXPECT_EQ(result[2], (PickableWindow{6, {10, 949, 300, 41}}));

    screen.windowListFailure = "no stacking list";
    auto failed = QCoro::waitFor(capturer.pickableWindows());
    ASSERT_TRUE(std::holds_alternative<CaptureError>(failed));
    EXPECT_EQ(std::get<CaptureError>(failed).description(), "no stacking list");
}

TEST_F(ScreenCapturerTest, CaptureWindowReadsAfterTheRepaintWaitAndMeasuresItsScale)
{
    screen.delay = std::chrono::milliseconds(5);
    screen.sizeFactor = 2;
    screen.windowImages[9] = {{40, 30, 200, 100}, true, false};
    const auto image = valueOf(QCoro::waitFor(capturer.captureWindow({9, {40, 870, 200, 100}})));
    EXPECT_EQ(screen.windowReads, 1);
    EXPECT_EQ(image.image.size(), QSize(400, 200));
    EXPECT_EQ(image.scale, 2);
    EXPECT_EQ(positionOf(image.image.pixel(0, 0)), std::make_pair(40, 30));

    screen.windowImages[9].fails = true;
    EXPECT_TRUE(std::holds_alternative<CaptureError>(QCoro::waitFor(capturer.captureWindow({9, {40, 870, 200, 100}}))));
}

TEST_F(ScreenCapturerTest, ScreenUnderMouseFollowsPointerConventions)
{
    const Display main{"MAIN", {0, 0, 1000, 800}, {0, 0, 1000, 800}, 1};
    const Display side{"SIDE", {1000, 0, 800, 600}, {1000, 0, 800, 600}, 1};
    const std::vector<Display> list{main, side};
    struct Row {
        Point point;
        const char* expected;
    };
    const Row rows[] = {
        {{999.5, 400}, "MAIN"},
        {{1000, 300}, "SIDE"},   // the left edge belongs to the display
        {{500, 800}, "MAIN"},    // so does the top edge: the top pixel row lies on it
        {{1500, 600}, "SIDE"},
        {{1500, 0}, "MAIN"},     // the bottom edge does not: no display, the main one answers
        {{-10, -10}, "MAIN"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(ScreenCapturer::screenAt(list, row.point)->name, row.expected) << toString(row.point);
    EXPECT_FALSE(ScreenCapturer::screenAt({}, {0, 0}));

    displays.list = list;
    screen.pointer = Point{1100, 500}; // window space: 300 points above the bottom
    EXPECT_EQ(capturer.screenUnderMouse()->name, "SIDE");
    screen.pointer = Point{1100, 200}; // the top pixel row of the side display
    EXPECT_EQ(capturer.screenUnderMouse()->name, "SIDE");
    screen.pointer.reset();
    EXPECT_EQ(capturer.screenUnderMouse()->name, "MAIN");
}

// A display of scale 1 beside one of scale 2. Pixels: MAIN (0, 0, 1920, 1080), SIDE
// (1920, 0, 3840, 2160). Points keep each display's top-left corner: SIDE is (1920, 0, 1920,
// 1080) in window space, and so in screen space as well.
TEST_F(ScreenCapturerTest, MixedScalesKeepEachDisplaysOriginAndScaleItsPixels)
{
    displays.list = {{"MAIN", {0, 0, 1920, 1080}, {0, 0, 1920, 1080}, 1}, {"SIDE", {1920, 0, 1920, 1080}, {1920, 0, 1920, 1080}, 2}};
    screen.sizeFactor = 1;
    const auto frozen = valueOf(QCoro::waitFor(capturer.freezeDisplays()));
    ASSERT_EQ(screen.grabs.size(), 2u);
    EXPECT_EQ(screen.grabs[0].area, (Rect{0, 0, 1920, 1080}));
    EXPECT_EQ(screen.grabs[1].area, (Rect{1920, 0, 3840, 2160}));
    ASSERT_EQ(frozen.size(), 2u);
    EXPECT_EQ(frozen[1].image.scale, 2);
    EXPECT_EQ(positionOf(frozen[1].image.image.pixel(0, 0)), std::make_pair(1920, 0));

    // Window frames come in pixels; each is measured in points of the display holding its
    // centre. 60 x 60 pixels are 30 x 30 points on SIDE: too small to pick.
    screen.windows = {
        {11, 4242, {2020, 100, 800, 600}, true},
        {12, 4242, {100, 100, 60, 60}, true},
        {13, 4242, {3000, 1000, 60, 60}, true},
    };
    const auto windows = valueOf(QCoro::waitFor(capturer.pickableWindows()));
    ASSERT_EQ(windows.size(), 2u);
    EXPECT_EQ(windows[0], (PickableWindow{11, {1970, 730, 400, 300}}));
    EXPECT_EQ(windows[1], (PickableWindow{12, {100, 920, 60, 60}}));

    // The pointer's pixel below the bottom of MAIN's points is still on SIDE.
    screen.pointer = Point{2000, 1500};
    EXPECT_EQ(capturer.screenUnderMouse()->name, "SIDE");
    screen.pointer = Point{1919, 1079};
    EXPECT_EQ(capturer.screenUnderMouse()->name, "MAIN");
}

} // namespace quandrel
