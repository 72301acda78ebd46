#pragma once

// The global mouse monitor on X11: XInput 2 raw button and motion events on the root
// window. Raw events keep arriving while the window manager grabs the pointer to move a
// window, which ordinary events do not.

#include "PointerMonitor.h"
#include "X11EventFilter.h"

namespace quandrel {
class DisplayProvider;
}

namespace quandrel::x11 {

class X11Connection;

class X11PointerMonitor final : public PointerMonitor {
public:
    X11PointerMonitor(X11Connection& connection, DisplayProvider& displays);
    ~X11PointerMonitor() override;

    void setMonitoring(bool on) override;
    bool isMonitoring() const override { return m_monitoring; }
    Point pointerLocation() override;

    // False when the server has no XInput 2: monitoring then does nothing.
    bool isAvailable() const { return m_opcode != 0; }

private:
    bool handleEvent(xcb_generic_event_t* event);
    void select(bool on);

    X11Connection& m_connection;
    DisplayProvider& m_displays;
    std::uint8_t m_opcode = 0;
    bool m_monitoring = false;
    bool m_leftDown = false;
    X11EventFilter m_filter; // last: it goes first
};

} // namespace quandrel::x11
