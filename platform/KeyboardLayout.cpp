#include "KeyboardLayout.h"

#include <xkbcommon/xkbcommon.h>

#include <cstdlib>

namespace quandrel {

XkbKeyboardLayout::XkbKeyboardLayout(xkb_keymap* keymap)
    : m_keymap(keymap)
    , m_state(keymap ? xkb_state_new(keymap) : nullptr)
{
}

XkbKeyboardLayout::~XkbKeyboardLayout()
{
    if (m_state)
        xkb_state_unref(m_state);
    if (m_keymap)
        xkb_keymap_unref(m_keymap);
}

std::unique_ptr<XkbKeyboardLayout> XkbKeyboardLayout::fromNames(const std::string& layout, const std::string& variant)
{
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES);
    if (!context)
        return nullptr;
    const xkb_rule_names names{"evdev", "pc105", layout.c_str(), variant.empty() ? nullptr : variant.c_str(), nullptr};
    xkb_keymap* keymap = xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
    xkb_context_unref(context);
    if (!keymap)
        return nullptr;
    return std::make_unique<XkbKeyboardLayout>(keymap);
}

std::string XkbKeyboardLayout::symbolForKeycode(std::uint32_t xKeycode) const
{
    if (!m_state)
        return {};
    // A fresh state has no modifiers and the first group: what the key types on its own.
    char buffer[32];
    const int n = xkb_state_key_get_utf8(m_state, xKeycode, buffer, sizeof buffer);
    if (n <= 0 || n >= int(sizeof buffer))
        return {};
    return std::string(buffer, std::size_t(n));
}

std::string XkbKeyboardLayout::keysymName(std::uint32_t xKeycode) const
{
    if (!m_state)
        return {};
    const xkb_keysym_t sym = xkb_state_key_get_one_sym(m_state, xKeycode);
    char buffer[64];
    const int n = sym == XKB_KEY_NoSymbol ? 0 : xkb_keysym_get_name(sym, buffer, sizeof buffer);
    if (n <= 0 || n >= int(sizeof buffer))
        return {};
    return std::string(buffer, std::size_t(n));
}

std::unique_ptr<XkbKeyboardLayout> XkbKeyboardLayout::fromEnvironment()
{
    const auto first = [](const char* name) {
        const char* value = std::getenv(name);
        const std::string list = value ? value : "";
        return list.substr(0, list.find(','));
    };
    if (const std::string layout = first("XKB_DEFAULT_LAYOUT"); !layout.empty()) {
        if (auto named = fromNames(layout, first("XKB_DEFAULT_VARIANT")))
            return named;
    }
    return fromNames("us");
}

} // namespace quandrel
