#include "X11Session.h"

#include "X11Connection.h"

#include <xcb/xcb_ewmh.h>

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcX11, "quandrel.x11", QtInfoMsg)

namespace quandrel::x11 {

X11Session::X11Session(X11Connection& connection)
    : m_connection(connection)
    , m_filter(connection, [this](xcb_generic_event_t* e) {
        // A new window manager announces itself on the root; the old one's check window goes.
        const auto type = e->response_type & 0x7f;
        if (type == XCB_PROPERTY_NOTIFY) {
            const auto* p = reinterpret_cast<xcb_property_notify_event_t*>(e);
            if (p->window == m_connection.root() && p->atom == m_connection.ewmh()->_NET_SUPPORTING_WM_CHECK)
                m_trusted.reset();
        } else if (type == XCB_DESTROY_NOTIFY) {
            if (reinterpret_cast<xcb_destroy_notify_event_t*>(e)->window == m_checkWindow)
                m_trusted.reset();
        }
        return false;
    })
{
    const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(m_connection.xcb(), m_connection.root(), XCB_CW_EVENT_MASK, &mask);
    m_connection.flush();
}

bool X11Session::canControlWindows()
{
    // The answer is kept until the window manager changes: a new check window on the root or
    // the old one destroyed (see the event filter).
    // Under Wayland only Xwayland's own windows would obey; that is not window control.
    if (qEnvironmentVariableIsSet("WAYLAND_DISPLAY"))
        return false;
    m_connection.dispatchPending();
    if (m_trusted)
        return *m_trusted;

    // An EWMH window manager announces itself through a check window that names itself.
    xcb_ewmh_connection_t* ewmh = m_connection.ewmh();
    xcb_window_t check = XCB_WINDOW_NONE;
    xcb_window_t self = XCB_WINDOW_NONE;
    const bool trusted = xcb_ewmh_get_supporting_wm_check_reply(ewmh, xcb_ewmh_get_supporting_wm_check_unchecked(ewmh, m_connection.root()), &check, nullptr)
        && xcb_ewmh_get_supporting_wm_check_reply(ewmh, xcb_ewmh_get_supporting_wm_check_unchecked(ewmh, check), &self, nullptr)
        && self == check;
    if (trusted) {
        const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_connection.xcb(), check, XCB_CW_EVENT_MASK, &mask);
        m_checkWindow = check;
        m_trusted = true;
    }
    return trusted;
}

bool X11Session::hasCompositingManager()
{
    // A compositing manager owns the _NET_WM_CM_Sn selection of its screen.
    xcb_connection_t* c = m_connection.xcb();
    Reply<xcb_get_selection_owner_reply_t> owner(xcb_get_selection_owner_reply(
        c, xcb_get_selection_owner(c, m_connection.ewmh()->_NET_WM_CM_Sn[m_connection.screenNumber()]), nullptr));
    return owner && owner->owner != XCB_WINDOW_NONE;
}

bool X11Session::screenRecordingAllowed()
{
    // Under Wayland the X server here is Xwayland, whose root window shows nothing.
    if (qEnvironmentVariableIsSet("WAYLAND_DISPLAY"))
        return false;
    xcb_connection_t* c = m_connection.xcb();
    Reply<xcb_get_image_reply_t> pixel(xcb_get_image_reply(
        c, xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, m_connection.root(), 0, 0, 1, 1, ~0u), nullptr));
    return pixel != nullptr;
}

void X11Session::showTrustPrompt()
{
    qCWarning(lcX11, "Quandrel arranges windows through an EWMH window manager, and none is running on this X display. "
                     "Start one (for example openbox, xfwm4, KWin or Mutter) and try again.");
}

void X11Session::beep()
{
    xcb_bell(m_connection.xcb(), 0);
    m_connection.flush();
}

} // namespace quandrel::x11
