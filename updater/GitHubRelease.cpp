#include "GitHubRelease.h"

#include "Errors.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

namespace ostry {

namespace {

[[noreturn]] void malformed(const QString& detail)
{
    throw FeedError::malformed(detail);
}

QString requiredString(const QJsonObject& object, const char* key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isString())
        malformed(QStringLiteral("\"%1\" is missing or not a text").arg(QLatin1String(key)));
    return value.toString();
}

std::optional<QString> optionalString(const QJsonObject& object, const char* key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isUndefined() || value.isNull())
        return std::nullopt;
    if (!value.isString())
        malformed(QStringLiteral("\"%1\" is not a text").arg(QLatin1String(key)));
    return value.toString();
}

bool requiredBool(const QJsonObject& object, const char* key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isBool())
        malformed(QStringLiteral("\"%1\" is missing or not true or false").arg(QLatin1String(key)));
    return value.toBool();
}

QUrl requiredUrl(const QJsonObject& object, const char* key)
{
    const QUrl url(requiredString(object, key), QUrl::StrictMode);
    if (!url.isValid())
        malformed(QStringLiteral("\"%1\" is not a valid address").arg(QLatin1String(key)));
    return url;
}

Asset decodeAsset(const QJsonValue& value)
{
    if (!value.isObject())
        malformed(QStringLiteral("an asset is not an object"));
    const QJsonObject object = value.toObject();
    Asset asset;
    asset.name = requiredString(object, "name");
    const QJsonValue size = object.value(QLatin1String("size"));
    const double number = size.toDouble(-1);
    if (!size.isDouble() || number < 0 || number > 9007199254740992.0 || number != qint64(number))
        malformed(QStringLiteral("\"size\" is missing or not a whole number"));
    asset.size = qint64(number);
    asset.browserDownloadURL = requiredUrl(object, "browser_download_url");
    return asset;
}

GitHubRelease decodeRelease(const QJsonValue& value)
{
    if (!value.isObject())
        malformed(QStringLiteral("a release is not an object"));
    const QJsonObject object = value.toObject();
    GitHubRelease release;
    release.tagName = requiredString(object, "tag_name");
    release.name = optionalString(object, "name");
    release.body = optionalString(object, "body");
    release.draft = requiredBool(object, "draft");
    release.prerelease = requiredBool(object, "prerelease");
    release.htmlURL = requiredUrl(object, "html_url");
    if (const auto published = optionalString(object, "published_at")) {
        const QDateTime date = QDateTime::fromString(*published, Qt::ISODate);
        if (!date.isValid())
            malformed(QStringLiteral("\"published_at\" is not an ISO 8601 date"));
        release.publishedAt = date;
    }
    const QJsonValue assets = object.value(QLatin1String("assets"));
    if (!assets.isArray())
        malformed(QStringLiteral("\"assets\" is missing or not a list"));
    for (const QJsonValue& asset : assets.toArray())
        release.assets.push_back(decodeAsset(asset));
    return release;
}

} // namespace

std::vector<GitHubRelease> decodeReleases(const QByteArray& json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError)
        malformed(error.errorString());
    if (!document.isArray())
        malformed(QStringLiteral("the release list is not a list"));
    const QJsonArray array = document.array();
    std::vector<GitHubRelease> releases;
    releases.reserve(std::size_t(array.size()));
    for (const QJsonValue& value : array)
        releases.push_back(decodeRelease(value));
    return releases;
}

std::optional<Asset> chooseAsset(const std::vector<Asset>& assets, const QString& appName,
                                 const AppVersion& version)
{
    const QString app = appName.toLower();
    const QString text = version.text().toLower();
    const QString preferred[] = {
        app + QLatin1Char('-') + text + QLatin1String(".zip"),
        app + QLatin1String("-v") + text + QLatin1String(".zip"),
        app + QLatin1String(".zip"),
    };
    for (const Asset& asset : assets) {
        const QString name = asset.name.toLower();
        for (const QString& wanted : preferred) {
            if (name == wanted)
                return asset;
        }
    }
    std::optional<Asset> only;
    int zips = 0;
    for (const Asset& asset : assets) {
        const QString name = asset.name.toLower();
        if (name.endsWith(QLatin1String(".zip")) && !name.contains(QLatin1String("dsym"))) {
            ++zips;
            only = asset;
        }
    }
    if (zips == 1)
        return only;
    return std::nullopt;
}

std::optional<UpdateCandidate> latestCandidate(const std::vector<GitHubRelease>& releases,
                                               const QString& appName, bool includePrereleases)
{
    const QString tagPrefix = appName + QLatin1Char('/');
    std::optional<UpdateCandidate> best;
    for (const GitHubRelease& release : releases) {
        if (release.draft || (release.prerelease && !includePrereleases))
            continue;
        if (!release.tagName.startsWith(tagPrefix))
            continue;
        const auto version = AppVersion::parse(QStringView(release.tagName).mid(tagPrefix.size()));
        if (!version || (version->prerelease && !includePrereleases))
            continue;
        const auto asset = chooseAsset(release.assets, appName, *version);
        if (!asset)
            continue;

        UpdateCandidate candidate;
        candidate.version = *version;
        candidate.title = release.name && !release.name->isEmpty()
            ? *release.name
            : appName + QLatin1Char(' ') + version->text();
        candidate.notes = release.body.value_or(QString());
        candidate.publishedAt = release.publishedAt;
        candidate.downloadURL = asset->browserDownloadURL;
        candidate.downloadSize = asset->size;
        candidate.releasePageURL = release.htmlURL;
        candidate.assetName = asset->name;
        const QString signatureName = asset->name.toLower() + QLatin1String(".minisig");
        for (const Asset& other : release.assets) {
            if (other.name.toLower() == signatureName) {
                candidate.signatureURL = other.browserDownloadURL;
                break;
            }
        }
        if (!best || best->version < candidate.version)
            best = std::move(candidate);
    }
    return best;
}

} // namespace ostry
