#pragma once

// The D-Bus object the KWin script calls (KWinBridge.h): org.quandrel.KWinBridge at
// /org/quandrel/KWin on a connection of its own, living on a thread of its own. `Next` is
// answered with the next request once there is one (a delayed reply, answered with an idle
// request now and then so the script's call never times out); the answer to the previous
// request comes with it, or on its own through `Answer`.

#include "KWinBridge.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QObject>
#include <QThread>
#include <QTimer>

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <set>

namespace quandrel::kwin {

class KWinBridge::Channel final : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.quandrel.KWinBridge")

public:
    Channel();
    ~Channel() override;

    // The connection's unique name, which the script calls; empty when there is no bus.
    QString service() const { return m_service; }
    QDBusConnection connection() const { return m_connection; }

    // Queues a request (its "id" set) for the script.
    void post(const QJsonObject& request);
    // Waits until the answer with `id` came, or `timeout`; the answer's result.
    std::optional<QJsonValue> wait(int id, std::chrono::milliseconds timeout);
    // Answers for ids not waited on go to `deliver`, called on the channel's thread.
    std::function<void(int id, QJsonValue result)> deliver;
    void expect(int id);
    void forget(int id);

    bool asking() const;
    // Ends the script's loop at its next ask.
    void quit();

public Q_SLOTS:
    QString Next(const QString& answer);
    void Answer(const QString& answer);

private:
    void take(const QString& answer);
    void flush();

    QThread m_thread;
    QDBusConnection m_connection;
    QString m_service;
    QTimer* m_idle = nullptr;

    mutable std::mutex m_mutex;
    std::condition_variable m_answered;
    std::deque<QJsonObject> m_queue;
    std::optional<QDBusMessage> m_ask;
    std::set<int> m_waiting;
    std::map<int, QJsonValue> m_answers;
    bool m_asked = false;
};

} // namespace quandrel::kwin
