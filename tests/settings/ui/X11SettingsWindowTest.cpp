// The settings window on the private desktop, with Quandrel's real hot keys: a combination
// Quandrel or another program holds is recorded from the keyboard, the hot keys work again
// afterwards, and a shortcut changed in the window moves a window at once.

#include "AppController.h"
#include "SettingsUiSupport.h"
#include "SettingsWindow.h"
#include "ShortcutRecorder.h"
#include "X11Desktop.h"
#include "X11EventPump.h"
#include "X11OwnWindows.h"
#include "XTestSupport.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <xcb/xcb.h>

using namespace quandrel;
using quandrel::test::TestWindow;
using quandrel::test::XDesktop;

namespace {

constexpr std::uint32_t ctrlOpt = 0x1800;
const Rect leftHalf{0, 0, 720, 900};

// Another X client holding a passive grab of its own.
class OtherProgram {
public:
    OtherProgram() : m_c(xcb_connect(nullptr, nullptr)), m_root(xcb_setup_roots_iterator(xcb_get_setup(m_c)).data->root) {}
    ~OtherProgram() { xcb_disconnect(m_c); }
    bool grab(std::uint8_t keycode, std::uint16_t modifiers)
    {
        xcb_generic_error_t* e = xcb_request_check(
            m_c, xcb_grab_key_checked(m_c, 1, m_root, modifiers, keycode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        std::free(e);
        return e == nullptr;
    }

private:
    xcb_connection_t* m_c;
    xcb_window_t m_root;
};

class X11SettingsWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        x.setMonitors({"*MAIN 1440x900+0+0"});
        desktop = x11::X11Desktop::open();
        ASSERT_TRUE(desktop);
        pump = std::make_unique<x11::X11EventPump>(desktop->connection());
        PlatformServices platform = desktop->services();
        grabs = x11::X11OwnWindows::forQtWindows();
        ASSERT_TRUE(grabs);
        platform.ownWindows = grabs.get();
        QuandrelSettings settings;
        settings.hasCompletedOnboarding = true;
        auto store = std::make_unique<SettingsStore>(dir.filePath(QStringLiteral("settings.json")));
        store->setSettings(settings);
        controller = std::make_unique<AppController>(platform, std::move(store), AppServices{capture, presenter, nullptr},
                                                     [this](int ms, std::function<void()> run) { QTimer::singleShot(ms, &timers, std::move(run)); });
        controller->start();
        window = std::make_unique<SettingsWindow>(controller->settingsContext(), catalog);
        ui().tabs()->setCurrentIndex(1);
        window->move(760, 40);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    void TearDown() override
    {
        window.reset();
        controller.reset();
        x.setMonitors({});
    }

    // Clicks the recorder's button with the real pointer.
    void click(ShortcutRecorder* r)
    {
        const QPoint at = r->button()->mapToGlobal(r->button()->rect().center());
        ASSERT_EQ(test::run("xdotool mousemove " + std::to_string(at.x()) + " " + std::to_string(at.y()) + " click 1"), 0);
    }

    void record(ShortcutRecorder* r, const std::string& keys)
    {
        window->raise();
        window->activateWindow();
        click(r);
        ASSERT_TRUE(QTest::qWaitFor([&] { return r->isRecording(); }));
        ASSERT_TRUE(QTest::qWaitFor([&] { return grabs->inputGrabbed(); }));
        ASSERT_EQ(test::run("xdotool key " + keys), 0);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !r->isRecording(); }));
    }

    bool landsAt(std::uint32_t id, const Rect& frame)
    {
        return QTest::qWaitFor([&] { return x.outerFrame(id) == frame; }, 5000);
    }

    XDesktop& x = XDesktop::instance();
    QTemporaryDir dir;
    QObject timers;
    std::unique_ptr<x11::X11Desktop> desktop;
    std::unique_ptr<x11::X11EventPump> pump;
    std::unique_ptr<x11::X11OwnWindows> grabs;
    test::NoCapture capture;
    test::CountingPresenter presenter;
    test::FakeCatalog catalog;
    std::unique_ptr<AppController> controller;
    test::SettingsWindowParts ui() const { return {window.get()}; }
    std::unique_ptr<SettingsWindow> window;
};

} // namespace

TEST_F(X11SettingsWindowTest, RecordsACombinationQuandrelHoldsAndTheHotKeyWorksAfterwards)
{
    TestWindow w({"--geometry", "400x300+100+500"});
    const Rect before = x.outerFrame(w.id());
    ShortcutRecorder* right = ui().recorder(WindowCommand{WindowAction::rightHalf});
    record(right, "ctrl+alt+Left");
    const QuandrelSettings s = controller->store().settings();
    EXPECT_EQ(s.windowShortcuts.at(WindowAction::rightHalf), (Shortcut{123, ctrlOpt}));
    EXPECT_FALSE(grabs->inputGrabbed());
    // Recorded, not carried out: no window moved.
    EXPECT_EQ(x.outerFrame(w.id()), before);
    // Left Half, first in the list, holds the hot key again; Right Half cannot have it.
    EXPECT_TRUE(controller->failedActions().contains(WindowCommand{WindowAction::rightHalf}));
    EXPECT_EQ(right->helpText(), ShortcutRecorder::failedText);

    ASSERT_TRUE(x.activate(w.id()));
    ASSERT_EQ(test::run("xdotool key ctrl+alt+Left"), 0);
    EXPECT_TRUE(landsAt(w.id(), leftHalf));
}

TEST_F(X11SettingsWindowTest, RecordsACombinationAnotherProgramHolds)
{
    OtherProgram other;
    ASSERT_TRUE(other.grab(33, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT)); // ctrl+shift+P
    ShortcutRecorder* top = ui().recorder(WindowCommand{WindowAction::topHalf});
    record(top, "ctrl+shift+p");
    EXPECT_EQ(controller->store().settings().windowShortcuts.at(WindowAction::topHalf), (Shortcut{35, 0x1200}));
    EXPECT_TRUE(controller->failedActions().contains(WindowCommand{WindowAction::topHalf}));
    EXPECT_TRUE(top->warning()->isVisible());
}

// Closing the window while recording gives the keyboard and the hot keys back.
TEST_F(X11SettingsWindowTest, ClosingTheWindowWhileRecordingGivesTheKeysBack)
{
    TestWindow w({"--geometry", "400x300+100+500"});
    window->raise();
    window->activateWindow();
    click(ui().recorder(WindowCommand{WindowAction::center}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return grabs->inputGrabbed(); }));
    EXPECT_TRUE(controller->hotKeys().registered().empty());
    window->close();
    EXPECT_FALSE(grabs->inputGrabbed());
    EXPECT_FALSE(controller->hotKeys().registered().empty());
    ASSERT_TRUE(x.activate(w.id()));
    ASSERT_EQ(test::run("xdotool key ctrl+alt+Right"), 0);
    EXPECT_TRUE(landsAt(w.id(), (Rect{720, 0, 720, 900})));
}

// Keys recorded from the keyboard by their scan codes: a letter with modifiers, Print, Pause
// and a media key alone, Menu and a keypad key with a modifier; a bare letter beeps. Each
// then works as a hot key at once.
TEST_F(X11SettingsWindowTest, RecordsEveryKindOfKeyByItsScanCode)
{
    ASSERT_EQ(test::run("setxkbmap us"), 0);
    const struct {
        const char* keys;
        Shortcut stored;
        const char* shown;
    } rows[] = {
        {"ctrl+alt+a", {0, ctrlOpt}, "Ctrl+Alt+A"},
        {"Print", {linuxKeyBase + 99, 0}, "Print"},
        {"Pause", {linuxKeyBase + 119, 0}, "Pause"},
        {"XF86AudioPlay", {linuxKeyBase + 164, 0}, "Play"},
        {"ctrl+Menu", {linuxKeyBase + 127, 0x1000}, "Ctrl+Menu"},
        {"ctrl+alt+KP_End", {83, ctrlOpt}, "Ctrl+Alt+Keypad 1"},
    };
    ShortcutRecorder* r = ui().recorder(WindowCommand{WindowAction::leftHalf});
    for (const auto& row : rows) {
        record(r, row.keys);
        EXPECT_EQ(controller->store().settings().windowShortcuts.at(WindowAction::leftHalf), row.stored) << row.keys;
        EXPECT_EQ(r->button()->text().toStdString(), row.shown);
        EXPECT_FALSE(controller->failedActions().contains(WindowCommand{WindowAction::leftHalf})) << row.keys;

        TestWindow w({"--geometry", "400x300+100+500"});
        ASSERT_TRUE(x.activate(w.id()));
        ASSERT_EQ(test::run(std::string("xdotool key ") + row.keys), 0);
        EXPECT_TRUE(landsAt(w.id(), leftHalf)) << row.keys;
    }

    // A bare letter types text: refused, and the recording goes on until Escape ends it.
    window->raise();
    window->activateWindow();
    click(r);
    ASSERT_TRUE(QTest::qWaitFor([&] { return grabs->inputGrabbed(); }));
    ASSERT_EQ(test::run("xdotool key a Escape"), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !r->isRecording(); }));
    EXPECT_EQ(controller->store().settings().windowShortcuts.at(WindowAction::leftHalf), (Shortcut{83, ctrlOpt}));
}
