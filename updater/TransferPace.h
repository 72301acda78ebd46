#pragma once

// Keeps a network transfer moving: it is stopped when it takes longer than its deadline in
// all, or when any window of `rateWindowMs` (counted from its start) brings fewer bytes than
// the minimum rate asks, so a slow drip can't hold it open until the deadline. Every body
// counts, error answers and redirects included.

#include <QObject>
#include <QTimer>

class QNetworkReply;

namespace ostry {

struct PaceLimits {
    qint64 minimumBytesPerSecond = 1024;
    int rateWindowMs = 30 * 1000;
    int deadlineMs = 30 * 60 * 1000;
};

class TransferPace : public QObject {
    Q_OBJECT
public:
    enum class Outcome { moving, stalled, timedOut };

    // Starts watching `reply` at once and aborts it when a limit is crossed.
    TransferPace(QNetworkReply* reply, PaceLimits limits);

    Outcome outcome() const { return m_outcome; }

private:
    void stop(Outcome why);

    QNetworkReply* m_reply;
    Outcome m_outcome = Outcome::moving;
    qint64 m_arrived = 0;
    qint64 m_lastProgress = 0;
    qint64 m_arrivedAtWindowStart = 0;
    QTimer m_window;
    QTimer m_deadline;
};

} // namespace ostry
