#pragma once

#include "KeyboardLayout.h"

#include <memory>

namespace quandrel::x11 {

class X11Connection;

// The X server's current keyboard layout (its core keyboard's keymap); none without XKB.
std::unique_ptr<KeyboardLayout> keyboardLayoutFromServer(X11Connection& connection);

} // namespace quandrel::x11
