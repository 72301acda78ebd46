// sway's IPC framing and replies: a well-formed exchange, and every way a reply can be broken
// (foreign bytes, lies about the length, the wrong type, bad JSON, silence, a closed socket)
// ending in a clear error, never a crash or a hang; the next request starts afresh.

#include "SwayIpc.h"
#include "SwayTree.h"
#include "SwayWindows.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

using namespace quandrel;
using namespace quandrel::sway;

namespace {

QByteArray frame(std::uint32_t type, const QByteArray& payload) { return encodeMessage(type, payload); }

// A server on a private socket answering each request with the bytes `answer` gives for it.
class ScriptedServer {
public:
    using Answer = std::function<QByteArray(std::uint32_t type, const QByteArray& payload)>;

    explicit ScriptedServer(Answer answer)
        : m_answer(std::move(answer))
    {
        m_path = m_dir.filePath(QStringLiteral("ipc.sock")).toStdString();
        m_listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, m_path.c_str(), sizeof address.sun_path - 1);
        EXPECT_EQ(::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(::listen(m_listener, 4), 0);
        m_thread = std::thread([this] { serve(); });
    }

    ~ScriptedServer()
    {
        ::shutdown(m_listener, SHUT_RDWR);
        ::close(m_listener);
        m_thread.join();
    }

    const std::string& path() const { return m_path; }
    std::atomic<int> connections = 0;

private:
    void serve()
    {
        for (;;) {
            const int fd = ::accept(m_listener, nullptr, nullptr);
            if (fd < 0)
                return;
            ++connections;
            for (;;) {
                char header[headerSize];
                if (::recv(fd, header, sizeof header, MSG_WAITALL) != static_cast<ssize_t>(sizeof header))
                    break;
                std::uint32_t length = 0;
                std::uint32_t type = 0;
                std::memcpy(&length, header + 6, 4);
                std::memcpy(&type, header + 10, 4);
                QByteArray payload(static_cast<qsizetype>(length), '\0');
                if (length && ::recv(fd, payload.data(), length, MSG_WAITALL) != static_cast<ssize_t>(length))
                    break;
                const QByteArray answer = m_answer(type, payload);
                if (answer == "close")
                    break;
                if (!answer.isEmpty())
                    (void)!::send(fd, answer.constData(), static_cast<std::size_t>(answer.size()), MSG_NOSIGNAL);
            }
            ::close(fd);
        }
    }

    QTemporaryDir m_dir;
    std::string m_path;
    int m_listener = -1;
    Answer m_answer;
    std::thread m_thread;
};

} // namespace

TEST(SwayIpcFraming, HeadersAreMagicLengthAndTypeInHostOrder)
{
    const QByteArray bytes = encodeMessage(4, "[]");
    ASSERT_EQ(bytes.size(), 16);
    EXPECT_EQ(bytes.left(6), "i3-ipc");
    IpcError error = IpcError::none;
    const FrameHeader header = decodeHeader(bytes, &error);
    EXPECT_EQ(error, IpcError::none);
    EXPECT_EQ(header.length, 2u);
    EXPECT_EQ(header.type, 4u);

    decodeHeader(QByteArray("i3-ipX") + bytes.mid(6), &error);
    EXPECT_EQ(error, IpcError::badMagic);
    decodeHeader(bytes.left(13), &error);
    EXPECT_EQ(error, IpcError::closed);
    QByteArray huge = encodeMessage(4, {});
    const std::uint32_t length = maximumPayload + 1;
    std::memcpy(huge.data() + 6, &length, 4);
    decodeHeader(huge, &error);
    EXPECT_EQ(error, IpcError::tooLarge);

    std::string detail;
    EXPECT_FALSE(parsePayload("{\"a\": ", &detail));
    EXPECT_FALSE(detail.empty());
    EXPECT_FALSE(parsePayload(""));
    EXPECT_TRUE(parsePayload("[]"));
}

TEST(SwayIpcClient, RepliesAreReadAndBrokenOnesFailClearly)
{
    int request = 0;
    const std::uint32_t tooLong = maximumPayload + 1;
    ScriptedServer server([&](std::uint32_t type, const QByteArray&) -> QByteArray {
        switch (request++) {
        case 0:
            return frame(type, R"({"human_readable": "sway version 1.7"})");
        case 1:
            return frame(type, "{not json");
        case 2:
            return frame(type + 1, "{}");
        case 3:
            return QByteArray("HTTP/1.1 200 OK\r\n\r\n");
        case 4: {
            QByteArray header = frame(type, {});
            std::memcpy(header.data() + 6, &tooLong, 4);
            return header;
        }
        case 5:
            return frame(type, R"({"long": "reply"})").left(20); // then the connection closes
        case 6:
            return {}; // silence
        case 7:
            return "close";
        default:
            return frame(type, "{}");
        }
    });
    SwayIpc ipc(server.path(), std::chrono::milliseconds(200));

    IpcReply reply = ipc.request(MessageType::getVersion);
    ASSERT_TRUE(reply) << describe(reply.error);
    EXPECT_EQ(reply.document.object().value("human_readable").toString(), "sway version 1.7");

    reply = ipc.request(MessageType::getTree);
    EXPECT_EQ(reply.error, IpcError::badJson);
    EXPECT_FALSE(reply.detail.empty());
    EXPECT_EQ(ipc.request(MessageType::getTree).error, IpcError::wrongType);
    EXPECT_EQ(ipc.request(MessageType::getTree).error, IpcError::badMagic);
    EXPECT_EQ(ipc.request(MessageType::getTree).error, IpcError::tooLarge);
    EXPECT_EQ(ipc.request(MessageType::getTree).error, IpcError::timedOut); // 20 bytes, then nothing more
    EXPECT_EQ(ipc.request(MessageType::getOutputs).error, IpcError::timedOut);
    EXPECT_EQ(ipc.request(MessageType::getOutputs).error, IpcError::closed);
    // After each broken reply the connection was dropped: the next request works on a new one.
    EXPECT_TRUE(ipc.request(MessageType::getTree));
    EXPECT_GE(server.connections, 8);

    EXPECT_EQ(SwayIpc("/nonexistent/sway.sock").request(MessageType::getTree).error, IpcError::connectFailed);
    EXPECT_EQ(SwayIpc("").request(MessageType::getTree).error, IpcError::noSocket);
    EXPECT_EQ(SwayIpc(std::string(200, 'x')).request(MessageType::getTree).error, IpcError::connectFailed);
    // Frames beyond any layout become coordinates and sizes sway parses.
    EXPECT_EQ(swayCoordinate(1e308), 1 << 20);
    EXPECT_EQ(swayCoordinate(-12.5), -13);
    EXPECT_EQ(swaySize(-5), 1);
}

TEST(SwayIpcClient, CommandsReportSwaysRefusal)
{
    QByteArray answer;
    QByteArray received;
    ScriptedServer server([&](std::uint32_t type, const QByteArray& payload) {
        received = payload;
        return frame(type, answer);
    });
    SwayIpc ipc(server.path());
    answer = R"([{"success": true}, {"success": true}])";
    EXPECT_TRUE(ipc.run(QStringLiteral("[con_id=7] floating enable, move absolute position 1 2")));
    EXPECT_EQ(received, "[con_id=7] floating enable, move absolute position 1 2");

    answer = R"([{"success": true}, {"success": false, "parse_error": true, "error": "Unknown/invalid command 'jump'"}])";
    IpcReply reply = ipc.run(QStringLiteral("focus, jump"));
    EXPECT_EQ(reply.error, IpcError::refused);
    EXPECT_EQ(reply.detail, "Unknown/invalid command 'jump'");

    answer = R"({"success": true})";
    EXPECT_EQ(ipc.run(QStringLiteral("focus")).error, IpcError::badJson);
    answer = R"([{"error": "no success field"}])";
    EXPECT_EQ(ipc.run(QStringLiteral("focus")).error, IpcError::refused);
}

TEST(SwayIpcClient, EventsFollowTheSubscriptionAndABrokenOneEndsTheConnection)
{
    ScriptedServer server([&](std::uint32_t type, const QByteArray& payload) {
        if (type != static_cast<std::uint32_t>(MessageType::subscribe) || payload != R"(["window"])")
            return frame(type, R"({"success": false})");
        return frame(type, R"({"success": true})") + frame(eventBit | 3, R"({"change": "new"})") + frame(eventBit | 3, "{broken");
    });
    SwayIpc ipc(server.path(), std::chrono::milliseconds(200));
    ASSERT_TRUE(ipc.subscribe({QStringLiteral("window")}));
    const auto event = ipc.nextEvent(std::chrono::seconds(2));
    ASSERT_TRUE(event);
    EXPECT_EQ(event->first, eventBit | 3);
    EXPECT_EQ(event->second.object().value("change").toString(), "new");
    EXPECT_FALSE(ipc.nextEvent(std::chrono::seconds(2)));
    // A fresh connection has no subscription: nothing comes.
    EXPECT_FALSE(ipc.nextEvent(std::chrono::milliseconds(20)));
    EXPECT_EQ(server.connections, 2);
    EXPECT_FALSE(ipc.subscribe({QStringLiteral("nonsense")}));
}

namespace {

QJsonDocument json(const char* text) { return QJsonDocument::fromJson(text); }

} // namespace

TEST(SwayTreeParsing, WindowsComeInFocusOrderWithTheirTitleBars)
{
    const auto windows = windowsFromTree(json(R"({
      "id": 1, "type": "root", "focus": [3], "floating_nodes": [],
      "nodes": [
        {"id": 2, "type": "output", "name": "__i3", "focus": [], "floating_nodes": [], "nodes": [
          {"id": 20, "type": "workspace", "name": "__i3_scratch", "focus": [21], "nodes": [], "floating_nodes": [
            {"id": 21, "type": "floating_con", "pid": 300, "app_id": "hidden", "rect": {"x": 0, "y": 0, "width": 10, "height": 10},
             "nodes": [], "floating_nodes": []}]}]},
        {"id": 3, "type": "output", "name": "OUT-1", "focus": [4], "floating_nodes": [], "nodes": [
          {"id": 4, "type": "workspace", "name": "1", "layout": "splith", "focus": [7, 5], "nodes": [
            {"id": 5, "type": "con", "layout": "tabbed", "focus": [6], "floating_nodes": [], "nodes": [
              {"id": 6, "type": "con", "pid": 100, "app_id": "tabbed", "rect": {"x": 0, "y": 50, "width": 700, "height": 850},
               "deco_rect": {"x": 0, "y": 0, "width": 350, "height": 25}, "nodes": [], "floating_nodes": []}]}],
           "floating_nodes": [
            {"id": 7, "type": "floating_con", "pid": 200, "app_id": null, "focused": true, "visible": true,
             "window_properties": {"class": "Gimp", "instance": "gimp", "window_type": "dialog"},
             "rect": {"x": 100, "y": 125, "width": 400, "height": 275},
             "deco_rect": {"x": 100, "y": 100, "width": 400, "height": 25}, "nodes": [], "floating_nodes": []}]}]}]})"));
    ASSERT_TRUE(windows);
    ASSERT_EQ(windows->size(), 3u);
    // The focused output's focused floating window first, then its tabbed neighbour, then the
    // output that was never focused.
    const SwayWindow& gimp = (*windows)[0];
    EXPECT_EQ(gimp.id, 7u);
    EXPECT_TRUE(gimp.focused);
    EXPECT_TRUE(gimp.floating);
    EXPECT_EQ(gimp.appId, "");
    EXPECT_EQ(gimp.windowClass, "Gimp");
    EXPECT_EQ(gimp.windowType, "dialog");
    EXPECT_EQ(gimp.frame, (Rect{100, 100, 400, 300}));
    EXPECT_EQ(gimp.output, "OUT-1");
    EXPECT_EQ(gimp.workspace, "1");
    // In a tabbed container the titles are shared: the frame is the rect alone.
    EXPECT_EQ((*windows)[1].id, 6u);
    EXPECT_EQ((*windows)[1].frame, (Rect{0, 50, 700, 850}));
    EXPECT_FALSE((*windows)[1].floating);
    EXPECT_TRUE((*windows)[2].inScratchpad());
}

TEST(SwayTreeParsing, MalformedTreesAreSkippedNotTrusted)
{
    EXPECT_FALSE(windowsFromTree(json("[]")));
    EXPECT_FALSE(windowsFromTree(json(R"({"nodes": "many"})")));
    EXPECT_FALSE(windowsFromTree(QJsonDocument()));
    const auto windows = windowsFromTree(json(R"({"nodes": [
        {"type": "con", "id": -4, "pid": 1, "nodes": [], "floating_nodes": []},
        {"type": "con", "id": 1e12, "pid": 1, "nodes": [], "floating_nodes": []},
        {"type": "con", "id": 9, "pid": "12", "app_id": 5, "rect": {"x": "left", "width": -30, "height": 1e300},
         "nodes": [], "floating_nodes": []},
        {"type": "con", "id": 10, "pid": 1e15, "app_id": "big", "nodes": [], "floating_nodes": []},
        "not a node", 17, null]})"));
    ASSERT_TRUE(windows);
    ASSERT_EQ(windows->size(), 1u); // id 9 has no pid nor app_id worth the name; 10 is a window
    EXPECT_EQ((*windows)[0].id, 10u);
    EXPECT_EQ((*windows)[0].pid, 2147483647);

    // A tree nested beyond reason is cut off, not followed down the stack.
    QJsonObject node{{"type", "con"}, {"id", 99}, {"pid", 5}, {"nodes", QJsonArray()}, {"floating_nodes", QJsonArray()}};
    for (int i = 0; i < 400; ++i)
        node = QJsonObject{{"type", "con"}, {"id", 1000 + i}, {"nodes", QJsonArray{node}}};
    const auto deep = windowsFromTree(QJsonDocument(QJsonObject{{"nodes", QJsonArray{node}}}));
    ASSERT_TRUE(deep);
    EXPECT_TRUE(deep->empty());
}

TEST(SwayOutputParsing, TheOriginOutputLeadsAndWorkspacesGiveTheVisibleFrames)
{
    const auto displays = displaysFromOutputs(json(R"([
        {"name": "DP-2", "active": true, "scale": 2, "rect": {"x": 1920, "y": -200, "width": 1280, "height": 720}},
        {"name": "OFF", "active": false, "rect": {"x": 0, "y": 0, "width": 800, "height": 600}},
        {"name": "EMPTY", "active": true, "rect": {"x": 5000, "y": 0, "width": 0, "height": 600}},
        {"name": "DP-1", "active": true, "scale": 0, "rect": {"x": 0, "y": 0, "width": 1920, "height": 1080}}])"),
                                              json(R"([
        {"name": "1", "output": "DP-1", "visible": true, "rect": {"x": 0, "y": 30, "width": 1920, "height": 1050}},
        {"name": "2", "output": "DP-1", "visible": false, "rect": {"x": 0, "y": 0, "width": 10, "height": 10}},
        {"name": "3", "output": "DP-2", "visible": true, "rect": {"x": 1920, "y": -200, "width": 1280, "height": 700}}])"));
    ASSERT_TRUE(displays);
    ASSERT_EQ(displays->size(), 2u);
    EXPECT_EQ((*displays)[0].name, "DP-1");
    EXPECT_EQ((*displays)[0].frame, (Rect{0, 0, 1920, 1080}));
    EXPECT_EQ((*displays)[0].visibleFrame, (Rect{0, 0, 1920, 1050})); // a 30-point bar at the top
    EXPECT_EQ((*displays)[0].scale, 1);
    EXPECT_EQ((*displays)[1].name, "DP-2");
    EXPECT_EQ((*displays)[1].frame, (Rect{1920, 560, 1280, 720}));
    EXPECT_EQ((*displays)[1].visibleFrame, (Rect{1920, 580, 1280, 700})); // a bar at the bottom
    EXPECT_EQ((*displays)[1].scale, 2);

    EXPECT_FALSE(displaysFromOutputs(json("{}"), json("[]")));
    const auto withoutWorkspaces = displaysFromOutputs(json(R"([{"name": "A", "active": true, "rect": {"x": 0, "y": 0, "width": 800, "height": 600}}])"),
                                                       QJsonDocument());
    ASSERT_TRUE(withoutWorkspaces);
    EXPECT_EQ(withoutWorkspaces->front().visibleFrame, (Rect{0, 0, 800, 600}));
    EXPECT_TRUE(displaysFromOutputs(json("[]"), json("[]"))->empty());
}
