#include "X11KeyboardLayout.h"

#include "X11Connection.h"

// xkb.h names a member "explicit", which C++ reserves.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit
#include <xkbcommon/xkbcommon-x11.h>

namespace quandrel::x11 {

std::unique_ptr<KeyboardLayout> keyboardLayoutFromServer(X11Connection& connection)
{
    xcb_connection_t* c = connection.xcb();
    if (!xkb_x11_setup_xkb_extension(c, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
                                     XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, nullptr, nullptr))
        return nullptr;
    const std::int32_t device = xkb_x11_get_core_keyboard_device_id(c);
    if (device < 0)
        return nullptr;
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    if (!context)
        return nullptr;
    xkb_keymap* keymap = xkb_x11_keymap_new_from_device(context, c, device, XKB_KEYMAP_COMPILE_NO_FLAGS);
    xkb_context_unref(context);
    if (!keymap)
        return nullptr;
    return std::make_unique<XkbKeyboardLayout>(keymap);
}

ServerKeyboardLayout::ServerKeyboardLayout(X11Connection& connection)
    : m_connection(connection)
    , m_filter(connection, [this](xcb_generic_event_t* e) { return handleEvent(e); })
{
    reload();
    xcb_connection_t* c = m_connection.xcb();
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(c, &xcb_xkb_id);
    if (!extension || !extension->present)
        return;
    m_xkbEvent = extension->first_event;
    // Selecting every detail of both kinds; other parts of Quandrel may listen to them too.
    const std::uint16_t kinds = XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY | XCB_XKB_EVENT_TYPE_MAP_NOTIFY;
    xcb_xkb_select_events(c, XCB_XKB_ID_USE_CORE_KBD, kinds, 0, kinds, 0xff, 0xff, nullptr);
    m_connection.flush();
}

std::string ServerKeyboardLayout::symbolForKeycode(std::uint32_t xKeycode) const
{
    return m_layout ? m_layout->symbolForKeycode(xKeycode) : std::string();
}

std::string ServerKeyboardLayout::keysymName(std::uint32_t xKeycode) const
{
    return m_layout ? m_layout->keysymName(xKeycode) : std::string();
}

void ServerKeyboardLayout::reload()
{
    m_layout = keyboardLayoutFromServer(m_connection);
    ++m_reloads;
}

bool ServerKeyboardLayout::handleEvent(xcb_generic_event_t* e)
{
    if (!m_xkbEvent || (e->response_type & 0x7f) != m_xkbEvent)
        return false;
    const auto xkbType = reinterpret_cast<xcb_xkb_map_notify_event_t*>(e)->xkbType;
    if (xkbType == XCB_XKB_NEW_KEYBOARD_NOTIFY
        || (xkbType == XCB_XKB_MAP_NOTIFY && (reinterpret_cast<xcb_xkb_map_notify_event_t*>(e)->changed & XCB_XKB_MAP_PART_KEY_SYMS)))
        reload();
    return false;
}

} // namespace quandrel::x11
