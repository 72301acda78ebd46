#include "GnomeTestSupport.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
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
QString windowExpression(std::uint64_t id)
{
    return QStringLiteral("global.display.list_all_windows().find(w => w.get_id() == %1)").arg(id);
}
} // namespace

GnomeTestDesktop& GnomeTestDesktop::instance()
{
    static GnomeTestDesktop desktop;
    return desktop;
}

GnomeTestDesktop::GnomeTestDesktop()
{
    const QString folder = qEnvironmentVariable("QUANDREL_GNOME_EXTENSION_DIR");
    if (folder.isEmpty() || !eval(QStringLiteral("1")))
        throw std::runtime_error("no GNOME Shell: gnome tests run in the private Shell of tools/gnome-desktop.sh --testing");
    allowCaller(QFile::encodeName(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).toStdString());
}

void GnomeTestDesktop::allowCaller(const std::string& executable)
{
    const QString extension = qEnvironmentVariable("QUANDREL_GNOME_EXTENSION_DIR");
    if (!QFileInfo::exists(extension))
        return; // a session without the extension (gnome-desktop.sh --no-extension)
    QFile callers(extension + QStringLiteral("/callers"));
    if (!callers.open(QIODevice::Append) || callers.write(QByteArray::fromStdString(executable) + '\n') < 0)
        throw std::runtime_error("cannot let a program call the extension");
}

std::optional<QString> GnomeTestDesktop::eval(const QString& code)
{
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.gnome.Shell"), QStringLiteral("/org/gnome/Shell"),
                                                       QStringLiteral("org.gnome.Shell"), QStringLiteral("Eval"));
    call << code;
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 5000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 2 || !reply.arguments()[0].toBool())
        return std::nullopt;
    return reply.arguments()[1].toString();
}

std::optional<Rect> GnomeTestDesktop::frame(std::uint64_t id)
{
    const auto json = eval(QStringLiteral("(w => w ? [w.get_frame_rect().x, w.get_frame_rect().y, w.get_frame_rect().width, "
                                          "w.get_frame_rect().height] : null)(%1)")
                               .arg(windowExpression(id)));
    if (!json)
        return std::nullopt;
    const QJsonArray a = QJsonDocument::fromJson(json->toUtf8()).array();
    if (a.size() != 4)
        return std::nullopt;
    return Rect{a[0].toDouble(), a[1].toDouble(), a[2].toDouble(), a[3].toDouble()};
}

bool GnomeTestDesktop::place(std::uint64_t id, const Rect& target)
{
    // A new window's first configure may still be on its way and undo the placement: asked
    // again when the window does not show the frame within a second.
    for (int attempt = 0; attempt < 5; ++attempt) {
        eval(QStringLiteral("%1.move_resize_frame(true, %2, %3, %4, %5)")
                 .arg(windowExpression(id))
                 .arg(int(target.x))
                 .arg(int(target.y))
                 .arg(int(target.width))
                 .arg(int(target.height)));
        if (waitUntil([&] { return frame(id) == target; }, std::chrono::seconds(1)))
            return true;
    }
    return false;
}

bool GnomeTestDesktop::pressKeys(const std::vector<std::uint32_t>& keysyms)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString service = QStringLiteral("org.gnome.Mutter.RemoteDesktop");
    if (m_remoteSession.isEmpty()) {
        const QDBusMessage created = bus.call(QDBusMessage::createMethodCall(service, QStringLiteral("/org/gnome/Mutter/RemoteDesktop"),
                                                                             service, QStringLiteral("CreateSession")));
        if (created.type() != QDBusMessage::ReplyMessage || created.arguments().isEmpty()) {
            ADD_FAILURE() << "no remote desktop session: " << created.errorMessage().toStdString();
            return false;
        }
        const QString session = created.arguments().front().value<QDBusObjectPath>().path();
        const QDBusMessage started = bus.call(QDBusMessage::createMethodCall(service, session, service + QStringLiteral(".Session"),
                                                                             QStringLiteral("Start")));
        if (started.type() != QDBusMessage::ReplyMessage) {
            ADD_FAILURE() << "the remote desktop session did not start: " << started.errorMessage().toStdString();
            return false;
        }
        m_remoteSession = session;
    }
    const auto send = [&](std::uint32_t keysym, bool pressed) {
        QDBusMessage call = QDBusMessage::createMethodCall(service, m_remoteSession, service + QStringLiteral(".Session"),
                                                           QStringLiteral("NotifyKeyboardKeysym"));
        call << uint(keysym) << pressed;
        const QDBusMessage reply = bus.call(call);
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
        return reply.type() == QDBusMessage::ReplyMessage;
    };
    bool ok = true;
    for (const std::uint32_t keysym : keysyms)
        ok = send(keysym, true) && ok;
    for (auto k = keysyms.rbegin(); k != keysyms.rend(); ++k)
        ok = send(*k, false) && ok;
    return ok;
}

bool GnomeTestDesktop::pressKeysUntil(const std::vector<std::uint32_t>& keysyms, const std::function<bool()>& seen)
{
    // The remote desktop's keyboard may drop what it is sent before the Shell has set it up:
    // a press that shows no effect within a second is sent again.
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (!pressKeys(keysyms))
            return false;
        if (waitUntil(seen, std::chrono::seconds(1)))
            return true;
    }
    return false;
}

std::uint64_t GnomeTestDesktop::focusedWindow()
{
    const auto json = eval(QStringLiteral("global.display.focus_window ? global.display.focus_window.get_id() : 0"));
    return json ? json->toULongLong() : 0;
}

bool GnomeTestDesktop::waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return condition();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(10);
    }
    return true;
}

GnomeClient::GnomeClient(const std::string& appId, Kind kind)
{
    GnomeTestDesktop& desktop = GnomeTestDesktop::instance();
    std::vector<std::string> arguments{QUANDREL_WAYLANDWINDOW, appId};
    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e)
        environment.emplace_back(*e);
    if (kind == Kind::xwayland) {
        // The Shell starts its Xwayland when a client connects to the display it names, with
        // the authority it names.
        const auto shellVariable = [&](const char* name) {
            const auto json = desktop.eval(QStringLiteral("GLib.getenv('%1')").arg(QLatin1String(name)));
            return QJsonDocument::fromJson("[" + json.value_or(QString()).toUtf8() + "]").array().at(0).toString().toStdString();
        };
        const std::string display = shellVariable("DISPLAY");
        if (display.empty())
            throw std::runtime_error("GNOME Shell names no X display");
        arguments = {QUANDREL_TESTWINDOW, "--class", appId, "--title", appId, "--geometry", "400x300+100+100"};
        environment.push_back("DISPLAY=" + display);
        environment.push_back("XAUTHORITY=" + shellVariable("XAUTHORITY"));
    }
    std::vector<char*> argv, envp;
    for (std::string& a : arguments)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    for (std::string& e : environment)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const int spawned = posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        throw std::runtime_error("cannot start the test window");
    // Xwayland starts on the first X client, which takes a while.
    desktop.waitUntil([&] {
        // Activated as a click would where the Shell keeps the focus elsewhere (on a window of
        // Quandrel's that took it).
        const auto json = desktop.eval(QStringLiteral("(w => w ? (w.has_focus() ? w.get_id() : (Main.activateWindow(w), 0)) : 0)"
                                                      "(global.display.list_all_windows().find(w => w.get_pid() == %1))")
                                           .arg(m_pid));
        m_id = json ? json->toULongLong() : 0;
        return m_id != 0;
    }, std::chrono::seconds(kind == Kind::xwayland ? 20 : 5));
    if (!m_id) {
        close();
        throw std::runtime_error("GNOME Shell did not show the test window with the focus");
    }
}

GnomeClient::~GnomeClient() { close(); }

void GnomeClient::close()
{
    if (m_pid <= 0)
        return;
    kill(m_pid, SIGTERM);
    waitpid(m_pid, nullptr, 0);
    m_pid = -1;
    if (m_id) {
        GnomeTestDesktop& desktop = GnomeTestDesktop::instance();
        desktop.waitUntil([&] { return !desktop.frame(m_id); });
    }
}

} // namespace quandrel::test
