// The selection overlay as widgets without a display server (offscreen), driven by the
// events a person makes: drags routed to and clamped on the display they began on, the
// refusal of small drags, window picking with Space and Return, cancelling, the grabs held
// exactly while the overlay is up, and repaints that cover only what changed. The geometry
// is OverlayGeometry's (tested on its own); picking by click is the X11 test's.

#include "../CaptureTestSupport.h"
#include "FakeOwnWindows.h"
#include "OverlaySelectionPresenter.h"
#include "SelectionOverlay.h"

#include <QApplication>
#include <QCoroTask>
#include <QKeyEvent>
#include <QMouseEvent>

#include <QWindow>

#include <gtest/gtest.h>

namespace quandrel {

namespace {

// Two displays side by side; the second one starts at (1000, 0) and is lower.
const std::vector<Display> desk = {
    Display{"left", Rect{0, 0, 1000, 800}, Rect{0, 0, 1000, 800}, 1},
    Display{"right", Rect{1000, 0, 800, 600}, Rect{1000, 0, 800, 600}, 1},
};

std::vector<FrozenDisplay> frozen()
{
    std::vector<FrozenDisplay> result;
    for (const Display& d : desk) {
        QImage image(int(d.frame.width), int(d.frame.height), QImage::Format_RGB32);
        image.fill(d.name == "left" ? 0xff2060a0 : 0xffa06020);
        result.push_back({d, {image, 1}});
    }
    return result;
}

using test::spinUntil;
using Outcome = CaptureResult<std::optional<CaptureSelection>>;

class SelectionOverlayTest : public ::testing::Test {
protected:
    SelectionOverlayTest()
        : presenter(grabs, PanelScreens{[] { return desk; }, [this] { return pointer; }})
    {
        presenter.setGrabPatience(std::chrono::milliseconds(0));
    }

    // Opens the overlay; the task runs up to the person's choice.
    void open(bool windowMode, std::vector<PickableWindow> windows = {})
    {
        task.emplace(presenter.select(frozen(), std::move(windows), windowMode));
        ASSERT_TRUE(presenter.current());
    }

    Outcome outcome()
    {
        Outcome result = QCoro::waitFor(std::move(*task));
        task.reset();
        return result;
    }
    // The person's choice; none when cancelled.
    std::optional<CaptureSelection> chosen()
    {
        const Outcome result = outcome();
        EXPECT_TRUE(std::holds_alternative<std::optional<CaptureSelection>>(result));
        return std::holds_alternative<CaptureError>(result) ? std::nullopt : std::get<std::optional<CaptureSelection>>(result);
    }
    void drag(int index, Point from, Point to)
    {
        mouse(QEvent::MouseButtonPress, index, from);
        mouse(QEvent::MouseMove, index, to, Qt::NoButton, Qt::LeftButton);
        mouse(QEvent::MouseButtonRelease, index, to);
    }

    OverlayView* view(int index) const { return presenter.windows().at(index)->view(); }

    // Sends a mouse event at a screen-space point to a view, as Qt delivers it: in the view's
    // widget coordinates, whichever display the point is on.
    void mouse(QEvent::Type type, int index, Point global, Qt::MouseButton button = Qt::LeftButton,
               Qt::MouseButtons held = Qt::NoButton)
    {
        OverlayView* v = view(index);
        const Rect frame = desk[index].frame;
        const QPointF local(global.x - frame.x, frame.height - (global.y - frame.y));
        QMouseEvent event(type, local, v->mapToGlobal(local), button, held, Qt::NoModifier);
        QCoreApplication::sendEvent(v, &event);
    }
    void key(int index, int code, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QKeyEvent event(QEvent::KeyPress, code, modifiers);
        QCoreApplication::sendEvent(view(index), &event);
    }

    bool anyWindowVisible() const
    {
        for (const auto& w : presenter.windows())
            if (w->isVisible())
                return true;
        return false;
    }

    FakeOwnWindows grabs;
    std::optional<Point> pointer = Point{500, 400}; // window space, on the left display
    OverlaySelectionPresenter presenter;
    std::optional<QCoro::Task<Outcome>> task;
};

} // namespace

TEST_F(SelectionOverlayTest, AreaDragIsClampedToItsDisplayAndEndsTheChoice)
{
    open(false);
    EXPECT_TRUE(presenter.grabbed());
    ASSERT_EQ(presenter.windows().size(), 2u);
    EXPECT_EQ(grabs.grabbed, presenter.windows()[0]->windowHandle()); // for the window under the pointer

    // From (1010, 20) on the right display, out over the left one and beyond the right
    // display's top: the drag stays on its display, clamped to its left and top edges.
    mouse(QEvent::MouseButtonPress, 1, {1010, 20});
    EXPECT_TRUE(view(1)->dragging());
    mouse(QEvent::MouseMove, 0, {900, 700}, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(view(1)->dragCurrent(), (Point{0, 600}));
    mouse(QEvent::MouseButtonRelease, 0, {900, 700});
    const auto area = std::get<AreaSelection>(chosen().value());
    EXPECT_EQ(area.rect, (Rect{1000, 20, 10, 580}));
    EXPECT_EQ(area.display.screen, desk[1]);
    EXPECT_FALSE(grabs.grabbed);
    EXPECT_FALSE(anyWindowVisible());
    EXPECT_FALSE(presenter.current());

    // The dimmed copies' buffers stay for the next overlay, for a while.
    EXPECT_TRUE(view(0)->holdsBuffers());
    presenter.setBufferKeeping(std::chrono::milliseconds(1));
    open(false);
    key(0, Qt::Key_Escape);
    outcome();
    EXPECT_TRUE(spinUntil([&] { return !view(0)->holdsBuffers() && !view(1)->holdsBuffers(); }));
}

TEST_F(SelectionOverlayTest, ClicksAndSmallDragsKeepTheOverlayOpenAndLateEventsChangeNothing)
{
    open(false);
    drag(0, {100, 100}, {100, 100});
    EXPECT_FALSE(view(0)->dragging());
    mouse(QEvent::MouseButtonPress, 0, {100, 100}); // 2 x 50 is refused
    mouse(QEvent::MouseMove, 0, {102, 150}, Qt::NoButton, Qt::LeftButton);
    EXPECT_TRUE(view(0)->scene().highlight);
    mouse(QEvent::MouseButtonRelease, 0, {102, 150});
    EXPECT_FALSE(view(0)->dragging());
    EXPECT_FALSE(view(0)->scene().highlight);
    EXPECT_TRUE(presenter.current() && presenter.grabbed());

    // Space during a drag drops it and switches to window mode, where a click with nothing
    // hovered does nothing, and Return neither.
    mouse(QEvent::MouseButtonPress, 0, {100, 100});
    key(0, Qt::Key_Space);
    EXPECT_FALSE(view(0)->dragging());
    EXPECT_TRUE(presenter.current()->windowMode());
    mouse(QEvent::MouseButtonRelease, 0, {100, 100});
    key(0, Qt::Key_Return);
    SelectionOverlay* overlay = presenter.current();
    ASSERT_TRUE(overlay);
    key(1, Qt::Key_Escape);
    EXPECT_TRUE(overlay->finished());
    EXPECT_FALSE(grabs.grabbed);
    // Late events reach views that no longer belong to the choice.
    key(0, Qt::Key_Space);
    mouse(QEvent::MouseButtonPress, 0, {100, 100}, Qt::RightButton);
    EXPECT_FALSE(chosen());
    EXPECT_FALSE(anyWindowVisible());
}

TEST_F(SelectionOverlayTest, ReturnPicksAndSpaceTogglesBothWays)
{
    const PickableWindow window{9, {100, 100, 300, 300}};
    open(false, {window});
    mouse(QEvent::MouseMove, 0, {200, 200});
    EXPECT_FALSE(presenter.current()->hovered());
    key(0, Qt::Key_Return); // area mode: nothing
    key(0, Qt::Key_Space);
    EXPECT_EQ(presenter.current()->hovered(), window); // at once, without a move
    EXPECT_FALSE(view(0)->scene().loupe);
    key(0, Qt::Key_Space);
    EXPECT_FALSE(presenter.current()->hovered());
    EXPECT_TRUE(view(0)->scene().loupe);
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QString(), true); // a held Space does not flip
    QCoreApplication::sendEvent(view(0), &repeat);
    EXPECT_FALSE(presenter.current()->windowMode());
    key(0, Qt::Key_Space);
    key(1, Qt::Key_Enter); // keypad Enter, on the other display's view
    EXPECT_EQ(std::get<WindowSelection>(chosen().value()).window, window);
}

TEST_F(SelectionOverlayTest, OnADisplayOfScaleTwoTheLabelAndLoupeCountPixels)
{
    std::vector<FrozenDisplay> displays = frozen();
    QImage sharp(2000, 1600, QImage::Format_RGB32);
    sharp.fill(0xff336699);
    displays[0].image = {sharp, 2};
    task.emplace(presenter.select(displays, {}, false));
    mouse(QEvent::MouseButtonPress, 0, {100, 100});
    mouse(QEvent::MouseMove, 0, {200, 150}, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(view(0)->scene().label, QString::fromUtf8("200 \u00d7 100"));
    ASSERT_TRUE(spinUntil([&] { return view(0)->paintCount() > 0; }));
    mouse(QEvent::MouseButtonRelease, 0, {200, 150});
    const auto area = std::get<AreaSelection>(chosen().value());
    EXPECT_EQ(area.rect, (Rect{100, 100, 100, 50}));
    EXPECT_EQ(area.display.image.scale, 2);
}

TEST_F(SelectionOverlayTest, EscapeToAnUnfocusedWindowAndARightClickCancelAndTheHintFollowsThePointer)
{
    open(false);
    view(1)->clearFocus();
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(presenter.windows()[1].get(), &escape);
    EXPECT_FALSE(chosen());

    open(false);
    EXPECT_TRUE(view(0)->scene().hintPill);
    EXPECT_FALSE(view(1)->scene().hintPill);
    mouse(QEvent::MouseMove, 1, {1500, 300});
    EXPECT_FALSE(view(0)->scene().hintPill);
    EXPECT_TRUE(view(1)->scene().hintPill);
    mouse(QEvent::MouseButtonPress, 1, {1500, 300}, Qt::RightButton);
    EXPECT_FALSE(chosen());
    EXPECT_FALSE(grabs.grabbed);
}

TEST_F(SelectionOverlayTest, RefusedGrabIsAnErrorWithNothingLeftOnScreenAndTheWindowsAreReused)
{
    grabs.grabAnswer = InputGrabError::heldByOtherProgram;
    task.emplace(presenter.select(frozen(), {}, false));
    const Outcome result = outcome();
    ASSERT_TRUE(std::holds_alternative<CaptureError>(result));
    EXPECT_TRUE(std::get<CaptureError>(result).description().startsWith(QStringLiteral("Couldn't grab")));
    EXPECT_FALSE(anyWindowVisible());
    EXPECT_FALSE(presenter.current());

    const auto* first = presenter.windows()[0].get();
    grabs.grabAnswer = InputGrabError::none;
    open(false);
    EXPECT_EQ(presenter.windows()[0].get(), first);
    // A second choice while one is open gets none at once.
    EXPECT_FALSE(std::get<std::optional<CaptureSelection>>(QCoro::waitFor(presenter.select(frozen(), {}, false))));
    EXPECT_TRUE(presenter.current());
    key(0, Qt::Key_Escape);
    outcome();
}

// An application-modal dialog of Quandrel's own appearing over the overlay would take all
// input from it: the choice ends with none and the grabs go. So does the presenter going away.
TEST_F(SelectionOverlayTest, AModalDialogAppearingOrThePresenterGoingAwayEndsTheChoice)
{
    QWindow windowModal;
    windowModal.setModality(Qt::WindowModal);
    QWindow appModal;
    appModal.setModality(Qt::ApplicationModal);
    open(false);
    ASSERT_TRUE(grabs.grabbed);
    windowModal.show(); // blocks only its own parents: the overlay stays
    EXPECT_TRUE(presenter.current());
    appModal.show();
    EXPECT_FALSE(chosen());
    EXPECT_FALSE(grabs.grabbed);
    EXPECT_FALSE(anyWindowVisible());

    FakeOwnWindows otherGrabs;
    {
        OverlaySelectionPresenter gone(otherGrabs, PanelScreens{[] { return desk; }, [] { return Point{1, 1}; }});
        task.emplace(gone.select(frozen(), {}, false));
        EXPECT_TRUE(otherGrabs.grabbed);
    }
    EXPECT_FALSE(otherGrabs.grabbed);
    EXPECT_FALSE(chosen());
}

TEST_F(SelectionOverlayTest, PointerMovesRepaintOnlyWhatChanged)
{
    open(false);
    ASSERT_TRUE(spinUntil([&] { return view(0)->paintCount() > 0; }));
    EXPECT_EQ(view(0)->lastPaintedArea(), 1000 * 800); // the first paint covers the whole view
    mouse(QEvent::MouseMove, 0, {300, 300});
    QCoreApplication::processEvents();
    mouse(QEvent::MouseMove, 0, {310, 305});
    QCoreApplication::processEvents();
    // Two loupes, two pairs of guide lines and nothing else: far below the whole view.
    EXPECT_GT(view(0)->lastPaintedArea(), 0);
    EXPECT_LT(view(0)->lastPaintedArea(), 1000 * 800 / 8);
    // The other display's view did not repaint for a move that did not concern it.
    const int paints = view(1)->paintCount();
    mouse(QEvent::MouseMove, 0, {320, 305});
    QCoreApplication::processEvents();
    EXPECT_EQ(view(1)->paintCount(), paints);
    key(0, Qt::Key_Escape);
    outcome();
}

TEST_F(SelectionOverlayTest, AdjustedFirstAnAreaIsMovedResizedAndNudgedBeforeReturnTakesIt)
{
    presenter.adjustBeforeCapturing = [] { return true; };
    open(false);
    drag(0, {100, 100}, {300, 250});
    ASSERT_TRUE(presenter.current()); // not taken yet
    EXPECT_TRUE(view(0)->adjusting());
    EXPECT_EQ(view(0)->scene().handles.size(), 4u);
    // The top-right corner out to (350, 300), the whole area 10 to the left, then nudged;
    // a nudge never takes the area past the display's edge.
    drag(0, {300, 250}, {350, 300});
    drag(0, {200, 200}, {190, 200});
    key(0, Qt::Key_Right);
    key(0, Qt::Key_Up, Qt::ShiftModifier);
    for (int i = 0; i < 200; ++i)
        key(0, Qt::Key_Left, Qt::ShiftModifier);
    key(0, Qt::Key_Return);
    EXPECT_EQ(std::get<AreaSelection>(chosen().value()).rect, (Rect{0, 110, 250, 200}));

    // Escape while adjusting takes nothing; a double click inside takes it.
    open(false);
    drag(0, {100, 100}, {300, 250});
    key(0, Qt::Key_Escape);
    EXPECT_FALSE(chosen());
    open(false);
    drag(0, {100, 100}, {300, 250});
    mouse(QEvent::MouseButtonDblClick, 0, {200, 200});
    EXPECT_EQ(std::get<AreaSelection>(chosen().value()).rect, (Rect{100, 100, 200, 150}));
}

} // namespace quandrel
