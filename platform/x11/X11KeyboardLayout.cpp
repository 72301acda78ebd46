#include "X11KeyboardLayout.h"

#include "X11Connection.h"

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

} // namespace quandrel::x11
