#include "X11Connection.h"

#include "X11EventFilter.h"

#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <poll.h>

namespace quandrel::x11 {

namespace {
constexpr std::array<const char*, static_cast<std::size_t>(Atom::Count)> atomNames = {
    "_GTK_FRAME_EXTENTS",
    "_GTK_APPLICATION_ID",
    "UTF8_STRING",
    "WM_CHANGE_STATE",
};
} // namespace

std::unique_ptr<X11Connection> X11Connection::open(const char* display)
{
    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(display, &screenNumber);
    if (!connection || xcb_connection_has_error(connection)) {
        if (connection)
            xcb_disconnect(connection);
        return nullptr;
    }

    std::unique_ptr<X11Connection> c(new X11Connection);
    c->m_connection = connection;
    c->m_screenNumber = screenNumber;

    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && it.rem; ++i)
        xcb_screen_next(&it);
    if (!it.rem)
        return nullptr;
    c->m_screen = it.data;

    // Every atom is interned in one batch: all requests first, then all replies.
    c->m_ewmh = std::make_unique<xcb_ewmh_connection_t>();
    xcb_intern_atom_cookie_t* ewmhCookies = xcb_ewmh_init_atoms(connection, c->m_ewmh.get());
    std::array<xcb_intern_atom_cookie_t, atomNames.size()> cookies;
    for (std::size_t i = 0; i < atomNames.size(); ++i)
        cookies[i] = xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(atomNames[i])), atomNames[i]);
    if (!xcb_ewmh_init_atoms_replies(c->m_ewmh.get(), ewmhCookies, nullptr)) {
        c->m_ewmh.reset();
        return nullptr;
    }
    c->m_atoms.resize(atomNames.size());
    for (std::size_t i = 0; i < atomNames.size(); ++i) {
        Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(connection, cookies[i], nullptr));
        c->m_atoms[i] = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    }
    return c;
}

X11Connection::~X11Connection()
{
    for (X11EventFilter* filter : m_filters) {
        if (filter)
            filter->m_connection = nullptr;
    }
    if (m_ewmh)
        xcb_ewmh_connection_wipe(m_ewmh.get());
    if (m_connection)
        xcb_disconnect(m_connection);
}

std::uint32_t X11Connection::root() const { return m_screen->root; }

int X11Connection::fileDescriptor() const { return xcb_get_file_descriptor(m_connection); }

void X11Connection::flush() { xcb_flush(m_connection); }

void X11Connection::dispatch(xcb_generic_event_t* event)
{
    // Errors of requests nobody checked (a window that vanished mid-operation) end here and
    // are dropped: they are expected and harmless.
    if (event->response_type == 0)
        return;
    // By index and up to the count at the start: a handler may add filters (which reallocates
    // the list) or remove them (which empties their slots), and may dispatch again itself
    // while it waits for the server.
    ++m_dispatching;
    const std::size_t count = m_filters.size();
    for (std::size_t i = 0; i < count; ++i) {
        X11EventFilter* filter = m_filters[i];
        if (filter && filter->m_handler(event))
            break;
    }
    if (--m_dispatching == 0 && m_removedDuringDispatch) {
        std::erase(m_filters, nullptr);
        m_removedDuringDispatch = false;
    }
}

void X11Connection::add(X11EventFilter* filter) { m_filters.push_back(filter); }

void X11Connection::remove(X11EventFilter* filter)
{
    const auto it = std::find(m_filters.begin(), m_filters.end(), filter);
    if (it == m_filters.end())
        return;
    if (m_dispatching > 0) {
        *it = nullptr;
        m_removedDuringDispatch = true;
    } else {
        m_filters.erase(it);
    }
}

X11EventFilter::X11EventFilter(X11Connection& connection, Handler handler)
    : m_connection(&connection)
    , m_handler(std::move(handler))
{
    m_connection->add(this);
}

X11EventFilter::~X11EventFilter()
{
    if (m_connection)
        m_connection->remove(this);
}

void X11Connection::dispatchPending()
{
    while (Reply<xcb_generic_event_t> event{xcb_poll_for_event(m_connection)})
        dispatch(event.get());
}

bool X11Connection::waitForEvent(const std::function<bool(xcb_generic_event_t*)>& predicate, std::chrono::milliseconds timeout)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + timeout;
    xcb_flush(m_connection);
    for (;;) {
        while (Reply<xcb_generic_event_t> event{xcb_poll_for_event(m_connection)}) {
            if (predicate(event.get()))
                return true;
            dispatch(event.get());
        }
        if (xcb_connection_has_error(m_connection))
            return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        pollfd pfd{xcb_get_file_descriptor(m_connection), POLLIN, 0};
        ::poll(&pfd, 1, static_cast<int>(left.count()) + 1);
    }
}

} // namespace quandrel::x11
