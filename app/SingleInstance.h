#pragma once

// One running Quandrel per user and display. A later launch hands its command URLs to the
// running instance over a local socket that only the user can open, then exits.

#include <QObject>
#include <QString>
#include <QStringList>

class QLocalServer;

namespace quandrel {

class SingleInstance : public QObject {
    Q_OBJECT
public:
    // The socket lives in XDG_RUNTIME_DIR, or else in a private folder of the temporary
    // directory; one per X display.
    static QString defaultSocketPath();

    explicit SingleInstance(QString socketPath, QObject* parent = nullptr);

    // Delivers the URLs to a running instance; false when none runs.
    bool sendToRunningInstance(const QStringList& urls);

    // Becomes the running instance. False when another instance got there first.
    bool listen();
    QString socketPath() const { return m_path; }

Q_SIGNALS:
    void urlReceived(const QString& url);

private:
    QString m_path;
    QLocalServer* m_server = nullptr;
};

} // namespace quandrel
