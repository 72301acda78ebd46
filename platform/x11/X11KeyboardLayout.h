#pragma once

#include "KeyboardLayout.h"
#include "X11EventFilter.h"

#include <memory>

namespace quandrel::x11 {

class X11Connection;

// The X server's current keyboard layout (its core keyboard's keymap); none without XKB.
std::unique_ptr<KeyboardLayout> keyboardLayoutFromServer(X11Connection& connection);

// The X server's keyboard layout, kept current: it is read again whenever the server's
// keyboard or its key symbols change (another layout chosen, a new keyboard). Without XKB
// no key has a symbol.
class ServerKeyboardLayout final : public KeyboardLayout {
public:
    explicit ServerKeyboardLayout(X11Connection& connection);

    std::string symbolForKeycode(std::uint32_t xKeycode) const override;
    std::string keysymName(std::uint32_t xKeycode) const override;

    // How many times the layout was read; for tests.
    int reloads() const { return m_reloads; }

private:
    void reload();
    bool handleEvent(xcb_generic_event_t* event);

    X11Connection& m_connection;
    std::unique_ptr<KeyboardLayout> m_layout;
    std::uint8_t m_xkbEvent = 0;
    int m_reloads = 0;
    X11EventFilter m_filter; // last: it goes first
};

} // namespace quandrel::x11
