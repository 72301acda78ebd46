#include "WlrDataControl.h"

#include "wlr-data-control-unstable-v1-client-protocol.h"

#include <QSocketNotifier>

#include <wayland-client.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace quandrel::wlroots {

namespace {

constexpr int stalledReaderMs = 10000;

// Writes everything to the reader's pipe and closes it, on the calling thread. A reader
// that has gone (EPIPE, with SIGPIPE held back on this thread) or takes nothing for
// stalledReaderMs ends the transfer.
void writeToReader(const QByteArray& data, int fd)
{
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    for (qsizetype done = 0; done < data.size();) {
        const ssize_t n = ::write(fd, data.constData() + done, std::size_t(data.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            pollfd ready{.fd = fd, .events = POLLOUT, .revents = 0};
            if (::poll(&ready, 1, stalledReaderMs) > 0 && !(ready.revents & (POLLERR | POLLNVAL)))
                continue;
        }
        break;
    }
    ::close(fd);
    // A SIGPIPE raised by a vanished reader stays pending on this thread; take it away.
    const timespec now{0, 0};
    while (::sigtimedwait(&pipeSignal, nullptr, &now) == SIGPIPE) {
    }
}

void serve(QByteArray data, int fd)
{
    try {
        std::thread([data = std::move(data), fd] { writeToReader(data, fd); }).detach();
    } catch (const std::system_error&) {
        ::close(fd); // no thread to be had: the reader gets nothing rather than the loop stopping
    }
}

} // namespace

struct WlrDataControl::Connection {
    // One copy offered to the compositor, until it is cancelled.
    struct Source {
        Connection* owner = nullptr;
        zwlr_data_control_source_v1* proxy = nullptr;
        ClipboardContent content;
        ~Source()
        {
            if (proxy)
                zwlr_data_control_source_v1_destroy(proxy);
        }
    };

    wl_display* display = nullptr;
    wl_registry* registry = nullptr;
    wl_seat* seat = nullptr;
    zwlr_data_control_manager_v1* manager = nullptr;
    zwlr_data_control_device_v1* device = nullptr;
    std::vector<zwlr_data_control_offer_v1*> offers; // other programs' selections, to be destroyed
    std::vector<std::unique_ptr<Source>> sources;
    Source* current = nullptr; // the copy that is the selection now
    std::unique_ptr<QSocketNotifier> events;
    std::uint64_t takenByOthers = 0;
    bool usable = true;

    ~Connection()
    {
        events.reset();
        sources.clear();
        for (zwlr_data_control_offer_v1* offer : offers)
            zwlr_data_control_offer_v1_destroy(offer);
        if (device)
            zwlr_data_control_device_v1_destroy(device);
        if (manager)
            zwlr_data_control_manager_v1_destroy(manager);
        if (seat)
            wl_seat_destroy(seat);
        if (registry)
            wl_registry_destroy(registry);
        if (display)
            wl_display_disconnect(display);
    }

    void drop(Source* source)
    {
        if (source == current)
            current = nullptr;
        std::erase_if(sources, [source](const std::unique_ptr<Source>& s) { return s.get() == source; });
    }

    void dispatch()
    {
        if (wl_display_dispatch(display) < 0 || wl_display_flush(display) < 0)
            end();
    }

    void end()
    {
        usable = false;
        if (events)
            events->setEnabled(false);
    }
};

namespace {

using Connection = WlrDataControl::Connection;

void sourceSend(void* data, zwlr_data_control_source_v1*, const char* mimeType, int32_t fd)
{
    auto* source = static_cast<Connection::Source*>(data);
    for (const ClipboardItem& item : source->content)
        if (item.mimeType == mimeType) {
            serve(item.data, fd);
            return;
        }
    ::close(fd);
}

void sourceCancelled(void* data, zwlr_data_control_source_v1*)
{
    auto* source = static_cast<Connection::Source*>(data);
    Connection* connection = source->owner;
    if (source == connection->current)
        ++connection->takenByOthers; // not replaced by a copy of ours
    connection->drop(source);
}

const zwlr_data_control_source_v1_listener sourceListener = {.send = sourceSend, .cancelled = sourceCancelled};

void deviceDataOffer(void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer)
{
    static_cast<Connection*>(data)->offers.push_back(offer);
}

void deviceSelection(void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer)
{
    auto* connection = static_cast<Connection*>(data);
    // Only the newest offer stays; a change while no copy of ours is the selection is
    // another program's.
    std::erase_if(connection->offers, [offer](zwlr_data_control_offer_v1* o) {
        if (o == offer)
            return false;
        zwlr_data_control_offer_v1_destroy(o);
        return true;
    });
    if (!connection->current)
        ++connection->takenByOthers;
}

void deviceFinished(void* data, zwlr_data_control_device_v1*)
{
    auto* connection = static_cast<Connection*>(data);
    zwlr_data_control_device_v1_destroy(connection->device);
    connection->device = nullptr;
    connection->usable = false;
}

const zwlr_data_control_device_v1_listener deviceListener = {
    .data_offer = deviceDataOffer, .selection = deviceSelection, .finished = deviceFinished};

void registryGlobal(void* data, wl_registry* registry, uint32_t id, const char* interface, uint32_t)
{
    auto* connection = static_cast<Connection*>(data);
    if (!connection->seat && std::strcmp(interface, wl_seat_interface.name) == 0)
        connection->seat = static_cast<wl_seat*>(wl_registry_bind(registry, id, &wl_seat_interface, 1));
    else if (!connection->manager && std::strcmp(interface, zwlr_data_control_manager_v1_interface.name) == 0)
        connection->manager = static_cast<zwlr_data_control_manager_v1*>(
            wl_registry_bind(registry, id, &zwlr_data_control_manager_v1_interface, 1));
}
void registryGlobalRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener registryListener = {.global = registryGlobal, .global_remove = registryGlobalRemove};

} // namespace

std::unique_ptr<WlrDataControl> WlrDataControl::open()
{
    auto connection = std::make_unique<Connection>();
    connection->display = wl_display_connect(nullptr);
    if (!connection->display)
        return nullptr;
    connection->registry = wl_display_get_registry(connection->display);
    wl_registry_add_listener(connection->registry, &registryListener, connection.get());
    if (wl_display_roundtrip(connection->display) < 0 || !connection->manager || !connection->seat)
        return nullptr;
    connection->device = zwlr_data_control_manager_v1_get_data_device(connection->manager, connection->seat);
    zwlr_data_control_device_v1_add_listener(connection->device, &deviceListener, connection.get());
    // The selection as it is now arrives here, before any copy of ours.
    if (wl_display_roundtrip(connection->display) < 0 || !connection->device)
        return nullptr;
    Connection* raw = connection.get();
    connection->events = std::make_unique<QSocketNotifier>(wl_display_get_fd(connection->display), QSocketNotifier::Read);
    QObject::connect(connection->events.get(), &QSocketNotifier::activated, connection->events.get(), [raw] { raw->dispatch(); });
    return std::unique_ptr<WlrDataControl>(new WlrDataControl(std::move(connection)));
}

WlrDataControl::WlrDataControl(std::unique_ptr<Connection> connection) : m_connection(std::move(connection)) {}

WlrDataControl::~WlrDataControl() = default;

bool WlrDataControl::offer(ClipboardContent content)
{
    Connection& c = *m_connection;
    if (!c.usable || !c.device || content.empty())
        return false;
    auto source = std::make_unique<Connection::Source>();
    source->owner = &c;
    source->proxy = zwlr_data_control_manager_v1_create_data_source(c.manager);
    source->content = std::move(content);
    zwlr_data_control_source_v1_add_listener(source->proxy, &sourceListener, source.get());
    for (const ClipboardItem& item : source->content)
        zwlr_data_control_source_v1_offer(source->proxy, item.mimeType.c_str());
    zwlr_data_control_device_v1_set_selection(c.device, source->proxy);
    c.current = source.get();
    c.sources.push_back(std::move(source));
    if (wl_display_flush(c.display) < 0 && errno != EAGAIN) {
        c.end();
        return false;
    }
    return true;
}

bool WlrDataControl::takesCopies() const { return m_connection->usable && m_connection->device; }

std::uint64_t WlrDataControl::takenByOthers() const
{
    // A change another program made just before is counted before the copy that follows it
    // starts: otherwise its late-read event would count against that copy and drop it.
    Connection& c = *m_connection;
    if (c.usable && wl_display_roundtrip(c.display) < 0)
        c.end();
    return c.takenByOthers;
}

std::unique_ptr<ClipboardWriter> sessionClipboard()
{
    if (auto control = WlrDataControl::open())
        return control;
    return std::make_unique<PlainClipboard>();
}

} // namespace quandrel::wlroots
