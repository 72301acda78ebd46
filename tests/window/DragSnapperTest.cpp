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
        {{5, 450}, WindowAction::leftHalf}, {{5.5, 450}, {}}, {{1435, 450}, WindowAction::rightHalf}, {{1434.5, 450}, {}},
        {{0, 880}, WindowAction::topLeft}, {{0, 870}, WindowAction::leftHalf}, {{0, 876}, WindowAction::topLeft}, // 20, 30, 24 below the top
        {{24, 900}, WindowAction::topLeft}, {{25, 900}, WindowAction::maximize}, {{720, 895}, WindowAction::maximize},
        {{720, 894.5}, {}}, {{1416, 900}, WindowAction::topRight}, {{1440, 880}, WindowAction::topRight},
        {{0, 24}, WindowAction::bottomLeft}, {{24, 0}, WindowAction::bottomLeft}, {{1440, 10}, WindowAction::bottomRight},
        {{144, 0}, WindowAction::firstThird}, {{720, 5}, WindowAction::centerThird}, {{1296, 0}, WindowAction::lastThird},
        {{480, 0}, WindowAction::centerThird}, {{960, 0}, WindowAction::lastThird}, {{720, 450}, {}}, // thirds' edges exactly
    };
    for (const Zone& z : zones)
        EXPECT_EQ(snapZone(z.p, display), z.expected) << toString(z.p);
    // Displays away from the origin.
    EXPECT_EQ(snapZone({-1440 + 3, -400}, {-1440, -900, 1440, 900}), WindowAction::leftHalf);
}

TEST(SnapZone, ZonesLeftToTheSystem)
{
    for (const WindowAction a : allWindowActions) {
        const bool edge = a == WindowAction::leftHalf || a == WindowAction::rightHalf || a == WindowAction::topLeft
                          || a == WindowAction::topRight || a == WindowAction::bottomLeft || a == WindowAction::bottomRight;
        EXPECT_EQ(isLeftToSystem(a, {true, false}), edge) << rawName(a);
        EXPECT_EQ(isLeftToSystem(a, {false, true}), a == WindowAction::maximize) << rawName(a);
    }
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

// The window is grabbed a quarter of the way across its title bar; the restored size keeps
// the grab under the pointer. On a busy machine the press is seen late (the window manager
// has moved the window already) or the move lags behind the pointer.
TEST_F(DragSnapperTest, DraggingASnappedWindowAwayRestoresItsSize)
{
    const struct {
        const char* name;
        Point seenAt;       // from the grab, when the press is seen
        double pointerOn;   // how far the pointer is on at the first drag event
        double windowOn;    // how far the window manager has moved the window by then
    } rows[] = {{"in step", {0, 0}, 5, 5}, {"press seen late", {40, -30}, 5, 5}, {"move lagging", {0, 0}, 60, 5}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        desktop.window(window).frame = ScreenSpace(900).toWindow(Rect{400, 300, 500, 400});
        windows.perform(WindowAction::leftHalf, ClientWindow{window, 7});
        const Rect snapped = desktop.screenFrame(window); // (8, 8, 708, 859)
        const Point grab{snapped.minX() + snapped.width / 4, snapped.maxY() - 10};
        desktop.movePointer({grab.x + row.seenAt.x, grab.y + row.seenAt.y});
        desktop.window(window).frame.x += row.seenAt.x;
        desktop.window(window).frame.y -= row.seenAt.y;
        desktop.sendPointer(PointerEvent::leftDown);
        desktop.movePointer({desktop.pointerLocation().x + row.pointerOn, desktop.pointerLocation().y});
        desktop.window(window).frame.x += row.windowOn;
        desktop.sendPointer(PointerEvent::leftDragged);
        ASSERT_TRUE(snapper->drag()->unsnapped);
        const Rect restored = desktop.screenFrame(window);
        EXPECT_EQ(restored.size(), (Size{500, 400}));
        EXPECT_EQ(restored.maxY() - row.seenAt.y, snapped.maxY());
        EXPECT_NEAR((desktop.pointerLocation().x - restored.minX()) / restored.width, 0.25, 0.02);
        release();
    }

    // Dropping it in a zone now remembers the restored frame as the original.
    windows.perform(WindowAction::leftHalf, ClientWindow{window, 7});
    press({300, 850});
    dragBy(5, 0);
    ASSERT_TRUE(snapper->drag()->unsnapped);
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
