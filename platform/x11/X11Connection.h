#pragma once

// Quandrel's own connection to the X server, separate from Qt's, so that waiting for the
// window manager's answers never steals events from Qt's queue. This header belongs to the
// X11 backend and its tests; the rest of Quandrel sees only the platform interfaces.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>

namespace quandrel::x11 {

class X11EventFilter;

// Frees XCB replies, which are allocated with malloc.
struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter>;

// Atoms that xcb-ewmh does not intern, in one batch.
enum class Atom : std::size_t {
    GTK_FRAME_EXTENTS,
    GTK_APPLICATION_ID,
    UTF8_STRING,
    WM_CHANGE_STATE,
    Count,
};

class X11Connection {
public:
    // Opens a connection to `display` (the environment's DISPLAY when null); none when no X
    // server answers or it lacks what Quandrel needs.
    static std::unique_ptr<X11Connection> open(const char* display = nullptr);
    ~X11Connection();

    X11Connection(const X11Connection&) = delete;
    X11Connection& operator=(const X11Connection&) = delete;

    xcb_connection_t* xcb() const { return m_connection; }
    xcb_ewmh_connection_t* ewmh() const { return m_ewmh.get(); }
    xcb_screen_t* screen() const { return m_screen; }
    int screenNumber() const { return m_screenNumber; }
    std::uint32_t root() const;
    std::uint32_t atom(Atom a) const { return m_atoms[static_cast<std::size_t>(a)]; }
    int fileDescriptor() const;
    void flush();

    // Reads whatever has arrived, without blocking, and hands each event to the event
    // filters (X11EventFilter.h).
    void dispatchPending();

    // Waits until an event satisfies `predicate` (which may inspect it) or the timeout runs
    // out. Other events go to the event filters meanwhile. Answers whether the predicate matched.
    bool waitForEvent(const std::function<bool(xcb_generic_event_t*)>& predicate, std::chrono::milliseconds timeout);

private:
    friend class X11EventFilter;

    X11Connection() = default;
    void dispatch(xcb_generic_event_t* event);
    void add(X11EventFilter* filter);
    void remove(X11EventFilter* filter);

    xcb_connection_t* m_connection = nullptr;
    std::unique_ptr<xcb_ewmh_connection_t> m_ewmh;
    xcb_screen_t* m_screen = nullptr;
    int m_screenNumber = 0;
    std::vector<std::uint32_t> m_atoms;
    // In the order they were made. A filter removed during dispatch leaves a null slot,
    // swept once no dispatch is running.
    std::vector<X11EventFilter*> m_filters;
    int m_dispatching = 0;
    bool m_removedDuringDispatch = false;
};

} // namespace quandrel::x11
