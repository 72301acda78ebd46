#include "AwaitTask.h"
#include "BundleManifest.h"
#include "Errors.h"
#include "ReleaseBuilder.h"
#include "Shell.h"
#include "SignatureVerifier.h"
#include "TestHttpServer.h"
#include "UpdaterFixtures.h"
#include "ZipDownloader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace ostry;
using namespace ostry::test;

namespace {

QStringList contents(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System);
}

const QByteArray zipPath = "/download/Quandrel-2.0.zip";
const QByteArray signaturePath = "/download/Quandrel-2.0.zip.minisig";

class DownloaderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QDir().mkpath(dir.filePath("installed"));
        QDir().mkpath(dir.filePath("release"));
        installed = AppBundle(makeBundle(dir.filePath("installed"), {"1.0", &keys, &keys}));
        installedManifest = BundleManifest::scan(installed.path())->encode();
        const QString bundle = makeBundle(dir.filePath("release"), {"2.0", &keys, &keys});
        QString error;
        const auto zip = release::packageRelease(bundle, dir.filePath("release"), keys.secret, &error);
        ASSERT_TRUE(zip) << error.toStdString();
        serve(readFile(*zip), readFile(*zip + ".minisig"));
        limits.rateWindowMs = 400;
    }

    void serve(const QByteArray& zip, const QByteArray& signature)
    {
        zipBytes = zip;
        server.setResponse(zipPath, Response{200, {}, zip});
        server.setResponse(signaturePath, Response{200, {}, signature});
    }

    // Serves a hand-made archive signed with the trusted key (or `signer`).
    void serveRaw(const QList<ZipItem>& items, const TestKeys* signer = nullptr)
    {
        const QString path = dir.filePath("raw/Quandrel-2.0.zip");
        QDir().mkpath(dir.filePath("raw"));
        QFile::remove(path);
        writeRawZip(path, items);
        signArchive(path, signer ? *signer : keys, "Quandrel-2.0.zip", "2.0");
        serve(readFile(path), readFile(path + ".minisig"));
    }

    UpdateCandidate candidate() const
    {
        UpdateCandidate result;
        result.version = *AppVersion::parse(u"2.0");
        result.title = "Quandrel 2.0";
        result.downloadURL = server.url(zipPath);
        result.downloadSize = zipBytes.size();
        result.assetName = "Quandrel-2.0.zip";
        result.signatureURL = server.url(signaturePath);
        return result;
    }

    AppBundle download(const UpdateCandidate& update)
    {
        downloader = std::make_unique<ZipDownloader>(&network, installed, limits, loopbackHttp);
        return await(downloader->download(update, "Quandrel", [this](double fraction) { progress.push_back(fraction); }));
    }

    // Downloads expecting failure; checks that nothing is left behind and the installed
    // bundle is untouched. Returns the error.
    template <typename Error>
    Error failure(const UpdateCandidate& update)
    {
        try {
            const AppBundle bundle = download(update);
            ADD_FAILURE() << "the download succeeded: " << bundle.path().toStdString();
        } catch (const Error& error) {
            if (downloader && !downloader->workingFolder().isEmpty()) {
                EXPECT_FALSE(QFileInfo::exists(downloader->workingFolder())) << "working folder left behind";
            }
            EXPECT_EQ(BundleManifest::scan(installed.path())->encode(), installedManifest);
            return error;
        } catch (const UpdateError& other) {
            ADD_FAILURE() << "unexpected error: " << other.what();
        }
        throw std::runtime_error("no error of the expected kind");
    }

    QTemporaryDir dir;
    TestKeys keys = makeKeys();
    AppBundle installed;
    QByteArray installedManifest;
    QByteArray zipBytes;
    TestHttpServer server;
    QNetworkAccessManager network;
    DownloadLimits limits;
    // The test server stands in for the release service, as QUANDREL_RELEASE_API makes it.
    LoopbackHttp loopbackHttp = LoopbackHttp::allowed;
    std::unique_ptr<ZipDownloader> downloader;
    std::vector<double> progress;
};

TEST_F(DownloaderTest, DownloadsChecksAndUnpacksTheRelease)
{
    const AppBundle bundle = download(candidate());
    EXPECT_EQ(bundle.path(), downloader->workingFolder() + "/extracted/Quandrel.AppDir");
    EXPECT_TRUE(QFileInfo(downloader->workingFolder()).fileName().startsWith("OstryUpdater-"));
    EXPECT_TRUE(downloader->workingFolder().startsWith(QDir::tempPath()));
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(downloader->workingFolder()), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_FALSE(QFileInfo::exists(downloader->workingFolder() + "/update.zip"));
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), 1.0);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));

    // Unpacked exactly: the signed manifest matches, so the verifier accepts it.
    SignatureVerifier verifier(std::make_shared<AcceptedVersionStore>(dir.filePath("accepted")));
    EXPECT_NO_THROW(verifier.verify(bundle, installed));
}

// Every way a download fails: refused before or during the transfer, nothing left behind.
TEST_F(DownloaderTest, RefusedDownloads)
{
    using K = DownloadError::Kind;
    const auto redirect = [&](const QByteArray& to) {
        server.setResponse("/redirect", Response{302, {{"Location", to}}, {}});
        return server.url("/redirect");
    };
    const struct {
        const char* name;
        std::function<void(UpdateCandidate&)> setup;
        K kind;
        const char* message = nullptr;
        int requests = -1;
    } rows[] = {
        // Plain HTTP anywhere but this machine, directly or by a redirect; to this machine only for a test server.
        {"insecure redirect", [&](auto& u) { u.downloadURL = redirect("http://downloads.example.invalid/Quandrel-2.0.zip"); },
         K::insecureURL, nullptr, 2},
        {"insecure", [&](auto& u) { u.downloadURL = QUrl("http://downloads.example.invalid/Quandrel-2.0.zip"); }, K::insecureURL, nullptr, 0},
        {"loopback refused", [&](auto&) { loopbackHttp = LoopbackHttp::refused; }, K::insecureURL, nullptr, 0},
        {"no archive", [&](auto& u) { u.downloadURL = server.url("/download/gone.zip"); }, K::badStatus, "The download failed with status 404."},
        {"server error", [&](auto&) { server.setResponse(zipPath, Response{500, {}, "broken"}); }, K::badStatus,
         "The download failed with status 500."},
        {"no signature file", [&](auto& u) { u.signatureURL = server.url("/download/gone.zip.minisig"); }, K::signatureMissing},
        {"no signature", [&](auto& u) { u.signatureURL.clear(); }, K::signatureMissing, "The update has no signature, so it can't be installed."},
        // Declared past the cap: refused before anything is fetched.
        {"huge declared size", [&](auto& u) { limits.hardCap = zipBytes.size() / 2; u.downloadSize = qint64(1000000000000000); }, K::tooLarge,
         nullptr, 0},
        // Declared within it, but the stream runs on: cut off at the cap, not at the declared size.
        {"past the cap", [&](auto& u) {
             limits.hardCap = u.downloadSize = zipBytes.size() / 2;
             limits.sizeMargin = zipBytes.size();
             server.setResponse(zipPath, Response{200, {}, zipBytes, -1, -1, true});
         }, K::tooLarge},
        {"larger than declared", [&](auto& u) { limits.sizeMargin = 16; u.downloadSize = zipBytes.size() / 2; }, K::tooLarge},
        {"larger than declared, no length", [&](auto& u) {
             limits.sizeMargin = 16;
             u.downloadSize = zipBytes.size() / 2;
             server.setResponse(zipPath, Response{200, {}, zipBytes, -1, -1, true});
         }, K::tooLarge, "The download was larger than the update's declared size."},
        // An undeclared size (0 or -1) has a fixed cap, with or without a length.
        {"undeclared size 0", [&](auto& u) { limits.unknownSizeCap = 1000; u.downloadSize = 0; }, K::tooLarge},
        {"undeclared size -1", [&](auto& u) { limits.unknownSizeCap = 1000; u.downloadSize = -1; }, K::tooLarge},
        {"undeclared size 0, no length", [&](auto& u) {
             limits.unknownSizeCap = 1000;
             u.downloadSize = 0;
             server.setResponse(zipPath, Response{200, {}, zipBytes, -1, -1, true});
         }, K::tooLarge},
        {"undeclared size -1, no length", [&](auto& u) {
             limits.unknownSizeCap = 1000;
             u.downloadSize = -1;
             server.setResponse(zipPath, Response{200, {}, zipBytes, -1, -1, true});
         }, K::tooLarge},
        {"stalled", [&](auto&) { server.setResponse(zipPath, Response{200, {}, zipBytes, /*stallAfter*/ 1000}); }, K::stalled},
        {"truncated", [&](auto&) { server.setResponse(zipPath, Response{200, {}, zipBytes, -1, /*closeAfter*/ zipBytes.size() / 2}); },
         K::network},
        {"deadline", [&](auto&) {
             limits.deadlineMs = 300;
             limits.rateWindowMs = 5000;
             server.setResponse(zipPath, Response{200, {}, zipBytes, 1000});
         }, K::timedOut},
        // Below the minimum rate, bytes keep coming but never enough: stopped long before the deadline.
        {"slow drip", [&](auto&) {
             limits.rateWindowMs = 300;
             limits.minimumBytesPerSecond = 4000;
             limits.deadlineMs = 60000;
             server.setResponse(zipPath, Response{200, {}, zipBytes, -1, -1, false, /*dripBytes*/ 40, /*every ms*/ 20});
         }, K::stalled},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        limits = DownloadLimits();
        limits.rateWindowMs = 400;
        loopbackHttp = LoopbackHttp::allowed;
        server.setResponse(zipPath, Response{200, {}, zipBytes});
        const int before = server.requests().size();
        UpdateCandidate update = candidate();
        row.setup(update);
        const DownloadError error = failure<DownloadError>(update);
        EXPECT_EQ(error.kind(), row.kind);
        if (row.message) {
            EXPECT_EQ(error.message(), row.message);
        }
        if (row.requests >= 0) {
            EXPECT_EQ(server.requests().size() - before, row.requests);
        }
    }
}

// What passes: a redirect on the same safe scheme, a steady trickle, an undeclared size within
// the cap.
TEST_F(DownloaderTest, AcceptedDownloads)
{
    UpdateCandidate update = candidate();
    server.setResponse("/redirect", Response{302, {{"Location", server.url(zipPath).toEncoded()}}, {}});
    update.downloadURL = server.url("/redirect");
    EXPECT_NO_THROW(download(update));
    limits.rateWindowMs = 300;
    limits.minimumBytesPerSecond = 4000;
    server.setResponse(zipPath, Response{200, {}, zipBytes, -1, -1, false, /*dripBytes*/ 400, /*every ms*/ 20});
    EXPECT_NO_THROW(download(candidate()));
    limits.unknownSizeCap = zipBytes.size();
    update = candidate();
    update.downloadSize = 0;
    server.setResponse(zipPath, Response{200, {}, zipBytes});
    EXPECT_NO_THROW(download(update));
    EXPECT_FALSE(ZipDownloader::isAcceptableURL(QUrl("http://127.0.0.1:8080/a.zip"), LoopbackHttp::refused));
    EXPECT_TRUE(ZipDownloader::isAcceptableURL(QUrl("https://example.org/a.zip"), LoopbackHttp::refused));
}

TEST_F(DownloaderTest, TheWorkingFolderGoesOnceTheBundleIsDone)
{
    download(candidate());
    const QString first = downloader->workingFolder();
    ASSERT_TRUE(QFileInfo::exists(first + "/extracted/Quandrel.AppDir"));
    downloader->discard();
    EXPECT_FALSE(QFileInfo::exists(first));

    // The next download and the downloader's end take the previous folder along.
    const QString second = download(candidate()).path();
    ASSERT_TRUE(QFileInfo::exists(second));
    const QString secondFolder = downloader->workingFolder();
    downloader.reset();
    EXPECT_FALSE(QFileInfo::exists(secondFolder));
    EXPECT_EQ(contents(QDir::tempPath()).filter("OstryUpdater-"), QStringList{});
}

TEST_F(DownloaderTest, TheCheckedArchiveIsTheOneUnpacked)
{
    // Between the signature check and the unpacking, another archive takes the name.
    const QString hostile = dir.filePath("hostile.zip");
    writeRawZip(hostile, {{"Quandrel.AppDir/", ZipItem::Kind::directory, 0755},
                          {"Quandrel.AppDir/AppRun", ZipItem::Kind::file, 0755, "#!/bin/sh\necho owned\n"}});
    downloader = std::make_unique<ZipDownloader>(&network, installed, limits, LoopbackHttp::allowed);
    bool swapped = false;
    downloader->archiveChecked = [&](const QString& path) {
        swapped = ::rename(QFile::encodeName(hostile), QFile::encodeName(path)) == 0;
    };
    const AppBundle bundle = await(downloader->download(candidate(), "Quandrel", {}));
    EXPECT_TRUE(swapped);
    SignatureVerifier verifier(std::make_shared<AcceptedVersionStore>(dir.filePath("accepted")));
    EXPECT_NO_THROW(verifier.verify(bundle, installed));
    EXPECT_EQ(Shell::run(bundle.launcherPath(), {}).trimmed(), "2.0");
}

TEST_F(DownloaderTest, ArchivesAreCheckedBeforeTheyAreRead)
{
    // A complete transfer of a truncated file: the signature no longer matches.
    const QByteArray signature = readFile(dir.filePath("release/Quandrel-2.0.zip.minisig"));
    serve(zipBytes.left(zipBytes.size() / 2), signature);
    EXPECT_EQ(failure<VerificationError>(candidate()).detail(), "the signature doesn't match the signed data");

    // Signed by someone else: stopped before the archive is fetched.
    const TestKeys stranger = makeKeys();
    serveRaw({{"Quandrel.AppDir/", ZipItem::Kind::directory, 0755}}, &stranger);
    const int before = server.requests().size();
    EXPECT_EQ(failure<VerificationError>(candidate()).detail(), "it was signed with a different key");
    ASSERT_EQ(server.requests().size(), before + 1);
    EXPECT_EQ(server.requests().last().target, signaturePath);

    // A valid signature for another file or version.
    serveRaw({{"Quandrel.AppDir/", ZipItem::Kind::directory, 0755}});
    UpdateCandidate renamed = candidate();
    renamed.assetName = "Quandrel-2.1.zip";
    EXPECT_EQ(failure<VerificationError>(renamed).detail(), "the signature is for Quandrel-2.0.zip, not Quandrel-2.1.zip");
    UpdateCandidate otherVersion = candidate();
    otherVersion.version = *AppVersion::parse(u"2.1");
    EXPECT_EQ(failure<VerificationError>(otherVersion).detail(), "the signature is for version 2.0, not 2.1");
}

// Signed archives that escape, plant what a bundle must not have, exceed the caps or hold no
// bundle: refused, nothing written outside.
TEST_F(DownloaderTest, HostileArchivesAreRefusedEvenWhenSigned)
{
    const QString outside = QDir::tempPath() + "/ostry-escaped";
    QList<ZipItem> many{{"Quandrel.AppDir/", ZipItem::Kind::directory, 0755}};
    for (int i = 0; i < 20; ++i)
        many.append({"Quandrel.AppDir/f" + QByteArray::number(i), ZipItem::Kind::file, 0644, QByteArray(1000, 'a')});
    const QString unsafe = QStringLiteral("The update archive couldn't be unpacked safely: ");
    struct Case {
        const char* name;
        QList<ZipItem> items;
        QString message = {};
        qint64 maxEntries = ExtractionLimits().maxEntries;
        qint64 maxTotalBytes = ExtractionLimits().maxTotalBytes;
        DownloadError::Kind kind = DownloadError::Kind::badArchive;
    };
    const Case cases[] = {
        {"parent path", {{"Quandrel.AppDir/../../ostry-escaped", ZipItem::Kind::file, 0644, "x"}},
         unsafe + "Quandrel.AppDir/../../ostry-escaped is an absolute path or leaves the folder"},
        {"absolute path", {{QFile::encodeName(outside), ZipItem::Kind::file, 0644, "x"}}},
        {"symlink outside", {{"Quandrel.AppDir/lib", ZipItem::Kind::symlink, 0777, {}, "../../../../../../etc"}},
         unsafe + "the symlink Quandrel.AppDir/lib points outside the bundle"},
        {"write through symlink", {{"Quandrel.AppDir/sub/", ZipItem::Kind::directory, 0755},
                                   {"Quandrel.AppDir/l", ZipItem::Kind::symlink, 0777, {}, "sub"},
                                   {"Quandrel.AppDir/l/x", ZipItem::Kind::file, 0644, "x"}}},
        {"setuid", {{"Quandrel.AppDir/AppRun", ZipItem::Kind::file, 04755, "x"}},
         unsafe + "Quandrel.AppDir/AppRun has the setuid or setgid bit"},
        {"duplicate entry", {{"Quandrel.AppDir/a", ZipItem::Kind::file, 0644, "x"},
                             {"Quandrel.AppDir/a", ZipItem::Kind::file, 0644, "y"}}},
        {"too many entries", many, unsafe + "it has more than 10 entries", 10},
        {"too many bytes", many, unsafe + "it unpacks to more than 5000 bytes", 100, 5000},
        {"no bundle", {{"README", ZipItem::Kind::file, 0644, "x"}, {"Other.AppDir", ZipItem::Kind::file, 0644, "not a folder"}},
         "The update didn't contain Quandrel.AppDir.", ExtractionLimits().maxEntries, ExtractionLimits().maxTotalBytes,
         DownloadError::Kind::appNotFound},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        serveRaw(c.items);
        limits.extraction.maxEntries = c.maxEntries;
        limits.extraction.maxTotalBytes = c.maxTotalBytes;
        const DownloadError error = failure<DownloadError>(candidate());
        EXPECT_EQ(error.kind(), c.kind);
        if (!c.message.isEmpty()) {
            EXPECT_EQ(error.message(), c.message);
        }
        EXPECT_FALSE(QFileInfo::exists(outside));
    }
}

TEST(BundleDiscovery, PrefersTheAppsNameThenTheOnlyBundle)
{
    QTemporaryDir dir;
    auto folder = [&](const QString& name, QStringList bundles) {
        for (const QString& bundle : bundles)
            QDir().mkpath(dir.filePath(name + "/" + bundle));
        return dir.filePath(name);
    };
    EXPECT_EQ(findBundle(folder("a", {"Quandrel.AppDir", "Extra.AppDir"}), "Quandrel").fileName(), "Quandrel.AppDir");
    EXPECT_EQ(findBundle(folder("b", {"Other.AppDir", "notes"}), "Quandrel").fileName(), "Other.AppDir");
    EXPECT_THROW(findBundle(folder("c", {"One.AppDir", "Two.AppDir"}), "Quandrel"), DownloadError);
    EXPECT_THROW(findBundle(folder("d", {}), "Quandrel"), DownloadError);
}

} // namespace
