// The settings window's tabs and the welcome window on the offscreen platform.

#include "FileSizeLimit.h"
#include "OnboardingWindow.h"
#include "SettingsUiSupport.h"
#include "SettingsWindows.h"
#include "Translations.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTabBar>
#include <QTest>
#include <gtest/gtest.h>

using namespace quandrel;
using namespace quandrel::test;

namespace {

class SettingsWindowTest : public ::testing::Test, public ControllerFixture {
protected:
    void SetUp() override
    {
        catalog.apps = {{"org.gnome.TextEditor", "Text Editor", ""}, {"firefox-esr", "Firefox ESR", "/nonexistent/firefox.png"},
                        {"xterm", "XTerm", "xterm-color"}, {"org.gnome.Nautilus", "Files", "org.gnome.Nautilus"}};
    }
    SettingsWindow& open()
    {
        window = std::make_unique<SettingsWindow>(controller->settingsContext(), catalog);
        window->show();
        return *window;
    }
    ShortcutRecorder* recorderOf(const Command& c) { return ui().recorder(c); }
    QStringList tabTitles() const
    {
        QStringList titles;
        for (int i = 0; i < ui().tabs()->count(); ++i)
            titles << ui().tabs()->tabText(i);
        return titles;
    }
    void bindXTerm()
    {
        change([](QuandrelSettings& s) { s.appBindings.push_back({"xterm", "XTerm", std::nullopt, FrontmostBehavior::hide}); });
    }

    SettingsWindowParts ui() const { return {window.get()}; }
    std::unique_ptr<SettingsWindow> window;
};

const Command leftHalf = WindowCommand{WindowAction::leftHalf};
const Command captureArea = CaptureCommand{CaptureMode::area, std::nullopt};

} // namespace

TEST_F(SettingsWindowTest, TabsHoldARecorderForEveryCommandAndTheUpdatesSectionOnlyFromItsFactory)
{
    open();
    EXPECT_EQ(tabTitles(), (QStringList{"General", "Windows", "Apps", "Screenshots"}));
    for (int i = 0; i < ui().tabs()->count(); ++i)
        EXPECT_FALSE(ui().tabs()->tabIcon(i).isNull());
    for (const WindowAction a : allWindowActions)
        EXPECT_TRUE(recorderOf(WindowCommand{a})) << title(a);
    for (const CaptureMode m : allCaptureModes)
        EXPECT_TRUE(recorderOf(CaptureCommand{m, std::nullopt})) << title(m);
    for (const QObject* child : window->findChildren<QWidget*>())
        EXPECT_NE(child->property("title").toString(), QStringLiteral("Updates"));
    QLabel* made = nullptr;
    SettingsWindow w(controller->settingsContext(), catalog, [&](QWidget* parent) { return made = new QLabel(QStringLiteral("updates"), parent); });
    ASSERT_TRUE(made);
    EXPECT_EQ(made->window(), &w);
}

TEST_F(SettingsWindowTest, SharedShortcutsWarnBothRows)
{
    change([](QuandrelSettings& s) {
        s.captureShortcuts[CaptureMode::area] = s.windowShortcuts.at(WindowAction::leftHalf);
        s.appBindings.push_back({"org.gnome.TextEditor", "Editor (stored name)", s.windowShortcuts.at(WindowAction::leftHalf),
                                 FrontmostBehavior::hide});
    });
    open();
    // Left Half holds the hot key; the later ones are refused by the platform and say so.
    EXPECT_EQ(recorderOf(leftHalf)->helpText(), QStringLiteral("Also used for Capture Area, Text Editor"));
    EXPECT_EQ(recorderOf(captureArea)->helpText(), ShortcutRecorder::failedText);
    EXPECT_FALSE(recorderOf(captureArea)->warning()->isHidden());
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
    EXPECT_EQ(s.appBindings.at(0).shortcut, (Shortcut{7, 0x1800}));
    EXPECT_EQ(s.gap, 9);
    EXPECT_EQ(recorderOf(leftHalf)->button()->text(), QStringLiteral("Ctrl+Alt+←"));
}

// The slider stops at 30 and shows points; dragging applies every step at once, grabs no hot
// key again and writes the file once, when let go; steps made with the keys are written once
// they rest.
TEST_F(SettingsWindowTest, TheGapSlider)
{
    change([](QuandrelSettings& s) { s.gap = 12.0; });
    open();
    QSlider* slider = ui().gapSlider();
    EXPECT_EQ(slider->value(), 12);
    EXPECT_EQ(ui().gapLabel()->text(), QStringLiteral("12 pt"));
    slider->setFocus();
    for (const auto& [key, gap] : {std::pair{Qt::Key_End, 30}, {Qt::Key_Right, 30}, {Qt::Key_Left, 29}, {Qt::Key_Home, 0}}) {
        QTest::keyClick(slider, key);
        EXPECT_EQ(settings().gap, gap);
        EXPECT_EQ(ui().gapLabel()->text(), QString::number(gap) + QStringLiteral(" pt"));
    }
    // A hand-edited gap beyond the range shows the slider's end, and is left as it is.
    change([](QuandrelSettings& s) { s.gap = 45.5; });
    EXPECT_EQ(slider->value(), 30);
    EXPECT_EQ(settings().gap, 45.5);

    change([](QuandrelSettings& s) { s.gap = 0; });
    const auto written = [this] { return SettingsStore(controller->store().path()).settings().gap; };
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
    QTest::keyClick(slider, Qt::Key_Left);
    EXPECT_EQ(controller->windows().gap, 19);
    EXPECT_EQ(written(), 20);
    EXPECT_TRUE(QTest::qWaitFor([&] { return written() == 19; }));
}

// Each control writes its member once; a save that fails is named in one line until one
// succeeds; an edit by another program shows up and keeps the person's own earlier change.
TEST_F(SettingsWindowTest, ControlsWriteTheirMembersAndShowOutsideEdits)
{
    open();
    QSignalSpy writes(&controller->store(), &SettingsStore::settingsChanged);
    ui().repeatPicker()->setCurrentIndex(2);
    EXPECT_EQ(settings().repeatBehavior, RepeatBehavior::nothing);
    ui().afterCapturePicker()->setCurrentIndex(4);
    EXPECT_EQ(settings().afterCapture, AfterCapture::save);
    EXPECT_TRUE(ui().saveNotice()->isHidden());
    {
        test::FileSizeLimit full;
        ui().dragSwitch()->click();
    }
    EXPECT_FALSE(settings().dragToSnap);
    EXPECT_FALSE(ui().saveNotice()->isHidden());
    EXPECT_TRUE(ui().saveNotice()->findChild<settingsui::ElidedLabel*>()->fullText().startsWith(QStringLiteral("Settings couldn't be saved")));
    ui().restoreSizeSwitch()->click();
    EXPECT_FALSE(settings().restoreSizeOnDrag);
    EXPECT_TRUE(ui().saveNotice()->isHidden());
    EXPECT_EQ(writes.count(), 4);
    EXPECT_EQ(ui().repeatPicker()->itemText(0), QStringLiteral("Cycle through ½, ⅔ and ⅓"));
    EXPECT_EQ(ui().afterCapturePicker()->itemText(0), QStringLiteral("Copy and show a thumbnail"));
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
    EXPECT_EQ(SettingsStore(controller->store().path()).settings(), settings()); // showing them wrote nothing back
}

TEST_F(SettingsWindowTest, AddingApplicationsSkipsBoundOnesInOneChange)
{
    bindXTerm();
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
    for (const char* id : {"org.gnome.Nautilus", "org.gnome.TextEditor", "firefox-esr"})
        EXPECT_TRUE(chooser->select(id));
    QSignalSpy writes(&controller->store(), &SettingsStore::settingsChanged);
    QTest::mouseClick(chooser->addButton(), Qt::LeftButton);
    EXPECT_EQ(writes.count(), 1);
    std::vector<std::string> ids;
    for (const AppBinding& b : settings().appBindings)
        ids.push_back(b.desktopId);
    EXPECT_EQ(ids, (std::vector<std::string>{"xterm", "org.gnome.TextEditor", "firefox-esr", "org.gnome.Nautilus"})); // the chooser's order
    EXPECT_EQ(settings().appBindings[1].name, "Text Editor");
    ASSERT_EQ(ui().appRows().size(), 4u);
    EXPECT_EQ(ui().appRows()[3].name->text(), QStringLiteral("Files"));
}

TEST_F(SettingsWindowTest, AppRowsEditAndRemoveAlsoWhenUninstalled)
{
    change([](QuandrelSettings& s) { s.appBindings.push_back({"org.example.Removed", "Removed App", Shortcut{7, 0x1800}, FrontmostBehavior::hide}); });
    bindXTerm();
    open();
    ui().tabs()->setCurrentIndex(2);
    ASSERT_EQ(ui().appRows().size(), 2u);
    const auto gone = ui().appRows()[0];
    EXPECT_EQ(gone.name->text(), QStringLiteral("Removed App"));
    EXPECT_TRUE(gone.icon->toolTip().contains(QStringLiteral("org.example.Removed")));
    EXPECT_FALSE(gone.icon->pixmap().isNull()); // the fallback symbol
    EXPECT_EQ(gone.recorder->button()->text(), QStringLiteral("Ctrl+Alt+Key 7"));
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

TEST_F(SettingsWindowTest, SystemTilingNoteAndPermissionsFollowTheDesktop)
{
    desktop.setSystemTiling({true, true});
    open();
    EXPECT_FALSE(ui().tilingNote()->isHidden());
    EXPECT_EQ(ui().tilingNoteText()->text(), *systemTilingNote({true, true}, std::nullopt));
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
    bindXTerm();
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

// Runs under a German locale (ctest's settings_ui_tests_german); elsewhere it is skipped.
TEST_F(SettingsWindowTest, GermanLocaleTranslatesTheWindow)
{
    if (QLocale().language() != QLocale::German)
        GTEST_SKIP() << "needs LANG=de_DE.UTF-8";
    installTranslations(*QCoreApplication::instance());
    open();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Quandrel-Einstellungen"));
    EXPECT_EQ(tabTitles(), (QStringList{"Allgemein", "Fenster", "Anwendungen", "Bildschirmfotos"}));
    EXPECT_EQ(recorderOf(leftHalf)->button()->text(), QStringLiteral("Strg+Alt+←")); // the desktop's German names
}

TEST(Onboarding, AppearsWhenNeededAndItsButtonFinishes)
{
    ControllerFixture first; // no settings stored
    EXPECT_EQ(first.presenter.onboardingShown, 1);
    EXPECT_TRUE(first.controller->permissions().isPolling());
    QuandrelSettings done;
    done.hasCompletedOnboarding = true;
    EXPECT_EQ(ControllerFixture(done).presenter.onboardingShown, 0);
    EXPECT_EQ(ControllerFixture(done, nullptr, /*trusted*/ false).presenter.onboardingShown, 1);

    OnboardingWindow window(first.controller->settingsContext());
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Welcome to Quandrel"));
    EXPECT_EQ(window.finishButton()->text(), QStringLiteral("Done"));
    EXPECT_TRUE(window.finishButton()->isDefault());
    first.desktop.setScreenRecordingAllowed(false);
    first.clock.advance(PermissionMonitor::pollInterval); // the poll notices
    EXPECT_EQ(window.finishButton()->text(), QStringLiteral("Later"));
    EXPECT_FALSE(window.screenReadingRow()->isGranted());
    window.show();
    QTest::keyClick(&window, Qt::Key_Return);
    EXPECT_TRUE(first.settings().hasCompletedOnboarding);
    EXPECT_EQ(first.presenter.onboardingClosed, 1);
    EXPECT_FALSE(first.controller->permissions().isPolling());
}

// The "Try it" lines follow the taken shortcuts, and their link opens the tab.
TEST(Onboarding, TryItFollowsTheTakenShortcuts)
{
    ControllerFixture f;
    OnboardingWindow window(f.controller->settingsContext());
    QLabel* halves = window.tryItLabels().at(0);
    EXPECT_FALSE(halves->text().contains(QStringLiteral("<a ")));
    f.desktop.takeByOtherProgram({123, 0x1800});
    // The hot keys registered again (as after recording a shortcut) meet the taken one.
    f.controller->suspendHotKeys();
    f.controller->resumeHotKeys();
    ASSERT_TRUE(f.controller->failedActions().contains(leftHalf));
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
