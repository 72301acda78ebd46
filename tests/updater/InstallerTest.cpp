#include "AppBundle.h"
#include "BundleInstaller.h"
#include "BundleManifest.h"
#include "DistributionGuard.h"
#include "Errors.h"
#include "Shell.h"
#include "UpdaterFixtures.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace ostry;
using namespace ostry::test;

namespace {

QString trashFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Trash";
}

class InstallerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QDir(trashFolder()).removeRecursively();
        QDir().mkpath(dir.filePath("Applications"));
        QDir().mkpath(dir.filePath("new"));
        running = makeBundle(dir.filePath("Applications"), {"1.0", &keys, &keys});
        newBundle = AppBundle(makeBundle(dir.filePath("new"), {"2.0", &keys, &keys}));
        runningManifest = BundleManifest::scan(running)->encode();
    }

    QString runApp() { return Shell::run(running + "/AppRun", {}).trimmed(); }

    QStringList folderContents() { return QDir(dir.filePath("Applications")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System); }

    void expectRunningUntouched()
    {
        EXPECT_EQ(BundleManifest::scan(running)->encode(), runningManifest);
        EXPECT_EQ(runApp(), "1.0");
        EXPECT_EQ(folderContents(), QStringList{"Quandrel.AppDir"}) << "nothing staged is left beside the app";
    }

    QTemporaryDir dir;
    TestKeys keys = makeKeys();
    QString running;
    AppBundle newBundle;
    QByteArray runningManifest;
};

TEST_F(InstallerTest, DirectInstallSwapsTheBundleAndTrashesTheOldOne)
{
    // The data folder is missing on a fresh account; the Trash must still work.
    QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)).removeRecursively();
    BundleInstaller installer;
    ASSERT_EQ(installer.installMode(running), InstallMode::direct);
    installer.install(newBundle, running, InstallMode::direct);

    EXPECT_EQ(runApp(), "2.0");
    EXPECT_EQ(AppBundle(running).info()->version, "2.0");
    EXPECT_EQ(BundleManifest::scan(running)->encode(), BundleManifest::scan(newBundle.path())->encode());
    EXPECT_EQ(folderContents(), QStringList{"Quandrel.AppDir"});

    const QStringList trashed = QDir(trashFolder() + "/files").entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    ASSERT_EQ(trashed.size(), 1);
    EXPECT_TRUE(trashed[0].startsWith("Quandrel-previous-")) << trashed[0].toStdString();
    EXPECT_EQ(AppBundle(trashFolder() + "/files/" + trashed[0]).info()->version, "1.0");
    EXPECT_TRUE(QFileInfo::exists(trashFolder() + "/info/" + trashed[0] + ".trashinfo"));
}

TEST_F(InstallerTest, AFailedCopyLeavesTheRunningBundle)
{
    ::mkfifo(QFile::encodeName(newBundle.path() + "/usr/share/doc/pipe"), 0644);
    std::vector<QString> trashed;
    BundleInstaller installer([&](const QString& path) { trashed.push_back(path); return QDir(path).removeRecursively(); });
    try {
        installer.install(newBundle, running, InstallMode::direct);
        ADD_FAILURE() << "installed";
    } catch (const InstallError& error) {
        EXPECT_EQ(error.kind(), InstallError::Kind::failed);
        EXPECT_TRUE(error.message().startsWith("The update couldn't be installed: ")) << error.what();
    }
    ASSERT_EQ(trashed.size(), 1u);
    EXPECT_TRUE(QFileInfo(trashed[0]).fileName().startsWith(".Quandrel.AppDir.")) << "the staged copy goes";
    expectRunningUntouched();
}

TEST_F(InstallerTest, AFailedSwapLeavesTheRunningBundle)
{
    BundleInstaller installer([](const QString& path) { return QDir(path).removeRecursively(); });
    installer.exchange = [](const QString&, const QString&, QString* error) {
        *error = "Device or resource busy";
        return false;
    };
    EXPECT_THROW(installer.install(newBundle, running, InstallMode::direct), InstallError);
    expectRunningUntouched();
}

TEST_F(InstallerTest, ExchangeSwapsTwoFolders)
{
    QDir().mkpath(dir.filePath("x/a"));
    QDir().mkpath(dir.filePath("y/b"));
    QString error;
    ASSERT_TRUE(BundleInstaller::exchangePaths(dir.filePath("x"), dir.filePath("y"), &error)) << error.toStdString();
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("x/b")));
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("y/a")));
    EXPECT_FALSE(BundleInstaller::exchangePaths(dir.filePath("x"), dir.filePath("missing"), &error));
}

class AuthorizedInstallTest : public InstallerTest {
protected:
    void SetUp() override
    {
        InstallerTest::SetUp();
        // A stand-in for pkexec on PATH: it records its arguments and then refuses, or runs
        // the command as this user.
        QDir().mkpath(dir.filePath("bin"));
        writeFile(dir.filePath("bin/pkexec"),
                  "#!/bin/sh\n"
                  "printf '%s\\n' \"$@\" > \"$PKEXEC_LOG\"\n"
                  "case \"$PKEXEC_DOUBLE\" in\n"
                  "dismiss) echo 'Error executing command as another user: Not authorized' >&2; exit 126;;\n"
                  "noagent) echo 'Error executing command as another user: No authentication agent found.' >&2; exit 127;;\n"
                  "esac\n"
                  "exec \"$@\"\n");
        QFile::setPermissions(dir.filePath("bin/pkexec"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        oldPath = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(dir.filePath("bin")) + ':' + oldPath);
        qputenv("PKEXEC_LOG", QFile::encodeName(dir.filePath("pkexec.log")));
    }

    void TearDown() override
    {
        qputenv("PATH", oldPath);
        qunsetenv("PKEXEC_DOUBLE");
    }

    QByteArray oldPath;
};

TEST_F(AuthorizedInstallTest, RunsTheInstallScriptThroughPkexec)
{
    BundleInstaller installer;
    installer.install(newBundle, running, InstallMode::needsAuthorization);
    EXPECT_EQ(runApp(), "2.0");
    EXPECT_EQ(folderContents(), QStringList{"Quandrel.AppDir"});

    const QStringList arguments = QString::fromUtf8(readFile(dir.filePath("pkexec.log"))).split('\n', Qt::SkipEmptyParts);
    ASSERT_GE(arguments.size(), 4);
    EXPECT_EQ(arguments[0], "/bin/sh");
    EXPECT_EQ(arguments[1], "-c");

    const QStringList trashed = QDir(trashFolder() + "/files").entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    ASSERT_EQ(trashed.size(), 1);
    EXPECT_TRUE(trashed[0].startsWith("Quandrel ")) << trashed[0].toStdString();
    EXPECT_FALSE(trashed[0].contains(':'));
    EXPECT_EQ(AppBundle(trashFolder() + "/files/" + trashed[0]).info()->version, "1.0");
    const QByteArray info = readFile(trashFolder() + "/info/" + trashed[0] + ".trashinfo");
    EXPECT_TRUE(info.contains("Path=" + QUrl::toPercentEncoding(running, "/"))) << info.constData();
}

TEST_F(AuthorizedInstallTest, DismissedAuthenticationIsACancel)
{
    qputenv("PKEXEC_DOUBLE", "dismiss");
    try {
        BundleInstaller().install(newBundle, running, InstallMode::needsAuthorization);
        ADD_FAILURE() << "installed";
    } catch (const InstallError& error) {
        EXPECT_EQ(error.kind(), InstallError::Kind::cancelled);
        EXPECT_EQ(error.message(), "The update wasn't installed.");
    }
    expectRunningUntouched();
    EXPECT_TRUE(QDir(trashFolder() + "/info").isEmpty()) << "no Trash record for a backup that never came";
}

TEST_F(AuthorizedInstallTest, NoAuthenticationAgentIsAClearFailure)
{
    qputenv("PKEXEC_DOUBLE", "noagent");
    try {
        BundleInstaller().install(newBundle, running, InstallMode::needsAuthorization);
        ADD_FAILURE() << "installed";
    } catch (const InstallError& error) {
        EXPECT_EQ(error.kind(), InstallError::Kind::authorizationUnavailable);
        EXPECT_EQ(error.message(), "The update couldn't be installed because administrator rights couldn't be obtained. "
                                   "Error executing command as another user: No authentication agent found.");
    }
    expectRunningUntouched();
}

TEST_F(AuthorizedInstallTest, AFailingScriptLeavesTheRunningBundle)
{
    try {
        BundleInstaller().install(AppBundle(dir.filePath("new/Missing.AppDir")), running, InstallMode::needsAuthorization);
        ADD_FAILURE() << "installed";
    } catch (const ShellFailure& failure) {
        EXPECT_EQ(failure.command(), "pkexec");
        EXPECT_NE(failure.status(), 0);
    }
    expectRunningUntouched();
}

TEST(InstallMode, ReadOnlyVolumesCannotBeUpdated)
{
    QFile mounts("/proc/mounts");
    ASSERT_TRUE(mounts.open(QIODevice::ReadOnly));
    for (const QByteArray& line : mounts.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() > 3 && fields[3].split(',').contains("ro") && QFileInfo(QString::fromUtf8(fields[1])).isDir()) {
            try {
                BundleInstaller().installMode(QString::fromUtf8(fields[1]));
                ADD_FAILURE() << fields[1].constData();
            } catch (const InstallError& error) {
                EXPECT_EQ(error.kind(), InstallError::Kind::readOnlyVolume);
            }
            return;
        }
    }
    GTEST_SKIP() << "no read-only mount on this machine";
}

TEST(DistributionGuard, PackagedAndSandboxedCopiesDoNotUpdateThemselves)
{
    QTemporaryDir dir;
    const QString bundle = dir.filePath("Quandrel.AppDir");
    QDir().mkpath(bundle + "/Bundle");
    QDir().mkpath(dir.filePath("root"));
    const QProcessEnvironment empty;
    EXPECT_EQ(DistributionGuard::check(AppBundle(bundle), empty, dir.filePath("root")), std::nullopt);
    EXPECT_EQ(DistributionGuard::check(AppBundle("/usr/lib/quandrel/Quandrel.AppDir"), empty, dir.filePath("root")),
              DistributionGuard::Reason::packageManager);
    EXPECT_EQ(DistributionGuard::check(AppBundle("/usr/local/lib/Quandrel.AppDir"), empty, dir.filePath("root")), std::nullopt);

    QProcessEnvironment snap;
    snap.insert("SNAP", "/snap/quandrel/1");
    EXPECT_EQ(DistributionGuard::check(AppBundle(bundle), snap, dir.filePath("root")), DistributionGuard::Reason::sandboxed);
    writeFile(dir.filePath("root/.flatpak-info"), "[Application]\n");
    EXPECT_EQ(DistributionGuard::check(AppBundle(bundle), empty, dir.filePath("root")), DistributionGuard::Reason::sandboxed);
    writeFile(bundle + "/Bundle/package-receipt", "installed by dpkg\n");
    EXPECT_EQ(DistributionGuard::check(AppBundle(bundle), empty, dir.filePath("root")), DistributionGuard::Reason::packageManager);
}

TEST(Shell, RunReportsStatusAndCombinedOutput)
{
    EXPECT_EQ(Shell::run("/bin/sh", {"-c", "echo out; echo err >&2"}), "out\nerr\n");
    EXPECT_EQ(Shell::run("/bin/sh", {"-c", "printf 'a\\377b'"}), QString::fromUtf8("a\xEF\xBF\xBD" "b"));
    try {
        Shell::run("/bin/sh", {"-c", "echo out; echo '  err  ' >&2; exit 3"});
        ADD_FAILURE();
    } catch (const ShellFailure& failure) {
        EXPECT_EQ(failure.command(), "sh");
        EXPECT_EQ(failure.status(), 3);
        EXPECT_EQ(failure.message(), "sh failed (3): out\n  err");
    }
    try {
        Shell::run("/nonexistent/tool", {});
        ADD_FAILURE();
    } catch (const ShellFailure& failure) {
        EXPECT_EQ(failure.command(), "tool");
        EXPECT_EQ(failure.status(), -1);
    }
}

TEST(Shell, RelaunchWaitsForTheOldProcessThenStartsTheLauncher)
{
    QTemporaryDir dir;
    const QString marker = dir.filePath("started");
    const QString launcher = dir.filePath("AppRun");
    writeFile(launcher, "#!/bin/sh\necho relaunched > '" + QFile::encodeName(marker) + "'\n");
    QFile::setPermissions(launcher, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    QProcess old;
    old.start("/bin/sleep", {"0.5"});
    ASSERT_TRUE(old.waitForStarted());
    ASSERT_TRUE(Shell::scheduleRelaunch(old.processId(), launcher));
    QThread::msleep(200);
    EXPECT_FALSE(QFileInfo::exists(marker)) << "started before the old process ended";
    old.waitForFinished();
    QElapsedTimer timer;
    timer.start();
    while (!QFileInfo::exists(marker) && timer.elapsed() < 5000)
        QThread::msleep(50);
    EXPECT_TRUE(QFileInfo::exists(marker));
}

} // namespace
