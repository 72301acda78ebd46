#include "UpdaterFixtures.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace ostry::test;

namespace {

struct ToolRun {
    int status;
    QString output;
};

ToolRun run(const QString& program, const QStringList& arguments, const QByteArray& input = {}, bool umaskZero = false)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (umaskZero)
        process.setChildProcessModifier([] { ::umask(0); });
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(120000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, QString::fromUtf8(process.readAll())};
}

ToolRun tool(const QStringList& arguments, const QByteArray& input = {})
{
    return run(QStringLiteral(OSTRY_RELEASE_TOOL), arguments, input);
}

mode_t modeOf(const QString& path)
{
    struct stat info {};
    ::lstat(QFile::encodeName(path), &info);
    return info.st_mode & 07777;
}

class ReleaseToolTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const ToolRun keygen = tool({"keygen", "--unencrypted", "--secret-key", path("test-only.key"), "--public-key", path("test-only.pub")});
        ASSERT_EQ(keygen.status, 0) << keygen.output.toStdString();
        writeFile(path("quandrel"), "#!/bin/sh\necho hello\n");
        QFile::setPermissions(path("quandrel"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    QString path(const QString& name) const { return dir.filePath(name); }

    ToolRun bundle(const QString& output, const QString& version)
    {
        return tool({"bundle", "--output", output, "--executable", path("quandrel"), "--version", version,
                     "--identifier", testIdentifier, "--public-key", path("test-only.pub"), "--secret-key", path("test-only.key")});
    }

    QTemporaryDir dir;
};

TEST_F(ReleaseToolTest, BuildsSignsAndPackagesReleasesThatMinisignVerifies)
{
    const QString installed = path("installed/Quandrel.AppDir");
    const QString next = path("next/Quandrel.AppDir");
    ASSERT_EQ(bundle(installed, "1.0").status, 0);
    const ToolRun built = bundle(next, "2.0");
    ASSERT_EQ(built.status, 0) << built.output.toStdString();
    for (const char* file : {"AppRun", "quandrel.desktop", "usr/bin/quandrel", "Bundle/Info.json", "Bundle/update-key.pub"})
        EXPECT_TRUE(QFileInfo::exists(next + "/" + file)) << file;

    ToolRun check = run("minisign", {"-V", "-p", path("test-only.pub"), "-m", next + "/Bundle/Signature/manifest"});
    EXPECT_EQ(check.status, 0) << check.output.toStdString();
    EXPECT_TRUE(check.output.contains("version:2.0")) << check.output.toStdString();

    const ToolRun packaged = tool({"package", "--secret-key", path("test-only.key"), "--output-dir", path("dist"), next});
    ASSERT_EQ(packaged.status, 0) << packaged.output.toStdString();
    const QString zip = path("dist/Quandrel-2.0.zip");
    ASSERT_TRUE(QFileInfo::exists(zip + ".minisig"));
    check = run("minisign", {"-V", "-p", path("test-only.pub"), "-m", zip});
    EXPECT_EQ(check.status, 0) << check.output.toStdString();
    EXPECT_TRUE(check.output.contains("file:Quandrel-2.0.zip")) << check.output.toStdString();

    // minisign signs with the generated key too.
    writeFile(path("other"), "data");
    check = run("minisign", {"-S", "-s", path("test-only.key"), "-m", path("other")});
    EXPECT_EQ(check.status, 0) << check.output.toStdString();

    // The verify command runs the updater's own checks.
    ToolRun verdict = tool({"verify", zip, installed});
    EXPECT_EQ(verdict.status, 0) << verdict.output.toStdString();
    EXPECT_EQ(verdict.output.trimmed(), "OK: 2.0 would replace 1.0");
    verdict = tool({"verify", next, installed});
    EXPECT_EQ(verdict.output.trimmed(), "OK: 2.0 would replace 1.0");
    verdict = tool({"verify", installed, next});
    EXPECT_EQ(verdict.status, 2);
    EXPECT_EQ(verdict.output.trimmed(), "REFUSED: The downloaded version (1.0) isn't newer than 2.0.");

    writeFile(next + "/usr/bin/quandrel", "#!/bin/sh\necho changed\n");
    verdict = tool({"verify", next, installed});
    EXPECT_EQ(verdict.status, 2);
    EXPECT_EQ(verdict.output.trimmed(),
              "REFUSED: The update's signature couldn't be verified: usr/bin/quandrel was modified");

    QFile::remove(zip + ".minisig");
    verdict = tool({"verify", zip, installed});
    EXPECT_EQ(verdict.output.trimmed(), "REFUSED: The update has no signature, so it can't be installed.");
}

TEST_F(ReleaseToolTest, ARefusedArchiveLeavesNothingInTheTemporaryFolder)
{
    // A signed archive with a read-only folder inside, refused (it carries no manifest).
    const TestKeys keys = makeKeys();
    QDir().mkpath(path("installed"));
    const QString installed = makeBundle(path("installed"), {"1.0", &keys, &keys});
    const QString zip = path("Quandrel-2.0.zip");
    writeRawZip(zip, {{"Quandrel.AppDir/", ZipItem::Kind::directory, 0755},
                      {"Quandrel.AppDir/locked/", ZipItem::Kind::directory, 0555},
                      {"Quandrel.AppDir/locked/file", ZipItem::Kind::file, 0644, "x"}});
    signArchive(zip, keys, "Quandrel-2.0.zip", "2.0");
    QDir().mkpath(path("tmp"));

    // Root may remove anything: the tool runs as an ordinary account then.
    QStringList command{QStringLiteral(OSTRY_RELEASE_TOOL), "verify", zip, installed};
    if (::geteuid() == 0) {
        // That account must reach the files: open the folders up to the test run's private
        // folder (never above it).
        const QString sandbox = QFileInfo(QDir::tempPath()).absolutePath();
        ASSERT_TRUE(QFileInfo(sandbox).fileName().startsWith("quandrel-test-")) << sandbox.toStdString();
        for (QString folder = dir.path(); folder.startsWith(sandbox); folder = QFileInfo(folder).absolutePath())
            ::chmod(QFile::encodeName(folder), 0755);
        ASSERT_EQ(::chown(QFile::encodeName(path("tmp")), 65534, 65534), 0);
        command = QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", "--"} + command;
        command.prepend("setpriv");
    }
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("TMPDIR", path("tmp"));
    process.setProcessEnvironment(environment);
    process.start(command.takeFirst(), command);
    ASSERT_TRUE(process.waitForFinished(120000));
    const QString output = QString::fromUtf8(process.readAll());
    EXPECT_EQ(process.exitCode(), 2) << output.toStdString();
    EXPECT_EQ(output.trimmed(), "REFUSED: The update's signature couldn't be verified: the new version isn't signed");
    EXPECT_FALSE(output.contains("QTemporaryDir")) << output.toStdString();
    EXPECT_EQ(QDir(path("tmp")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{});
}

TEST_F(ReleaseToolTest, ModesAreNormalisedWhateverTheUmask)
{
    writeFile(path("notes"), "notes");
    ::chmod(QFile::encodeName(path("notes")), 0666);
    ::chmod(QFile::encodeName(path("quandrel")), 0777);
    const QString installed = path("installed/Quandrel.AppDir");
    ASSERT_EQ(bundle(installed, "1.0").status, 0);
    const QString next = path("next/Quandrel.AppDir");
    const ToolRun built = run(QStringLiteral(OSTRY_RELEASE_TOOL),
                              {"bundle", "--output", next, "--executable", path("quandrel"), "--version", "2.0",
                               "--identifier", testIdentifier, "--public-key", path("test-only.pub"), "--secret-key",
                               path("test-only.key"), "--add", path("notes") + "=usr/share/doc/notes"},
                              {}, /*umaskZero*/ true);
    ASSERT_EQ(built.status, 0) << built.output.toStdString();

    QStringList wrong;
    QStringList paths{next};
    QDirIterator it(next, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        paths.append(it.next());
    for (const QString& item : paths) {
        const bool executable = item.endsWith("/AppRun") || item.endsWith("/usr/bin/quandrel");
        const mode_t expected = QFileInfo(item).isDir() || executable ? 0755 : 0644;
        if (modeOf(item) != expected)
            wrong.append(QStringLiteral("%1 %2").arg(item).arg(modeOf(item), 4, 8, QLatin1Char('0')));
    }
    EXPECT_EQ(wrong, QStringList{});
    const ToolRun verdict = tool({"verify", next, installed});
    EXPECT_EQ(verdict.output.trimmed(), "OK: 2.0 would replace 1.0");

    // Signing again normalises a bundle whose modes were loosened since.
    ::chmod(QFile::encodeName(next), 0777);
    ::chmod(QFile::encodeName(next + "/usr/share/doc/notes"), 0666);
    ASSERT_EQ(tool({"sign", "--secret-key", path("test-only.key"), next}).status, 0);
    EXPECT_EQ(modeOf(next), 0755u);
    EXPECT_EQ(modeOf(next + "/usr/share/doc/notes"), 0644u);
    EXPECT_EQ(tool({"verify", next, installed}).status, 0);
}

TEST_F(ReleaseToolTest, KeygenEncryptsTheSecretKeyWithAPassword)
{
    const QString key = path("release.key");
    const ToolRun made = tool({"keygen", "--secret-key", key, "--public-key", path("release.pub")}, "long password\n");
    ASSERT_EQ(made.status, 0) << made.output.toStdString();
    EXPECT_TRUE(readFile(key).startsWith("untrusted comment: minisign encrypted secret key\n"));
    EXPECT_EQ(modeOf(key), 0600u);

    // Used with its password only.
    const QString release = path("release/Quandrel.AppDir");
    QStringList arguments{"bundle", "--output", release, "--executable", path("quandrel"), "--version", "1.0",
                          "--identifier", testIdentifier, "--public-key", path("release.pub"), "--secret-key", key};
    ToolRun signedRun = tool(arguments, "long password\n");
    ASSERT_EQ(signedRun.status, 0) << signedRun.output.toStdString();
    const ToolRun check = run("minisign", {"-V", "-p", path("release.pub"), "-m", release + "/Bundle/Signature/manifest"});
    EXPECT_EQ(check.status, 0) << check.output.toStdString();
    // A wrong password is refused; a key of cheap derivation keeps that quick (the cost is
    // read from the key file).
    const QString cheap = path("cheap.key");
    writeFile(cheap, ostry::minisign::encodeSecretKey(ostry::minisign::generateSecretKey(), "long password", {524288, 16 * 1024 * 1024}));
    signedRun = tool({"sign", "--secret-key", cheap, release}, "wrong password\n");
    EXPECT_NE(signedRun.status, 0);
    EXPECT_TRUE(signedRun.output.contains("wrong password")) << signedRun.output.toStdString();

    // No password, no key: an unencrypted key must be asked for by name.
    const ToolRun empty = tool({"keygen", "--secret-key", path("empty.key"), "--public-key", path("empty.pub")}, "\n");
    EXPECT_NE(empty.status, 0);
    EXPECT_TRUE(empty.output.contains("--unencrypted")) << empty.output.toStdString();
    EXPECT_FALSE(QFileInfo::exists(path("empty.key")));
    EXPECT_FALSE(QFileInfo::exists(path("empty.pub")));
}

TEST_F(ReleaseToolTest, RefusesBadInput)
{
    EXPECT_NE(tool({"keygen", "--unencrypted", "--secret-key", path("test-only.key"), "--public-key", path("x.pub")}).status, 0)
        << "an existing key is never overwritten";
    EXPECT_NE(bundle(path("bad/Quandrel.AppDir"), "one").status, 0);
    EXPECT_NE(tool({"sign", "--secret-key", path("test-only.pub"), path("x")}).status, 0);
    EXPECT_NE(tool({"frobnicate"}).status, 0);
}

} // namespace
