#pragma once

// A whole update on the private desktop: a real Quandrel 1.0.0 application folder built
// with ostry-release from the build's quandrel, a release page, a signed 1.1.0 archive and
// its signature served from 127.0.0.1, and a private home, configuration, data and runtime
// folder for the processes it starts. Shared by the end-to-end test and the benchmark.

#include "TestHttpServer.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace ostry::test {

class UpdateScenario {
public:
    struct Paths {
        QString quandrel;      // the build's quandrel
        QString releaseTool;   // ostry-release
        QString repository;    // owner/name the application was built with
    };

    // Everything lives below `root`, which must exist and be empty.
    UpdateScenario(QString root, Paths paths);
    ~UpdateScenario();

    // How the 1.1.0 archive is served: as released, with one byte changed, or stalling
    // half-way.
    enum class Archive { intact, tampered, stalled };

    // Builds the two versions and serves 1.1.0. False with *error when something could not
    // be built.
    bool prepare(Archive archive, QString* error);

    // Starts 1.0.0 through its AppRun. Its standard error goes to log().
    bool start();
    QProcess& firstProcess() { return m_process; }
    QString log() const;

    // Processes events (the server answers meanwhile) until `done` or `timeoutMs`.
    static bool waitUntil(const std::function<bool()>& done, int timeoutMs);

    // X windows of the desktop named exactly `title`.
    static QStringList windowsNamed(const QString& title);
    // Activates the window and types the key (xdotool key name) into it.
    static bool pressKey(const QString& window, const QString& key);
    static bool activate(const QString& window);
    static bool typeKey(const QString& key);

    // The process listening on the instance socket, by the socket's peer credentials.
    std::optional<qint64> answeringPid() const;
    // The executable a process runs (its /proc link).
    static QString executableOf(qint64 pid);

    QString appsFolder() const { return m_root + QStringLiteral("/apps"); }
    QString bundlePath() const { return appsFolder() + QStringLiteral("/Quandrel.AppDir"); }
    QString tempFolder() const { return m_root + QStringLiteral("/tmp"); }
    QString trashFolder() const { return m_root + QStringLiteral("/data/Trash/files"); }
    QProcessEnvironment environment() const;
    // The version in a bundle's Bundle/Info.json; empty when unreadable.
    static QString bundleVersion(const QString& bundle);
    TestHttpServer& server() { return *m_server; }

    // Ends every Quandrel this scenario started (by process id).
    void stop();

private:
    bool run(const QString& program, const QStringList& arguments, QString* error);

    QString m_root;
    Paths m_paths;
    std::unique_ptr<TestHttpServer> m_server;
    QProcess m_process;
};

} // namespace ostry::test
