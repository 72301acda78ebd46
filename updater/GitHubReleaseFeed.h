#pragma once

// Asks the release service for the newest installable release, with conditional requests
// (ETag / If-None-Match) and the service's rate-limit answers turned into messages.

#include "GitHubRelease.h"
#include "TransferPace.h"

#include <QCoroTask>

#include <memory>
#include <optional>

class QNetworkAccessManager;

namespace ostry {

class ReleaseFeed {
public:
    virtual ~ReleaseFeed() = default;
    // The newest installable release, or nothing. Throws FeedError.
    virtual QCoro::Task<std::optional<UpdateCandidate>> latestCandidate() = 0;
};

// The last successful answer of the release service. Kept in memory only, for as long as the
// feed lives; everything runs on the feed's thread, so a read and a store never interleave.
class ResponseCache {
public:
    struct Entry {
        std::optional<QByteArray> etag;
        QByteArray body;
    };

    const std::optional<Entry>& entry() const { return m_entry; }
    void store(Entry entry) { m_entry = std::move(entry); }

private:
    std::optional<Entry> m_entry;
};

class GitHubReleaseFeed : public ReleaseFeed {
public:
    static constexpr int timeoutMilliseconds = 60 * 1000;
    // A page of 100 releases is a few hundred kB; anything past this is cut off.
    static constexpr qint64 defaultMaxAnswerSize = 8 * 1024 * 1024;
    // The whole answer within two minutes, and at least 1 kB/s in every half minute: a server
    // that drips its answer can't keep a check (and every check that joins it) running.
    static constexpr PaceLimits defaultPace{1024, 30 * 1000, 2 * 60 * 1000};

    GitHubReleaseFeed(UpdaterConfiguration configuration, QNetworkAccessManager* network,
                      std::shared_ptr<ResponseCache> cache = std::make_shared<ResponseCache>());

    QCoro::Task<std::optional<UpdateCandidate>> latestCandidate() override;

    QUrl requestURL() const;
    const ResponseCache& cache() const { return *m_cache; }
    void setMaxAnswerSize(qint64 bytes) { m_maxAnswerSize = bytes; }
    void setPace(PaceLimits pace) { m_pace = pace; }

private:
    UpdaterConfiguration m_configuration;
    QNetworkAccessManager* m_network;
    std::shared_ptr<ResponseCache> m_cache;
    qint64 m_maxAnswerSize = defaultMaxAnswerSize;
    PaceLimits m_pace = defaultPace;
};

} // namespace ostry
