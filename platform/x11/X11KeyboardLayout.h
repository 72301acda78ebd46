#pragma once

#include "KeyboardLayout.h"

#include <memory>

namespace quandrel::x11 {

class X11Connection;

// The X server's current keyboard layout (its core keyboard's keymap); none without XKB.
std::unique_ptr<KeyboardLayout> keyboardLayoutFromServer(X11Connection& connection);

// Keeps the process-wide keyboard layout equal to the server's: it is read again whenever
// the server's keyboard or its key symbols change (another layout chosen, a new keyboard).
class ServerKeyboardLayout {
public:
    explicit ServerKeyboardLayout(X11Connection& connection);
    ~ServerKeyboardLayout();
    ServerKeyboardLayout(const ServerKeyboardLayout&) = delete;
    ServerKeyboardLayout& operator=(const ServerKeyboardLayout&) = delete;

    // How many times the layout was read; for tests.
    int reloads() const { return m_reloads; }

private:
    void reload();
    bool handleEvent(void* event); // an xcb_generic_event_t

    X11Connection& m_connection;
    std::unique_ptr<KeyboardLayout> m_layout;
    std::uint8_t m_xkbEvent = 0;
    int m_reloads = 0;
};

} // namespace quandrel::x11
