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
    int stallTimeoutMs = 30 * 1000;         // no bytes for this long stops the download
    int deadlineMs = 30 * 60 * 1000;        // the whole archive must arrive within this
    qint64 maxSignatureSize = 4096;
    ExtractionLimits extraction;
};

class ZipDownloader : public UpdateDownloader {
public:
    ZipDownloader(QNetworkAccessManager* network, AppBundle running, DownloadLimits limits = {});

    QCoro::Task<AppBundle> download(UpdateCandidate candidate, QString appName,
                                    std::function<void(double)> progress) override;

    // Only https is accepted, and plain http to the loopback address for local testing.
    static bool isAcceptableURL(const QUrl& url);

    // The working folder of the latest download (removed again when the download failed).
    const QString& workingFolder() const { return m_workingFolder; }

private:
    QNetworkAccessManager* m_network;
    AppBundle m_running;
    DownloadLimits m_limits;
    QString m_workingFolder;
};

// Finds the bundle in an unpacked archive: "<appName>.AppDir" when present, else the only
// top-level "*.AppDir" folder. Throws DownloadError::appNotFound.
AppBundle findBundle(const QString& extractedFolder, const QString& appName);

} // namespace ostry
