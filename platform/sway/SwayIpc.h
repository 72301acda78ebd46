#pragma once

// sway's IPC protocol (the i3 one): every message is the magic "i3-ipc", the payload length
// and the message type, both 32-bit in the host's byte order, then the payload; replies come
// back framed the same way with the same type, events with the type's high bit set. Payloads
// of replies and events are JSON.
//
// SwayIpc is one blocking connection to $SWAYSOCK with a deadline on every reply. A reply
// that breaks the framing closes the connection (the stream cannot be trusted after it); the
// next request connects again.

#include <QByteArray>
#include <QJsonDocument>
#include <QString>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace quandrel::sway {

enum class MessageType : std::uint32_t {
    runCommand = 0,
    getWorkspaces = 1,
    subscribe = 2,
    getOutputs = 3,
    getTree = 4,
    getVersion = 7,
};

// Event types are the event's number with this bit set.
inline constexpr std::uint32_t eventBit = 0x80000000u;
inline constexpr std::size_t headerSize = 14; // "i3-ipc", length, type
// Larger replies are refused: a tree of thousands of windows stays far below it.
inline constexpr std::uint32_t maximumPayload = 64u << 20;

enum class IpcError {
    none,
    noSocket,      // $SWAYSOCK is not set
    connectFailed, // nothing listens there
    writeFailed,
    closed,        // sway closed the connection before the reply was complete
    timedOut,
    badMagic,      // not an i3-ipc frame
    tooLarge,      // a length beyond maximumPayload
    wrongType,     // a reply to another request
    badJson,       // the payload is not the JSON the request answers with
    refused,       // sway answered that a command failed
};

// A short English description for logs ("no reply in time", …).
const char* describe(IpcError error);

// The frame of one message.
QByteArray encodeMessage(std::uint32_t type, const QByteArray& payload);

struct FrameHeader {
    std::uint32_t length = 0;
    std::uint32_t type = 0;
};
// Reads a frame header from the first headerSize bytes; badMagic or tooLarge when they are
// not one. Fewer bytes are `closed`.
FrameHeader decodeHeader(const QByteArray& bytes, IpcError* error);

// A reply's payload as JSON; badJson (with `detail`) when it is not an object or array.
std::optional<QJsonDocument> parsePayload(const QByteArray& payload, std::string* detail = nullptr);

struct IpcReply {
    QJsonDocument document;
    IpcError error = IpcError::none;
    std::string detail; // sway's or the parser's own words, when it has some
    explicit operator bool() const { return error == IpcError::none; }
};

class SwayIpc {
public:
    // A connection to the socket at `path`, opened on first use.
    explicit SwayIpc(std::string path, std::chrono::milliseconds timeout = std::chrono::seconds(2));
    ~SwayIpc();
    SwayIpc(const SwayIpc&) = delete;
    SwayIpc& operator=(const SwayIpc&) = delete;

    // The connection $SWAYSOCK names; none when it is not set.
    static std::unique_ptr<SwayIpc> fromEnvironment();

    const std::string& path() const { return m_path; }

    IpcReply request(MessageType type, const QByteArray& payload = {});

    // Runs sway commands (one string, commands separated by ',' or ';'). Answers `refused`
    // with sway's error text when any of them failed.
    IpcReply run(const QString& commands);

    // Subscribes this connection to events ("window", "workspace", "output", …); afterwards
    // it should only wait for events.
    bool subscribe(const QStringList& events);
    // The next event, or none after `timeout`.
    std::optional<std::pair<std::uint32_t, QJsonDocument>> nextEvent(std::chrono::milliseconds timeout);

private:
    bool ensureConnected(IpcError* error);
    void disconnect();
    bool writeAll(const QByteArray& bytes);
    // Reads exactly `size` bytes before the deadline.
    IpcError readExactly(QByteArray& into, std::size_t size, std::chrono::steady_clock::time_point deadline);
    IpcReply readFrame(std::uint32_t* type, std::chrono::steady_clock::time_point deadline);

    std::string m_path;
    std::chrono::milliseconds m_timeout;
    int m_fd = -1;
};

} // namespace quandrel::sway
