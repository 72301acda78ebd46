#pragma once

// One global key combination: a virtual key code and a Carbon modifier mask (see KeyCodes.h).
// This stored form means the same on every machine whatever its layout; names and grabs are
// derived from it.

#include "CaptureMode.h"
#include "KeyCodes.h"
#include "WindowAction.h"

#include <QJsonObject>
#include <Qt>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>

namespace quandrel {

class KeyboardLayout;

struct Shortcut {
    std::uint32_t keyCode = 0;
    std::uint32_t modifiers = 0;
    bool operator==(const Shortcut&) const = default;
    auto operator<=>(const Shortcut&) const = default;
};

// The one way a shortcut is shown, as the Linux desktops show theirs: the modifiers in the
// order Ctrl, Alt, Shift, Super, then the key, joined by "+": "Ctrl+Alt+←", "Shift+Super+2",
// "Ctrl+Alt+Return".
std::string displayText(const Shortcut& shortcut, const KeyboardLayout* layout = nullptr);

// The name of one key: the named-key table (arrows as arrows, "Return", "Page Up", "Print",
// "Keypad 1", "Play"), else what the key types in the layout (upper-cased), else the layout's
// name for its symbol made readable ("XF86MyComputer" is "My Computer"), else "Key <number>". The
// layout is the platform's (PlatformServices); without one, only named keys have names.
std::string keyName(std::uint32_t keyCode, const KeyboardLayout* layout = nullptr);

// Keys that type no text and do nothing in a text field, so that they are shortcuts on their
// own: F1–F24, Print, Pause, Scroll Lock, and the media, launcher and brightness keys.
bool worksWithoutModifier(std::uint32_t keyCode);

// Modifiers from Qt's modifier flags: Meta (Super) is super, Alt alt, Control control, Shift
// shift. Keypad and lock states are ignored.
std::uint32_t modifierMask(Qt::KeyboardModifiers modifiers);

// A shortcut from a key press: the X keycode (Qt's native scan code) and the modifiers.
// Needs a modifier unless the key works without one.
std::optional<Shortcut> shortcutFromKeyEvent(std::uint32_t nativeScanCode, Qt::KeyboardModifiers modifiers);

const std::map<WindowAction, Shortcut>& defaultWindowShortcuts();
const std::map<CaptureMode, Shortcut>& defaultCaptureShortcuts();

// {"keyCode": n, "modifiers": n}; both members are required when decoding.
QJsonObject toJson(const Shortcut& shortcut);
std::optional<Shortcut> shortcutFromJson(const QJsonValue& value);

} // namespace quandrel

template <>
struct std::hash<quandrel::Shortcut> {
    std::size_t operator()(const quandrel::Shortcut& s) const noexcept
    {
        return std::hash<std::uint64_t>()((std::uint64_t(s.keyCode) << 32) | s.modifiers);
    }
};
