#pragma once

// The current keyboard layout, as far as shortcut display needs it: the symbol that a
// physical key types without modifiers.

#include <cstdint>
#include <memory>
#include <string>

struct xkb_keymap;
struct xkb_state;

namespace quandrel {

class KeyboardLayout {
public:
    virtual ~KeyboardLayout() = default;
    // UTF-8 text typed by the key with this X keycode and no modifiers; empty when none.
    virtual std::string symbolForKeycode(std::uint32_t xKeycode) const = 0;
    // The XKB name of the key's symbol with no modifiers ("Left", "a", "bracketleft"), as
    // compositors' key bindings spell it; empty when unknown.
    virtual std::string keysymName(std::uint32_t /*xKeycode*/) const { return {}; }
};

// A layout compiled by xkbcommon, from the X server's keyboard or from layout names.
class XkbKeyboardLayout final : public KeyboardLayout {
public:
    // Takes ownership of the keymap.
    explicit XkbKeyboardLayout(xkb_keymap* keymap);
    ~XkbKeyboardLayout() override;
    XkbKeyboardLayout(const XkbKeyboardLayout&) = delete;
    XkbKeyboardLayout& operator=(const XkbKeyboardLayout&) = delete;

    // e.g. fromNames("us"), fromNames("de"), fromNames("fr", "azerty"); none when unknown.
    static std::unique_ptr<XkbKeyboardLayout> fromNames(const std::string& layout, const std::string& variant = {});
    // The layout a Wayland compositor starts with unless its configuration says otherwise:
    // the first of XKB_DEFAULT_LAYOUT and XKB_DEFAULT_VARIANT, else "us".
    static std::unique_ptr<XkbKeyboardLayout> fromEnvironment();

    std::string symbolForKeycode(std::uint32_t xKeycode) const override;
    std::string keysymName(std::uint32_t xKeycode) const override;

private:
    xkb_keymap* m_keymap = nullptr;
    xkb_state* m_state = nullptr;
};

} // namespace quandrel
