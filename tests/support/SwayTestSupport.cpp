#include "SwayTestSupport.h"

#include "SwayIpc.h"

#include <QJsonArray>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>

extern char** environ;

namespace quandrel::test {

namespace {

QJsonObject findNode(const QJsonObject& node, double id)
{
    if (node.value(QLatin1String("id")).toDouble(-1) == id)
        return node;
    for (const char* key : {"nodes", "floating_nodes"}) {
        for (const QJsonValue& child : node.value(QLatin1String(key)).toArray()) {
            const QJsonObject found = findNode(child.toObject(), id);
            if (!found.isEmpty())
                return found;
        }
    }
    return {};
}

double focusedIn(const QJsonObject& node)
{
    if (node.value(QLatin1String("focused")).toBool() && node.value(QLatin1String("pid")).isDouble())
        return node.value(QLatin1String("id")).toDouble();
    for (const char* key : {"nodes", "floating_nodes"}) {
        for (const QJsonValue& child : node.value(QLatin1String(key)).toArray()) {
            if (const double id = focusedIn(child.toObject()))
                return id;
        }
    }
    return 0;
}

void collectTitled(const QJsonObject& node, const QString& title, QString output, std::vector<QJsonObject>& found)
{
    if (node.value(QLatin1String("type")).toString() == QLatin1String("output"))
        output = node.value(QLatin1String("name")).toString();
    if (node.value(QLatin1String("pid")).isDouble() && node.value(QLatin1String("name")).toString() == title) {
        QJsonObject window = node;
        window.insert(QLatin1String("output"), output);
        found.push_back(window);
    }
    for (const char* key : {"nodes", "floating_nodes"})
        for (const QJsonValue& child : node.value(QLatin1String(key)).toArray())
            collectTitled(child.toObject(), title, output, found);
}

Rect rect(const QJsonValue& v)
{
    const QJsonObject o = v.toObject();
    return {o.value(QLatin1String("x")).toDouble(), o.value(QLatin1String("y")).toDouble(), o.value(QLatin1String("width")).toDouble(),
            o.value(QLatin1String("height")).toDouble()};
}

} // namespace

SwayTestDesktop& SwayTestDesktop::instance()
{
    static SwayTestDesktop desktop;
    return desktop;
}

SwayTestDesktop::SwayTestDesktop()
    : m_commands(sway::SwayIpc::fromEnvironment())
    , m_events(sway::SwayIpc::fromEnvironment())
{
    if (!m_commands || !m_commands->request(sway::MessageType::getVersion))
        throw std::runtime_error("no sway: sway tests run in the private headless sway of tools/sway-desktop.sh");
    if (!m_events->subscribe({QStringLiteral("window"), QStringLiteral("workspace")}))
        throw std::runtime_error("sway refused the event subscription");
}

bool SwayTestDesktop::run(const std::string& commands)
{
    const sway::IpcReply reply = m_commands->run(QString::fromStdString(commands));
    EXPECT_TRUE(reply) << commands << ": " << sway::describe(reply.error) << " " << reply.detail;
    return bool(reply);
}

QJsonObject SwayTestDesktop::node(std::uint32_t id)
{
    const sway::IpcReply reply = m_commands->request(sway::MessageType::getTree);
    return reply ? findNode(reply.document.object(), id) : QJsonObject();
}

std::optional<Rect> SwayTestDesktop::outerFrame(std::uint32_t id)
{
    const QJsonObject n = node(id);
    if (n.isEmpty())
        return std::nullopt;
    Rect frame = rect(n.value(QLatin1String("rect")));
    const double title = rect(n.value(QLatin1String("deco_rect"))).height;
    frame.y -= title;
    frame.height += title;
    return frame;
}

bool SwayTestDesktop::isFloating(std::uint32_t id) { return node(id).value(QLatin1String("type")).toString() == QLatin1String("floating_con"); }

std::vector<QJsonObject> SwayTestDesktop::windowsTitled(const std::string& title)
{
    std::vector<QJsonObject> found;
    const sway::IpcReply reply = m_commands->request(sway::MessageType::getTree);
    if (reply)
        collectTitled(reply.document.object(), QString::fromStdString(title), {}, found);
    return found;
}

std::uint32_t SwayTestDesktop::focusedWindow()
{
    const sway::IpcReply reply = m_commands->request(sway::MessageType::getTree);
    return reply ? static_cast<std::uint32_t>(focusedIn(reply.document.object())) : 0;
}

bool SwayTestDesktop::waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (condition())
            return true;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return condition();
        m_events->nextEvent(left);
    }
}

void SwayTestDesktop::useStandardOutputs()
{
    run("output HEADLESS-1 mode 1440x900 position 0 0 transform normal scale 1, "
        "output HEADLESS-2 mode 1440x900 position 1440 0 transform 90 scale 1, focus output HEADLESS-1");
}

Rect SwayTestDesktop::layoutBounds()
{
    const sway::IpcReply reply = m_commands->request(sway::MessageType::getOutputs);
    double left = 1e9, top = 1e9, right = -1e9, bottom = -1e9;
    for (const QJsonValue& output : reply ? reply.document.array() : QJsonArray()) {
        if (!output.toObject().value(QLatin1String("active")).toBool())
            continue;
        const Rect r = rect(output.toObject().value(QLatin1String("rect")));
        left = std::min(left, r.x);
        top = std::min(top, r.y);
        right = std::max(right, r.maxX());
        bottom = std::max(bottom, r.maxY());
    }
    return right > left ? Rect{left, top, right - left, bottom - top} : Rect{};
}

SwayInput::SwayInput()
    : WaylandInput([] { return SwayTestDesktop::instance().layoutBounds(); })
{
}

SwayClient::SwayClient(const std::string& appId, const std::string& text)
{
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        throw std::runtime_error("no pipe");
    char* argv[] = {const_cast<char*>(QUANDREL_WAYLANDWINDOW), const_cast<char*>(appId.c_str()),
                    text.empty() ? nullptr : const_cast<char*>(text.c_str()), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const int spawned = posix_spawn(&m_pid, QUANDREL_WAYLANDWINDOW, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    m_output = pipeFds[0];
    if (spawned != 0)
        throw std::runtime_error("cannot start the Wayland test window");
    SwayTestDesktop& desktop = SwayTestDesktop::instance();
    const pid_t pid = m_pid;
    desktop.waitUntil([&] {
        const std::uint32_t focused = desktop.focusedWindow();
        if (focused && desktop.node(focused).value(QLatin1String("pid")).toInt() == pid)
            m_id = focused;
        return m_id != 0;
    });
    if (!m_id || !settle()) {
        close();
        throw std::runtime_error("sway did not show the Wayland test window");
    }
}

SwayClient::~SwayClient() { close(); }

bool SwayClient::settle(std::chrono::milliseconds timeout)
{
    SwayTestDesktop& desktop = SwayTestDesktop::instance();
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const Rect content = rect(desktop.node(m_id).value(QLatin1String("window_rect")));
        if (m_width == int(content.width) && m_height == int(content.height))
            return true;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p{m_output, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, int(left.count())) <= 0) {
            ADD_FAILURE() << "the client shows " << m_width << " × " << m_height << ", sway wants " << toString(content);
            return false;
        }
        char buffer[256];
        const ssize_t n = ::read(m_output, buffer, sizeof buffer);
        if (n <= 0)
            return false;
        m_pending.append(buffer, std::size_t(n));
        for (auto end = m_pending.find('\n'); end != std::string::npos; end = m_pending.find('\n')) {
            std::sscanf(m_pending.substr(0, end).c_str(), "size %d %d", &m_width, &m_height);
            m_pending.erase(0, end + 1);
        }
    }
}

void SwayClient::close()
{
    if (m_output >= 0)
        ::close(m_output);
    m_output = -1;
    if (m_pid <= 0)
        return;
    kill(m_pid, SIGTERM);
    waitpid(m_pid, nullptr, 0);
    m_pid = -1;
    if (m_id) {
        SwayTestDesktop& desktop = SwayTestDesktop::instance();
        desktop.waitUntil([&] { return desktop.node(m_id).isEmpty(); });
    }
}

} // namespace quandrel::test
