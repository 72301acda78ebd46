#include "SettingsStore.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace quandrel;

namespace {

// A settings file of its own in a temporary folder.
class SettingsTest : public ::testing::Test {
protected:
    QSettings& domain()
    {
        if (!m_domain)
            m_domain = std::make_unique<QSettings>(m_dir.filePath(QStringLiteral("Quandrel.conf")), QSettings::IniFormat);
        return *m_domain;
    }
    void store(const QByteArray& json)
    {
        domain().setValue(QStringLiteral("settings"), QString::fromUtf8(json));
        domain().sync();
    }
    QuandrelSettings loaded() { return SettingsStore(domain()).settings(); }

    QTemporaryDir m_dir;
    std::unique_ptr<QSettings> m_domain;
};

} // namespace

TEST_F(SettingsTest, FirstLaunchAndEmptyDocumentGiveTheDefaults)
{
    const QuandrelSettings s = loaded();
    EXPECT_EQ(s.windowShortcuts.size(), 21u);
    EXPECT_EQ(s.captureShortcuts.size(), 4u);
    EXPECT_TRUE(s.appBindings.empty());
    EXPECT_EQ(s.gap, 0);
    EXPECT_EQ(s.repeatBehavior, RepeatBehavior::cycleSizes);
    EXPECT_TRUE(s.dragToSnap && s.restoreSizeOnDrag);
    EXPECT_EQ(s.afterCapture, AfterCapture::copyAndThumbnail);
    EXPECT_FALSE(s.saveFolderBookmark);
    EXPECT_FALSE(s.hasCompletedOnboarding);
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
    // The stored bytes stay until the next change overwrites them.
    EXPECT_EQ(domain().value(QStringLiteral("settings")).toString(), QString());
    store(broken[0]);
    SettingsStore s(domain());
    EXPECT_EQ(domain().value(QStringLiteral("settings")).toString(), QString::fromUtf8(broken[0]));
}

TEST_F(SettingsTest, ChangesAreSavedAnnouncedOnceAndSurviveARestart)
{
    SettingsStore s(domain());
    int changes = 0;
    s.onChange = [&](const QuandrelSettings&) { ++changes; };
    QuandrelSettings next = s.settings();
    s.setSettings(next);
    EXPECT_EQ(changes, 0);
    EXPECT_FALSE(domain().contains(QStringLiteral("settings")));

    next.gap = 8;
    next.appBindings.push_back({"org.gnome.TextEditor", "Text Editor", Shortcut{17, 0x0900}, FrontmostBehavior::cycleWindows});
    next.saveFolderBookmark = QByteArray("/home/ann/Bilder/Schnappschüsse");
    next.windowShortcuts.erase(WindowAction::leftHalf);
    s.setSettings(next);
    EXPECT_EQ(changes, 1);

    m_domain.reset(); // a new process reads the file
    EXPECT_EQ(loaded(), next);
    const QString json = domain().value(QStringLiteral("settings")).toString();
    EXPECT_TRUE(json.contains(QStringLiteral("saveFolderBookmark")));
    next.saveFolderBookmark.reset();
    SettingsStore(domain()).setSettings(next);
    EXPECT_FALSE(domain().value(QStringLiteral("settings")).toString().contains(QStringLiteral("saveFolderBookmark")));
}

TEST_F(SettingsTest, ReloadAdoptsChangesMadeElsewhereWithoutWritingBack)
{
    SettingsStore s(domain());
    int changes = 0;
    s.onChange = [&](const QuandrelSettings& n) {
        ++changes;
        EXPECT_EQ(n.gap, 4);
    };
    QSettings other(m_dir.filePath(QStringLiteral("Quandrel.conf")), QSettings::IniFormat);
    other.setValue(QStringLiteral("settings"), QStringLiteral(R"({"gap": 4})"));
    other.sync();
    s.reload();
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(s.settings().gap, 4);
    s.reload();
    EXPECT_EQ(changes, 1);
}

TEST_F(SettingsTest, ScreenshotsFolderFollowsTheBookmarkWhileItExists)
{
    SettingsStore s(domain());
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
