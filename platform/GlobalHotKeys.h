#pragma once

// System-wide hot keys. Combinations are given in the stored form (virtual key code and
// Carbon modifier mask, see KeyCodes.h); the backend maps them to its own keys.

#include <cstdint>
#include <functional>

namespace quandrel {

class GlobalHotKeys {
public:
    virtual ~GlobalHotKeys() = default;

    // Grabs the combination under `id`. Answers false, leaving nothing grabbed, when the
    // combination is taken (by another program, the window manager, or an earlier id of this
    // program) or cannot be expressed on this keyboard.
    virtual bool registerHotKey(std::uint32_t id, std::uint32_t keyCode, std::uint32_t modifierMask) = 0;
    virtual void unregisterHotKey(std::uint32_t id) = 0;

    // Called on the main thread once per press of a registered combination; key repeat
    // while the key is held does not call it again. Never called re-entrantly.
    std::function<void(std::uint32_t id)> onPressed;
};

} // namespace quandrel
