// The settings window's tabs: conflict warnings, restoring the default shortcuts, the gap
// slider, adding and removing applications, the folder line, outside edits of the file, the
// system-tiling note, and the welcome window.

#include "AppChooser.h"
#include "FileSizeLimit.h"
#include "KeyboardLayout.h"
#include "OnboardingWindow.h"
#include "SettingsUiSupport.h"
#include "SettingsWidgets.h"
#include "SettingsWindow.h"
#include "SettingsWindows.h"
#include "ShortcutRecorder.h"
#include "Translations.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QStandardPaths>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace quandrel;
using namespace quandrel::test;

namespace {

class SettingsWindowTest : public ::testing::Test, public ControllerFixture {
protected:
    void SetUp() override
    {
        catalog.apps = {{"org.gnome.TextEditor", "Text Editor", ""},
                        {"firefox-esr", "Firefox ESR", "/nonexistent/firefox.png"},
                        {"xterm", "XTerm", "xterm-color"},
                        {"org.gnome.Nautilus", "Files", "org.gnome.Nautilus"}};
    }
    SettingsWindow& open()
    {
        window = std::make_unique<SettingsWindow>(controller->settingsContext(), catalog);
        window->show();
        return *window;
    }
    ShortcutRecorder* recorderOf(const Command& c) { return ui().recorder(c); }

    SettingsWindowParts ui() const { return {window.get()}; }
    std::unique_ptr<SettingsWindow> window;
};

const Command leftHalf = WindowCommand{WindowAction::leftHalf};
const Command captureArea = CaptureCommand{CaptureMode::area, std::nullopt};

} // namespace

TEST_F(SettingsWindowTest, TabsInTheirOrderWithSymbolsAndTitle)
{
    open();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Quandrel Settings"));
    QStringList titles;
    for (int i = 0; i < ui().tabs()->count(); ++i) {
        titles << ui().tabs()->tabText(i);
        EXPECT_FALSE(ui().tabs()->tabIcon(i).isNull());
    }
    EXPECT_EQ(titles, (QStringList{"General", "Windows", "Apps", "Screenshots"}));
    for (const WindowAction a : allWindowActions)
        EXPECT_TRUE(recorderOf(WindowCommand{a})) << title(a);
    for (const CaptureMode m : allCaptureModes)
        EXPECT_TRUE(recorderOf(CaptureCommand{m, std::nullopt})) << title(m);
    // No "Updates" section without the updater's.
    for (const QObject* child : window->findChildren<QWidget*>())
        EXPECT_NE(child->property("title").toString(), QStringLiteral("Updates"));
}

TEST_F(SettingsWindowTest, UpdatesSectionComesFromTheFactory)
{
    QLabel* made = nullptr;
    SettingsWindow w(controller->settingsContext(), catalog, [&](QWidget* parent) { return made = new QLabel(QStringLiteral("updates here"), parent); });
    ASSERT_TRUE(made);
    EXPECT_EQ(made->window(), &w);
}

TEST_F(SettingsWindowTest, SharedShortcutsWarnBothRowsWithTheOthersNames)
{
    catalog.apps.push_back({"org.example.Gone", "Gone", ""});
    change([](QuandrelSettings& s) {
        s.captureShortcuts[CaptureMode::area] = s.windowShortcuts.at(WindowAction::leftHalf);
        s.appBindings.push_back({"org.gnome.TextEditor", "Editor (stored name)", s.windowShortcuts.at(WindowAction::leftHalf),
                                 FrontmostBehavior::hide});
        s.appBindings.push_back({"org.example.Uninstalled", "Uninstalled", Shortcut{3, 0x1800}, FrontmostBehavior::hide});
    });
    open();
    // Left Half holds the hot key; the later ones are refused by the platform and say so.
    EXPECT_EQ(recorderOf(leftHalf)->helpText(), QStringLiteral("Also used for Capture Area, Text Editor"));
    EXPECT_EQ(recorderOf(captureArea)->helpText(), ShortcutRecorder::failedText);
    EXPECT_FALSE(recorderOf(captureArea)->warning()->isHidden());
    // The conflict text itself, with an uninstalled app named by its ID.
    const QuandrelSettings s = settings();
    const AppNameLookup names = [this](const std::string& id) -> std::optional<std::string> {
        if (auto app = catalog.findApplication(id))
            return app->name;
        return std::nullopt;
    };
    EXPECT_EQ(conflictText(captureArea, s, names), QStringLiteral("Also used for Left Half, Text Editor"));
    EXPECT_EQ(conflictText(WindowCommand{WindowAction::centerThird}, s, names), QStringLiteral("Also used for org.example.Uninstalled"));
    EXPECT_EQ(conflictText(WindowCommand{WindowAction::rightHalf}, s, names), QString());
    EXPECT_EQ(conflictText(WindowCommand{WindowAction::almostMaximize}, s, names), QString());

    // Giving Capture Area its own shortcut clears both warnings on the next change.
    ui().tabs()->setCurrentIndex(3);
    QTest::mouseClick(recorderOf(captureArea)->clearButton(), Qt::LeftButton);
    EXPECT_FALSE(settings().captureShortcuts.contains(CaptureMode::area));
    change([](QuandrelSettings& s) { s.appBindings.front().shortcut.reset(); });
    EXPECT_EQ(recorderOf(leftHalf)->helpText(), QString());
    EXPECT_TRUE(recorderOf(leftHalf)->warning()->isHidden());
}

TEST_F(SettingsWindowTest, RestoreDefaultsBringsBackWindowShortcutsOnly)
{
    const Shortcut ownCapture{7, 0x1100};
    change([&](QuandrelSettings& s) {
        s.windowShortcuts.erase(WindowAction::leftHalf);
        s.windowShortcuts[WindowAction::rightHalf] = Shortcut{97, 0};
        s.captureShortcuts[CaptureMode::area] = ownCapture;
        s.appBindings.push_back({"xterm", "XTerm", Shortcut{7, 0x1800}, FrontmostBehavior::cycleWindows});
        s.gap = 9;
    });
    open();
    EXPECT_EQ(recorderOf(leftHalf)->button()->text(), QStringLiteral("Record Shortcut"));
    QSignalSpy writes(&controller->store(), &SettingsStore::settingsChanged);
    QTest::mouseClick(ui().restoreDefaultsButton(), Qt::LeftButton);
    EXPECT_EQ(writes.count(), 1);
    const QuandrelSettings s = settings();
    EXPECT_EQ(s.windowShortcuts, defaultWindowShortcuts());
    EXPECT_EQ(s.captureShortcuts.at(CaptureMode::area), ownCapture);
    ASSERT_EQ(s.appBindings.size(), 1u);
    EXPECT_EQ(s.appBindings[0].shortcut, (Shortcut{7, 0x1800}));
    EXPECT_EQ(s.gap, 9);
    EXPECT_EQ(recorderOf(leftHalf)->button()->text(), QStringLiteral("Ctrl+Alt+←"));
}

TEST_F(SettingsWindowTest, GapSliderStopsAtThirtyAndShowsPoints)
{
    change([](QuandrelSettings& s) { s.gap = 12.0; });
    open();
    EXPECT_EQ(ui().gapSlider()->value(), 12);
    EXPECT_EQ(ui().gapLabel()->text(), QStringLiteral("12 pt"));
    EXPECT_EQ(ui().gapSlider()->minimum(), 0);
    EXPECT_EQ(ui().gapSlider()->maximum(), 30);

    ui().gapSlider()->setFocus();
    QTest::keyClick(ui().gapSlider(), Qt::Key_End);
    EXPECT_EQ(settings().gap, 30);
    EXPECT_EQ(ui().gapLabel()->text(), QStringLiteral("30 pt"));
    QTest::keyClick(ui().gapSlider(), Qt::Key_Right);
    EXPECT_EQ(settings().gap, 30);
    QTest::keyClick(ui().gapSlider(), Qt::Key_Left);
    EXPECT_EQ(settings().gap, 29);
    QTest::keyClick(ui().gapSlider(), Qt::Key_Home);
    EXPECT_EQ(settings().gap, 0);
    EXPECT_EQ(ui().gapLabel()->text(), QStringLiteral("0 pt"));

    // A hand-edited gap beyond the range shows the slider's end, and is left as it is.
    change([](QuandrelSettings& s) { s.gap = 45.5; });
    EXPECT_EQ(ui().gapSlider()->value(), 30);
    EXPECT_EQ(settings().gap, 45.5);
}

// Dragging the gap applies every step at once, grabs no hot key again and writes the file
// once, when the slider is let go; steps made with the keys are written once they rest.
TEST_F(SettingsWindowTest, DraggingTheGapAppliesEachStepAndWritesOnce)
{
    open();
    const auto written = [this] { return SettingsStore(controller->store().path()).settings().gap; };
    QSlider* slider = ui().gapSlider();
    const std::uint32_t ids = controller->hotKeys().nextID();
    slider->setSliderDown(true);
    for (int value = 1; value <= 20; ++value) {
        slider->setValue(value);
        EXPECT_EQ(controller->windows().gap, value);
    }
    EXPECT_EQ(written(), 0);
    EXPECT_EQ(controller->hotKeys().nextID(), ids);
    slider->setSliderDown(false);
    EXPECT_EQ(written(), 20);

    slider->setFocus();
    QTest::keyClick(slider, Qt::Key_Left);
    EXPECT_EQ(controller->windows().gap, 19);
    EXPECT_EQ(written(), 20);
    EXPECT_TRUE(QTest::qWaitFor([&] { return written() == 19; }));
}

// While a save fails the window says so in one line; the next change that is saved ends it.
TEST_F(SettingsWindowTest, ASaveThatFailsIsNamedUntilOneSucceeds)
{
    open();
    EXPECT_TRUE(ui().saveNotice()->isHidden());
    {
        test::FileSizeLimit full;
        ui().dragSwitch()->click();
    }
    EXPECT_FALSE(settings().dragToSnap);
    EXPECT_FALSE(ui().saveNotice()->isHidden());
    EXPECT_TRUE(ui().saveNotice()->findChild<settingsui::ElidedLabel*>()->fullText().startsWith(QStringLiteral("Settings couldn't be saved")));
    ui().restoreSizeSwitch()->click();
    EXPECT_TRUE(ui().saveNotice()->isHidden());
    EXPECT_FALSE(SettingsStore(controller->store().path()).settings().dragToSnap);
}

TEST_F(SettingsWindowTest, EveryControlWritesItsMemberOnce)
{
    open();
    QSignalSpy writes(&controller->store(), &SettingsStore::settingsChanged);
    ui().repeatPicker()->setCurrentIndex(2);
    EXPECT_EQ(settings().repeatBehavior, RepeatBehavior::nothing);
    ui().dragSwitch()->click();
    EXPECT_FALSE(settings().dragToSnap);
    ui().restoreSizeSwitch()->click();
    EXPECT_FALSE(settings().restoreSizeOnDrag);
    ui().afterCapturePicker()->setCurrentIndex(4);
    EXPECT_EQ(settings().afterCapture, AfterCapture::save);
    EXPECT_EQ(writes.count(), 4);
    EXPECT_EQ(ui().repeatPicker()->itemText(0), QStringLiteral("Cycle through ½, ⅔ and ⅓"));
    EXPECT_EQ(ui().afterCapturePicker()->itemText(0), QStringLiteral("Copy and show a thumbnail"));
}

// Another program edits the file while the window is open: the window shows its values,
// and the person's own earlier change, written at once, is still there.
TEST_F(SettingsWindowTest, OutsideEditsShowUpAndKeepThePersonsChanges)
{
    open();
    ui().dragSwitch()->click();
    ASSERT_FALSE(settings().dragToSnap);
    {
        SettingsStore other(controller->store().path());
        QuandrelSettings next = other.settings();
        EXPECT_FALSE(next.dragToSnap);
        next.gap = 7;
        next.repeatBehavior = RepeatBehavior::acrossDisplays;
        other.setSettings(next);
    }
    controller->store().reload(); // what the file watcher does
    EXPECT_EQ(ui().gapLabel()->text(), QStringLiteral("7 pt"));
    EXPECT_EQ(ui().repeatPicker()->currentIndex(), 1);
    EXPECT_FALSE(ui().dragSwitch()->isChecked());
    EXPECT_FALSE(settings().dragToSnap);
    // Showing the new values wrote nothing back.
    SettingsStore reread(controller->store().path());
    EXPECT_EQ(reread.settings(), settings());
}

TEST_F(SettingsWindowTest, AddingApplicationsSkipsBoundOnesInOneChange)
{
    change([](QuandrelSettings& s) { s.appBindings.push_back({"xterm", "XTerm", std::nullopt, FrontmostBehavior::hide}); });
    open();
    ui().tabs()->setCurrentIndex(2);
    ASSERT_EQ(ui().appRows().size(), 1u);
    QTest::mouseClick(ui().addAppsButton(), Qt::LeftButton);
    AppChooser* chooser = ui().appChooser();
    ASSERT_TRUE(chooser);
    EXPECT_EQ(chooser->list()->count(), 4);
    EXPECT_FALSE(chooser->addButton()->isEnabled());
    EXPECT_FALSE(chooser->select("xterm")); // listed, but already bound
    // Searching hides what does not match, by name or ID.
    QTest::keyClicks(chooser->search(), QStringLiteral("nautilus"));
    int shown = 0;
    for (int i = 0; i < chooser->list()->count(); ++i)
        shown += chooser->list()->item(i)->isHidden() ? 0 : 1;
    EXPECT_EQ(shown, 1);
    chooser->search()->clear();
    EXPECT_TRUE(chooser->select("org.gnome.Nautilus"));
    EXPECT_TRUE(chooser->select("org.gnome.TextEditor"));
    EXPECT_TRUE(chooser->select("firefox-esr"));
    QSignalSpy writes(&controller->store(), &SettingsStore::settingsChanged);
    QTest::mouseClick(chooser->addButton(), Qt::LeftButton);
    EXPECT_EQ(writes.count(), 1);
    std::vector<std::string> ids;
    for (const AppBinding& b : settings().appBindings)
        ids.push_back(b.desktopId);
    // In the chooser's order, after the one already there.
    EXPECT_EQ(ids, (std::vector<std::string>{"xterm", "org.gnome.TextEditor", "firefox-esr", "org.gnome.Nautilus"}));
    EXPECT_EQ(settings().appBindings[1].name, "Text Editor");
    EXPECT_FALSE(settings().appBindings[1].shortcut);
    EXPECT_EQ(settings().appBindings[1].whenFrontmost, FrontmostBehavior::hide);
    ASSERT_EQ(ui().appRows().size(), 4u);
    EXPECT_EQ(ui().appRows()[3].name->text(), QStringLiteral("Files"));

    // The same logic without the chooser: a bound app and a repeat are skipped.
    const auto added = addApplications(settings().appBindings, {{"xterm", "XTerm", ""}, {"new.app", "", ""}, {"new.app", "New", ""}});
    ASSERT_EQ(added.size(), 5u);
    EXPECT_EQ(added[4].desktopId, "new.app");
    EXPECT_EQ(added[4].name, "new.app");
}

TEST_F(SettingsWindowTest, AppRowsEditAndRemoveAlsoWhenUninstalled)
{
    change([](QuandrelSettings& s) {
        s.appBindings.push_back({"org.example.Removed", "Removed App", Shortcut{7, 0x1800}, FrontmostBehavior::hide});
        s.appBindings.push_back({"xterm", "XTerm", std::nullopt, FrontmostBehavior::hide});
    });
    open();
    ui().tabs()->setCurrentIndex(2);
    ASSERT_EQ(ui().appRows().size(), 2u);
    const auto gone = ui().appRows()[0];
    EXPECT_EQ(gone.name->text(), QStringLiteral("Removed App"));
    EXPECT_TRUE(gone.icon->toolTip().contains(QStringLiteral("org.example.Removed")));
    EXPECT_FALSE(gone.icon->pixmap().isNull()); // the fallback symbol
    EXPECT_EQ(gone.recorder->button()->text(), QStringLiteral("Ctrl+Alt+Key 7"));
    EXPECT_EQ(gone.whenInFront->toolTip(), QStringLiteral("What the shortcut does when the app is already in front"));

    ui().appRows()[1].whenInFront->setCurrentIndex(1);
    EXPECT_EQ(settings().appBindings[1].whenFrontmost, FrontmostBehavior::cycleWindows);

    QTest::mouseClick(ui().appRows()[0].remove, Qt::LeftButton);
    ASSERT_EQ(settings().appBindings.size(), 1u);
    EXPECT_EQ(settings().appBindings[0].desktopId, "xterm");
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(ui().appRows().size(), 1u);
    EXPECT_EQ(ui().appRows()[0].whenInFront->currentIndex(), 1);
    EXPECT_FALSE(ui().recorder(AppCommand{"org.example.Removed"}));
}

TEST_F(SettingsWindowTest, FolderLineShowsWhereTheNextSaveGoes)
{
    QTemporaryDir chosen;
    const QString folder = chosen.filePath(QStringLiteral("shots"));
    ASSERT_TRUE(QDir().mkpath(folder));
    change([&](QuandrelSettings& s) { s.saveFolderBookmark = folder.toUtf8(); });
    open();
    ui().tabs()->setCurrentIndex(3);
    EXPECT_EQ(ui().folderLabel()->fullText(), folder);
    EXPECT_TRUE(ui().resetFolderButton()->isEnabled());

    // Deleted meanwhile: the line shows the fallback once the window is shown again.
    ASSERT_TRUE(QDir(folder).removeRecursively());
    window->hide();
    window->show();
    const QString fallback = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation) + QStringLiteral("/Quandrel");
    EXPECT_EQ(ui().folderLabel()->fullText(), fallback);
    EXPECT_EQ(controller->store().screenshotsFolder(), fallback);

    QTest::mouseClick(ui().resetFolderButton(), Qt::LeftButton);
    EXPECT_FALSE(settings().saveFolderBookmark);
    EXPECT_FALSE(ui().resetFolderButton()->isEnabled());
}

TEST_F(SettingsWindowTest, SystemTilingNoteAndItsButton)
{
    desktop.setSystemTiling({true, true});
    open();
    EXPECT_FALSE(ui().tilingNote()->isHidden());
    EXPECT_TRUE(ui().tilingNoteText()->text().contains(QStringLiteral("the left and right edges and corners and the top edge")));
    EXPECT_TRUE(ui().tilingButton()->isHidden()); // the fake knows no settings page

    desktop.setSystemTiling({false, false});
    window->readSystemTiling();
    EXPECT_TRUE(ui().tilingNote()->isHidden());

    EXPECT_TRUE(ui().dragSwitch()->isEnabled());
    // KWin on Wayland snaps dragged windows itself: Quandrel says so, and its switches rest.
    desktop.setSystemTiling({true, true, "KWin"});
    window->readSystemTiling();
    EXPECT_TRUE(ui().tilingNoteText()->text().contains(QStringLiteral("tiled by KWin itself")));
    EXPECT_FALSE(ui().dragSwitch()->isEnabled());
    EXPECT_FALSE(ui().restoreSizeSwitch()->isEnabled());
    EXPECT_EQ(systemTilingNote({false, true}, TilingSettingsPage{"Screen Edges", "kcmshell6", {"kcm_kwinscreenedges"}}),
              QStringLiteral("Your desktop already tiles windows dragged to the top edge, so Quandrel leaves those to it. To use "
                             "Quandrel's layouts and gaps there too, turn off tiling by dragging in the desktop's settings → Screen "
                             "Edges."));
    EXPECT_EQ(tilingSettingsButtonTitle({"Multitasking", "gnome-control-center", {"multitasking"}}),
              QStringLiteral("Open Multitasking Settings…"));
}

TEST_F(SettingsWindowTest, PermissionRowsFollowTheDesktop)
{
    open();
    auto rows = window->findChildren<settingsui::PermissionRow*>();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_TRUE(rows[0]->isGranted());
    desktop.setTrusted(false);
    controller->permissions().refresh();
    EXPECT_FALSE(rows[0]->isGranted());
    EXPECT_TRUE(rows[1]->isGranted());
    EXPECT_EQ(rows[0]->accessibleName(), QStringLiteral("Window Control"));
}

// Every control can be reached with Tab and has a name for screen readers.
TEST_F(SettingsWindowTest, ControlsHaveAccessibleNames)
{
    change([](QuandrelSettings& s) { s.appBindings.push_back({"xterm", "XTerm", std::nullopt, FrontmostBehavior::hide}); });
    open();
    for (QWidget* w : window->findChildren<QWidget*>()) {
        const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) || qobject_cast<QSlider*>(w);
        if (!control || w->isHidden() || qobject_cast<QTabBar*>(w->parent()))
            continue;
        const auto* button = qobject_cast<QAbstractButton*>(w);
        EXPECT_FALSE(w->accessibleName().isEmpty() && (!button || button->text().isEmpty())) << w->metaObject()->className();
        EXPECT_NE(w->focusPolicy() & Qt::TabFocus, 0) << w->metaObject()->className() << " " << w->accessibleName().toStdString();
    }
}

TEST(Onboarding, WhenItAppears)
{
    QuandrelSettings fresh;
    EXPECT_TRUE(needsOnboarding(fresh, true));
    QuandrelSettings done;
    done.hasCompletedOnboarding = true;
    EXPECT_FALSE(needsOnboarding(done, true));
    EXPECT_TRUE(needsOnboarding(done, false));

    ControllerFixture first; // no settings stored
    EXPECT_EQ(first.presenter.onboardingShown, 1);
    EXPECT_TRUE(first.controller->permissions().isPolling());

    ControllerFixture completed(done);
    EXPECT_EQ(completed.presenter.onboardingShown, 0);
}

TEST(Onboarding, ShownAgainWhileWindowControlIsMissing)
{
    QuandrelSettings done;
    done.hasCompletedOnboarding = true;
    FakeDesktop desktop;
    desktop.setTrusted(false);
    NoCapture capture;
    CountingPresenter presenter;
    ManualClock clock;
    QTemporaryDir dir;
    auto store = std::make_unique<SettingsStore>(dir.filePath(QStringLiteral("settings.json")));
    store->setSettings(done);
    AppController controller(desktop.services(), std::move(store), AppServices{capture, presenter, nullptr}, clock.scheduler());
    controller.start();
    EXPECT_EQ(presenter.onboardingShown, 1);
}

TEST(Onboarding, ButtonSaysDoneOrLaterAndBothFinish)
{
    ControllerFixture f;
    OnboardingWindow window(f.controller->settingsContext());
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Welcome to Quandrel"));
    EXPECT_EQ(window.finishButton()->text(), QStringLiteral("Done"));
    EXPECT_TRUE(window.finishButton()->isDefault());
    f.desktop.setScreenRecordingAllowed(false);
    f.clock.advance(PermissionMonitor::pollInterval); // the poll notices
    EXPECT_EQ(window.finishButton()->text(), QStringLiteral("Later"));
    EXPECT_FALSE(window.screenReadingRow()->isGranted());

    window.show();
    QTest::keyClick(&window, Qt::Key_Return);
    EXPECT_TRUE(f.settings().hasCompletedOnboarding);
    EXPECT_EQ(f.presenter.onboardingClosed, 1);
    EXPECT_FALSE(f.controller->permissions().isPolling());
}

// "Try it" names the shortcuts that work; taken ones (the desktop's workspace keys) are named
// as taken, with a link to the tab where they change.
TEST(Onboarding, TryItNamesTheShortcutsThatWork)
{
    const Command left = WindowCommand{WindowAction::leftHalf}, right = WindowCommand{WindowAction::rightHalf};
    const Command area = CaptureCommand{CaptureMode::area, std::nullopt}, text = CaptureCommand{CaptureMode::text, std::nullopt};
    QuandrelSettings cleared;
    cleared.windowShortcuts.clear();
    const auto works = [](const char* text) { return TryItLine{QString::fromUtf8(text), QString(), SettingsTab::general}; };
    const struct {
        QuandrelSettings settings;
        std::set<Command> taken;
        TryItLine halves, captures;
    } rows[] = {
        {{}, {},
         works("Ctrl+Alt+← and Ctrl+Alt+→ snap a window to the left or right half. Press again for ⅔ and ⅓."),
         works("Shift+Super+2 captures an area, Shift+Super+1 the whole screen, Shift+Super+7 copies the text in an area.")},
        {{}, {left, right},
         {"Ctrl+Alt+← (Left Half) and Ctrl+Alt+→ (Right Half) are taken by another program; choose others in Settings → Windows.",
          "Settings → Windows", SettingsTab::windows},
         works("Shift+Super+2 captures an area, Shift+Super+1 the whole screen, Shift+Super+7 copies the text in an area.")},
        {{}, {left, area, text},
         {"Ctrl+Alt+→ snaps a window to the right half. Press again for ⅔ and ⅓. Ctrl+Alt+← (Left Half) is taken by another "
          "program; choose another in Settings → Windows.",
          "Settings → Windows", SettingsTab::windows},
         {"Shift+Super+1 captures the whole screen. Shift+Super+2 (Capture Area) and Shift+Super+7 (Copy Text from Area (OCR)) are "
          "taken by another program; choose others in Settings → Screenshots.",
          "Settings → Screenshots", SettingsTab::screenshots}},
        {cleared, {},
         {"Give Left Half and Right Half a shortcut in Settings → Windows.", "Settings → Windows", SettingsTab::windows},
         works("Shift+Super+2 captures an area, Shift+Super+1 the whole screen, Shift+Super+7 copies the text in an area.")},
    };
    const auto us = XkbKeyboardLayout::fromNames("us");
    for (const auto& row : rows) {
        const auto lines = tryItLines(row.settings, row.taken, us.get());
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_EQ(lines[0].text.toStdString(), row.halves.text.toStdString());
        EXPECT_EQ(lines[0], row.halves);
        EXPECT_EQ(lines[1].text.toStdString(), row.captures.text.toStdString());
        EXPECT_EQ(lines[1], row.captures);
        EXPECT_EQ(lines[2], (TryItLine{"Add app shortcuts in Settings → Apps.", "Settings → Apps", SettingsTab::apps}));
    }

    // The window follows the taken shortcuts, and its link opens the tab.
    ControllerFixture f;
    OnboardingWindow window(f.controller->settingsContext());
    QLabel* halves = window.tryItLabels().at(0);
    EXPECT_FALSE(halves->text().contains(QStringLiteral("<a ")));
    f.desktop.takeByOtherProgram({123, 0x1800});
    // The hot keys registered again (as after recording a shortcut) meet the taken one.
    f.controller->suspendHotKeys();
    f.controller->resumeHotKeys();
    ASSERT_TRUE(f.controller->failedActions().contains(left));
    EXPECT_TRUE(halves->text().contains(QStringLiteral("Ctrl+Alt+← (Left Half) is taken"))) << halves->text().toStdString();
    EXPECT_TRUE(halves->text().contains(QStringLiteral("<a ")));
    Q_EMIT halves->linkActivated(QStringLiteral("settings:1"));
    EXPECT_EQ(f.presenter.tabsShown, (std::vector<SettingsTab>{SettingsTab::windows}));
}

TEST(SettingsWindowsPresenter, MadeOnceKeptAndReshown)
{
    ControllerFixture f;
    SettingsWindows windows(f.catalog);
    windows.showSettings(); // no controller yet: nothing
    EXPECT_FALSE(windows.settingsWindow());
    windows.setContext(f.controller->settingsContext());
    windows.showSettings();
    SettingsWindow* first = windows.settingsWindow();
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->isVisible());
    first->close();
    windows.showSettings();
    EXPECT_EQ(windows.settingsWindow(), first);
    EXPECT_TRUE(first->isVisible());

    windows.showOnboarding();
    ASSERT_TRUE(windows.onboardingWindow());
    EXPECT_TRUE(windows.onboardingWindow()->isVisible());
    windows.closeOnboarding();
    EXPECT_FALSE(windows.onboardingWindow()->isVisible());
}

// Quitting while a shortcut is recorded, with the presenter made before the controller as
// main() makes it: the windows go before the controller's parts do, and the recording ends
// against a controller that is still whole (settings_ui_quit_memcheck runs this under
// valgrind).
TEST(SettingsWindowsPresenter, QuittingWhileRecordingDestroysTheWindowsFirst)
{
    FakeCatalog catalog;
    SettingsWindows windows(catalog);
    QTemporaryDir dir;
    FakeDesktop desktop;
    desktop.addDisplay({0, 0, 1440, 900}, {0, 0, 1440, 875});
    NoCapture capture;
    ManualClock clock;
    auto controller = std::make_unique<AppController>(desktop.services(), std::make_unique<SettingsStore>(dir.filePath(QStringLiteral("settings.json"))),
                                                      AppServices{capture, windows, nullptr}, clock.scheduler());
    windows.setContext(controller->settingsContext());
    controller->start();
    windows.showSettings();
    const QPointer<SettingsWindow> shown = windows.settingsWindow();
    ShortcutRecorder* recorder = SettingsWindowParts{shown}.recorder(leftHalf);
    ASSERT_TRUE(recorder);
    QTest::mouseClick(recorder->button(), Qt::LeftButton);
    ASSERT_TRUE(recorder->isRecording());
    ASSERT_TRUE(desktop.ownWindows.grabbed);

    controller.reset();
    EXPECT_FALSE(shown);
    EXPECT_FALSE(windows.onboardingWindow());
    EXPECT_FALSE(desktop.ownWindows.grabbed);
    windows.showSettings(); // nothing left to show it with
    EXPECT_FALSE(windows.settingsWindow());
}

// Runs under a German locale (ctest's settings_ui_tests_german); elsewhere it is skipped.
TEST_F(SettingsWindowTest, GermanLocaleTranslatesTheWindow)
{
    if (QLocale().language() != QLocale::German)
        GTEST_SKIP() << "needs LANG=de_DE.UTF-8";
    installTranslations(*QCoreApplication::instance());
    open();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Quandrel-Einstellungen"));
    QStringList titles;
    for (int i = 0; i < ui().tabs()->count(); ++i)
        titles << ui().tabs()->tabText(i);
    EXPECT_EQ(titles, (QStringList{"Allgemein", "Fenster", "Anwendungen", "Bildschirmfotos"}));
    // Modifiers in the desktop's German names, the arrow as a symbol.
    EXPECT_EQ(recorderOf(leftHalf)->button()->text(), QStringLiteral("Strg+Alt+←"));
}
