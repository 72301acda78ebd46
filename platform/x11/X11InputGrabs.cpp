#include "X11InputGrabs.h"

#include "X11Connection.h"
#include "X11Properties.h"

namespace quandrel::x11 {

namespace {

InputGrabError grabError(const std::uint8_t* status)
{
    if (!status)
        return InputGrabError::refused;
    switch (*status) {
    case XCB_GRAB_STATUS_SUCCESS:
        return InputGrabError::none;
    case XCB_GRAB_STATUS_ALREADY_GRABBED:
    case XCB_GRAB_STATUS_FROZEN:
        return InputGrabError::heldByOtherProgram;
    case XCB_GRAB_STATUS_NOT_VIEWABLE:
        return InputGrabError::windowNotViewable;
    default:
        return InputGrabError::refused;
    }
}

} // namespace

X11InputGrabs::X11InputGrabs(xcb_connection_t* connection)
    : m_connection(connection)
{
}

X11InputGrabs::~X11InputGrabs() { release(); }

InputGrabError X11InputGrabs::grab(WindowHandle handle)
{
    const xcb_window_t window = xid(handle);
    release();
    xcb_connection_t* c = m_connection;
    // Both requests go out before either answer is awaited.
    const std::uint16_t pointerEvents = XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE | XCB_EVENT_MASK_POINTER_MOTION;
    auto keyboardCookie = xcb_grab_keyboard(c, 1, window, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    auto pointerCookie = xcb_grab_pointer(c, 1, window, pointerEvents, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC, XCB_WINDOW_NONE,
                                          XCB_CURSOR_NONE, XCB_CURRENT_TIME);
    Reply<xcb_grab_keyboard_reply_t> keyboard(xcb_grab_keyboard_reply(c, keyboardCookie, nullptr));
    Reply<xcb_grab_pointer_reply_t> pointer(xcb_grab_pointer_reply(c, pointerCookie, nullptr));
    const InputGrabError keyboardError = grabError(keyboard ? &keyboard->status : nullptr);
    const InputGrabError pointerError = grabError(pointer ? &pointer->status : nullptr);
    if (keyboardError == InputGrabError::none && pointerError == InputGrabError::none) {
        m_grabbed = true;
        return InputGrabError::none;
    }
    // Neither or both: what was taken goes back.
    if (keyboardError == InputGrabError::none)
        xcb_ungrab_keyboard(c, XCB_CURRENT_TIME);
    if (pointerError == InputGrabError::none)
        xcb_ungrab_pointer(c, XCB_CURRENT_TIME);
    xcb_flush(c);
    return keyboardError != InputGrabError::none ? keyboardError : pointerError;
}

void X11InputGrabs::release()
{
    if (!m_grabbed)
        return;
    m_grabbed = false;
    xcb_ungrab_keyboard(m_connection, XCB_CURRENT_TIME);
    xcb_ungrab_pointer(m_connection, XCB_CURRENT_TIME);
    xcb_flush(m_connection);
}

} // namespace quandrel::x11
