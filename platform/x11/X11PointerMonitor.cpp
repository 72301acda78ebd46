#include "X11PointerMonitor.h"
#include "ScreenSpace.h"

#include "Display.h"
#include "X11Connection.h"

#include <xcb/xinput.h>

namespace quandrel::x11 {

X11PointerMonitor::X11PointerMonitor(X11Connection& connection, DisplayProvider& displays)
    : m_connection(connection)
    , m_displays(displays)
    , m_filter(connection, [this](xcb_generic_event_t* e) { return handleEvent(e); })
{
    xcb_connection_t* c = m_connection.xcb();
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(c, &xcb_input_id);
    if (!extension || !extension->present)
        return;
    // Raw events reach a client during another client's grab only from XInput 2.1 on: the
    // version announced here decides what the server sends.
    Reply<xcb_input_xi_query_version_reply_t> version(xcb_input_xi_query_version_reply(c, xcb_input_xi_query_version(c, 2, 2), nullptr));
    if (!version || version->major_version < 2 || (version->major_version == 2 && version->minor_version < 1))
        return;
    m_opcode = extension->major_opcode;
}

X11PointerMonitor::~X11PointerMonitor()
{
    if (m_monitoring)
        select(false);
}

void X11PointerMonitor::select(bool on)
{
    struct {
        xcb_input_event_mask_t header;
        std::uint32_t mask;
    } mask{{XCB_INPUT_DEVICE_ALL_MASTER, 1}, 0};
    if (on)
        mask.mask = XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_RELEASE | XCB_INPUT_XI_EVENT_MASK_RAW_MOTION;
    xcb_input_xi_select_events(m_connection.xcb(), m_connection.root(), 1, &mask.header);
    m_connection.flush();
}

void X11PointerMonitor::setMonitoring(bool on)
{
    if (on == m_monitoring || !isAvailable())
        return;
    m_monitoring = on;
    m_leftDown = false;
    select(on);
}

Point X11PointerMonitor::pointerLocation()
{
    xcb_connection_t* c = m_connection.xcb();
    Reply<xcb_query_pointer_reply_t> pointer(xcb_query_pointer_reply(c, xcb_query_pointer(c, m_connection.root()), nullptr));
    if (!pointer)
        return {};
    const std::vector<Display> displays = m_displays.displays();
    return ScreenSpace::of(displays).fromWindow(pointFromPixels(Point{double(pointer->root_x), double(pointer->root_y)}, displays));
}

bool X11PointerMonitor::handleEvent(xcb_generic_event_t* e)
{
    if (!m_opcode || (e->response_type & 0x7f) != XCB_GE_GENERIC)
        return false;
    auto* generic = reinterpret_cast<xcb_ge_generic_event_t*>(e);
    if (generic->extension != m_opcode)
        return false;
    if (!m_monitoring)
        return true;
    switch (generic->event_type) {
    case XCB_INPUT_RAW_BUTTON_PRESS:
        if (reinterpret_cast<xcb_input_raw_button_press_event_t*>(e)->detail == 1) {
            m_leftDown = true;
            if (onEvent)
                onEvent(PointerEvent::leftDown);
        }
        return true;
    case XCB_INPUT_RAW_BUTTON_RELEASE:
        if (reinterpret_cast<xcb_input_raw_button_release_event_t*>(e)->detail == 1 && m_leftDown) {
            m_leftDown = false;
            if (onEvent)
                onEvent(PointerEvent::leftUp);
        }
        return true;
    case XCB_INPUT_RAW_MOTION:
        if (m_leftDown && onEvent)
            onEvent(PointerEvent::leftDragged);
        return true;
    default:
        return true;
    }
}

} // namespace quandrel::x11
