#pragma once

// A handler of the events on Quandrel's own X connection, with an owner. The filter
// registers with the connection when it is made and unregisters when it goes, so an object
// that keeps its filter as a member can never be called after it is destroyed, even with
// events for it still queued. Filters may be made and destroyed while the connection is
// dispatching (a filter may even destroy itself or its owner from inside its handler): a
// filter destroyed meanwhile sees no further events, one made meanwhile sees the next event,
// not the current one.
//
// Declare the filter after everything its handler touches, so that it is destroyed first.

#include <functional>

#include <xcb/xcb.h>

namespace quandrel::x11 {

class X11Connection;

class X11EventFilter {
public:
    // Sees every event that no waiter and no earlier filter consumed; returning true
    // consumes it. Filters see events in the order they were made.
    using Handler = std::function<bool(xcb_generic_event_t* event)>;

    X11EventFilter(X11Connection& connection, Handler handler);
    ~X11EventFilter();
    X11EventFilter(const X11EventFilter&) = delete;
    X11EventFilter& operator=(const X11EventFilter&) = delete;

private:
    friend class X11Connection;

    X11Connection* m_connection; // none once the connection is gone
    Handler m_handler;
};

} // namespace quandrel::x11
