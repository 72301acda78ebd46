#pragma once

// One running Quandrel per user and display. The first process to take an exclusive lock on
// a file beside the command socket becomes the running instance and listens on the socket;
// a later launch hands its command URLs over the socket, which only the user can open, and
// exits.
//
// The protocol: each URL on a line of its own (UTF-8, at most maxURLLength bytes, no
// control characters), then an empty line. The instance answers "ok" when every URL named a
// command that did what it names, "refused N" when N of them named none or failed (an app
// that isn't installed, a window command without a window to arrange), "error <reason>" when the message
// broke the rules, and "busy" (reading nothing) when maxClients connections are open
// already. Every connection ends a few seconds after it was opened, however busy it keeps
// itself, so nobody can hold the instance's door shut.
//
// A URL that was written is never sent again: a client whose answer doesn't come reports
// that instead, since a stalled instance that recovers runs what it read.

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
    // From a connection's start to its end, whatever it sends (milliseconds).
    static constexpr int connectionDeadline = 5000;
    // How long a client waits for the answer once its URLs are written.
    static constexpr int answerTimeout = 5000;

    // "quandrel-:0" for DISPLAY=":0", ":0.0" or "unix:0"; the screen number does not count.
    static QString displayTag(const QString& display);

    // The socket's path: in XDG_RUNTIME_DIR when it is a private folder of this user, else in
    // a private folder in the user's cache folder (~/.cache/quandrel-runtime-<host>), which
    // no other account can create first. An error text when neither can be used (the folder
    // belongs to someone else, or is open to others, or the path is too long for a socket).
    struct Location {
        QString socketPath;
        QString error;
    };
    static Location defaultLocation();
    // The fallback folder of defaultLocation() (also when XDG_RUNTIME_DIR is private).
    static QString fallbackFolder();

    explicit SingleInstance(QString socketPath, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Why a URL cannot be sent; none when it can.
    static std::optional<QString> checkURL(const QString& url);

    enum class Delivery {
        delivered,    // the instance understood every URL
        refused,      // some URL named no command or failed, or the message broke the rules
        noInstance,   // nobody listens; nothing was sent
        busy,         // the instance turned every try away unread for as long as we waited
        noAnswer,     // the URLs were written but no answer came: they are not sent again
    };
    // Delivers the URLs to a running instance, trying again for up to `patienceMs` while it
    // answers "busy". `answer` receives the instance's reply.
    Delivery sendToRunningInstance(const QStringList& urls, QString* answer = nullptr, int patienceMs = 10000);

    // Takes the lock that makes this process the running instance; false when another
    // process holds it.
    bool acquire();

    // Listens for later launches; only after acquire(). `handle` carries out one URL and
    // answers whether it named a command that did what it names.
    bool listen(std::function<bool(const QString& url)> handle);

    QString socketPath() const { return m_path; }
    // For tests: a shorter connection deadline (before listen()), a shorter wait for an answer.
    void setConnectionDeadline(int ms) { m_deadline = ms; }
    void setAnswerTimeout(int ms) { m_answerTimeout = ms; }

private:
    Delivery sendOnce(const QStringList& urls, QString* answer);

    QString m_path;
    int m_deadline = connectionDeadline;
    int m_answerTimeout = answerTimeout;
    int m_lockFile = -1;
    QLocalServer* m_server = nullptr;
    std::function<bool(const QString&)> m_handle;
};

} // namespace quandrel
