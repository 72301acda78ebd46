#include "SwayIpc.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonParseError>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace quandrel::sway {

namespace {

constexpr char magic[] = {'i', '3', '-', 'i', 'p', 'c'};

void appendU32(QByteArray& bytes, std::uint32_t value)
{
    char raw[4];
    std::memcpy(raw, &value, 4);
    bytes.append(raw, 4);
}

std::uint32_t readU32(const char* raw)
{
    std::uint32_t value = 0;
    std::memcpy(&value, raw, 4);
    return value;
}

} // namespace

const char* describe(IpcError error)
{
    switch (error) {
    case IpcError::none:
        return "no error";
    case IpcError::noSocket:
        return "SWAYSOCK is not set";
    case IpcError::connectFailed:
        return "cannot connect to sway's IPC socket";
    case IpcError::writeFailed:
        return "cannot write to sway's IPC socket";
    case IpcError::closed:
        return "sway closed the IPC connection";
    case IpcError::timedOut:
        return "no reply from sway in time";
    case IpcError::badMagic:
        return "the reply is not an i3-ipc message";
    case IpcError::tooLarge:
        return "the reply is implausibly large";
    case IpcError::wrongType:
        return "the reply answers another request";
    case IpcError::badJson:
        return "the reply is not valid JSON";
    case IpcError::refused:
        return "sway refused the command";
    }
    return "unknown error";
}

QByteArray encodeMessage(std::uint32_t type, const QByteArray& payload)
{
    QByteArray bytes;
    bytes.reserve(static_cast<qsizetype>(headerSize) + payload.size());
    bytes.append(magic, sizeof magic);
    appendU32(bytes, static_cast<std::uint32_t>(payload.size()));
    appendU32(bytes, type);
    bytes.append(payload);
    return bytes;
}

FrameHeader decodeHeader(const QByteArray& bytes, IpcError* error)
{
    *error = IpcError::none;
    if (static_cast<std::size_t>(bytes.size()) < headerSize) {
        *error = IpcError::closed;
        return {};
    }
    if (std::memcmp(bytes.constData(), magic, sizeof magic) != 0) {
        *error = IpcError::badMagic;
        return {};
    }
    const FrameHeader header{readU32(bytes.constData() + 6), readU32(bytes.constData() + 10)};
    if (header.length > maximumPayload)
        *error = IpcError::tooLarge;
    return header;
}

std::optional<QJsonDocument> parsePayload(const QByteArray& payload, std::string* detail)
{
    QJsonParseError parseError{};
    QJsonDocument document = QJsonDocument::fromJson(payload, &parseError);
    if (parseError.error != QJsonParseError::NoError || document.isNull()) {
        if (detail)
            *detail = parseError.errorString().toStdString() + " at offset " + std::to_string(parseError.offset);
        return std::nullopt;
    }
    return document;
}

SwayIpc::SwayIpc(std::string path, std::chrono::milliseconds timeout)
    : m_path(std::move(path))
    , m_timeout(timeout)
{
}

SwayIpc::~SwayIpc() { disconnect(); }

std::unique_ptr<SwayIpc> SwayIpc::fromEnvironment()
{
    const QByteArray path = qgetenv("SWAYSOCK");
    if (path.isEmpty())
        return nullptr;
    return std::make_unique<SwayIpc>(path.toStdString());
}

bool SwayIpc::ensureConnected(IpcError* error)
{
    if (m_fd >= 0)
        return true;
    if (m_path.empty()) {
        *error = IpcError::noSocket;
        return false;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (m_path.size() >= sizeof address.sun_path) {
        *error = IpcError::connectFailed;
        return false;
    }
    std::memcpy(address.sun_path, m_path.c_str(), m_path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (fd >= 0)
            ::close(fd);
        *error = IpcError::connectFailed;
        return false;
    }
    m_fd = fd;
    return true;
}

void SwayIpc::disconnect()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool SwayIpc::writeAll(const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(m_fd, bytes.constData() + done, static_cast<std::size_t>(bytes.size() - done), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

IpcError SwayIpc::readExactly(QByteArray& into, std::size_t size, std::chrono::steady_clock::time_point deadline)
{
    into.resize(static_cast<qsizetype>(size));
    std::size_t done = 0;
    while (done < size) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return IpcError::timedOut;
        pollfd p{m_fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0)
            return IpcError::timedOut;
        if (ready < 0)
            return IpcError::closed;
        const ssize_t n = ::recv(m_fd, into.data() + done, size - done, 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0)
            return IpcError::closed;
        done += static_cast<std::size_t>(n);
    }
    return IpcError::none;
}

IpcReply SwayIpc::readFrame(std::uint32_t* type, std::chrono::steady_clock::time_point deadline)
{
    IpcReply reply;
    QByteArray header;
    if ((reply.error = readExactly(header, headerSize, deadline)) != IpcError::none)
        return reply;
    const FrameHeader frame = decodeHeader(header, &reply.error);
    if (reply.error != IpcError::none)
        return reply;
    *type = frame.type;
    QByteArray payload;
    if ((reply.error = readExactly(payload, frame.length, deadline)) != IpcError::none)
        return reply;
    if (auto document = parsePayload(payload, &reply.detail))
        reply.document = std::move(*document);
    else
        reply.error = IpcError::badJson;
    return reply;
}

IpcReply SwayIpc::request(MessageType type, const QByteArray& payload)
{
    IpcReply reply;
    // A connection sway closed meanwhile fails on write: one fresh connection is tried then.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!ensureConnected(&reply.error))
            return reply;
        if (writeAll(encodeMessage(static_cast<std::uint32_t>(type), payload)))
            break;
        disconnect();
        reply.error = IpcError::writeFailed;
    }
    if (m_fd < 0)
        return reply;
    const auto deadline = std::chrono::steady_clock::now() + m_timeout;
    std::uint32_t answered = 0;
    reply = readFrame(&answered, deadline);
    if (reply && answered != static_cast<std::uint32_t>(type)) {
        reply.error = IpcError::wrongType;
        reply.detail = "type " + std::to_string(answered);
    }
    if (!reply)
        disconnect(); // the rest of the stream is not to be trusted
    return reply;
}

IpcReply SwayIpc::run(const QString& commands)
{
    IpcReply reply = request(MessageType::runCommand, commands.toUtf8());
    if (!reply)
        return reply;
    if (!reply.document.isArray()) {
        reply.error = IpcError::badJson;
        reply.detail = "a command reply is not a list";
        return reply;
    }
    for (const QJsonValue& result : reply.document.array()) {
        const QJsonObject object = result.toObject();
        if (!object.value(QLatin1String("success")).toBool(false)) {
            reply.error = IpcError::refused;
            reply.detail = object.value(QLatin1String("error")).toString(QStringLiteral("no reason given")).toStdString();
            return reply;
        }
    }
    return reply;
}

bool SwayIpc::subscribe(const QStringList& events)
{
    const IpcReply reply = request(MessageType::subscribe, QJsonDocument(QJsonArray::fromStringList(events)).toJson(QJsonDocument::Compact));
    return reply && reply.document.object().value(QLatin1String("success")).toBool(false);
}

std::optional<std::pair<std::uint32_t, QJsonDocument>> SwayIpc::nextEvent(std::chrono::milliseconds timeout)
{
    IpcError error = IpcError::none;
    if (!ensureConnected(&error))
        return std::nullopt;
    // Waiting for the first byte consumes nothing; once an event has begun, it gets the whole
    // reply timeout, and a broken one drops the connection.
    pollfd p{m_fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, timeout.count()))) <= 0)
        return std::nullopt;
    std::uint32_t type = 0;
    IpcReply reply = readFrame(&type, std::chrono::steady_clock::now() + m_timeout);
    if (!reply) {
        disconnect();
        return std::nullopt;
    }
    return std::make_pair(type, std::move(reply.document));
}

} // namespace quandrel::sway
