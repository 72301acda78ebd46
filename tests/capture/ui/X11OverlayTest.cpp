// The selection overlay on a real X server with a real window manager (openbox) and three
// monitors, on displays frozen by the real capturer and driven through XTEST (xdotool): an
// area dragged on the second monitor, a drag clamped to its monitor, cancelling by key and
// by right click, window picking by click and by Return, a keyboard held by another program,
// and monitors changing under the overlay. After every outcome nothing stays grabbed and no
// overlay window stays mapped.

#include "../CaptureTestSupport.h"
#include "OverlaySelectionPresenter.h"
#include "ScreenCapturer.h"
#include "SelectionOverlay.h"
#include "X11Connection.h"
#include "X11Desktop.h"
#include "X11OwnWindows.h"
#include "XTestSupport.h"

#include <QApplication>
#include <QCoroTask>
#include <QGuiApplication>
#include <QScreen>

#include <xcb/xcb.h>

#include <gtest/gtest.h>

namespace quandrel {

namespace {

using test::XDesktop;
using test::spinUntil;
using Outcome = CaptureResult<std::optional<CaptureSelection>>;

// Monitors in root pixels; the second is shorter than the others.
const std::vector<std::string> threeMonitors = {"*A 1280x1600+0+0", "B 1280x1200+1280+0", "C 1280x1600+2560+0"};

void xdotool(const std::string& arguments) { ASSERT_EQ(test::run("xdotool " + arguments), 0) << arguments; }

bool viewable(std::uint32_t window) { return XDesktop::instance().isViewable(window); }

// Whether another client can take the keyboard and the pointer right now (and gives them back).
bool othersCanGrab()
{
    auto other = x11::X11Connection::open();
    if (!other)
        return false;
    xcb_connection_t* c = other->xcb();
    x11::Reply<xcb_grab_keyboard_reply_t> keyboard(xcb_grab_keyboard_reply(
        c, xcb_grab_keyboard(c, 1, other->root(), XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC), nullptr));
    x11::Reply<xcb_grab_pointer_reply_t> pointer(xcb_grab_pointer_reply(
        c,
        xcb_grab_pointer(c, 1, other->root(), XCB_EVENT_MASK_BUTTON_PRESS, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC,
                         XCB_WINDOW_NONE, XCB_CURSOR_NONE, XCB_CURRENT_TIME),
        nullptr));
    const bool ok = keyboard && keyboard->status == XCB_GRAB_STATUS_SUCCESS && pointer && pointer->status == XCB_GRAB_STATUS_SUCCESS;
    xcb_ungrab_keyboard(c, XCB_CURRENT_TIME);
    xcb_ungrab_pointer(c, XCB_CURRENT_TIME);
    xcb_flush(c);
    return ok;
}

class X11OverlayTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        XDesktop::instance().setMonitors(threeMonitors);
        desktop = x11::X11Desktop::open();
        ASSERT_TRUE(desktop);
        // Qt follows the monitors before the overlay's windows are made for them.
        ASSERT_TRUE(spinUntil([] {
            const auto screens = QGuiApplication::screens();
            return screens.size() == 3 && screens[1]->geometry() == QRect(1280, 0, 1280, 1200);
        }));
        services = desktop->services();
        capturer = std::make_unique<ScreenCapturer>(*services.screen, *services.displays);
        grabs = x11::X11OwnWindows::forQtWindows();
        presenter = std::make_unique<OverlaySelectionPresenter>(
            *grabs, PanelScreens{[this] { return services.displays->displays(); }, {}});
        xdotool("mousemove 1900 600");
    }

    void TearDown() override
    {
        presenter.reset();
        grabs.reset();
        XDesktop::instance().setMonitors({});
        spinUntil([] { return QGuiApplication::screens().size() == 1; });
    }

    // Freezes the displays, opens the overlay and waits until it is painted on every monitor
    // and holds the keyboard and pointer.
    void open(bool windowMode)
    {
        auto displays = QCoro::waitFor(capturer->freezeDisplays());
        ASSERT_TRUE(std::holds_alternative<std::vector<FrozenDisplay>>(displays));
        frozen = std::get<std::vector<FrozenDisplay>>(displays);
        ASSERT_EQ(frozen.size(), 3u);
        auto windows = QCoro::waitFor(capturer->pickableWindows());
        pickable = std::holds_alternative<std::vector<PickableWindow>>(windows) ? std::get<std::vector<PickableWindow>>(windows)
                                                                                : std::vector<PickableWindow>{};
        bool painted = false;
        const auto connection = QObject::connect(presenter.get(), &OverlaySelectionPresenter::painted, [&] { painted = true; });
        task.emplace(presenter->select(frozen, pickable, windowMode));
        ASSERT_TRUE(spinUntil([&] { return painted && presenter->grabbed(); }));
        QObject::disconnect(connection);
        for (std::size_t i = 0; i < 3; ++i)
            EXPECT_TRUE(viewable(std::uint32_t(presenter->windows()[i]->winId())));
    }

    Outcome outcome()
    {
        EXPECT_TRUE(spinUntil([&] { return task->isReady(); }));
        Outcome result = QCoro::waitFor(std::move(*task));
        task.reset();
        return result;
    }

    std::optional<CaptureSelection> selection()
    {
        const Outcome result = outcome();
        EXPECT_TRUE(std::holds_alternative<std::optional<CaptureSelection>>(result));
        return std::holds_alternative<std::optional<CaptureSelection>>(result) ? std::get<std::optional<CaptureSelection>>(result)
                                                                              : std::nullopt;
    }

    // Nothing left behind: every overlay window unmapped, keyboard and pointer free.
    void expectNothingLeft()
    {
        QCoreApplication::processEvents();
        for (const auto& w : presenter->windows())
            EXPECT_TRUE(XDesktop::instance().waitUntil([&] { return !viewable(std::uint32_t(w->winId())); }));
        EXPECT_FALSE(grabs->inputGrabbed());
        EXPECT_TRUE(othersCanGrab());
    }

    std::unique_ptr<x11::X11Desktop> desktop;
    PlatformServices services;
    std::unique_ptr<ScreenCapturer> capturer;
    std::unique_ptr<x11::X11OwnWindows> grabs;
    std::unique_ptr<OverlaySelectionPresenter> presenter;
    std::vector<FrozenDisplay> frozen;
    std::vector<PickableWindow> pickable;
    std::optional<QCoro::Task<Outcome>> task;
};

} // namespace

// Root pixels on B, whose frame in screen space is (1280, 400, 1280, 1200): a drag inside it,
// and one from B out over C and below B's bottom edge, clamped to B.
TEST_F(X11OverlayTest, AreaDragsGiveTheirGlobalRectangleOnTheMonitorTheyBeganOn)
{
    const struct {
        const char* moves;
        Rect rect;
    } rows[] = {
        {"mousemove 1380 100 mousedown 1 mousemove 1480 200 mousemove 1580 300 mouseup 1", {1380, 1300, 200, 200}},
        {"mousemove 1380 100 mousedown 1 mousemove 2000 800 mousemove 2700 1500 mouseup 1", {1380, 400, 1180, 1100}},
    };
    for (const auto& row : rows) {
        open(false);
        xdotool(row.moves);
        const auto chosen = selection();
        ASSERT_TRUE(chosen) << row.moves;
        const auto& area = std::get<AreaSelection>(*chosen);
        EXPECT_EQ(area.rect, row.rect);
        EXPECT_EQ(area.display.screen.name, frozen[1].screen.name);
        EXPECT_EQ(area.display.screen.frame, (Rect{1280, 400, 1280, 1200}));
        const auto cut = ScreenCapturer::crop(area.display, area.rect);
        ASSERT_TRUE(cut);
        EXPECT_EQ(cut->image.size(), QSize(int(row.rect.width), int(row.rect.height)));
        expectNothingLeft();
    }
}

TEST_F(X11OverlayTest, EscapeAndRightClickCancel)
{
    open(false);
    xdotool("key Escape");
    EXPECT_FALSE(selection());
    expectNothingLeft();

    open(true);
    xdotool("mousemove 3000 500 click 3");
    EXPECT_FALSE(selection());
    expectNothingLeft();

    // A click alone keeps the overlay open; Escape from any window still reaches it.
    open(false);
    xdotool("mousemove 200 200 click 1");
    QCoreApplication::processEvents();
    EXPECT_TRUE(presenter->current());
    xdotool("key Escape");
    EXPECT_FALSE(selection());
    expectNothingLeft();
}

TEST_F(X11OverlayTest, WindowModePicksTheTopmostWindowUnderThePointer)
{
    test::TestWindow below({"--title", "below", "--geometry", "600x500+1400+150"});
    test::TestWindow above({"--title", "above", "--geometry", "300x300+1500+250"});
    auto& x = XDesktop::instance();
    ASSERT_TRUE(x.waitUntil([&] { return x.activeWindow() == above.id(); }));

    // Space switches to window mode; a click takes the window on top.
    open(false);
    xdotool("mousemove 1600 350 key space");
    ASSERT_TRUE(spinUntil([&] { return presenter->current() && presenter->current()->windowMode(); }));
    xdotool("click 1");
    auto chosen = selection();
    ASSERT_TRUE(chosen);
    EXPECT_EQ(std::get<WindowSelection>(*chosen).window.window, above.id());
    EXPECT_EQ(std::get<WindowSelection>(*chosen).display.screen.frame, (Rect{1280, 400, 1280, 1200}));
    expectNothingLeft();

    // Return takes the hovered window in window mode: the one below where only it lies.
    open(true);
    xdotool("mousemove 1900 600");
    ASSERT_TRUE(spinUntil([&] { return presenter->current() && presenter->current()->hovered(); }));
    xdotool("key Return");
    chosen = selection();
    ASSERT_TRUE(chosen);
    EXPECT_EQ(std::get<WindowSelection>(*chosen).window.window, below.id());
    expectNothingLeft();
}

// A keyboard held by another program for a moment (as a capture shortcut's own key is until
// it is released) is waited out; held longer than the patience, it is an error with nothing shown.
TEST_F(X11OverlayTest, AKeyboardHeldByAnotherProgramIsWaitedOutOrAnError)
{
    auto other = x11::X11Connection::open();
    ASSERT_TRUE(other);
    xcb_connection_t* c = other->xcb();
    const auto hold = [&] {
        x11::Reply<xcb_grab_keyboard_reply_t> held(xcb_grab_keyboard_reply(
            c, xcb_grab_keyboard(c, 1, other->root(), XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC), nullptr));
        ASSERT_TRUE(held && held->status == XCB_GRAB_STATUS_SUCCESS);
    };
    const auto letGo = [&] {
        xcb_ungrab_keyboard(c, XCB_CURRENT_TIME);
        xcb_flush(c);
        x11::Reply<xcb_get_input_focus_reply_t>(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    };
    const auto select = [&] {
        auto displays = QCoro::waitFor(capturer->freezeDisplays());
        ASSERT_TRUE(std::holds_alternative<std::vector<FrozenDisplay>>(displays));
        task.emplace(presenter->select(std::get<std::vector<FrozenDisplay>>(displays), {}, false));
    };
    hold();
    presenter->setGrabPatience(std::chrono::milliseconds(300));
    select();
    const Outcome result = outcome();
    ASSERT_TRUE(std::holds_alternative<CaptureError>(result));
    EXPECT_TRUE(std::get<CaptureError>(result).description().contains(QStringLiteral("held by another program")))
        << std::get<CaptureError>(result).description().toStdString();
    letGo();
    expectNothingLeft();

    hold();
    presenter->setGrabPatience(std::chrono::seconds(20));
    bool painted = false;
    QObject::connect(presenter.get(), &OverlaySelectionPresenter::painted, [&] { painted = true; });
    select();
    ASSERT_TRUE(spinUntil([&] { return painted; })); // shown at once, without the keyboard yet
    EXPECT_FALSE(presenter->grabbed());
    letGo();
    ASSERT_TRUE(spinUntil([&] { return presenter->grabbed(); }));
    xdotool("key Escape");
    EXPECT_FALSE(selection());
    expectNothingLeft();
}

TEST_F(X11OverlayTest, MonitorsChangingUnderTheOverlayEndItWithNone)
{
    open(false);
    XDesktop::instance().setMonitors({"*A 1920x1600+0+0", "B 1920x1600+1920+0"});
    EXPECT_FALSE(selection());
    expectNothingLeft();
    ASSERT_TRUE(spinUntil([] { return QGuiApplication::screens().size() == 2; }));
    // The next overlay fits the new monitors.
    QCoreApplication::processEvents();
    auto displays = QCoro::waitFor(capturer->freezeDisplays());
    ASSERT_TRUE(std::holds_alternative<std::vector<FrozenDisplay>>(displays));
    bool painted = false;
    QObject::connect(presenter.get(), &OverlaySelectionPresenter::painted, [&] { painted = true; });
    task.emplace(presenter->select(std::get<std::vector<FrozenDisplay>>(displays), {}, false));
    ASSERT_TRUE(spinUntil([&] { return painted && presenter->grabbed(); }));
    EXPECT_EQ(presenter->windows()[1]->geometry(), QRect(1920, 0, 1920, 1600));
    xdotool("key Escape");
    EXPECT_FALSE(selection());
    expectNothingLeft();
}

} // namespace quandrel
