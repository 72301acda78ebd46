#include "AppBundle.h"
#include "BundleInstaller.h"
#include "BundleManifest.h"
#include "DistributionGuard.h"
#include "Errors.h"
#include "InstallHelper.h"
#include "Shell.h"
#include "SignatureVerifier.h"
#include "UpdaterFixtures.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <memory>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

using namespace ostry;
using namespace ostry::test;

namespace {

QString trashFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Trash";
}

QStringList contents(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System);
}

QString runBundle(const QString& bundle)
{
    return Shell::run(bundle + "/AppRun", {}).trimmed();
}

// Every item below `root`, root included.
QStringList everythingBelow(const QString& root)
{
    QStringList paths{root};
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        paths.append(it.next());
    return paths;
}

// Every item below `root` (root included) whose mode has any of `bits`, symlinks aside.
QStringList itemsWithBits(const QString& root, mode_t bits)
{
    QStringList found;
    for (const QString& path : everythingBelow(root)) {
        struct stat info {};
        if (::lstat(QFile::encodeName(path), &info) == 0 && !S_ISLNK(info.st_mode) && (info.st_mode & bits))
            found.append(path);
    }
    return found;
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

    QString runApp() { return runBundle(running); }

    QStringList folderContents() { return contents(dir.filePath("Applications")); }

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

// A copy that fails (a FIFO can't be copied) or a swap that fails: the running bundle stays,
// and a copy that never became the app is deleted, not trashed.
TEST_F(InstallerTest, AFailedCopyOrSwapLeavesTheRunningBundle)
{
    for (const bool copyFails : {true, false}) {
        SCOPED_TRACE(copyFails ? "copy" : "swap");
        const QString pipe = newBundle.path() + "/usr/share/doc/pipe";
        if (copyFails)
            ::mkfifo(QFile::encodeName(pipe), 0644);
        std::vector<QString> trashed;
        BundleInstaller installer([&](const QString& path) { trashed.push_back(path); return QDir(path).removeRecursively(); });
        if (!copyFails) {
            installer.exchange = [](const QString&, const QString&, QString* error) {
                *error = "Device or resource busy";
                return false;
            };
        }
        try {
            installer.install(newBundle, running, InstallMode::direct);
            ADD_FAILURE() << "installed";
        } catch (const InstallError& error) {
            EXPECT_EQ(error.kind(), InstallError::Kind::failed);
            EXPECT_TRUE(error.message().startsWith("The update couldn't be installed: ")) << error.what();
        }
        QFile::remove(pipe);
        EXPECT_TRUE(trashed.empty());
        expectRunningUntouched();
    }
}

TEST_F(InstallerTest, InstallsAndTheCleanUpOfLeftoversTakeTurns)
{
    // Another Quandrel of this user is installing into the same folder right now.
    const QString folder = dir.filePath("Applications");
    const int busy = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_EQ(::flock(busy, LOCK_EX), 0);
    const QString itsCopy = folder + "/.Quandrel.AppDir.0F8FAD5B-D9CB-469F-A165-70867728950E";
    QDir().mkpath(itsCopy + "/usr");

    // Its staging copy is not taken for a leftover, and a second install waits its turn.
    BundleInstaller::removeLeftovers(AppBundle(running));
    EXPECT_TRUE(QFileInfo::exists(itsCopy + "/usr"));
    try {
        BundleInstaller().install(newBundle, running, InstallMode::direct);
        ADD_FAILURE() << "installed beside another install";
    } catch (const InstallError& error) {
        EXPECT_EQ(error.message(), "The update couldn't be installed: another update is being installed into " + folder);
    }
    EXPECT_EQ(runApp(), "1.0");

    // Once that run is gone, what it left is.
    ::close(busy);
    BundleInstaller::removeLeftovers(AppBundle(running));
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

// A small file system that the new bundle doesn't fit on: needs root to mount it.
class FullDiskTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "mounting a small tmpfs for the full-disk case needs root; skipped";
        QDir(trashFolder()).removeRecursively();
        mountPoint = dir.filePath("small");
        QDir().mkpath(mountPoint);
        ASSERT_EQ(::mount("tmpfs", QFile::encodeName(mountPoint), "tmpfs", MS_NOSUID | MS_NODEV, "size=256k,mode=0755"), 0)
            << std::strerror(errno);
        mounted = true;
    }

    void TearDown() override
    {
        if (mounted)
            ::umount2(QFile::encodeName(mountPoint), MNT_DETACH);
    }

    qint64 freeBytes()
    {
        struct statvfs info {};
        ::statvfs(QFile::encodeName(mountPoint), &info);
        return qint64(info.f_bavail) * qint64(info.f_frsize);
    }

    QTemporaryDir dir;
    QString mountPoint;
    bool mounted = false;
    TestKeys keys = makeKeys();
};

TEST_F(FullDiskTest, AnInstallThatFillsTheDiskLeavesNoResidue)
{
    const QString running = makeBundle(mountPoint, {"1.0", &keys, &keys});
    QDir().mkpath(dir.filePath("new"));
    const QString next = makeBundle(dir.filePath("new"), {"2.0", &keys, &keys});
    writeFile(next + "/usr/share/big", QByteArray(1024 * 1024, 'b'));
    signAgain(next, keys);
    const qint64 before = freeBytes();

    // The real Trash: on another file system it is a .Trash-<uid> folder at that file
    // system's top, where a trashed copy would keep the disk full.
    BundleInstaller installer;
    ASSERT_EQ(installer.installMode(running), InstallMode::direct);
    try {
        installer.install(AppBundle(next), running, InstallMode::direct);
        ADD_FAILURE() << "installed on a full disk";
    } catch (const InstallError& error) {
        EXPECT_TRUE(error.message().contains("No space left on device")) << error.what();
    }
    EXPECT_EQ(contents(mountPoint), QStringList{"Quandrel.AppDir"});
    EXPECT_EQ(freeBytes(), before) << "the half-written copy is gone";
    EXPECT_EQ(runBundle(running), "1.0");
}

// The install helper of the installed bundle, run through a pkexec double.
class AuthorizedInstallTest : public InstallerTest {
protected:
    void SetUp() override
    {
        InstallerTest::SetUp();
        // A stand-in for pkexec: it records its arguments and then refuses, or runs the
        // program as this user (as root when the tests run as root).
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
        qputenv("PKEXEC_LOG", QFile::encodeName(dir.filePath("pkexec.log")));
        // Both bundles carry their helper, as released bundles do.
        giveHelper(running);
        runningManifest = BundleManifest::scan(running)->encode();
        giveHelper(newBundle.path());
        signAgain(newBundle.path(), keys);
    }

    void TearDown() override
    {
        for (const char* name : {"PKEXEC_DOUBLE", "OSTRY_TEST_HELPER_RUN", "OSTRY_TEST_HELPER_KILL_AT"})
            qunsetenv(name);
    }

    // The installed bundle's helper: the test build with its hooks.
    static void giveHelper(const QString& bundle)
    {
        const QString helper = AppBundle(bundle).file(AppBundle::installHelperFile);
        writeFile(helper, "#!/bin/sh\nexec '" + QByteArray(OSTRY_HOOKED_HELPER) + "' \"$@\"\n");
        QFile::setPermissions(helper, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                                          | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
    }

    // Runs `command` inside the helper after every step.
    void atEveryStep(const QByteArray& command) { qputenv("OSTRY_TEST_HELPER_RUN", command); }

    // Installs through the pkexec double. The files pkexec may run are root's, or this
    // account's when the tests run as an ordinary account (`trustedOwner`).
    std::optional<InstallError> install(const AppBundle& bundle, std::optional<uid_t> trustedOwner = ::geteuid())
    {
        BundleInstaller installer([](const QString& path) {
            ADD_FAILURE() << "the root side trashed " << path.toStdString();
            return false;
        });
        installer.pkexecProgram = dir.filePath("bin/pkexec");
        if (trustedOwner)
            installer.trustedOwner = *trustedOwner;
        try {
            installer.install(bundle, running, InstallMode::needsAuthorization);
        } catch (const InstallError& error) {
            return error;
        }
        return std::nullopt;
    }

    // The helper run directly, as pkexec would run it; `environment` adds to this process's.
    struct HelperRun {
        int status = -1;
        QByteArray errors;
    };
    static QProcess* startHelper(const QString& source, const QString& target, const QProcessEnvironment& environment = {})
    {
        auto* helper = new QProcess;
        QProcessEnvironment all = QProcessEnvironment::systemEnvironment();
        all.insert(environment);
        helper->setProcessEnvironment(all);
        helper->start(OSTRY_HOOKED_HELPER, {source, target});
        return helper;
    }
    static HelperRun runHelper(const QString& source, const QString& target, const QProcessEnvironment& environment = {})
    {
        std::unique_ptr<QProcess> helper(startHelper(source, target, environment));
        // A safety net only: every case here ends at once.
        EXPECT_TRUE(helper->waitForFinished(60000)) << "the helper hung";
        if (helper->state() != QProcess::NotRunning) {
            helper->kill();
            helper->waitForFinished();
        }
        return {helper->exitStatus() == QProcess::NormalExit ? helper->exitCode() : -1, helper->readAllStandardError().trimmed()};
    }
};

TEST_F(AuthorizedInstallTest, TheInstalledBundlesHelperInstallsThroughPkexec)
{
    ASSERT_FALSE(install(newBundle));
    EXPECT_EQ(runApp(), "2.0");
    EXPECT_EQ(BundleManifest::scan(running)->encode(), BundleManifest::scan(newBundle.path())->encode());
    EXPECT_EQ(folderContents(), QStringList{"Quandrel.AppDir"}) << "the old copy is deleted by the helper";
    EXPECT_FALSE(QFileInfo::exists(trashFolder())) << "the root side never writes into the user's Trash";

    const QStringList arguments = QString::fromUtf8(readFile(dir.filePath("pkexec.log"))).split('\n', Qt::SkipEmptyParts);
    EXPECT_EQ(arguments, (QStringList{running + "/usr/libexec/ostry-install-helper", newBundle.path(), running}));
}

// Every install refused on the way: by pkexec, before asking for rights, or by the helper's
// own checks. The running bundle stays as it was, and rights are asked for only when nothing
// on the user's side stands in the way.
TEST_F(AuthorizedInstallTest, RefusedInstallsLeaveTheRunningBundle)
{
    const QString prefix = "The update couldn't be installed: ";
    const QString unverified = prefix + "The update's signature couldn't be verified: ";
    const QString apps = dir.filePath("Applications");
    const QString helper = AppBundle(running).file(AppBundle::installHelperFile);
    const QString launcher = newBundle.file(AppBundle::launcherFile);
    const QByteArray launcherText = readFile(launcher);
    const TestKeys stranger = makeKeys();
    const auto chownRunning = [&](const char* owner) {
        if (::geteuid() == 0) // as an ordinary account the bundle is that account's already
            Shell::run("/bin/chown", {"-R", owner, running});
    };
    const auto rescan = [&] { runningManifest = BundleManifest::scan(running)->encode(); };
    const struct {
        const char* name;
        std::function<void()> plant, undo;
        InstallError::Kind kind;
        QString message;
        bool asksForRights = true;
        std::optional<AppBundle> bundle = std::nullopt; // the new bundle unless given
        bool trustsThisAccount = true;                  // or root only
    } rows[] = {
        {"authentication dismissed", [] { qputenv("PKEXEC_DOUBLE", "dismiss"); }, [] { qunsetenv("PKEXEC_DOUBLE"); },
         InstallError::Kind::cancelled, "The update wasn't installed."},
        {"no authentication agent", [] { qputenv("PKEXEC_DOUBLE", "noagent"); }, [] { qunsetenv("PKEXEC_DOUBLE"); },
         InstallError::Kind::authorizationUnavailable,
         "The update couldn't be installed because administrator rights couldn't be obtained. "
         "Error executing command as another user: No authentication agent found."},
        {"no helper in the running copy", [&] { QFile::rename(helper, helper + ".away"); rescan(); },
         [&] { QFile::rename(helper + ".away", helper); rescan(); }, InstallError::Kind::failed,
         prefix + "this copy of the app has no install helper (" + helper + ")", false},
        {"folder other accounts can change", [&] { ::chmod(QFile::encodeName(apps), 0777); },
         [&] { ::chmod(QFile::encodeName(apps), 0755); }, InstallError::Kind::failed,
         prefix + apps + " can be changed by other accounts", false},
        {"bundle not root's", [&] { chownRunning("65534:65534"); }, [&] { chownRunning("0:0"); }, InstallError::Kind::failed,
         prefix + running + " doesn't belong to root", false, std::nullopt, false},
        {"a folder that isn't a signed release", [] {}, [] {}, InstallError::Kind::failed, unverified + "the new version isn't signed",
         true, AppBundle("/usr")},
        // A signed release padded with more than its manifest lists stops the copy early.
        {"more than the manifest lists",
         [&] { for (int i = 0; i < 10; ++i) writeFile(newBundle.path() + "/usr/share/pad" + QByteArray::number(i), "x"); },
         [&] { for (int i = 0; i < 10; ++i) QFile::remove(newBundle.path() + "/usr/share/pad" + QByteArray::number(i)); },
         InstallError::Kind::failed, prefix + "it holds more than its manifest lists"},
        // The user side checked the download, then another process of the user's replaced the
        // launcher before the helper copied it.
        {"launcher swapped after the user's check",
         [&] {
             SignatureVerifier(std::make_shared<AcceptedVersionStore>(dir.filePath("accepted"))).verify(newBundle, AppBundle(running));
             writeFile(launcher, "#!/bin/sh\necho owned\n");
         },
         [&] { writeFile(launcher, launcherText); }, InstallError::Kind::failed, unverified + "AppRun was modified"},
        // The helper checks against the installed bundle's key.
        {"signed with another key", [&] { signAgain(newBundle.path(), stranger); }, [&] { signAgain(newBundle.path(), keys); },
         InstallError::Kind::failed, unverified + "it was signed with a different key"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QFile::remove(dir.filePath("pkexec.log"));
        row.plant();
        const auto error = install(row.bundle.value_or(newBundle), row.trustsThisAccount ? std::optional(::geteuid()) : std::nullopt);
        row.undo();
        ASSERT_TRUE(error);
        EXPECT_EQ(error->kind(), row.kind);
        EXPECT_EQ(error->message(), row.message);
        EXPECT_EQ(QFileInfo::exists(dir.filePath("pkexec.log")), row.asksForRights);
        expectRunningUntouched();
    }
}

// The helper run directly, as pkexec would run it, refuses on its own what the user's side
// would have refused, and signature files that are not plain files.
TEST_F(AuthorizedInstallTest, TheHelperRefusesOnItsOwn)
{
    const QString apps = dir.filePath("Applications");
    const QString manifest = newBundle.file(AppBundle::manifestFile);
    const QString signature = newBundle.file(AppBundle::manifestSignatureFile);
    const QString elsewhere = dir.filePath("manifest.minisig");
    const QByteArray unsignedError = "The update's signature couldn't be verified: the new version isn't signed";
    struct Row {
        const char* name;
        std::function<void()> plant, undo;
        QByteArray errors;
    };
    std::vector<Row> rows = {
        {"folder other accounts can change", [&] { ::chmod(QFile::encodeName(apps), 0777); },
         [&] { ::chmod(QFile::encodeName(apps), 0755); }, "the folder " + QFile::encodeName(apps) + " can be changed by other accounts"},
        {"symlinked signature", [&] { QFile::rename(signature, elsewhere); QFile::link(elsewhere, signature); },
         [&] { QFile::remove(signature); QFile::rename(elsewhere, signature); }, unsignedError},
        {"FIFO as manifest", [&] { QFile::rename(manifest, elsewhere); ::mkfifo(QFile::encodeName(manifest), 0644); },
         [&] { QFile::remove(manifest); QFile::rename(elsewhere, manifest); }, unsignedError},
    };
    if (::geteuid() == 0) {
        rows.push_back({"target not root's", [&] { Shell::run("/bin/chown", {"-R", "65534:65534", running}); },
                        [&] { Shell::run("/bin/chown", {"-R", "0:0", running}); }, QFile::encodeName(running) + " doesn't belong to root"});
    }
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        row.plant();
        const HelperRun run = runHelper(newBundle.path(), running);
        row.undo();
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.errors, row.errors);
        expectRunningUntouched();
    }
}

// A helper the user can change is refused before pkexec, wherever it sits in the bundle.
TEST_F(AuthorizedInstallTest, AHelperNotRootsIsRefusedBeforePkexec)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "handing the helper to another account needs root; skipped";
    const QString helper = AppBundle(running).file(AppBundle::installHelperFile);
    Shell::run("/bin/chown", {"-R", "0:0", running});
    Shell::run("/bin/chown", {"65534", helper});
    const auto error = install(newBundle, std::nullopt);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->message(), "The update couldn't be installed: " + helper + " doesn't belong to root");
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("pkexec.log")));
    expectRunningUntouched();
}

TEST_F(AuthorizedInstallTest, ChangesToTheSourceAfterTheCheckNeverReachTheTarget)
{
    // After the user's check, the user's copy gains a setuid program and world-writable
    // folders. The helper drops those bits while copying, so its copy still matches the
    // signed manifest, and no moment of the install shows them in the target's folder.
    const QByteArray signedManifest = BundleManifest::scan(newBundle.path())->encode();
    const QString program = newBundle.path() + "/usr/bin/quandrel";
    ASSERT_EQ(::chmod(QFile::encodeName(program), 04755), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(newBundle.path() + "/usr/bin"), 0777), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(newBundle.path()), 0777), 0);
    // At every step the hostile process also rewrites the user's copy; the helper's private
    // copy is what gets checked and installed.
    const QString log = dir.filePath("bits.log");
    atEveryStep("printf '#!/bin/sh\\necho owned\\n' > '" + QFile::encodeName(newBundle.file(AppBundle::launcherFile)) + "'; "
                "find '" + QFile::encodeName(dir.filePath("Applications")) + "' ! -type l -perm /6022 -printf \"$OSTRY_STEP %p\\n\" >> '"
                + QFile::encodeName(log) + "'; echo \"$OSTRY_STEP\" >> '" + QFile::encodeName(log) + ".steps'");
    ASSERT_FALSE(install(newBundle));
    EXPECT_EQ(runApp(), "2.0");
    EXPECT_EQ(BundleManifest::scan(running)->encode(), signedManifest);
    EXPECT_EQ(readFile(log), "");
    EXPECT_EQ(readFile(log + ".steps"), "copied\nverified\nsynced\nexchanged\nfinished\n");
    EXPECT_EQ(itemsWithBits(running, S_ISUID | S_ISGID | S_IWGRP | S_IWOTH), QStringList{});
}

TEST_F(AuthorizedInstallTest, KillingTheHelperAtAnyStepLeavesACompleteBundle)
{
    const QByteArray newManifest = BundleManifest::scan(newBundle.path())->encode();
    for (const char* step : {"copied", "verified", "synced", "exchanged", "finished"}) {
        SCOPED_TRACE(step);
        // A fresh 1.0 in a folder of its own.
        const QString folder = dir.filePath(QStringLiteral("Apps-") + step);
        QDir().mkpath(folder);
        running = makeBundle(folder, {"1.0", &keys, &keys});
        giveHelper(running);
        const QByteArray before = BundleManifest::scan(running)->encode();

        qputenv("OSTRY_TEST_HELPER_KILL_AT", step);
        EXPECT_TRUE(install(newBundle)) << "a killed helper reports no success";
        qunsetenv("OSTRY_TEST_HELPER_KILL_AT");
        const bool swapped = QByteArrayView(step) == "exchanged" || QByteArrayView(step) == "finished";
        EXPECT_EQ(BundleManifest::scan(running)->encode(), swapped ? newManifest : before);
        EXPECT_EQ(runApp(), swapped ? "2.0" : "1.0");

        // The next run clears what the killed one left, whatever the outcome.
        const auto error = install(newBundle);
        EXPECT_EQ(bool(error), swapped) << (error ? error->what() : "");
        EXPECT_EQ(runApp(), "2.0");
        EXPECT_EQ(contents(folder), QStringList{"Quandrel.AppDir"});
    }
}

TEST_F(AuthorizedInstallTest, TwoRunsOnOneTargetNeverInstallAnEmptyApp)
{
    // The first run stops after verifying its copy until told to go on; meanwhile a second
    // run starts against the same target.
    const QString ready = dir.filePath("ready");
    const QString go = dir.filePath("go");
    ASSERT_EQ(::mkfifo(QFile::encodeName(ready), 0600), 0);
    ASSERT_EQ(::mkfifo(QFile::encodeName(go), 0600), 0);
    QProcessEnvironment paused;
    paused.insert("OSTRY_TEST_HELPER_RUN", "[ \"$OSTRY_STEP\" = verified ] && { echo ready > '" + ready + "'; read line < '" + go + "'; }; true");
    std::unique_ptr<QProcess> first(startHelper(newBundle.path(), running, paused));
    const int readyFd = ::open(QFile::encodeName(ready), O_RDONLY | O_CLOEXEC); // returns once the first run is there
    ASSERT_GE(readyFd, 0);
    char byte = 0;
    ASSERT_EQ(::read(readyFd, &byte, 1), 1);
    ::close(readyFd);

    const HelperRun second = runHelper(newBundle.path(), running);
    EXPECT_EQ(second.status, 1);
    EXPECT_EQ(second.errors, "another update is being installed into " + QFile::encodeName(dir.filePath("Applications")));

    const int goFd = ::open(QFile::encodeName(go), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(goFd, 0);
    ASSERT_EQ(::write(goFd, "\n", 1), 1);
    ::close(goFd);
    ASSERT_TRUE(first->waitForFinished(60000));
    EXPECT_EQ(first->exitCode(), 0) << first->readAllStandardError().constData();
    EXPECT_EQ(BundleManifest::scan(running)->encode(), BundleManifest::scan(newBundle.path())->encode());
    EXPECT_EQ(runApp(), "2.0");
    EXPECT_EQ(folderContents(), QStringList{"Quandrel.AppDir"});
}

TEST_F(AuthorizedInstallTest, TheInstalledFolderIsAlways0755)
{
    // A private source folder must not make the installed app private too.
    ASSERT_EQ(::chmod(QFile::encodeName(newBundle.path()), 0700), 0);
    const HelperRun run = runHelper(newBundle.path(), running);
    ASSERT_EQ(run.status, 0) << run.errors.constData();
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(running), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0755u);
}

// The helper run for real as root against a root-owned bundle, with the download owned by an
// ordinary account that the test creates and removes. Needs root (CI runs as root); pkexec
// stays the double.
class RootInstallTest : public AuthorizedInstallTest {
protected:
    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "the real root run of the install helper needs root; skipped";
        AuthorizedInstallTest::SetUp();
        user = QStringLiteral("ostrytest%1").arg(::getpid());
        const QStringList system{"/usr/sbin", "/sbin", "/usr/bin", "/bin"};
        const QString useradd = QStandardPaths::findExecutable("useradd", system);
        ASSERT_FALSE(useradd.isEmpty());
        Shell::run(useradd, {"--system", "--no-create-home", "--user-group", "--shell", "/usr/sbin/nologin", user});
        created = true;
        const QStringList ids = Shell::run("/usr/bin/id", {"-u", user}).split('\n') + Shell::run("/usr/bin/id", {"-g", user}).split('\n');
        uid = ids.value(0).toUInt();
        gid = ids.value(2).toUInt();
        ASSERT_NE(uid, 0u);

        // The folders on the way and the bundle are root's and open to all; the download is
        // the user's.
        ::chmod(QFile::encodeName(dir.filePath("Applications")), 0755);
        ::chmod(QFile::encodeName(dir.path()), 0755);
        Shell::run("/bin/chown", {"-R", user + ":" + user, dir.filePath("new")});
    }

    void TearDown() override
    {
        AuthorizedInstallTest::TearDown();
        if (created)
            Shell::run(QStandardPaths::findExecutable("userdel", {"/usr/sbin", "/sbin", "/usr/bin", "/bin"}), {user});
    }

    QString user;
    bool created = false;
    uid_t uid = 0;
    gid_t gid = 0;
};

TEST_F(RootInstallTest, TheResultIsRootsWithCleanModes)
{
    // While the copy is root's, the user can neither change nor read into it.
    const QString log = dir.filePath("user-wrote.log");
    atEveryStep("case \"$OSTRY_STEP\" in copied|verified) setpriv --reuid=" + QByteArray::number(uid) + " --regid="
                + QByteArray::number(gid) + " --clear-groups -- /bin/sh -c 'echo owned > \"$OSTRY_STAGING/AppRun\" || ls \"$OSTRY_STAGING\"' "
                "2>/dev/null && echo \"$OSTRY_STEP\" >> '" + QFile::encodeName(log) + "';; esac");
    const auto error = install(newBundle, std::nullopt);
    ASSERT_FALSE(error) << error->what();
    EXPECT_FALSE(QFileInfo::exists(log)) << readFile(log).constData();
    EXPECT_EQ(runApp(), "2.0");
    EXPECT_EQ(folderContents(), QStringList{"Quandrel.AppDir"});

    QStringList wrong;
    for (const QString& path : everythingBelow(running)) {
        struct stat info {};
        ASSERT_EQ(::lstat(QFile::encodeName(path), &info), 0);
        const mode_t mode = info.st_mode & 07777;
        const bool modeOk = S_ISLNK(info.st_mode) || (S_ISDIR(info.st_mode) ? mode == 0755 : mode == 0755 || mode == 0644);
        if (info.st_uid != 0 || info.st_gid != 0 || !modeOk)
            wrong.append(QStringLiteral("%1 %2:%3 %4").arg(path).arg(info.st_uid).arg(info.st_gid).arg(mode, 4, 8, QLatin1Char('0')));
    }
    EXPECT_EQ(wrong, QStringList{});
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
    const QString started = dir.filePath("started");
    ASSERT_EQ(::mkfifo(QFile::encodeName(started), 0600), 0);

    // The old process lives half a second of its own; the launcher notes whether it was
    // still there when the launcher ran, and says so through the FIFO.
    QProcess old;
    old.start("/bin/sleep", {"0.5"});
    ASSERT_TRUE(old.waitForStarted());
    const QString launcher = dir.filePath("AppRun");
    writeFile(launcher, "#!/bin/sh\nif /bin/kill -0 " + QByteArray::number(old.processId())
                            + " 2>/dev/null; then s=early; else s=after; fi\necho $s > '" + QFile::encodeName(started) + "'\n");
    QFile::setPermissions(launcher, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const int fifo = ::open(QFile::encodeName(started), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fifo, 0);

    ASSERT_TRUE(Shell::scheduleRelaunch(old.processId(), launcher));
    ASSERT_TRUE(old.waitForFinished());
    pollfd ready{fifo, POLLIN, 0};
    ASSERT_EQ(::poll(&ready, 1, 20000), 1) << "the launcher never started";
    char text[16] = {};
    const ssize_t count = ::read(fifo, text, sizeof text - 1);
    ::close(fifo);
    EXPECT_EQ(QByteArray(text, int(std::max<ssize_t>(count, 0))), "after\n");
}

} // namespace
