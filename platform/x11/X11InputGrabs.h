#pragma once

// Keyboard and pointer grabs on X11 (GrabKeyboard and GrabPointer, with owner events, so
// that among the grabbing client's own windows events still go where they normally would).
// An X grab belongs to a client connection and sends the events to that client: grab on the
// connection that made the window, which in the application is Qt's.

#include "InputGrabs.h"

#include <xcb/xcb.h>

namespace quandrel::x11 {

class X11InputGrabs final : public InputGrabs {
public:
    // The connection is not owned and outlives this object.
    explicit X11InputGrabs(xcb_connection_t* connection);
    ~X11InputGrabs() override;
    X11InputGrabs(const X11InputGrabs&) = delete;
    X11InputGrabs& operator=(const X11InputGrabs&) = delete;

    InputGrabError grab(WindowHandle window) override;
    void release() override;
    bool isGrabbed() const override { return m_grabbed; }

private:
    xcb_connection_t* m_connection;
    bool m_grabbed = false;
};

} // namespace quandrel::x11
