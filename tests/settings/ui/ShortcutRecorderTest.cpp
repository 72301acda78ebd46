// The shortcut recorder inside the settings window: what each key does while recording, and
// that every way out of recording gives the hot keys and the keyboard back.

#include "SettingsUiSupport.h"
#include "SettingsWindow.h"
#include "ShortcutRecorder.h"

#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include <tuple>

using namespace quandrel;
using namespace quandrel::test;

namespace {

constexpr std::uint32_t ctrlOpt = 0x1800;

class RecorderTest : public ::testing::Test, public ControllerFixture {
protected:
    void SetUp() override
    {
        window = std::make_unique<SettingsWindow>(controller->settingsContext(), catalog);
        ui().tabs()->setCurrentIndex(1);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    ShortcutRecorder* recorder(WindowAction a) { return ui().recorder(WindowCommand{a}); }

    // Starts recording by clicking the recorder, as a person does.
    void startRecording(ShortcutRecorder* r)
    {
        QTest::mouseClick(r->button(), Qt::LeftButton);
        ASSERT_TRUE(r->isRecording());
    }

    std::optional<Shortcut> windowShortcut(WindowAction a)
    {
        const auto& map = settings().windowShortcuts;
        const auto it = map.find(a);
        return it == map.end() ? std::nullopt : std::optional<Shortcut>(it->second);
    }

    std::size_t hotKeysHeld() const { return desktop.grabbedHotKeys().size(); }

    SettingsWindowParts ui() const { return {window.get()}; }
    std::unique_ptr<SettingsWindow> window;
};

} // namespace

TEST_F(RecorderTest, RecordingReleasesEveryHotKeyAndTakesTheKeyboardUntilItEnds)
{
    const std::size_t before = hotKeysHeld();
    ASSERT_EQ(before, 25u);
    ShortcutRecorder* r = recorder(WindowAction::topHalf);
    EXPECT_EQ(r->button()->text(), QStringLiteral("Ctrl+Alt+↑"));
    startRecording(r);
    EXPECT_EQ(r->button()->text(), QStringLiteral("Type shortcut…"));
    EXPECT_FALSE(r->clearButton()->isVisible());
    EXPECT_EQ(hotKeysHeld(), 0u);
    EXPECT_TRUE(controller->hotKeys().isSuspended());
    EXPECT_EQ(desktop.ownWindows.grabbed, window->windowHandle());
    // Nothing fires meanwhile: a press of Left Half's combination moves no window.
    EXPECT_FALSE(desktop.press({123, ctrlOpt}));

    // The button ends it unchanged.
    QTest::mouseClick(r->button(), Qt::LeftButton);
    EXPECT_FALSE(r->isRecording());
    EXPECT_EQ(hotKeysHeld(), before);
    EXPECT_FALSE(desktop.ownWindows.grabbed);
    EXPECT_EQ(windowShortcut(WindowAction::topHalf), (Shortcut{126, ctrlOpt}));

    // So does a click anywhere else, and starting another recorder.
    startRecording(r);
    QTest::mouseClick(ui().restoreDefaultsButton(), Qt::LeftButton);
    EXPECT_FALSE(r->isRecording());
    startRecording(r);
    startRecording(recorder(WindowAction::bottomHalf));
    EXPECT_FALSE(r->isRecording());
    QTest::mouseClick(recorder(WindowAction::bottomHalf)->button(), Qt::LeftButton);
    EXPECT_EQ(hotKeysHeld(), before);
    EXPECT_FALSE(desktop.ownWindows.grabbed);

    // The clear button removes the shortcut and its hot key.
    ASSERT_TRUE(r->clearButton()->isVisible());
    EXPECT_EQ(r->clearButton()->toolTip(), QStringLiteral("Clear"));
    QTest::mouseClick(r->clearButton(), Qt::LeftButton);
    EXPECT_FALSE(windowShortcut(WindowAction::topHalf));
    EXPECT_EQ(hotKeysHeld(), before - 1);
    EXPECT_FALSE(r->clearButton()->isVisible());
}

// What each key does while recording: a bare key that types text beeps and recording goes
// on (Escape with Caps Lock on too); modifier keys on their way to a combination are neither
// recorded nor refused; F-keys, Print and Scroll Lock are recorded alone; Backspace and Delete
// alone clear, Escape alone cancels; with a modifier each is recorded.
TEST_F(RecorderTest, EachKeyRecordsClearsCancelsOrBeeps)
{
    enum Outcome { beeps, goesOn, records, clears, cancels };
    const struct {
        int key;
        Qt::KeyboardModifiers modifiers;
        quint32 xKeycode, native;
        Outcome outcome;
        Shortcut stored = {};
        const char* shown = "";
    } rows[] = {
        {Qt::Key_A, Qt::NoModifier, xkey::a, 0, beeps},
        {Qt::Key_Shift, Qt::ShiftModifier, xkey::shiftL, 0, goesOn},
        {Qt::Key_Control, Qt::ControlModifier, xkey::controlL, 0, goesOn},
        {Qt::Key_A, Qt::ShiftModifier, xkey::a, 0, records, {0, 0x0200}, "Shift+Key 0"}, // no layout in the fake: the key's number
        {Qt::Key_F6, Qt::NoModifier, xkey::f6, 0, records, {97, 0}, "F6"},
        {Qt::Key_Print, Qt::NoModifier, xkey::print, 0, records, {linuxKeyBase + 99, 0}, "Print"},
        {Qt::Key_ScrollLock, Qt::NoModifier, xkey::scrollLock, 0, records, {linuxKeyBase + 70, 0}, "Scroll Lock"},
        {Qt::Key_Backspace, Qt::ControlModifier, xkey::backspace, 0, records, {51, 0x1000}, "Ctrl+Backspace"},
        {Qt::Key_Backspace, Qt::NoModifier, xkey::backspace, 0, clears},
        {Qt::Key_F6, Qt::NoModifier, xkey::f6, 0, records, {97, 0}, "F6"},
        {Qt::Key_Delete, Qt::NoModifier, xkey::del, 0, clears},
        {Qt::Key_F6, Qt::NoModifier, xkey::f6, 0, records, {97, 0}, "F6"},
        {Qt::Key_Escape, Qt::NoModifier, xkey::escape, 0, cancels},
        {Qt::Key_Escape, Qt::NoModifier, xkey::escape, xLock, beeps},
        {Qt::Key_Escape, Qt::ShiftModifier, xkey::escape, 0, records, {53, 0x0200}, "Shift+Escape"},
    };
    ShortcutRecorder* r = recorder(WindowAction::center);
    int expectedBeeps = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.shown);
        SCOPED_TRACE(row.key);
        if (!r->isRecording())
            startRecording(r);
        const auto before = windowShortcut(WindowAction::center);
        pressKey(r->button(), row.key, row.modifiers, row.xKeycode, row.native);
        expectedBeeps += row.outcome == beeps;
        EXPECT_EQ(desktop.beeps(), expectedBeeps);
        EXPECT_EQ(r->isRecording(), row.outcome == beeps || row.outcome == goesOn);
        if (row.outcome == records) {
            EXPECT_EQ(windowShortcut(WindowAction::center), row.stored);
            EXPECT_EQ(r->button()->text(), QString::fromUtf8(row.shown));
        } else if (row.outcome == clears) {
            EXPECT_FALSE(windowShortcut(WindowAction::center));
            EXPECT_EQ(r->button()->text(), QStringLiteral("Record Shortcut"));
            EXPECT_FALSE(r->clearButton()->isVisible());
        } else {
            EXPECT_EQ(windowShortcut(WindowAction::center), before);
        }
    }
    EXPECT_TRUE(window->isVisible()); // Escape went to the recorder, not the window
}

TEST_F(RecorderTest, ClosingTheWindowWhileRecordingRestoresTheHotKeys)
{
    const std::size_t before = hotKeysHeld();
    ShortcutRecorder* r = recorder(WindowAction::restore);
    startRecording(r);
    ASSERT_EQ(hotKeysHeld(), 0u);
    window->close(); // as the window manager's close button does
    EXPECT_FALSE(r->isRecording());
    EXPECT_EQ(hotKeysHeld(), before);
    EXPECT_FALSE(controller->hotKeys().isSuspended());
    EXPECT_FALSE(desktop.ownWindows.grabbed);

    // Switching to another tab ends it as well.
    window->show();
    startRecording(r);
    ui().tabs()->setCurrentIndex(0);
    EXPECT_FALSE(r->isRecording());
    EXPECT_EQ(hotKeysHeld(), before);

    // And so does the window going away entirely.
    ui().tabs()->setCurrentIndex(1);
    startRecording(r);
    window.reset();
    EXPECT_EQ(hotKeysHeld(), before);
    EXPECT_FALSE(controller->hotKeys().isSuspended());
}

// The window going while it records, and another program has taken the shortcut meanwhile:
// the answer that marks it taken reaches a window that is still whole (run under valgrind by
// settings_ui_quit_memcheck).
TEST_F(RecorderTest, AWindowGoingWhileRecordingMeetsTheAnswerWhole)
{
    startRecording(recorder(WindowAction::restore));
    desktop.takeByOtherProgram({51, ctrlOpt});
    int changes = 0;
    QObject::connect(controller.get(), &AppController::failedActionsChanged, [&] { ++changes; });
    window.reset();
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(controller->failedActions().contains(WindowCommand{WindowAction::restore}));
}

// A combination the desktop holds, and names, is named where the row warns.
TEST_F(RecorderTest, ATakenCombinationNamesItsHolder)
{
    ShortcutRecorder* top = recorder(WindowAction::topHalf);
    desktop.takeByOtherProgram({97, ctrlOpt}, "KWin: Maximize Window Vertically");
    startRecording(top);
    pressKey(top->button(), Qt::Key_F6, Qt::ControlModifier | Qt::AltModifier, xkey::f6);
    EXPECT_EQ(top->helpText(), QStringLiteral("This shortcut is taken by KWin: Maximize Window Vertically."));
    EXPECT_TRUE(top->warning()->isVisible());
}
