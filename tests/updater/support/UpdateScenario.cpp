#include "UpdateScenario.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <csignal>
#include <cstring>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace ostry::test {

namespace {

const QByteArray zipTarget = "/download/Quandrel-1.1.0.zip";
const QByteArray signatureTarget = "/download/Quandrel-1.1.0.zip.minisig";

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

UpdateScenario::UpdateScenario(QString root, Paths paths)
    : m_root(std::move(root)), m_paths(std::move(paths)), m_server(std::make_unique<TestHttpServer>())
{
}

UpdateScenario::~UpdateScenario()
{
    stop();
}

bool UpdateScenario::run(const QString& program, const QStringList& arguments, QString* error)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        *error = QStringLiteral("%1 %2: %3").arg(program, arguments.join(QLatin1Char(' ')), QString::fromUtf8(process.readAll()));
        return false;
    }
    return true;
}

QProcessEnvironment UpdateScenario::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const auto set = [&](const char* name, const char* folder) {
        environment.insert(QLatin1String(name), m_root + QLatin1Char('/') + QLatin1String(folder));
    };
    set("HOME", "home");
    set("XDG_CONFIG_HOME", "config");
    set("XDG_DATA_HOME", "data");
    set("XDG_CACHE_HOME", "cache");
    set("XDG_RUNTIME_DIR", "runtime");
    set("TMPDIR", "tmp");
    // No session bus of the person running the tests is ever reached.
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=") + m_root + QStringLiteral("/no-bus"));
    environment.insert(QStringLiteral("QUANDREL_RELEASE_API"), m_server->url("").toString());
    environment.remove(QStringLiteral("APPDIR"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    return environment;
}

bool UpdateScenario::prepare(Archive archive, QString* error)
{
    for (const char* folder : {"home", "config", "data", "cache", "runtime", "tmp", "apps", "keys", "build", "dist"})
        QDir(m_root).mkpath(QString::fromLatin1(folder));
    QFile::setPermissions(m_root + QStringLiteral("/runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString secret = m_root + QStringLiteral("/keys/release.key");
    const QString publicKey = m_root + QStringLiteral("/keys/release.pub");
    const QString newBundle = m_root + QStringLiteral("/build/Quandrel.AppDir");
    // The program without its debugging information, as a release carries it: a tenth of the
    // bytes to bundle, sign, pack, download, unpack, check and install.
    const QString program = m_root + QStringLiteral("/build/quandrel");
    if (!run(QStringLiteral("strip"), {QStringLiteral("--strip-debug"), QStringLiteral("-o"), program, m_paths.quandrel}, error))
        return false;
    const auto bundle = [&](const QString& output, const char* version) {
        return run(m_paths.releaseTool,
                   {QStringLiteral("bundle"), QStringLiteral("--output"), output, QStringLiteral("--executable"), program,
                    QStringLiteral("--version"), QString::fromLatin1(version), QStringLiteral("--identifier"),
                    QStringLiteral("org.quandrel.Quandrel.test"), QStringLiteral("--public-key"), publicKey,
                    QStringLiteral("--secret-key"), secret},
                   error);
    };
    if (!run(m_paths.releaseTool,
             {QStringLiteral("keygen"), QStringLiteral("--secret-key"), secret, QStringLiteral("--public-key"), publicKey,
              QStringLiteral("--unencrypted")},
             error)
        || !bundle(bundlePath(), "1.0.0") || !bundle(newBundle, "1.1.0")
        || !run(m_paths.releaseTool,
                {QStringLiteral("package"), QStringLiteral("--secret-key"), secret, QStringLiteral("--output-dir"),
                 m_root + QStringLiteral("/dist"), newBundle},
                error))
        return false;

    QByteArray zip = readAll(m_root + QStringLiteral("/dist/Quandrel-1.1.0.zip"));
    const QByteArray signature = readAll(m_root + QStringLiteral("/dist/Quandrel-1.1.0.zip.minisig"));
    if (zip.isEmpty() || signature.isEmpty()) {
        *error = QStringLiteral("the release archive wasn't written");
        return false;
    }
    if (archive == Archive::tampered)
        zip[zip.size() / 2] = char(zip[zip.size() / 2] ^ 0x20);
    const auto asset = [&](const QByteArray& target, qint64 size) {
        return QJsonObject{{QStringLiteral("name"), QFileInfo(QString::fromLatin1(target)).fileName()},
                           {QStringLiteral("size"), size},
                           {QStringLiteral("browser_download_url"), m_server->url(target).toString()}};
    };
    const QJsonObject release{
        {QStringLiteral("tag_name"), QStringLiteral("Quandrel/1.1.0")},
        {QStringLiteral("name"), QStringLiteral("Quandrel 1.1.0")},
        {QStringLiteral("body"), QStringLiteral("## What's new\n\n* **Faster** window layouts\n* A signed self-updater\n\n"
                                                "<img src=\"%1\"> stays text. [Release page](https://example.invalid/1.1.0)")
                                     .arg(m_server->url("/tracker.png").toString())},
        {QStringLiteral("draft"), false},
        {QStringLiteral("prerelease"), false},
        {QStringLiteral("html_url"), QStringLiteral("https://example.invalid/releases/1.1.0")},
        {QStringLiteral("published_at"), QStringLiteral("2026-12-01T10:00:00Z")},
        {QStringLiteral("assets"), QJsonArray{asset(zipTarget, zip.size()), asset(signatureTarget, signature.size())}}};
    m_server->setResponse("/repos/" + m_paths.repository.toUtf8() + "/releases?per_page=100",
                          Response{200, {{"Content-Type", "application/json"}}, QJsonDocument(QJsonArray{release}).toJson()});
    Response zipResponse{200, {}, zip};
    if (archive == Archive::stalled)
        zipResponse.stallAfter = zip.size() / 2;
    m_server->setResponse(zipTarget, zipResponse);
    m_server->setResponse(signatureTarget, Response{200, {}, signature});
    return true;
}

bool UpdateScenario::start()
{
    m_process.setProcessEnvironment(environment());
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.setStandardErrorFile(m_root + QStringLiteral("/quandrel.log"));
    m_process.start(bundlePath() + QStringLiteral("/AppRun"), {});
    return m_process.waitForStarted(10000);
}

QString UpdateScenario::log() const
{
    return QString::fromUtf8(readAll(m_root + QStringLiteral("/quandrel.log")));
}

bool UpdateScenario::waitUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

QStringList UpdateScenario::windowsNamed(const QString& title)
{
    // POSIX extended syntax: only its operators are escaped (GNU reads \' as an anchor).
    QString pattern = QStringLiteral("^");
    for (const QChar c : title) {
        if (QStringLiteral(".[]()*+?{}|^$\\").contains(c))
            pattern += QLatin1Char('\\');
        pattern += c;
    }
    pattern += QLatin1Char('$');
    QProcess search;
    search.start(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--name"), pattern});
    search.waitForFinished(5000);
    return QString::fromUtf8(search.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

bool UpdateScenario::pressKey(const QString& window, const QString& key)
{
    return activate(window) && typeKey(key);
}

bool UpdateScenario::activate(const QString& window)
{
    QProcess activate;
    activate.start(QStringLiteral("xdotool"), {QStringLiteral("windowactivate"), QStringLiteral("--sync"), window});
    return activate.waitForFinished(5000) && activate.exitCode() == 0;
}

bool UpdateScenario::typeKey(const QString& key)
{
    QProcess press;
    press.start(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("--clearmodifiers"), key});
    return press.waitForFinished(5000) && press.exitCode() == 0;
}

std::optional<qint64> UpdateScenario::answeringPid() const
{
    const QStringList sockets = QDir(m_root + QStringLiteral("/runtime")).entryList({QStringLiteral("*.socket")}, QDir::System);
    for (const QString& name : sockets) {
        const QByteArray path = QFile::encodeName(m_root + QStringLiteral("/runtime/") + name);
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        if (std::size_t(path.size()) >= sizeof(address.sun_path))
            continue;
        std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        std::optional<qint64> pid;
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0) {
            ucred credentials {};
            socklen_t length = sizeof(credentials);
            if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) == 0)
                pid = credentials.pid;
        }
        ::close(fd);
        if (pid)
            return pid;
    }
    return std::nullopt;
}

QString UpdateScenario::executableOf(qint64 pid)
{
    return QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget();
}

QString UpdateScenario::bundleVersion(const QString& bundle)
{
    return QJsonDocument::fromJson(readAll(bundle + QStringLiteral("/Bundle/Info.json"))).object().value(QStringLiteral("version")).toString();
}

void UpdateScenario::stop()
{
    if (const auto pid = answeringPid(); pid && *pid != m_process.processId())
        ::kill(pid_t(*pid), SIGTERM);
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(5000);
    }
}

} // namespace ostry::test
