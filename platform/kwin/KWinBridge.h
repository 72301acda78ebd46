#pragma once

// Quandrel's channel to KWin: a KWin script (quandrel-kwin.js, built in) loaded through
// org.kde.kwin.Scripting, which asks Quandrel for its next request over D-Bus and answers
// with the following ask. Quandrel listens on a session-bus connection of its own, served on
// a thread of its own, so that a caller on the main thread can wait for an answer while the
// script's calls still arrive. One long-lived script serves every request; it is unloaded
// when the bridge goes.

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace quandrel::kwin {

class KWinBridge {
public:
    // Loads the script into the KWin of the session bus and waits for its first ask. None
    // when KWin does not answer, with the reason in `whyNot`.
    static std::unique_ptr<KWinBridge> open(std::string* whyNot = nullptr);
    ~KWinBridge();
    KWinBridge(const KWinBridge&) = delete;
    KWinBridge& operator=(const KWinBridge&) = delete;

    // Sends a request ({"op": …, …}) and waits for its result; none when the script did not
    // answer within `timeout` (KWin gone, a script error).
    std::optional<QJsonValue> call(QJsonObject request, std::chrono::milliseconds timeout = std::chrono::seconds(2));
    // Sends a request whose result comes later: `answered` is called once on the thread that
    // sent it, with the result or none after `timeout`.
    void send(QJsonObject request, std::function<void(std::optional<QJsonValue>)> answered,
              std::chrono::milliseconds timeout = std::chrono::milliseconds(1500));

    // KWin's major version as the script found it (5 or 6); 0 before it said.
    int kwinVersion() const { return m_version; }
    // The script's name in KWin's scripting.
    const QString& pluginName() const { return m_pluginName; }
    // Whether the script is loaded and asking.
    bool alive() const;

    // The script's text with the service it calls filled in.
    static QString scriptText(const QString& service);

    class Channel;

private:
    KWinBridge();
    bool load(std::string* whyNot);
    void unload();

    void finish(int id, std::optional<QJsonValue> result);

    std::unique_ptr<QObject> m_context; // answers to send() are delivered in its thread; goes after the channel
    std::unique_ptr<Channel> m_channel;
    std::map<int, std::function<void(std::optional<QJsonValue>)>> m_pending;
    QString m_pluginName;
    QString m_scriptPath;
    int m_version = 0;
};

} // namespace quandrel::kwin
