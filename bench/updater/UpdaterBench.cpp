// Measures the updater's verification and privileged install of a large bundle and the
// decoding of a release page.
// Prints one "name: value unit" line per figure.

#include "AppBundle.h"
#include "BundleManifest.h"
#include "GitHubRelease.h"
#include "InstallHelper.h"
#include "Minisign.h"
#include "ReleaseBuilder.h"
#include "SignatureVerifier.h"

#include "BenchStats.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

using namespace ostry;

namespace {

constexpr int fileCount = 2000;
constexpr qint64 bundleBytes = 100 * 1000 * 1000;

void write(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size())
        std::fprintf(stderr, "can't write %s\n", qPrintable(path));
}

QString makeBundle(const QString& parent, const QString& version, const minisign::SecretKey& key, int files,
                   qint64 bytesPerFile)
{
    const QString root = parent + "/Quandrel.AppDir";
    const QByteArray publicKey = minisign::encodePublicKey(key.publicKey());
    write(root + "/Bundle/Info.json",
          "{\"identifier\": \"org.quandrel.Quandrel.bench\", \"version\": \"" + version.toUtf8() + "\", \"name\": \"Quandrel\"}");
    write(root + "/Bundle/update-key.pub", publicKey);
    write(root + "/AppRun", "#!/bin/sh\n");
    std::mt19937_64 random(42);
    QByteArray data(bytesPerFile, Qt::Uninitialized);
    for (int i = 0; i < files; ++i) {
        auto* words = reinterpret_cast<std::uint64_t*>(data.data());
        for (qint64 w = 0; w < bytesPerFile / 8; ++w)
            words[w] = random();
        write(QStringLiteral("%1/usr/lib/part%2/file%3.bin").arg(root).arg(i % 40).arg(i), data);
    }
    QString error;
    if (!release::signBundle(root, key, &error))
        std::fprintf(stderr, "signing failed: %s\n", qPrintable(error));
    return root;
}

using quandrel::bench::median;

QByteArray releasePage(int count)
{
    QJsonArray releases;
    const QString notes = QString("A change that matters. ").repeated(40);
    for (int i = 0; i < count; ++i) {
        const QString version = QStringLiteral("1.%1.%2").arg(count - i).arg(i % 3);
        QJsonArray assets;
        for (const QString& name : {"Quandrel-" + version + ".zip", "Quandrel-" + version + ".zip.minisig",
                                    "Quandrel-" + version + ".dSYM.zip"})
            assets.append(QJsonObject{{"name", name}, {"size", 52428800}, {"content_type", "application/zip"},
                                      {"browser_download_url", "https://example.invalid/releases/download/Quandrel/" + version + "/" + name}});
        releases.append(QJsonObject{{"tag_name", "Quandrel/" + version}, {"name", "Quandrel " + version}, {"body", notes},
                                    {"draft", i % 17 == 0}, {"prerelease", i % 5 == 0},
                                    {"html_url", "https://example.invalid/releases/tag/Quandrel/" + version},
                                    {"published_at", "2024-05-01T10:00:00Z"}, {"assets", assets}});
    }
    return QJsonDocument(releases).toJson(QJsonDocument::Compact);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const minisign::SecretKey key = minisign::generateSecretKey();
    QDir().mkpath(dir.filePath("installed"));
    QDir().mkpath(dir.filePath("new"));
    const AppBundle installed(makeBundle(dir.filePath("installed"), "1.0", key, 3, 1000));

    QElapsedTimer timer;
    timer.start();
    const AppBundle candidate(makeBundle(dir.filePath("new"), "2.0", key, fileCount, bundleBytes / fileCount));
    const double createMs = timer.elapsed();

    timer.restart();
    QString error;
    release::signBundle(candidate.path(), key, &error);
    std::printf("bundle_sign_100mb_2000_files: %.0f ms\n", double(timer.nsecsElapsed()) / 1e6);
    (void)createMs;

    std::vector<double> runs;
    for (int i = 0; i < 5; ++i) {
        SignatureVerifier verifier(std::make_shared<AcceptedVersionStore>(dir.filePath("accepted")));
        timer.restart();
        try {
            verifier.verify(candidate, installed);
        } catch (const std::exception& failure) {
            std::fprintf(stderr, "verification failed: %s\n", failure.what());
            return 1;
        }
        runs.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::printf("verify_bundle_100mb_2000_files: %.0f ms\n", median(runs));

    runs.clear();
    for (int i = 0; i < 3; ++i) {
        timer.restart();
        BundleManifest::scan(candidate.path(), nullptr, 1);
        runs.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::printf("verify_bundle_100mb_2000_files_one_thread: %.0f ms\n", median(runs));

    // The privileged install: a private copy of every file, the full check of that copy,
    // flushing it to disk, and the swap (here as the current user, into its own folder).
    runs.clear();
    for (int i = 0; i < 3; ++i) {
        const QString folder = dir.filePath(QStringLiteral("target-%1").arg(i));
        QDir().mkpath(folder);
        const AppBundle target(makeBundle(folder, "1.0", key, 3, 1000));
        timer.restart();
        try {
            InstallHelper::install(QFileInfo(candidate.path()).absoluteFilePath(), target.path());
        } catch (const std::exception& failure) {
            std::fprintf(stderr, "install failed: %s\n", failure.what());
            return 1;
        }
        runs.push_back(double(timer.nsecsElapsed()) / 1e6);
        QDir(folder).removeRecursively();
    }
    std::printf("install_helper_100mb_2000_files: %.0f ms\n", median(runs));

    // The archive check before unpacking streams the whole file through BLAKE2b-512.
    const QString archive = dir.filePath("archive.bin");
    {
        QFile file(archive);
        file.open(QIODevice::WriteOnly);
        const QByteArray block(1 << 20, 'q');
        for (int i = 0; i < 100; ++i)
            file.write(block);
    }
    runs.clear();
    for (int i = 0; i < 3; ++i) {
        timer.restart();
        minisign::prehashFile(archive);
        runs.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::printf("archive_signature_check_100mib: %.0f ms\n", median(runs));

    const QByteArray page = releasePage(100);
    constexpr int iterations = 200;
    std::size_t found = 0;
    timer.restart();
    for (int i = 0; i < iterations; ++i) {
        const auto best = latestCandidate(decodeReleases(page), "Quandrel", false);
        found += best ? 1 : 0;
    }
    std::printf("feed_decode_100_releases: %.0f us\n", double(timer.nsecsElapsed()) / 1e3 / iterations);
    std::printf("feed_page_size: %lld bytes\n", static_cast<long long>(page.size()));
    return found == iterations ? 0 : 1;
}
