#include "AppBundle.h"
#include "BundleManifest.h"
#include "Errors.h"
#include "SignatureVerifier.h"
#include "UpdaterFixtures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include <sys/stat.h>

using namespace ostry;
using namespace ostry::test;

namespace {

// Signs a manifest that the release tool would refuse to write.
void signManifest(const QString& bundlePath, const TestKeys& keys, const BundleManifest& manifest)
{
    const QByteArray text = manifest.encode();
    writeFile(bundlePath + "/Bundle/Signature/manifest", text);
    writeFile(bundlePath + "/Bundle/Signature/manifest.minisig", minisign::sign(keys.secret, minisign::prehash(text), "file:manifest"));
}

class VerifierTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QDir().mkpath(dir.filePath(QStringLiteral("installed")));
        QDir().mkpath(dir.filePath(QStringLiteral("new")));
        installed = AppBundle(makeBundle(dir.filePath(QStringLiteral("installed")), {QStringLiteral("1.0"), &keys, &keys}));
    }

    AppBundle newBundle(const QString& version = QStringLiteral("2.0"), const TestKeys* signer = nullptr,
                        const QString& identifier = testIdentifier)
    {
        const QString parent = dir.filePath(QStringLiteral("new/") + QString::number(++counter));
        QDir().mkpath(parent);
        BundleSpec spec{version, &keys, signer ? signer : &keys};
        spec.identifier = identifier;
        return AppBundle(makeBundle(parent, spec));
    }

    // Runs the verifier; returns the error, or nothing when the bundle was accepted.
    std::optional<VerificationError> verify(const AppBundle& bundle)
    {
        try {
            SignatureVerifier(store).verify(bundle, installed);
        } catch (const VerificationError& error) {
            return error;
        }
        return std::nullopt;
    }

    QTemporaryDir dir;
    TestKeys keys = makeKeys();
    AppBundle installed;
    std::shared_ptr<AcceptedVersionStore> store =
        std::make_shared<AcceptedVersionStore>(dir.filePath(QStringLiteral("state/accepted-version")));
    int counter = 0;
};

TEST_F(VerifierTest, AcceptsANewerSignedBundleAndRemembersIt)
{
    EXPECT_FALSE(verify(newBundle()));
    ASSERT_TRUE(store->highest());
    EXPECT_EQ(store->highest()->text(), QStringLiteral("2.0"));
    EXPECT_EQ(QFile::permissions(store->path()), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
}

TEST_F(VerifierTest, TamperedBundlesAreRejected)
{
    struct Attack {
        const char* name;
        std::function<void(const QString& root)> change;
        const char* detail;
    };
    const Attack attacks[] = {
        {"changed file", [](const QString& root) { writeFile(root + "/usr/bin/quandrel", "#!/bin/sh\nrm -rf ~\n"); },
         "usr/bin/quandrel was modified"},
        {"same size", [](const QString& root) {
             QByteArray data = readFile(root + "/usr/lib/libdemo.so.1");
             data[10] = 'y';
             writeFile(root + "/usr/lib/libdemo.so.1", data);
         }, "usr/lib/libdemo.so.1 was modified"},
        {"extra file", [](const QString& root) { writeFile(root + "/usr/bin/helper", "x"); }, "usr/bin/helper was added"},
        {"extra in signature folder", [](const QString& root) { writeFile(root + "/Bundle/Signature/extra", "x"); },
         "Bundle/Signature/extra was added"},
        {"missing file", [](const QString& root) { QFile::remove(root + "/usr/share/doc/README"); },
         "usr/share/doc/README is missing"},
        {"changed mode", [](const QString& root) { ::chmod(QFile::encodeName(root + "/usr/share/doc/README"), 0755); },
         "the permissions of usr/share/doc/README changed"},
        {"changed folder mode", [](const QString& root) { ::chmod(QFile::encodeName(root + "/usr/lib"), 0700); },
         "the permissions of usr/lib changed"},
        {"world-writable folder", [](const QString& root) { ::chmod(QFile::encodeName(root + "/usr/lib"), 0777); },
         "usr/lib is writable by other accounts"},
        {"world-writable root", [](const QString& root) { ::chmod(QFile::encodeName(root), 0777); },
         "the bundle folder is writable by other accounts"},
        {"group-writable root", [](const QString& root) { ::chmod(QFile::encodeName(root), 0775); },
         "the bundle folder is writable by other accounts"},
        {"setgid root", [](const QString& root) { ::chmod(QFile::encodeName(root), 02755); },
         "the bundle folder has the setuid or setgid bit"},
        {"world-writable signature folder", [](const QString& root) { ::chmod(QFile::encodeName(root + "/Bundle/Signature"), 0777); },
         "Bundle/Signature is writable by other accounts"},
        {"group-writable manifest", [](const QString& root) { ::chmod(QFile::encodeName(root + "/Bundle/Signature/manifest"), 0664); },
         "Bundle/Signature/manifest is writable by other accounts"},
        {"retargeted symlink", [](const QString& root) {
             QFile::remove(root + "/usr/lib/libdemo.so");
             QFile::link("../share/doc/README", root + "/usr/lib/libdemo.so");
         }, "the symlink usr/lib/libdemo.so was changed"},
        {"symlink outside", [](const QString& root) {
             QFile::remove(root + "/usr/lib/libdemo.so");
             QFile::link("../../../../etc/passwd", root + "/usr/lib/libdemo.so");
         }, "the symlink usr/lib/libdemo.so points outside the bundle"},
        {"absolute symlink", [](const QString& root) { QFile::link("/etc", root + "/usr/etc"); },
         "the symlink usr/etc points outside the bundle"},
        {"file became symlink", [](const QString& root) {
             QFile::remove(root + "/usr/share/doc/README");
             QFile::link("../../lib/libdemo.so.1", root + "/usr/share/doc/README");
         }, "usr/share/doc/README was replaced by a symlink"},
        {"setuid", [](const QString& root) { ::chmod(QFile::encodeName(root + "/usr/bin/quandrel"), 04755); },
         "usr/bin/quandrel has the setuid or setgid bit"},
        {"pipe", [](const QString& root) { ::mkfifo(QFile::encodeName(root + "/usr/pipe"), 0644); },
         "usr/pipe is not a file, folder or symlink"},
        {"manifest edited", [](const QString& root) {
             QByteArray manifest = readFile(root + "/Bundle/Signature/manifest");
             writeFile(root + "/Bundle/Signature/manifest", manifest.replace("d 0755 usr\n", "d 0777 usr\n"));
         }, "the signature doesn't match the signed data"},
        {"signature removed", [](const QString& root) { QFile::remove(root + "/Bundle/Signature/manifest.minisig"); },
         "the new version isn't signed"},
        {"signature garbled", [](const QString& root) { writeFile(root + "/Bundle/Signature/manifest.minisig", "hello"); },
         "the signature file is malformed"},
    };
    for (const Attack& attack : attacks) {
        const AppBundle bundle = newBundle();
        attack.change(bundle.path());
        const auto error = verify(bundle);
        ASSERT_TRUE(error) << attack.name;
        EXPECT_EQ(error->kind(), VerificationError::Kind::invalidSignature) << attack.name;
        EXPECT_EQ(error->detail(), QString::fromLatin1(attack.detail)) << attack.name;
        EXPECT_EQ(error->message(), QStringLiteral("The update's signature couldn't be verified: ") + QLatin1String(attack.detail));
    }
    EXPECT_FALSE(store->highest()) << "nothing was accepted";
}

// What no manifest makes safe: a symlink chain that climbs out, or a file other accounts can
// change, refused even when the publisher signed it so.
TEST_F(VerifierTest, UnsafeBundlesAreRejectedEvenWhenSigned)
{
    const AppBundle chain = newBundle();
    // Each link alone stays inside, but "top/.." through the chain resolves above the bundle.
    QDir().mkpath(chain.path() + "/a");
    ::chmod(QFile::encodeName(chain.path() + "/a"), 0755);
    QFile::link("..", chain.path() + "/a/up");
    QFile::link("a/up", chain.path() + "/top");
    QFile::link("top/..", chain.path() + "/escape");
    auto manifest = BundleManifest::decode(readFile(chain.file(AppBundle::manifestFile)));
    ASSERT_TRUE(manifest);
    manifest->entries.push_back({ManifestEntry::Type::directory, "a", 0755, 0, {}, {}});
    manifest->entries.push_back({ManifestEntry::Type::symlink, "a/up", 0, 0, {}, ".."});
    manifest->entries.push_back({ManifestEntry::Type::symlink, "top", 0, 0, {}, "a/up"});
    manifest->entries.push_back({ManifestEntry::Type::symlink, "escape", 0, 0, {}, "top/.."});
    std::sort(manifest->entries.begin(), manifest->entries.end(),
              [](const ManifestEntry& x, const ManifestEntry& y) { return x.path < y.path; });
    signManifest(chain.path(), keys, *manifest);
    auto error = verify(chain);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->detail(), QStringLiteral("the symlink escape points outside the bundle"));

    const AppBundle writable = newBundle();
    const QByteArray readme = QFile::encodeName(writable.path() + "/usr/share/doc/README");
    ::chmod(readme, 0664);
    EXPECT_FALSE(BundleManifest::scan(writable.path())) << "the scan itself refuses it";
    manifest = BundleManifest::decode(readFile(writable.file(AppBundle::manifestFile)));
    ASSERT_TRUE(manifest);
    for (ManifestEntry& entry : manifest->entries) {
        if (entry.path == "usr/share/doc/README")
            entry.mode = 0664;
    }
    signManifest(writable.path(), keys, *manifest);
    error = verify(writable);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->detail(), QStringLiteral("usr/share/doc/README is writable by other accounts"));
}

TEST_F(VerifierTest, ADamagedVersionRecordRefusesUpdatesAndIsNeverLowered)
{
    struct Damage {
        const char* name;
        std::function<void()> apply;
        const char* problem;
    };
    const Damage damages[] = {
        {"unparsable", [&] { writeFile(store->path(), "three point oh\n"); }, "is damaged"},
        {"too long", [&] { writeFile(store->path(), QByteArray(4000, '9')); }, "is damaged"},
        {"folder in its place", [&] { QDir().mkpath(store->path()); }, "isn't a file"},
    };
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.name);
        QDir(dir.filePath(QStringLiteral("state"))).removeRecursively();
        damage.apply();
        const QByteArray before = QFileInfo(store->path()).isFile() ? readFile(store->path()) : QByteArray();
        const auto error = verify(newBundle(QStringLiteral("2.0")));
        ASSERT_TRUE(error);
        EXPECT_EQ(error->kind(), VerificationError::Kind::stateUnreadable);
        EXPECT_EQ(error->message(), QStringLiteral("Updates are off because the record of installed versions (")
                                        + store->path() + QStringLiteral(") ") + QLatin1String(damage.problem)
                                        + QStringLiteral(". Remove or repair it to update again."));
        if (QFileInfo(store->path()).isFile()) {
            EXPECT_EQ(readFile(store->path()), before) << "a damaged record is left for repair, not rewritten";
        }
        EXPECT_FALSE(store->raise(*AppVersion::parse(u"1.5")));
    }

    // A record that can't be written refuses too: the version would not be remembered.
    QDir(dir.filePath(QStringLiteral("state"))).removeRecursively();
    writeFile(dir.filePath(QStringLiteral("state")), "a file where the folder goes");
    const auto error = verify(newBundle(QStringLiteral("2.0")));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), VerificationError::Kind::stateUnreadable);
    EXPECT_TRUE(error->message().contains(QStringLiteral("can't be written"))) << error->what();
}

// Other keys and identifiers, older, equal and rolled-back versions, a missing version and a
// running copy that can't check: each refused with its reason.
TEST_F(VerifierTest, RefusedBundles)
{
    using K = VerificationError::Kind;
    const TestKeys stranger = makeKeys();
    const auto unsignedVersion = [&] {
        const AppBundle bundle = newBundle();
        writeFile(bundle.file(AppBundle::infoFile), R"({"identifier": "org.quandrel.Quandrel.test", "version": "two"})");
        auto manifest = BundleManifest::scan(bundle.path());
        manifest->identifier = testIdentifier;
        manifest->version = QStringLiteral("two");
        signManifest(bundle.path(), keys, *manifest);
        return bundle;
    };
    const struct {
        const char* name;
        std::function<AppBundle()> bundle;
        K kind;
        QString message;
    } rows[] = {
        {"other key", [&] { return newBundle(QStringLiteral("2.0"), &stranger); }, K::invalidSignature,
         QStringLiteral("The update's signature couldn't be verified: it was signed with a different key")},
        {"other identifier", [&] { return newBundle(QStringLiteral("2.0"), nullptr, QStringLiteral("org.example.Other")); },
         K::invalidSignature, QStringLiteral("The update's signature couldn't be verified: it is signed as org.example.Other, not ") + testIdentifier},
        {"equal", [&] { return newBundle(QStringLiteral("1.0")); }, K::notNewer, QStringLiteral("The downloaded version (1.0) isn't newer than 1.0.")},
        {"older", [&] { return newBundle(QStringLiteral("1.0-beta.3")); }, K::notNewer,
         QStringLiteral("The downloaded version (1.0-beta.3) isn't newer than 1.0.")},
        {"missing version", unsignedVersion, K::invalidSignature, QStringLiteral("The update's signature couldn't be verified: missing version")},
        // Once 3.0 was accepted, a signed 2.0 is refused even though it is newer than 1.0.
        {"rolled back", [&] {
             EXPECT_FALSE(verify(newBundle(QStringLiteral("3.0"))));
             EXPECT_FALSE(verify(newBundle(QStringLiteral("3.0")))) << "the same version may be fetched again";
             return newBundle(QStringLiteral("2.0"));
         }, K::notNewer, QStringLiteral("The downloaded version (2.0) isn't newer than 3.0.")},
        // One byte past the limit of a key file: not read at all.
        {"running copy with an oversized key", [&] {
             writeFile(installed.file(AppBundle::trustedKeyFile), keys.publicKeyText + QByteArray(4097 - keys.publicKeyText.size(), '\n'));
             return newBundle();
         }, K::currentAppUnsigned, QString()},
        {"running copy without a key", [&] {
             QFile::remove(installed.file(AppBundle::trustedKeyFile));
             return newBundle();
         }, K::currentAppUnsigned, QStringLiteral("This copy of the app carries no key to check updates with, so updates can't be verified.")},
        {"running copy without its information", [&] {
             writeFile(installed.file(AppBundle::trustedKeyFile), keys.publicKeyText);
             QFile::remove(installed.file(AppBundle::infoFile));
             return newBundle();
         }, K::currentAppUnsigned, QString()},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto error = verify(row.bundle());
        ASSERT_TRUE(error);
        EXPECT_EQ(error->kind(), row.kind);
        if (!row.message.isEmpty()) {
            EXPECT_EQ(error->message(), row.message);
        }
    }
}

TEST(BundleManifest, EncodingRoundTripsOddNames)
{
    BundleManifest manifest;
    manifest.identifier = QStringLiteral("org.example.App");
    manifest.version = QStringLiteral("1.0 beta");
    manifest.entries = {
        {ManifestEntry::Type::directory, "a dir", 0755, 0, {}, {}},
        {ManifestEntry::Type::file, "a dir/new\nline%.txt", 0644, 3, QByteArray(64, 'a'), {}},
        {ManifestEntry::Type::symlink, "link", 0, 0, {}, "a dir/new\nline%.txt"},
    };
    const auto decoded = BundleManifest::decode(manifest.encode());
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->identifier, manifest.identifier);
    EXPECT_EQ(decoded->version, manifest.version);
    EXPECT_EQ(decoded->entries, manifest.entries);
    EXPECT_EQ(describeDifference(manifest, *decoded), QString());

    for (const QByteArray& bad : {QByteArray("ostry-manifest 1\nidentifier x\nversion 1\nf 0644 1 abc x\n"),
                                  QByteArray("ostry-manifest 1\nidentifier x\nversion 1\nd 0755 ../x\n"),
                                  QByteArray("ostry-manifest 1\nidentifier x\nversion 1\nd 0755 /x\n"),
                                  QByteArray("ostry-manifest 1\nidentifier x\nversion 1\nd 0755 b\nd 0755 a\n"),
                                  QByteArray("ostry-manifest 1\nidentifier x\nversion 1\nd 0755 a\nd 0755 a\n"),
                                  QByteArray("ostry-manifest 1\nidentifier x\nversion 1\nd 0755 a"),
                                  QByteArray("ostry-manifest 2\nidentifier x\nversion 1\n")})
        EXPECT_FALSE(BundleManifest::decode(bad)) << bad.constData();
}

TEST(BundleManifest, SymlinkTargetsMustStayInside)
{
    EXPECT_TRUE(symlinkStaysInside("usr/lib/libx.so", "libx.so.1"));
    EXPECT_TRUE(symlinkStaysInside("usr/lib/libx.so", "../../AppRun"));
    EXPECT_TRUE(symlinkStaysInside("usr/lib/x", "./.././lib/y"));
    EXPECT_FALSE(symlinkStaysInside("usr/lib/x", "../../../etc"));
    EXPECT_FALSE(symlinkStaysInside("x", "/etc/passwd"));
    EXPECT_FALSE(symlinkStaysInside("x", "../x"));
    EXPECT_FALSE(symlinkStaysInside("usr/x", "../../usr/x")) << "leaves the root on the way back in";
    EXPECT_FALSE(symlinkStaysInside("x", ""));
}

} // namespace
