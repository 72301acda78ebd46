#include "SwayTestSupport.h"

#include "PipedProcess.h"
#include "SwayIpc.h"

#include <QJsonArray>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <csignal>
#include <cstdio>
#include <unistd.h>
#include <stdexcept>
#include <sys/wait.h>

namespace quandrel::test {

namespace {

// Calls `visit` with every node of the tree and the name of the output it is on, until it
// answers true.
bool walk(const QJsonObject& node, const std::function<bool(const QJsonObject&, const QString&)>& visit, QString output = {})
{
    if (node.value(QLatin1String("type")).toString() == QLatin1String("output"))
        output = node.value(QLatin1String("name")).toString();
    if (visit(node, output))
        return true;
    for (const char* key : {"nodes", "floating_nodes"})
        for (const QJsonValue& child : node.value(QLatin1String(key)).toArray())
            if (walk(child.toObject(), visit, output))
                return true;
    return false;
}

bool isWindow(const QJsonObject& node) { return node.value(QLatin1String("pid")).isDouble(); }

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
    QJsonObject found;
    if (const sway::IpcReply reply = m_commands->request(sway::MessageType::getTree))
        walk(reply.document.object(), [&](const QJsonObject& n, const QString&) {
            return n.value(QLatin1String("id")).toDouble(-1) == id ? (found = n, true) : false;
        });
    return found;
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
    if (const sway::IpcReply reply = m_commands->request(sway::MessageType::getTree))
        walk(reply.document.object(), [&](const QJsonObject& n, const QString& output) {
            if (isWindow(n) && n.value(QLatin1String("name")).toString() == QString::fromStdString(title)) {
                found.push_back(n);
                found.back().insert(QLatin1String("output"), output);
            }
            return false;
        });
    return found;
}

std::uint32_t SwayTestDesktop::focusedWindow()
{
    std::uint32_t focused = 0;
    if (const sway::IpcReply reply = m_commands->request(sway::MessageType::getTree))
        walk(reply.document.object(), [&](const QJsonObject& n, const QString&) {
            if (isWindow(n) && n.value(QLatin1String("focused")).toBool())
                focused = std::uint32_t(n.value(QLatin1String("id")).toDouble());
            return focused != 0;
        });
    return focused;
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
    std::vector<std::string> arguments{QUANDREL_WAYLANDWINDOW, appId};
    if (!text.empty())
        arguments.push_back(text);
    m_pid = spawnPiped(arguments, &m_output, nullptr, true);
    if (m_pid <= 0)
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
    // The client prints "size W H" each time it has drawn itself at a new size.
    for (;;) {
        const Rect content = rect(desktop.node(m_id).value(QLatin1String("window_rect")));
        if (m_width == int(content.width) && m_height == int(content.height))
            return true;
        const std::string line = readLine(m_output, m_pending, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()));
        if (line.empty()) {
            ADD_FAILURE() << "the client shows " << m_width << " × " << m_height << ", sway wants " << toString(content);
            return false;
        }
        std::sscanf(line.c_str(), "size %d %d", &m_width, &m_height);
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
