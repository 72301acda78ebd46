#pragma once

// Fetches a release archive and its minisign signature, checks the archive against the
// running bundle's key before anything parses it, and unpacks it into a private working
// folder (mode 0700) in the temporary directory.

#include "ArchiveExtractor.h"
#include "UpdateComponents.h"

class QNetworkAccessManager;

namespace ostry {

struct DownloadLimits {
    qint64 sizeMargin = 64 * 1024;          // accepted beyond the asset's declared size
    qint64 unknownSizeCap = qint64(512) * 1024 * 1024; // when the feed declares no size (or 0)
    // Whatever the feed declares, no archive is larger: a larger declared size is refused
    // before anything is fetched, and a stream is cut off here.
    qint64 hardCap = qint64(1024) * 1024 * 1024;
    // A transfer that brings fewer than minimumBytesPerSecond on average over any window of
    // rateWindowMs (counted from its start) is stopped as stalled; a slow drip can't hold
    // it open until the deadline.
    qint64 minimumBytesPerSecond = 1024;
    int rateWindowMs = 30 * 1000;
    int deadlineMs = 30 * 60 * 1000;        // the whole archive must arrive within this
    qint64 maxSignatureSize = 4096;
    ExtractionLimits extraction;
};

// Whether plain http to this machine's loopback address is accepted besides https: only when
// the release API itself was pointed at a test server on this machine.
enum class LoopbackHttp { refused, allowed };

class ZipDownloader : public UpdateDownloader {
public:
    ZipDownloader(QNetworkAccessManager* network, AppBundle running, DownloadLimits limits = {},
                  LoopbackHttp loopbackHttp = LoopbackHttp::refused);
    // Removes the working folder of the latest download.
    ~ZipDownloader() override;

    QCoro::Task<AppBundle> download(UpdateCandidate candidate, QString appName,
                                    std::function<void(double)> progress) override;

    // Only https is accepted, and plain http to the loopback address when `loopbackHttp`
    // allows it.
    static bool isAcceptableURL(const QUrl& url, LoopbackHttp loopbackHttp);

    // The working folder of the latest download. A failed download removes it at once; a
    // successful one keeps it (it holds the unpacked bundle) until discard(), the next
    // download, or the downloader's end.
    const QString& workingFolder() const { return m_workingFolder; }
    // Removes the working folders that downloads of this user left in `tempFolder` when they
    // were interrupted.
    static void removeLeftovers(const QString& tempFolder);
    void discard() override;

    // Test hook: runs on the worker thread after the archive's signature was checked and
    // before it is unpacked, with the archive's path.
    std::function<void(const QString& archivePath)> archiveChecked;

private:
    QNetworkAccessManager* m_network;
    AppBundle m_running;
    DownloadLimits m_limits;
    LoopbackHttp m_loopbackHttp;
    QString m_workingFolder;
};

// Finds the bundle in an unpacked archive: "<appName>.AppDir" when present, else the only
// top-level "*.AppDir" folder. Throws DownloadError::appNotFound.
AppBundle findBundle(const QString& extractedFolder, const QString& appName);

} // namespace ostry
