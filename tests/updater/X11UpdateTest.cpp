// A whole update on the private desktop, from a real Quandrel 1.0.0 application folder to
// the 1.1.0 that answers after "Install and Relaunch", and a tampered archive that changes
// nothing.

#include "UpdateScenario.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace ostry::test;

namespace {

class X11UpdateTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        scenario = std::make_unique<UpdateScenario>(
            QFileInfo(dir.path()).canonicalFilePath(),
            UpdateScenario::Paths{QStringLiteral(QUANDREL_EXECUTABLE), QStringLiteral(OSTRY_RELEASE_TOOL),
                                  QStringLiteral(QUANDREL_RELEASE_REPOSITORY)});
    }
    void TearDown() override { scenario.reset(); }

    // A fresh 1.0.0 has never checked: it asks the feed at once and offers 1.1.0.
    QString startAndWaitForOffer()
    {
        EXPECT_TRUE(scenario->start());
        QStringList windows;
        EXPECT_TRUE(UpdateScenario::waitUntil([&] { return !(windows = UpdateScenario::windowsNamed("Software Update")).isEmpty(); },
                                              90000))
            << scenario->log().toStdString();
        return windows.value(0);
    }

    QTemporaryDir dir;
    std::unique_ptr<UpdateScenario> scenario;
};

TEST_F(X11UpdateTest, InstallAndRelaunchLeavesTheNewVersionRunning)
{
    QString error;
    ASSERT_TRUE(scenario->prepare(UpdateScenario::Archive::intact, &error)) << error.toStdString();
    const QString window = startAndWaitForOffer();
    ASSERT_FALSE(window.isEmpty());
    const qint64 oldPid = scenario->firstProcess().processId();
    ASSERT_TRUE(UpdateScenario::waitUntil([&] { return scenario->answeringPid() == oldPid; }, 30000));

    // "Install and Relaunch" is the window's default button.
    ASSERT_TRUE(UpdateScenario::pressKey(window, "Return"));
    ASSERT_TRUE(UpdateScenario::waitUntil([&] { return scenario->firstProcess().state() == QProcess::NotRunning; }, 180000))
        << scenario->log().toStdString();
    std::optional<qint64> pid;
    ASSERT_TRUE(UpdateScenario::waitUntil([&] { return (pid = scenario->answeringPid()) && *pid != oldPid; }, 90000))
        << scenario->log().toStdString();

    const QString bundle = scenario->bundlePath();
    EXPECT_EQ(UpdateScenario::bundleVersion(bundle), "1.1.0");
    EXPECT_EQ(UpdateScenario::executableOf(*pid), bundle + "/usr/bin/quandrel");
    QProcess version;
    version.setProcessEnvironment(scenario->environment());
    version.start(bundle + "/AppRun", {"--version"});
    ASSERT_TRUE(version.waitForFinished(10000));
    EXPECT_EQ(version.readAllStandardOutput().trimmed(), "Quandrel 1.1.0");

    // The old folder is in this test's own Trash, whole.
    const QStringList trashed = QDir(scenario->trashFolder()).entryList({"Quandrel-previous-*.AppDir"}, QDir::Dirs);
    ASSERT_EQ(trashed.size(), 1) << scenario->log().toStdString();
    EXPECT_EQ(UpdateScenario::bundleVersion(scenario->trashFolder() + "/" + trashed[0]), "1.0.0");
    // Nothing is left beside the bundle or in the temporary folder.
    EXPECT_EQ(QDir(scenario->appsFolder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"Quandrel.AppDir"});
    EXPECT_TRUE(QDir(dir.filePath("tmp")).entryList({"OstryUpdater-*"}, QDir::Dirs).isEmpty());
    // Its messages reach the new instance, which knows the feed was asked.
    QProcess command;
    command.setProcessEnvironment(scenario->environment());
    command.start(bundle + "/AppRun", {"quandrel://pins/close"});
    ASSERT_TRUE(command.waitForFinished(10000));
    EXPECT_EQ(command.exitCode(), 0);
    EXPECT_EQ(scenario->answeringPid(), pid);

    // A 1.0.0 process that started around the swap (its executable is the old one, its
    // folder holds the new one) doesn't stay: it runs the new copy in its place.
    ::kill(pid_t(*pid), SIGTERM);
    ASSERT_TRUE(UpdateScenario::waitUntil([&] { return !scenario->answeringPid(); }, 30000));
    QProcess stale;
    QProcessEnvironment environment = scenario->environment();
    environment.insert("APPDIR", bundle);
    stale.setProcessEnvironment(environment);
    stale.setStandardErrorFile(dir.filePath("stale.log"));
    stale.start(scenario->trashFolder() + "/" + trashed[0] + "/usr/bin/quandrel", {});
    ASSERT_TRUE(stale.waitForStarted(5000));
    ASSERT_TRUE(UpdateScenario::waitUntil([&] { return scenario->answeringPid().has_value(); }, 90000));
    EXPECT_EQ(scenario->answeringPid(), stale.processId());
    EXPECT_EQ(UpdateScenario::executableOf(stale.processId()), bundle + "/usr/bin/quandrel");
    stale.terminate();
    stale.waitForFinished(5000);
}

TEST_F(X11UpdateTest, AStagedUpdateIsInstalledWhenTheSessionEndsQuandrel)
{
    QString error;
    ASSERT_TRUE(scenario->prepare(UpdateScenario::Archive::intact, &error)) << error.toStdString();
    // Updates install by themselves: 1.1.0 is downloaded and verified without a window.
    ASSERT_TRUE(QDir().mkpath(dir.filePath("config/Quandrel")));
    QFile settings(dir.filePath("config/Quandrel/updater.ini"));
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
    settings.write("[General]\nOstryUpdater.automaticallyInstalls=true\n");
    settings.close();
    ASSERT_TRUE(scenario->start());
    ASSERT_TRUE(UpdateScenario::waitUntil([&] { return scenario->log().contains("1.1.0 is ready and will install on quit"); }, 90000))
        << scenario->log().toStdString();
    EXPECT_TRUE(UpdateScenario::windowsNamed("Software Update").isEmpty());

    // A logout sends SIGTERM.
    scenario->firstProcess().terminate();
    ASSERT_TRUE(scenario->firstProcess().waitForFinished(60000));
    EXPECT_EQ(scenario->firstProcess().exitStatus(), QProcess::NormalExit);
    EXPECT_TRUE(scenario->log().contains("Quitting on SIGTERM.")) << scenario->log().toStdString();
    EXPECT_EQ(UpdateScenario::bundleVersion(scenario->bundlePath()), "1.1.0") << scenario->log().toStdString();
    EXPECT_FALSE(scenario->answeringPid().has_value());
}

TEST_F(X11UpdateTest, ATamperedArchiveChangesNothing)
{
    QString error;
    ASSERT_TRUE(scenario->prepare(UpdateScenario::Archive::tampered, &error)) << error.toStdString();
    const QString window = startAndWaitForOffer();
    ASSERT_FALSE(window.isEmpty());
    ASSERT_TRUE(UpdateScenario::pressKey(window, "Return"));
    ASSERT_TRUE(UpdateScenario::waitUntil([&] { return !UpdateScenario::windowsNamed("Couldn't Update").isEmpty(); }, 180000))
        << scenario->log().toStdString();
    EXPECT_TRUE(scenario->log().contains("Update failed: The update's signature couldn't be verified"))
        << scenario->log().toStdString();
    EXPECT_EQ(scenario->firstProcess().state(), QProcess::Running);
    EXPECT_EQ(scenario->answeringPid(), scenario->firstProcess().processId());
    EXPECT_EQ(UpdateScenario::bundleVersion(scenario->bundlePath()), "1.0.0");
    EXPECT_EQ(UpdateScenario::executableOf(scenario->firstProcess().processId()), scenario->bundlePath() + "/usr/bin/quandrel");
    EXPECT_FALSE(QDir(scenario->trashFolder()).exists());
    EXPECT_EQ(QDir(scenario->appsFolder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"Quandrel.AppDir"});
}

TEST_F(X11UpdateTest, QuittingDuringTheDownloadLeavesNothingBehind)
{
    QString error;
    ASSERT_TRUE(scenario->prepare(UpdateScenario::Archive::stalled, &error)) << error.toStdString();
    const QString window = startAndWaitForOffer();
    ASSERT_FALSE(window.isEmpty());
    ASSERT_TRUE(UpdateScenario::pressKey(window, "Return"));
    const auto workingFolders = [&] { return QDir(scenario->tempFolder()).entryList({"OstryUpdater-*"}, QDir::Dirs); };
    ASSERT_TRUE(UpdateScenario::waitUntil([&] { return !workingFolders().isEmpty(); }, 90000)) << scenario->log().toStdString();

    // Ended half-way through the archive, as a logout or `kill` would.
    scenario->firstProcess().terminate();
    ASSERT_TRUE(scenario->firstProcess().waitForFinished(10000));
    EXPECT_EQ(UpdateScenario::bundleVersion(scenario->bundlePath()), "1.0.0");
    EXPECT_EQ(QDir(scenario->appsFolder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"Quandrel.AppDir"});

    // The next start removes what the interrupted download left.
    ASSERT_TRUE(scenario->start());
    EXPECT_TRUE(UpdateScenario::waitUntil([&] { return workingFolders().isEmpty() && scenario->answeringPid().has_value(); }, 90000))
        << workingFolders().join(' ').toStdString();
    EXPECT_EQ(UpdateScenario::executableOf(scenario->firstProcess().processId()), scenario->bundlePath() + "/usr/bin/quandrel");
}

} // namespace
