#include "FileSizeLimit.h"
#include "KeyboardLayout.h"
#include "SettingsModel.h"
#include "SettingsStore.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileSystemWatcher>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>


using namespace quandrel;

namespace {

// A settings file of its own in a temporary folder.
class SettingsTest : public ::testing::Test {
protected:
    QString path() const { return m_dir.filePath(QStringLiteral("Quandrel/settings.json")); }
    void store(const QByteArray& json)
    {
        QDir().mkpath(m_dir.filePath(QStringLiteral("Quandrel")));
        QFile file(path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(json);
    }
    QByteArray stored() const
    {
        QFile file(path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QStringList keptCopies() const
    {
        return QDir(m_dir.filePath(QStringLiteral("Quandrel"))).entryList({QStringLiteral("settings.json.refused-*")}, QDir::Files);
    }
    QuandrelSettings loaded() { return SettingsStore(path()).settings(); }

    QTemporaryDir m_dir;
};

// Runs the event loop until `done` holds, for at most five seconds.
bool waitFor(const std::function<bool()>& done)
{
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    poll.start(10);
    if (!done())
        loop.exec();
    return done();
}

} // namespace

TEST_F(SettingsTest, FirstLaunchAndEmptyDocumentGiveTheDefaults)
{
    EXPECT_EQ(loaded(), QuandrelSettings{});
    SettingsStore s(path());
    EXPECT_TRUE(s.ensureFileExists()); // the first opening writes the current settings
    EXPECT_EQ(decodeSettings(stored()), QuandrelSettings{});
    store("{}");
    EXPECT_EQ(loaded(), QuandrelSettings{});
}

TEST_F(SettingsTest, StoredMapsReplaceTheDefaultsWhole)
{
    store(R"({"windowShortcuts": {}, "captureShortcuts": {"repeatArea": {"keyCode": 15, "modifiers": 768}}, "gap": 6.5})");
    const QuandrelSettings s = loaded();
    EXPECT_TRUE(s.windowShortcuts.empty());
    ASSERT_EQ(s.captureShortcuts.size(), 1u);
    EXPECT_EQ(s.captureShortcuts.at(CaptureMode::repeatArea), (Shortcut{15, 768}));
    EXPECT_EQ(s.gap, 6.5);
    EXPECT_EQ(s.afterCapture, AfterCapture::copyAndThumbnail);
}

TEST_F(SettingsTest, AnyMalformedMemberDiscardsTheWholeDocument)
{
    const char* broken[] = {
        R"({"gap": 12, "appBindings": [{"bundleID": "a", "name": "A"}]})",
        R"({"gap": 12, "afterCapture": "copyAndPin"})",
        R"({"gap": 12, "repeatBehavior": "CycleSizes"})",
        R"({"gap": 12, "windowShortcuts": {"leftHalf": {"keyCode": 1}}})",
        R"({"gap": 12, "windowShortcuts": {"sideways": {"keyCode": 1, "modifiers": 0}}})",
        R"({"gap": "12"})",
        R"({"gap": 12, "dragToSnap": 1})",
        R"({"gap": 12, "saveFolderBookmark": "%%%"})",
        R"({"gap": 12, "appBindings": {}})",
        R"([1, 2])",
        R"({"gap": 12,)",
        "",
    };
    for (const char* json : broken) {
        store(json);
        EXPECT_EQ(loaded(), QuandrelSettings{}) << json;
    }
    // A refusal names what was wrong.
    store(broken[1]);
    SettingsStore refused(path());
    ASSERT_TRUE(refused.refusal());
    EXPECT_TRUE(refused.refusal()->contains(QStringLiteral("afterCapture"))) << refused.refusal()->toStdString();
    store("{\n  \"gap\": 12,\n  \"dragToSnap\": tru\n}");
    EXPECT_TRUE(SettingsStore(path()).refusal()->startsWith(QStringLiteral("line "))) << SettingsStore(path()).refusal()->toStdString();
}

TEST_F(SettingsTest, ChangesAreSavedAnnouncedOnceAndSurviveARestart)
{
    SettingsStore s(path());
    int changes = 0;
    s.onChange = [&](const QuandrelSettings&) { ++changes; };
    QuandrelSettings next = s.settings();
    s.setSettings(next);
    EXPECT_EQ(changes, 0);
    EXPECT_FALSE(QFile::exists(path()));

    next.gap = 8;
    next.appBindings.push_back({"org.gnome.TextEditor", "Text Editor", Shortcut{17, 0x0900}, FrontmostBehavior::cycleWindows});
    next.saveFolderBookmark = QByteArray("/home/ann/Bilder/Schnappschüsse");
    next.windowShortcuts.erase(WindowAction::leftHalf);
    s.setSettings(next);
    EXPECT_EQ(changes, 1);

    EXPECT_EQ(loaded(), next); // a new process reads the file
    const QByteArray json = stored();
    EXPECT_TRUE(json.contains("\n    \"gap\": 8")) << json.constData(); // pretty-printed for people
    EXPECT_TRUE(json.contains("saveFolderBookmark"));
    next.saveFolderBookmark.reset();
    SettingsStore(path()).setSettings(next);
    EXPECT_FALSE(stored().contains("saveFolderBookmark"));
    EXPECT_EQ(QFile::permissions(path()), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser)
        << "the settings are the user's alone";
}

TEST_F(SettingsTest, AHandWrittenFileIsReadAndARefusedOneIsKeptBesideOnTheNextChange)
{
    store("{\n    \"gap\": 20,\n    \"afterCapture\": \"save\"\n}\n");
    EXPECT_EQ(loaded().gap, 20);
    EXPECT_EQ(loaded().afterCapture, AfterCapture::save);

    const QByteArray edit = "{\n    \"gap\": 20,\n    \"afterCapture\": \"saved\"\n}\n";
    store(edit);
    SettingsStore s(path());
    EXPECT_EQ(s.settings(), QuandrelSettings{});
    EXPECT_TRUE(s.ensureFileExists());
    EXPECT_EQ(stored(), edit); // opening the file never overwrites the edit
    EXPECT_TRUE(keptCopies().isEmpty());

    QuandrelSettings next = s.settings();
    next.gap = 4;
    s.setSettings(next);
    ASSERT_EQ(keptCopies().size(), 1);
    QFile kept(m_dir.filePath(QStringLiteral("Quandrel/") + keptCopies().constFirst()));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), edit);
    EXPECT_EQ(loaded().gap, 4);
    EXPECT_FALSE(s.refusal());

    // Later changes replace the file as usual, keeping no more copies.
    next.gap = 6;
    s.setSettings(next);
    EXPECT_EQ(keptCopies().size(), 1);
}

TEST_F(SettingsTest, AnEarlierINIDocumentIsTakenOverOnce)
{
    SettingsStore migrated(path(), QByteArray(R"({"gap": 14})"));
    EXPECT_EQ(migrated.settings().gap, 14);
    EXPECT_EQ(loaded().gap, 14);
    // Once the JSON file exists it wins; a broken legacy document is ignored.
    EXPECT_EQ(SettingsStore(path(), QByteArray(R"({"gap": 30})")).settings().gap, 14);
    QFile::remove(path());
    EXPECT_EQ(SettingsStore(path(), QByteArray("{")).settings(), QuandrelSettings{});
}

TEST_F(SettingsTest, EditsAreFollowedAlsoAfterTheFolderIsMadeAgain)
{
    SettingsStore s(path());
    s.ensureFileExists();
    s.watchFile();
    store(R"({"gap": 3})");
    EXPECT_TRUE(waitFor([&] { return s.settings().gap == 3; }));

    QDir(m_dir.filePath(QStringLiteral("Quandrel"))).removeRecursively();
    EXPECT_TRUE(waitFor([&] { return s.settings().gap == 0; })); // no file: the defaults
    store(R"({"gap": 5})");
    EXPECT_TRUE(waitFor([&] { return s.settings().gap == 5; }));
}

TEST_F(SettingsTest, ScreenshotsFolderFollowsTheBookmarkWhileItExists)
{
    SettingsStore s(path());
    EXPECT_TRUE(s.screenshotsFolder().endsWith(QStringLiteral("/Quandrel")));
    QuandrelSettings next = s.settings();
    next.saveFolderBookmark = m_dir.path().toUtf8();
    s.setSettings(next);
    EXPECT_EQ(s.screenshotsFolder(), QDir::cleanPath(m_dir.path()));
    next.saveFolderBookmark = (m_dir.path() + QStringLiteral("/gone")).toUtf8();
    s.setSettings(next);
    EXPECT_TRUE(s.screenshotsFolder().endsWith(QStringLiteral("/Quandrel")));
    next.saveFolderBookmark = QByteArray("relative/folder");
    s.setSettings(next);
    EXPECT_TRUE(s.screenshotsFolder().endsWith(QStringLiteral("/Quandrel")));
    EXPECT_EQ(s.settings().saveFolderBookmark, QByteArray("relative/folder")); // kept
}

// A save that fails: the change stays in use, says why, survives a reading of the file (as
// the watcher's), and is written with the next change.
TEST_F(SettingsTest, AFailedSaveKeepsTheChangeAndIsTriedAgain)
{
    store(R"({"gap": 2})");
    SettingsStore s(path());
    QSignalSpy failures(&s, &SettingsStore::saveFailureChanged);
    QuandrelSettings next = s.settings();
    {
        test::FileSizeLimit full;
        next.gap = 5;
        s.setSettings(next);
    }
    EXPECT_EQ(s.settings().gap, 5);
    ASSERT_TRUE(s.saveFailure());
    EXPECT_FALSE(s.saveFailure()->isEmpty());
    EXPECT_EQ(failures.count(), 1);
    EXPECT_EQ(stored(), QByteArray(R"({"gap": 2})"));
    s.reload();
    EXPECT_EQ(s.settings().gap, 5);

    next.repeatBehavior = RepeatBehavior::nothing;
    s.setSettings(next);
    EXPECT_FALSE(s.saveFailure());
    EXPECT_EQ(failures.count(), 2);
    EXPECT_EQ(loaded(), next);
}

// A hand edit that breaks the file while Quandrel runs (or an editor that empties it before
// writing) leaves the settings in use alone; the file is still kept beside at the next change.
TEST_F(SettingsTest, AnUnreadableFileWhileRunningKeepsTheLastGoodRecord)
{
    store(R"({"gap": 9, "repeatBehavior": "nothing"})");
    SettingsStore s(path());
    int changes = 0;
    s.onChange = [&](const QuandrelSettings&) { ++changes; };
    for (const QByteArray& broken : {QByteArray(), QByteArray(R"({"gap": 9,)"), QByteArray(R"({"gap": "wide"})")}) {
        store(broken);
        s.reload();
        EXPECT_EQ(s.settings().gap, 9) << broken.constData();
        EXPECT_EQ(s.settings().repeatBehavior, RepeatBehavior::nothing);
        EXPECT_TRUE(s.refusal());
    }
    EXPECT_EQ(changes, 0);

    QuandrelSettings next = s.settings();
    next.gap = 10;
    s.setSettings(next);
    EXPECT_EQ(keptCopies().size(), 1);
    EXPECT_EQ(loaded(), next);
    // Mended by hand: adopted once, without writing back.
    store(R"({"gap": 11})");
    s.reload();
    s.reload();
    EXPECT_EQ(s.settings().gap, 11);
    EXPECT_FALSE(s.refusal());
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(stored(), QByteArray(R"({"gap": 11})"));
}

// Only the file itself is watched while it exists: files made beside it or in the folder
// above (the updater's, everything in ~/.config) wake nothing.
TEST_F(SettingsTest, TheWatchCoversOnlyWhatCanChangeTheDocument)
{
    SettingsStore s(path());
    s.ensureFileExists();
    s.watchFile();
    const auto* watcher = s.findChild<QFileSystemWatcher*>();
    ASSERT_TRUE(watcher);
    EXPECT_EQ(watcher->files(), QStringList{path()});
    EXPECT_TRUE(watcher->directories().isEmpty());

    QFile::remove(path());
    EXPECT_TRUE(waitFor([&] { return watcher->directories() == QStringList{m_dir.filePath(QStringLiteral("Quandrel"))}; }));
    EXPECT_TRUE(watcher->files().isEmpty());
    store(R"({"gap": 8})");
    EXPECT_TRUE(waitFor([&] { return s.settings().gap == 8; }));
    EXPECT_EQ(watcher->files(), QStringList{path()});
    EXPECT_TRUE(watcher->directories().isEmpty());
    // Replaced whole, as editors and Quandrel itself save, again and again.
    for (const int gap : {4, 7, 2}) {
        SettingsStore other(path());
        QuandrelSettings next = other.settings();
        next.gap = gap;
        other.setSettings(next);
        EXPECT_TRUE(waitFor([&] { return s.settings().gap == gap; })) << gap;
    }
}

// What the settings and welcome windows say, without the windows.
TEST(SettingsModel, ConflictsAndAddedApplications)
{
    QuandrelSettings s;
    const Shortcut left = s.windowShortcuts.at(WindowAction::leftHalf);
    s.captureShortcuts[CaptureMode::area] = left;
    s.appBindings = {{"org.gnome.TextEditor", "Editor (stored name)", left, FrontmostBehavior::hide},
                     {"org.example.Uninstalled", "Uninstalled", Shortcut{3, 0x1800}, FrontmostBehavior::hide}};
    const AppNameLookup names = [](const std::string& id) -> std::optional<std::string> {
        return id == "org.gnome.TextEditor" ? std::optional<std::string>("Text Editor") : std::nullopt;
    };
    const Command area = CaptureCommand{CaptureMode::area, std::nullopt};
    EXPECT_EQ(conflictText(WindowCommand{WindowAction::leftHalf}, s, names), QStringLiteral("Also used for Capture Area, Text Editor"));
    EXPECT_EQ(conflictText(area, s, names), QStringLiteral("Also used for Left Half, Text Editor"));
    // An uninstalled app is named by its ID.
    EXPECT_EQ(conflictText(WindowCommand{WindowAction::centerThird}, s, names), QStringLiteral("Also used for org.example.Uninstalled"));
    EXPECT_EQ(conflictText(WindowCommand{WindowAction::rightHalf}, s, names), QString());
    EXPECT_EQ(conflictText(WindowCommand{WindowAction::almostMaximize}, s, names), QString());

    // A bound app and a repeat are skipped; a new one has no shortcut and hides when in front.
    const auto added = addApplications(s.appBindings, {{"org.gnome.TextEditor", "Text Editor", ""}, {"new.app", "", ""}, {"new.app", "New", ""}});
    ASSERT_EQ(added.size(), 3u);
    EXPECT_EQ(added[2], (AppBinding{"new.app", "new.app", std::nullopt, FrontmostBehavior::hide}));
}

TEST(SettingsModel, OnboardingAndTilingNotes)
{
    QuandrelSettings done;
    done.hasCompletedOnboarding = true;
    EXPECT_TRUE(needsOnboarding({}, true));
    EXPECT_FALSE(needsOnboarding(done, true));
    EXPECT_TRUE(needsOnboarding(done, false)); // again while window control is missing
    EXPECT_EQ(onboardingButtonTitle(true), QStringLiteral("Done"));
    EXPECT_EQ(onboardingButtonTitle(false), QStringLiteral("Later"));

    EXPECT_FALSE(systemTilingNote({false, false}, std::nullopt));
    EXPECT_TRUE(systemTilingNote({true, true}, std::nullopt)->contains(QStringLiteral("the left and right edges and corners and the top edge")));
    EXPECT_EQ(systemTilingNote({false, true}, TilingSettingsPage{"Screen Edges", "kcmshell6", {"kcm_kwinscreenedges"}}),
              QStringLiteral("Your desktop already tiles windows dragged to the top edge, so Quandrel leaves those to it. To use "
                             "Quandrel's layouts and gaps there too, turn off tiling by dragging in the desktop's settings → Screen "
                             "Edges."));
    EXPECT_EQ(tilingSettingsButtonTitle({"Multitasking", "gnome-control-center", {"multitasking"}}),
              QStringLiteral("Open Multitasking Settings…"));
}

// "Try it" names the shortcuts that work; taken ones (the desktop's workspace keys) are named
// as taken, with a link to the tab where they change.
TEST(SettingsModel, TryItNamesTheShortcutsThatWork)
{
    const Command left = WindowCommand{WindowAction::leftHalf}, right = WindowCommand{WindowAction::rightHalf};
    const Command area = CaptureCommand{CaptureMode::area, std::nullopt}, text = CaptureCommand{CaptureMode::text, std::nullopt};
    QuandrelSettings cleared;
    cleared.windowShortcuts.clear();
    const auto works = [](const char* text) { return TryItLine{QString::fromUtf8(text), QString(), SettingsTab::general}; };
    const TryItLine captures = works("Shift+Super+2 captures an area, Shift+Super+1 the whole screen, Shift+Super+7 copies the text in an area.");
    const struct {
        QuandrelSettings settings;
        std::set<Command> taken;
        TryItLine halves, captures;
    } rows[] = {
        {{}, {}, works("Ctrl+Alt+← and Ctrl+Alt+→ snap a window to the left or right half. Press again for ⅔ and ⅓."), captures},
        {{}, {left, right},
         {"Ctrl+Alt+← (Left Half) and Ctrl+Alt+→ (Right Half) are taken by another program; choose others in Settings → Windows.",
          "Settings → Windows", SettingsTab::windows}, captures},
        {{}, {left, area, text},
         {"Ctrl+Alt+→ snaps a window to the right half. Press again for ⅔ and ⅓. Ctrl+Alt+← (Left Half) is taken by another "
          "program; choose another in Settings → Windows.", "Settings → Windows", SettingsTab::windows},
         {"Shift+Super+1 captures the whole screen. Shift+Super+2 (Capture Area) and Shift+Super+7 (Copy Text from Area (OCR)) are "
          "taken by another program; choose others in Settings → Screenshots.", "Settings → Screenshots", SettingsTab::screenshots}},
        {cleared, {}, {"Give Left Half and Right Half a shortcut in Settings → Windows.", "Settings → Windows", SettingsTab::windows}, captures},
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
}
