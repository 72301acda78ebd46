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
const Shortcut leftHalfDefault{123, ctrlOpt};

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
}

// Ctrl+Alt+← is Left Half's: recorded for Right Half it is taken as it is; afterwards Left Half
// (earlier in the list) keeps the hot key, Right Half is refused, and both rows warn.
TEST_F(RecorderTest, ACombinationInUseIsRecordedAndBothRowsWarn)
{
    ShortcutRecorder* right = recorder(WindowAction::rightHalf);
    startRecording(right);
    pressKey(right->button(), Qt::Key_Left, Qt::ControlModifier | Qt::AltModifier, xkey::left);
    EXPECT_FALSE(right->isRecording());
    EXPECT_EQ(windowShortcut(WindowAction::rightHalf), leftHalfDefault);
    EXPECT_EQ(desktop.beeps(), 0);

    EXPECT_TRUE(controller->failedActions().contains(WindowCommand{WindowAction::rightHalf}));
    EXPECT_FALSE(controller->failedActions().contains(WindowCommand{WindowAction::leftHalf}));
    ShortcutRecorder* left = recorder(WindowAction::leftHalf);
    EXPECT_TRUE(left->warning()->isVisible());
    EXPECT_EQ(left->helpText(), QStringLiteral("Also used for Right Half"));
    EXPECT_TRUE(right->warning()->isVisible());
    EXPECT_EQ(right->helpText(), ShortcutRecorder::failedText);
    EXPECT_EQ(right->button()->toolTip(), ShortcutRecorder::failedText);
    EXPECT_FALSE(recorder(WindowAction::topHalf)->warning()->isVisible());
    // The combination does Left Half's work.
    EXPECT_TRUE(desktop.press({123, ctrlOpt}));

    // One the desktop holds, and names, is named where the row warns.
    ShortcutRecorder* top = recorder(WindowAction::topHalf);
    desktop.takeByOtherProgram({97, ctrlOpt}, "KWin: Maximize Window Vertically");
    startRecording(top);
    pressKey(top->button(), Qt::Key_F6, Qt::ControlModifier | Qt::AltModifier, xkey::f6);
    EXPECT_EQ(top->helpText(), QStringLiteral("This shortcut is taken by KWin: Maximize Window Vertically."));
    EXPECT_TRUE(top->warning()->isVisible());
}

// A bare key that types text beeps; F-keys, Print, Scroll Lock and the media keys are
// recorded alone.
TEST_F(RecorderTest, KeysWithoutModifierBeepUnlessTheyTypeNothing)
{
    ShortcutRecorder* r = recorder(WindowAction::center);
    startRecording(r);
    pressKey(r->button(), Qt::Key_A, Qt::NoModifier, xkey::a);
    EXPECT_EQ(desktop.beeps(), 1);
    EXPECT_TRUE(r->isRecording());
    // Modifier keys on their way to a combination are neither recorded nor refused.
    pressKey(r->button(), Qt::Key_Shift, Qt::ShiftModifier, xkey::shiftL);
    pressKey(r->button(), Qt::Key_Control, Qt::ControlModifier, xkey::controlL);
    EXPECT_EQ(desktop.beeps(), 1);
    EXPECT_TRUE(r->isRecording());
    pressKey(r->button(), Qt::Key_A, Qt::ShiftModifier, xkey::a);
    EXPECT_FALSE(r->isRecording());
    EXPECT_EQ(windowShortcut(WindowAction::center), (Shortcut{0, 0x0200}));
    EXPECT_EQ(r->button()->text(), QStringLiteral("Shift+Key 0")); // no layout in the fake: the key's number

    startRecording(r);
    pressKey(r->button(), Qt::Key_F6, Qt::NoModifier, xkey::f6);
    EXPECT_FALSE(r->isRecording());
    EXPECT_EQ(windowShortcut(WindowAction::center), (Shortcut{97, 0}));
    EXPECT_EQ(r->button()->text(), QStringLiteral("F6"));

    for (const auto& [key, xKeycode, stored, text] : {std::tuple{Qt::Key_Print, xkey::print, linuxKeyBase + 99, "Print"},
                                                      std::tuple{Qt::Key_ScrollLock, xkey::scrollLock, linuxKeyBase + 70, "Scroll Lock"}}) {
        startRecording(r);
        pressKey(r->button(), key, Qt::NoModifier, xKeycode);
        EXPECT_FALSE(r->isRecording()) << text;
        EXPECT_EQ(windowShortcut(WindowAction::center), (Shortcut{stored, 0}));
        EXPECT_EQ(r->button()->text(), QString::fromUtf8(text));
    }
    EXPECT_EQ(desktop.beeps(), 1);
}

TEST_F(RecorderTest, DeleteAloneClearsWithControlItIsRecorded)
{
    ShortcutRecorder* r = recorder(WindowAction::maximize);
    startRecording(r);
    pressKey(r->button(), Qt::Key_Backspace, Qt::ControlModifier, xkey::backspace);
    EXPECT_EQ(windowShortcut(WindowAction::maximize), (Shortcut{51, 0x1000}));
    EXPECT_EQ(r->button()->text(), QStringLiteral("Ctrl+Backspace"));

    startRecording(r);
    pressKey(r->button(), Qt::Key_Backspace, Qt::NoModifier, xkey::backspace);
    EXPECT_FALSE(r->isRecording());
    EXPECT_FALSE(windowShortcut(WindowAction::maximize));
    EXPECT_EQ(r->button()->text(), QStringLiteral("Record Shortcut"));
    EXPECT_FALSE(r->clearButton()->isVisible());

    // The Delete key of a PC keyboard clears too.
    ShortcutRecorder* other = recorder(WindowAction::smaller);
    startRecording(other);
    pressKey(other->button(), Qt::Key_Delete, Qt::NoModifier, xkey::del);
    EXPECT_FALSE(windowShortcut(WindowAction::smaller));
    EXPECT_EQ(desktop.beeps(), 0);
}

TEST_F(RecorderTest, EscapeAloneCancelsWithShiftItIsRecorded)
{
    ShortcutRecorder* r = recorder(WindowAction::larger);
    const auto before = windowShortcut(WindowAction::larger);
    startRecording(r);
    pressKey(r->button(), Qt::Key_Escape, Qt::NoModifier, xkey::escape);
    EXPECT_FALSE(r->isRecording());
    EXPECT_EQ(windowShortcut(WindowAction::larger), before);
    EXPECT_TRUE(window->isVisible()); // the key went to the recorder, not the window

    // With Caps Lock on, Escape is a key without modifier: a beep, and recording goes on.
    startRecording(r);
    pressKey(r->button(), Qt::Key_Escape, Qt::NoModifier, xkey::escape, xLock);
    EXPECT_TRUE(r->isRecording());
    EXPECT_EQ(desktop.beeps(), 1);
    pressKey(r->button(), Qt::Key_Escape, Qt::ShiftModifier, xkey::escape);
    EXPECT_FALSE(r->isRecording());
    EXPECT_EQ(windowShortcut(WindowAction::larger), (Shortcut{53, 0x0200}));
    EXPECT_EQ(r->button()->text(), QStringLiteral("Shift+Escape"));
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

TEST_F(RecorderTest, TheClearButtonRemovesTheShortcut)
{
    ShortcutRecorder* r = recorder(WindowAction::firstThird);
    ASSERT_TRUE(r->clearButton()->isVisible());
    EXPECT_EQ(r->clearButton()->toolTip(), QStringLiteral("Clear"));
    QTest::mouseClick(r->clearButton(), Qt::LeftButton);
    EXPECT_FALSE(windowShortcut(WindowAction::firstThird));
    EXPECT_EQ(hotKeysHeld(), 24u);
    EXPECT_FALSE(r->clearButton()->isVisible());
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
