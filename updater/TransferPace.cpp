#include "TransferPace.h"

#include <QNetworkReply>

#include <algorithm>

namespace ostry {

TransferPace::TransferPace(QNetworkReply* reply, PaceLimits limits) : m_reply(reply)
{
    // A redirect starts counting from zero again: what arrives after it is still progress.
    connect(reply, &QNetworkReply::downloadProgress, this, [this](qint64 received, qint64) {
        m_arrived += received >= m_lastProgress ? received - m_lastProgress : received;
        m_lastProgress = received;
    });
    const qint64 perWindow = std::max<qint64>(limits.minimumBytesPerSecond * limits.rateWindowMs / 1000, 1);
    m_window.setInterval(limits.rateWindowMs);
    connect(&m_window, &QTimer::timeout, this, [this, perWindow] {
        const qint64 fresh = m_arrived - m_arrivedAtWindowStart;
        m_arrivedAtWindowStart = m_arrived;
        if (fresh < perWindow)
            stop(Outcome::stalled);
    });
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] { stop(Outcome::timedOut); });
    connect(reply, &QNetworkReply::finished, this, [this] {
        m_window.stop();
        m_deadline.stop();
    });
    m_window.start();
    m_deadline.start(limits.deadlineMs);
}

void TransferPace::stop(Outcome why)
{
    m_window.stop();
    m_deadline.stop();
    if (m_outcome == Outcome::moving)
        m_outcome = why;
    // Aborting finishes the reply, which may resume and end the awaiting coroutine at once:
    // nothing of this object is touched after it.
    m_reply->abort();
}

} // namespace ostry
