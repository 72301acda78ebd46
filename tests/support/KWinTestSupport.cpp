#include "KWinTestSupport.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace quandrel::test {

namespace {

const QString kwin = QStringLiteral("org.kde.KWin");

QDBusMessage scripting(const QString& method)
{
    return QDBusMessage::createMethodCall(kwin, QStringLiteral("/Scripting"), QStringLiteral("org.kde.kwin.Scripting"), method);
}

Rect rectOf(const QJsonValue& v)
{
    const QJsonObject o = v.toObject();
    return {o.value(QLatin1String("x")).toDouble(), o.value(QLatin1String("y")).toDouble(), o.value(QLatin1String("width")).toDouble(),
            o.value(QLatin1String("height")).toDouble()};
}

// KWin hands its fake input to programs whose desktop entry names it, found by their executable.
bool allowFakeInput()
{
    const QString applications = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/applications");
    QDir().mkpath(applications);
    QFile entry(applications + QStringLiteral("/quandrel-test-input.desktop"));
    if (!entry.open(QIODevice::WriteOnly))
        return false;
    entry.write("[Desktop Entry]\nType=Application\nName=Quandrel test input\nNoDisplay=true\nExec=" QUANDREL_WAYLANDINPUT
                "\nX-KDE-Wayland-Interfaces=org_kde_kwin_fake_input\n");
    entry.close();
    // In KWin's configuration folder (tools/kwin-desktop.sh's), which names the cache KWin reads.
    QProcess sycoca;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), QDir::homePath() + QStringLiteral("/.config"));
    sycoca.setProcessEnvironment(environment);
    sycoca.setStandardOutputFile(QProcess::nullDevice());
    sycoca.setStandardErrorFile(QProcess::nullDevice());
    sycoca.start(QStringLiteral("kbuildsycoca5"), {QStringLiteral("--noincremental")});
    if (!sycoca.waitForFinished(30000) || sycoca.exitCode() != 0)
        return false;
    // KWin looks at the cache again a moment after it last did: the driver is offered fake
    // input once a run of it with no commands finds it and ends well.
    return KWinTestDesktop::instance().waitUntil([] {
        QProcess probe;
        probe.setStandardInputFile(QProcess::nullDevice());
        probe.setStandardOutputFile(QProcess::nullDevice());
        probe.setStandardErrorFile(QProcess::nullDevice());
        probe.start(QStringLiteral(QUANDREL_WAYLANDINPUT), {});
        return probe.waitForFinished(5000) && probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0;
    }, std::chrono::seconds(15));
}

} // namespace

// The layout's top left is the origin on KWin, where the fake pointer's positions are global.
static std::function<Rect()> fakeInputLayout()
{
    static const bool allowed = allowFakeInput();
    if (!allowed)
        ADD_FAILURE() << "KWin's fake input was not allowed for the test input driver";
    return [] { return Rect{}; };
}

KWinInput::KWinInput()
    : WaylandInput(fakeInputLayout())
{
}

KWinTestDesktop& KWinTestDesktop::instance()
{
    static KWinTestDesktop* desktop = new KWinTestDesktop();
    return *desktop;
}

KWinTestDesktop::KWinTestDesktop()
{
    if (!QDBusConnection::sessionBus().registerObject(QStringLiteral("/org/quandrel/KWinTest"), this, QDBusConnection::ExportAllSlots))
        throw std::runtime_error("cannot export the test object");
}

void KWinTestDesktop::Report(const QString& value) { m_report = value; }

QJsonValue KWinTestDesktop::evaluate(const QString& expression)
{
    const QString name = QStringLiteral("quandrel-test-%1-%2").arg(::getpid()).arg(m_scripts++);
    const QString path = QDir::tempPath() + QLatin1Char('/') + name + QStringLiteral(".js");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QJsonValue(QJsonValue::Undefined);
    file.write(QStringLiteral(
                   "var all = workspace.windowList ? workspace.windowList() : workspace.clientList();\n"
                   "var active = workspace.activeWindow !== undefined ? workspace.activeWindow : workspace.activeClient;\n"
                   "function byPid(p) { for (var i = 0; i < all.length; ++i) if (all[i].pid === p && all[i].normalWindow) return all[i]; return null; }\n"
                   "function rect(r) { return r ? {x: r.x, y: r.y, width: r.width, height: r.height} : null; }\n"
                   "var value; try { value = (%1); } catch (e) { value = {error: String(e)}; }\n"
                   "callDBus(\"%2\", \"/org/quandrel/KWinTest\", \"org.quandrel.KWinTest\", \"Report\", JSON.stringify({v: value}));\n")
                   .arg(expression, QDBusConnection::sessionBus().baseService())
                   .toUtf8());
    file.close();
    m_report.reset();
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QDBusReply<int> id = bus.call(scripting(QStringLiteral("loadScript")) << path << name);
    if (!id.isValid()) {
        ADD_FAILURE() << "KWin did not load the test script: " << id.error().message().toStdString();
        return QJsonValue(QJsonValue::Undefined);
    }
    // Every loaded script not yet running: ids that KWin 5.27 hands out again may name another.
    bus.call(scripting(QStringLiteral("start")));
    const QDeadlineTimer deadline(5000);
    while (!m_report && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    bus.call(scripting(QStringLiteral("unloadScript")) << name);
    QFile::remove(path);
    if (!m_report)
        return QJsonValue(QJsonValue::Undefined);
    return QJsonDocument::fromJson(m_report->toUtf8()).object().value(QLatin1String("v"));
}

std::optional<Rect> KWinTestDesktop::frameOf(pid_t pid)
{
    const QJsonValue v = evaluate(QStringLiteral("rect(byPid(%1) && byPid(%1).frameGeometry)").arg(pid));
    if (!v.isObject())
        return std::nullopt;
    return rectOf(v);
}

pid_t KWinTestDesktop::activePid() { return evaluate(QStringLiteral("active ? active.pid : 0")).toInt(); }

bool KWinTestDesktop::place(pid_t pid, const Rect& frame)
{
    evaluate(QStringLiteral("(function() { var w = byPid(%1); w.frameGeometry = {x: %2, y: %3, width: %4, height: %5}; return true; })()")
                 .arg(pid)
                 .arg(frame.x)
                 .arg(frame.y)
                 .arg(frame.width)
                 .arg(frame.height));
    return waitUntil([&] { return frameOf(pid) == frame; });
}

bool KWinTestDesktop::waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    const QDeadlineTimer deadline(timeout);
    while (!condition()) {
        if (deadline.hasExpired())
            return condition();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
    return true;
}

void KWinTestDesktop::useStandardOutputs()
{
    const auto standard = [&] {
        const QJsonValue v = evaluate(QStringLiteral("[rect(workspace.clientArea(KWin.ScreenArea, 0, 1)), rect(workspace.clientArea(KWin.ScreenArea, 1, 1))]"));
        return v.isArray() && rectOf(v.toArray().at(0)) == Rect{0, 0, 1440, 900} && rectOf(v.toArray().at(1)) == Rect{1440, 0, 900, 1440};
    };
    if (standard())
        return;
    QProcess doctor;
    doctor.setStandardOutputFile(QProcess::nullDevice());
    doctor.setStandardErrorFile(QProcess::nullDevice());
    doctor.start(QStringLiteral("kscreen-doctor"), {QStringLiteral("output.Virtual-0.position.0,0"), QStringLiteral("output.Virtual-0.rotation.none"),
                                                        QStringLiteral("output.Virtual-1.rotation.right"), QStringLiteral("output.Virtual-1.position.1440,0")});
    doctor.waitForFinished();
    if (!waitUntil(standard))
        ADD_FAILURE() << "KWin did not take the standard outputs (start it with --size 1440x900)";
}

KWinClient::KWinClient(const std::string& appId, const std::string& text)
{
    char* argv[] = {const_cast<char*>(QUANDREL_WAYLANDWINDOW), const_cast<char*>(appId.c_str()),
                    text.empty() ? nullptr : const_cast<char*>(text.c_str()), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const int spawned = posix_spawn(&m_pid, QUANDREL_WAYLANDWINDOW, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        throw std::runtime_error("cannot start the Wayland test window");
    KWinTestDesktop& desktop = KWinTestDesktop::instance();
    if (!desktop.waitUntil([&] { return desktop.activePid() == m_pid; })) {
        close();
        throw std::runtime_error("KWin did not show the Wayland test window");
    }
}

KWinClient::~KWinClient() { close(); }

void KWinClient::close()
{
    if (m_pid <= 0)
        return;
    kill(m_pid, SIGTERM);
    waitpid(m_pid, nullptr, 0);
    const pid_t pid = m_pid;
    m_pid = -1;
    KWinTestDesktop& desktop = KWinTestDesktop::instance();
    desktop.waitUntil([&] { return !desktop.frameOf(pid); });
}

} // namespace quandrel::test
