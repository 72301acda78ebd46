#include "DragSnapper.h"
#include "ScreenSpace.h"
#include "FakeDesktop.h"
#include "WindowManager.h"

#include <gtest/gtest.h>

using namespace quandrel;

namespace {

const Rect display{0, 0, 1440, 900};

struct Zone {
    Point p;
    std::optional<WindowAction> expected;
};

class RecordingPreview final : public SnapPreviewSurface {
public:
    void show(const Rect& frame) override
    {
        shown.push_back(frame);
        visible = true;
    }
    void hide() override { visible = false; }
    std::vector<Rect> shown;
    bool visible = false;
};

class DragSnapperTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        desktop.addDisplay(display, {0, 0, 1440, 875});
        window = desktop.addWindow(7, {400, 300, 500, 400});
        desktop.setFrontmost(7);
        windows.gap = 8;
        auto p = std::make_unique<RecordingPreview>();
        preview = p.get();
        snapper = std::make_unique<DragSnapper>(desktop.services(), windows, std::move(p), [this](int ms, std::function<void()> f) {
            EXPECT_EQ(ms, 40);
            scheduled.push_back(std::move(f));
        });
        snapper->setEnabled(true);
    }

    // Presses on the window's title bar.
    void press(Point at = {650, 690})
    {
        desktop.movePointer(at);
        desktop.sendPointer(PointerEvent::leftDown);
    }
    // The window manager moves the window with the pointer, then the drag event arrives.
    void dragBy(double dx, double dy)
    {
        Point p = desktop.pointerLocation();
        desktop.movePointer({p.x + dx, p.y + dy});
        desktop.window(window).frame.x += dx;
        desktop.window(window).frame.y -= dy;
        desktop.sendPointer(PointerEvent::leftDragged);
    }
    void dragTo(Point p) { dragBy(p.x - desktop.pointerLocation().x, p.y - desktop.pointerLocation().y); }
    void release()
    {
        desktop.sendPointer(PointerEvent::leftUp);
        for (auto& f : scheduled)
            f();
        scheduled.clear();
    }

    FakeDesktop desktop;
    WindowManager windows{desktop.services()};
    RecordingPreview* preview = nullptr;
    std::unique_ptr<DragSnapper> snapper;
    std::vector<std::function<void()>> scheduled;
    WindowHandle window;
};

} // namespace

TEST(SnapZone, ThresholdsAreInclusive)
{
    const Zone zones[] = {
        {{5, 450}, WindowAction::leftHalf},
        {{5.5, 450}, std::nullopt},
        {{1435, 450}, WindowAction::rightHalf},
        {{1434.5, 450}, std::nullopt},
        {{0, 880}, WindowAction::topLeft},   // 20 below the top
        {{0, 870}, WindowAction::leftHalf},  // 30 below the top
        {{0, 876}, WindowAction::topLeft},   // exactly 24 below
        {{24, 900}, WindowAction::topLeft},
        {{25, 900}, WindowAction::maximize},
        {{720, 895}, WindowAction::maximize},
        {{720, 894.5}, std::nullopt},
        {{1416, 900}, WindowAction::topRight},
        {{1440, 880}, WindowAction::topRight},
        {{0, 24}, WindowAction::bottomLeft},
        {{24, 0}, WindowAction::bottomLeft},
        {{1440, 10}, WindowAction::bottomRight},
        {{144, 0}, WindowAction::firstThird},
        {{720, 5}, WindowAction::centerThird},
        {{1296, 0}, WindowAction::lastThird},
        {{480, 0}, WindowAction::centerThird}, // exactly one third
        {{960, 0}, WindowAction::lastThird},
        {{720, 450}, std::nullopt},
    };
    for (const Zone& z : zones)
        EXPECT_EQ(snapZone(z.p, display), z.expected) << toString(z.p);
    // Displays away from the origin.
    EXPECT_EQ(snapZone({-1440 + 3, -400}, {-1440, -900, 1440, 900}), WindowAction::leftHalf);
}

TEST(SnapZone, ZonesLeftToTheSystem)
{
    const SystemTiling edges{true, false};
    for (const WindowAction a : {WindowAction::leftHalf, WindowAction::rightHalf, WindowAction::topLeft, WindowAction::topRight,
                                 WindowAction::bottomLeft, WindowAction::bottomRight})
        EXPECT_TRUE(isLeftToSystem(a, edges));
    EXPECT_FALSE(isLeftToSystem(WindowAction::maximize, edges));
    EXPECT_TRUE(isLeftToSystem(WindowAction::maximize, {false, true}));
    for (const WindowAction a : {WindowAction::firstThird, WindowAction::centerThird, WindowAction::lastThird})
        EXPECT_FALSE(isLeftToSystem(a, {true, true}));
}

TEST_F(DragSnapperTest, DragToTheLeftEdgePreviewsAndSnaps)
{
    press();
    dragBy(-3, 0);
    ASSERT_TRUE(snapper->drag()->isMovingWindow);
    EXPECT_EQ(desktop.tilingReads(), 1);
    dragTo({300, 600});
    EXPECT_FALSE(preview->visible);
    dragTo({2, 600});
    ASSERT_TRUE(preview->visible);
    EXPECT_EQ(preview->shown.back(), (Rect{8, 8, 708, 859}));
    dragTo({3, 500}); // same zone: no recomputation
    EXPECT_EQ(preview->shown.size(), 1u);
    EXPECT_EQ(desktop.tilingReads(), 1);
    release();
    EXPECT_FALSE(preview->visible);
    EXPECT_EQ(desktop.screenFrame(window), (Rect{8, 8, 708, 859}));
    // The frame from before the drag is what restore gives back.
    windows.perform(WindowAction::restore, ClientWindow{window, 7});
    EXPECT_EQ(desktop.screenFrame(window), (Rect{400, 300, 500, 400}));
}

TEST_F(DragSnapperTest, LeavingAZoneHidesThePreviewAndReleasingOutsideDoesNothing)
{
    press();
    dragBy(-10, 0);
    dragTo({1439, 450});
    EXPECT_TRUE(preview->visible);
    dragTo({1000, 450});
    EXPECT_FALSE(preview->visible);
    const Rect before = desktop.screenFrame(window);
    release();
    EXPECT_TRUE(scheduled.empty());
    EXPECT_EQ(desktop.screenFrame(window), before);
    EXPECT_EQ(desktop.frameWrites(), 0);
}

TEST_F(DragSnapperTest, SystemTilingKeepsItsZones)
{
    desktop.setSystemTiling({true, false});
    press();
    dragBy(-10, 0);
    dragTo({0, 450});
    EXPECT_FALSE(preview->visible);
    dragTo({720, 900});
    EXPECT_TRUE(preview->visible); // the top is still ours
    dragTo({720, 1});
    EXPECT_TRUE(preview->visible);
    release();
    EXPECT_EQ(desktop.screenFrame(window), (Rect{487, 8, 466, 859}));
}

TEST_F(DragSnapperTest, ResizesAndLateMovesAreIgnored)
{
    press();
    desktop.window(window).frame.width += 10; // the window manager resizes
    desktop.movePointer({0, 450});
    desktop.sendPointer(PointerEvent::leftDragged);
    EXPECT_TRUE(snapper->drag()->ignored);
    release();
    EXPECT_TRUE(preview->shown.empty());

    // Twelve events without movement: a move on the thirteenth no longer counts.
    press();
    for (int i = 0; i < 12; ++i)
        desktop.sendPointer(PointerEvent::leftDragged);
    EXPECT_FALSE(snapper->drag()->ignored);
    dragBy(-400, 0);
    EXPECT_TRUE(snapper->drag()->ignored);
    dragTo({0, 450});
    EXPECT_TRUE(preview->shown.empty());

    // A move within the first twelve events counts.
    release();
    desktop.window(window).frame = ScreenSpace(900).toWindow(Rect{400, 300, 500, 400});
    press({650, 690});
    for (int i = 0; i < 11; ++i)
        desktop.sendPointer(PointerEvent::leftDragged);
    dragBy(-3, 0);
    EXPECT_TRUE(snapper->drag()->isMovingWindow);
}

TEST_F(DragSnapperTest, NothingWithoutTrustOrWindowOrWhenOff)
{
    desktop.setTrusted(false);
    press();
    EXPECT_FALSE(snapper->drag());
    desktop.setTrusted(true);
    press({1300, 100});
    EXPECT_FALSE(snapper->drag());
    snapper->setEnabled(false);
    EXPECT_FALSE(desktop.isMonitoring());
    press();
    EXPECT_FALSE(snapper->drag());
}

TEST_F(DragSnapperTest, DraggingASnappedWindowAwayRestoresItsSize)
{
    windows.perform(WindowAction::leftHalf, ClientWindow{window, 7});
    const Rect snapped = desktop.screenFrame(window); // (8, 8, 708, 859)
    // Grab the title bar a quarter of the way across.
    const Point grab{snapped.minX() + snapped.width / 4, snapped.maxY() - 10};
    press(grab);
    dragBy(5, 0);
    ASSERT_TRUE(snapper->drag()->unsnapped);
    const Rect restored = desktop.screenFrame(window);
    EXPECT_EQ(restored.size(), (Size{500, 400}));
    EXPECT_EQ(restored.maxY(), snapped.maxY());
    EXPECT_NEAR((grab.x + 5 - restored.minX()) / restored.width, 0.25, 0.02);

    // Dropping it in a zone now remembers the restored frame as the original.
    dragTo({1439, 450});
    release();
    EXPECT_EQ(desktop.screenFrame(window), (Rect{724, 8, 708, 859}));
    windows.perform(WindowAction::restore, ClientWindow{window, 7});
    EXPECT_EQ(desktop.screenFrame(window).size(), (Size{500, 400}));
    EXPECT_NE(desktop.screenFrame(window), (Rect{400, 300, 500, 400}));

    // With restoring switched off the size stays.
    windows.perform(WindowAction::leftHalf, ClientWindow{window, 7});
    snapper->restoresSizeOnDrag = false;
    press({300, 850});
    dragBy(5, 0);
    EXPECT_FALSE(snapper->drag()->unsnapped);
    EXPECT_EQ(desktop.screenFrame(window).size(), (Size{708, 859}));
}

// On a busy machine the window manager has moved the window before the press is seen.
TEST_F(DragSnapperTest, APressSeenLateStillUnsnapsFromTheSnappedFrame)
{
    windows.perform(WindowAction::leftHalf, ClientWindow{window, 7});
    const Rect snapped = desktop.screenFrame(window);
    const Point grab{snapped.minX() + snapped.width / 4, snapped.maxY() - 10};
    desktop.movePointer({grab.x + 40, grab.y - 30});
    desktop.window(window).frame.x += 40;
    desktop.window(window).frame.y += 30;
    desktop.sendPointer(PointerEvent::leftDown);
    dragBy(5, 0);
    ASSERT_TRUE(snapper->drag()->unsnapped);
    const Rect restored = desktop.screenFrame(window);
    EXPECT_EQ(restored.size(), (Size{500, 400}));
    EXPECT_NEAR((grab.x + 45 - restored.minX()) / restored.width, 0.25, 0.02);
}

TEST_F(DragSnapperTest, TheMoveIsHandedBackOnceTheRestoredSizeIsApplied)
{
    windows.perform(WindowAction::leftHalf, ClientWindow{window, 7});
    const Rect snapped = desktop.screenFrame(window);
    desktop.defersFrames = true;
    press({snapped.minX() + 100, snapped.maxY() - 10});
    dragBy(5, 0);
    ASSERT_TRUE(snapper->drag()->unsnapped);
    const std::string id = std::to_string(window.value());
    EXPECT_EQ(desktop.interactiveMoves, (std::vector<std::string>{"stop " + id}));
    desktop.applyFrames();
    EXPECT_EQ(desktop.interactiveMoves, (std::vector<std::string>{"stop " + id, "resume " + id}));
    EXPECT_EQ(desktop.screenFrame(window).size(), (Size{500, 400}));
}

TEST_F(DragSnapperTest, AMoveLaggingBehindThePointerKeepsTheGrabUnderIt)
{
    windows.perform(WindowAction::leftHalf, ClientWindow{window, 7});
    const Rect snapped = desktop.screenFrame(window);
    const Point grab{snapped.minX() + snapped.width / 4, snapped.maxY() - 10};
    press(grab);
    // The pointer is 60 points on; the window manager has moved the window only 5 so far.
    desktop.movePointer({grab.x + 60, grab.y});
    desktop.window(window).frame.x += 5;
    desktop.sendPointer(PointerEvent::leftDragged);
    ASSERT_TRUE(snapper->drag()->unsnapped);
    const Rect restored = desktop.screenFrame(window);
    EXPECT_NEAR((grab.x + 60 - restored.minX()) / restored.width, 0.25, 0.01);
    EXPECT_EQ(restored.maxY(), snapped.maxY());
}
