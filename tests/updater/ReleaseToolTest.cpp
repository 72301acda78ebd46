#include "UpdaterFixtures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace ostry::test;

namespace {

struct ToolRun {
    int status;
    QString output;
};

ToolRun run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    process.closeWriteChannel();
    process.waitForFinished(60000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, QString::fromUtf8(process.readAll())};
}

ToolRun tool(const QStringList& arguments)
{
    return run(QStringLiteral(OSTRY_RELEASE_TOOL), arguments);
}

class ReleaseToolTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const ToolRun keygen = tool({"keygen", "--secret-key", path("test-only.key"), "--public-key", path("test-only.pub")});
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

TEST_F(ReleaseToolTest, RefusesBadInput)
{
    EXPECT_NE(tool({"keygen", "--secret-key", path("test-only.key"), "--public-key", path("x.pub")}).status, 0)
        << "an existing key is never overwritten";
    EXPECT_NE(bundle(path("bad/Quandrel.AppDir"), "one").status, 0);
    EXPECT_NE(tool({"sign", "--secret-key", path("test-only.pub"), path("x")}).status, 0);
    EXPECT_NE(tool({"frobnicate"}).status, 0);
}

} // namespace
