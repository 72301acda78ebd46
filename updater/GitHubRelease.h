#pragma once

// Release records of the release service and the choice of one `UpdateCandidate` among them.

#include "AppBundle.h"
#include "AppVersion.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QUrl>

#include <optional>
#include <vector>

namespace ostry {

struct UpdaterConfiguration {
    QString appName = QStringLiteral("Quandrel");
    QString feedRepository;  // "owner/name"
    double checkInterval = 86400.0;
    bool includePrereleases = false;
    AppBundle bundle;        // the running application
    QUrl apiBaseURL = QUrl(QStringLiteral("https://api.github.com"));
};

struct Asset {
    QString name;
    qint64 size = 0;
    QUrl browserDownloadURL;

    bool operator==(const Asset&) const = default;
};

struct GitHubRelease {
    QString tagName;
    std::optional<QString> name;
    std::optional<QString> body;
    bool draft = false;
    bool prerelease = false;
    QUrl htmlURL;
    std::optional<QDateTime> publishedAt;
    std::vector<Asset> assets;
};

struct UpdateCandidate {
    AppVersion version;
    QString title;
    QString notes;
    std::optional<QDateTime> publishedAt;
    QUrl downloadURL;
    qint64 downloadSize = 0;
    QUrl releasePageURL;
    QString assetName;
    QUrl signatureURL; // the "<asset>.minisig" published beside the zip; empty when missing

    bool operator==(const UpdateCandidate&) const = default;
};

// Decodes a page of the release list (a JSON array). Throws FeedError::malformed.
std::vector<GitHubRelease> decodeReleases(const QByteArray& json);

// The release's zip: "<App>-<version>.zip", "<App>-v<version>.zip" or "<App>.zip" (any case)
// in feed order, else the only ".zip" that is not a debug-symbols archive.
std::optional<Asset> chooseAsset(const std::vector<Asset>& assets, const QString& appName,
                                 const AppVersion& version);

// The newest installable release, as an UpdateCandidate. On equal versions the earlier one in
// the list stays.
std::optional<UpdateCandidate> latestCandidate(const std::vector<GitHubRelease>& releases,
                                               const QString& appName, bool includePrereleases);

} // namespace ostry
