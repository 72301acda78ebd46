#include "GitHubReleaseFeed.h"

#include "Errors.h"

#include <QCoroNetworkReply>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace ostry {

namespace {

struct DeleteLater {
    void operator()(QObject* object) const { object->deleteLater(); }
};

std::optional<QDateTime> rateLimitReset(const QNetworkReply& reply)
{
    bool ok = false;
    const double seconds = QString::fromLatin1(reply.rawHeader("X-RateLimit-Reset")).trimmed().toDouble(&ok);
    // Reject values that would overflow the date arithmetic rather than show a nonsense time.
    if (!ok || !(seconds >= 0 && seconds < 1e12))
        return std::nullopt;
    return QDateTime::fromMSecsSinceEpoch(qint64(seconds * 1000), Qt::UTC);
}

} // namespace

GitHubReleaseFeed::GitHubReleaseFeed(UpdaterConfiguration configuration,
                                     QNetworkAccessManager* network,
                                     std::shared_ptr<ResponseCache> cache)
    : m_configuration(std::move(configuration)), m_network(network), m_cache(std::move(cache))
{
}

QUrl GitHubReleaseFeed::requestURL() const
{
    QString base = m_configuration.apiBaseURL.toString();
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return QUrl(base + QLatin1String("/repos/") + m_configuration.feedRepository
                + QLatin1String("/releases?per_page=100"));
}

QCoro::Task<std::optional<UpdateCandidate>> GitHubReleaseFeed::latestCandidate()
{
    QNetworkRequest request(requestURL());
    request.setTransferTimeout(timeoutMilliseconds);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setRawHeader("Accept", "application/vnd.github+json");
    request.setRawHeader("X-GitHub-Api-Version", "2022-11-28");
    const auto info = m_configuration.bundle.info();
    const QString version = info && !info->version.isEmpty() ? info->version : QStringLiteral("0");
    request.setRawHeader("User-Agent",
                         (m_configuration.appName + QLatin1Char('/') + version
                          + QLatin1String(" OstryUpdater")).toUtf8());
    if (const auto& entry = m_cache->entry(); entry && entry->etag)
        request.setRawHeader("If-None-Match", *entry->etag);

    std::unique_ptr<QNetworkReply, DeleteLater> reply(m_network->get(request));
    // The transfer timeout only fires when nothing arrives, so an endless answer is cut off
    // by its size: announced too large, or grown past the cap while it streams in.
    bool tooLarge = false;
    bool tooSlow = false;
    {
        QObject context;
        TransferPace pace(reply.get(), m_pace);
        QNetworkReply* raw = reply.get();
        const qint64 cap = m_maxAnswerSize;
        auto check = [raw, cap, &tooLarge](qint64 received, qint64 total) {
            if (!tooLarge && (received > cap || total > cap)) {
                tooLarge = true;
                raw->abort();
            }
        };
        QObject::connect(raw, &QNetworkReply::downloadProgress, &context, check);
        QObject::connect(raw, &QNetworkReply::metaDataChanged, &context, [raw, check] {
            const QVariant length = raw->header(QNetworkRequest::ContentLengthHeader);
            if (length.isValid())
                check(0, length.toLongLong());
        });
        co_await raw;
        tooSlow = pace.outcome() != TransferPace::Outcome::moving;
    }
    if (tooLarge)
        throw FeedError::tooLarge(m_maxAnswerSize);
    if (tooSlow)
        throw FeedError::tooSlow();

    const QVariant statusAttribute = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!statusAttribute.isValid()) {
        if (reply->error() != QNetworkReply::NoError)
            throw FeedError::network(reply->errorString());
        throw FeedError::badStatus(0);
    }

    QByteArray body;
    switch (const int status = statusAttribute.toInt()) {
    case 200: {
        body = reply->readAll();
        if (reply->error() != QNetworkReply::NoError)
            throw FeedError::network(reply->errorString());
        // Decode before storing, so that a malformed answer leaves the cache as it was.
        auto releases = decodeReleases(body);
        ResponseCache::Entry entry;
        if (reply->hasRawHeader("ETag"))
            entry.etag = reply->rawHeader("ETag");
        entry.body = body;
        m_cache->store(std::move(entry));
        co_return ostry::latestCandidate(releases, m_configuration.appName,
                                  m_configuration.includePrereleases);
    }
    case 304:
        if (!m_cache->entry())
            throw FeedError::badStatus(304);
        body = m_cache->entry()->body;
        break;
    case 403:
    case 429:
        throw FeedError::rateLimited(rateLimitReset(*reply));
    default:
        throw FeedError::badStatus(status);
    }
    co_return ostry::latestCandidate(decodeReleases(body), m_configuration.appName,
                                     m_configuration.includePrereleases);
}

} // namespace ostry
