#pragma once

// Virtual key codes (the stored, layout-independent key numbers: 0 is the key labelled A on
// an ANSI keyboard, 123 the left arrow) and the physical keys they stand for on Linux, as
// evdev codes. An X keycode is the evdev code plus 8.
//
// The keys of the classic table keep their classic codes. Every other key a Linux keyboard
// has (Print, Pause, Scroll Lock, Menu, F20–F24, the media, launcher and brightness keys) is
// stored as linuxKeyBase plus its evdev code; the modifier keys and Caps Lock have no code.

#include <cstdint>
#include <optional>

namespace quandrel {

inline constexpr std::uint32_t linuxKeyBase = 0x10000;

std::optional<std::uint32_t> evdevCodeForKey(std::uint32_t virtualKeyCode);
std::optional<std::uint32_t> virtualKeyForEvdevCode(std::uint32_t evdevCode);

inline std::optional<std::uint32_t> xKeycodeForKey(std::uint32_t virtualKeyCode)
{
    if (const auto evdev = evdevCodeForKey(virtualKeyCode))
        return *evdev + 8;
    return std::nullopt;
}

inline std::optional<std::uint32_t> virtualKeyForXKeycode(std::uint32_t xKeycode)
{
    return xKeycode < 8 ? std::nullopt : virtualKeyForEvdevCode(xKeycode - 8);
}

// Carbon modifier bits, the stored form of a shortcut's modifiers.
namespace modifier {
inline constexpr std::uint32_t super = 0x0100; // the Command key of the stored form
inline constexpr std::uint32_t shift = 0x0200;
inline constexpr std::uint32_t alt = 0x0800;   // the Option key of the stored form
inline constexpr std::uint32_t control = 0x1000;
inline constexpr std::uint32_t all = super | shift | alt | control;
} // namespace modifier

} // namespace quandrel
