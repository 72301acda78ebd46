#pragma once

// One running Quandrel per user and display. The first process to take an exclusive lock on
// a file beside the command socket becomes the running instance and listens on the socket;
// a later launch hands its command URLs over the socket, which only the user can open, and
// exits.
//
// The protocol: each URL on a line of its own (UTF-8, at most maxURLLength bytes, no
// control characters), then an empty line. The instance answers "ok" when it understood
// every URL, "refused N" when N of them named no command, and "error <reason>" when the
// message broke the rules; it closes connections that stay idle for a few seconds.

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QLocalServer;

namespace quandrel {

class SingleInstance : public QObject {
    Q_OBJECT
public:
    static constexpr qsizetype maxURLLength = 64 * 1024;
    static constexpr int maxClients = 32;
    static constexpr int idleTimeout = 5000; // milliseconds

    // "quandrel-:0" for DISPLAY=":0", ":0.0" or "unix:0"; the screen number does not count.
    static QString displayTag(const QString& display);

    // The socket's path: in XDG_RUNTIME_DIR when it is a private folder of this user, else in
    // a private folder of the temporary directory. An error text when neither can be used
    // (the folder belongs to someone else, or is open to others).
    struct Location {
        QString socketPath;
        QString error;
    };
    static Location defaultLocation();

    explicit SingleInstance(QString socketPath, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Why a URL cannot be sent; none when it can.
    static std::optional<QString> checkURL(const QString& url);

    enum class Delivery {
        delivered,    // the instance understood every URL
        refused,      // it answered that some URL named no command, or broke the rules
        noInstance,   // nobody listens
    };
    // Delivers the URLs to a running instance. `answer` receives the instance's reply.
    Delivery sendToRunningInstance(const QStringList& urls, QString* answer = nullptr);

    // Takes the lock that makes this process the running instance; false when another
    // process holds it.
    bool acquire();

    // Listens for later launches; only after acquire(). `handle` carries out one URL and
    // answers whether it named a command.
    bool listen(std::function<bool(const QString& url)> handle);

    QString socketPath() const { return m_path; }

private:
    QString m_path;
    int m_lockFile = -1;
    QLocalServer* m_server = nullptr;
    std::function<bool(const QString&)> m_handle;
};

} // namespace quandrel
