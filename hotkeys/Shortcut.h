#pragma once

// One global key combination: a virtual key code and a Carbon modifier mask (see KeyCodes.h).
// This stored form means the same on every machine whatever its layout; names and grabs are
// derived from it.

#include "CaptureMode.h"
#include "KeyCodes.h"
#include "WindowAction.h"

#include <QJsonObject>
#include <QKeySequence>

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

// "⌃⌥⇧⌘" as far as set, always in that order, then the key name: "⌃⌥←", "⇧⌘2".
std::string displayText(const Shortcut& shortcut, const KeyboardLayout* layout = nullptr);

// The name of one key: the named-key table, else the layout's symbol for that key
// (upper-cased), else "Key <number>". The layout is the platform's (PlatformServices);
// without one, only named keys have names.
std::string keyName(std::uint32_t keyCode, const KeyboardLayout* layout = nullptr);

bool isFunctionKey(std::uint32_t keyCode);

// Carbon modifiers from Qt's modifier flags: Meta (Super) is ⌘, Alt ⌥, Control ⌃, Shift ⇧.
// Keypad and lock states are ignored.
std::uint32_t modifierMask(Qt::KeyboardModifiers modifiers);

// A shortcut from a key press: the X keycode (Qt's native scan code) and the modifiers.
// Needs a modifier unless the key is F1–F19.
std::optional<Shortcut> shortcutFromKeyEvent(std::uint32_t nativeScanCode, Qt::KeyboardModifiers modifiers);

// How a menu item shows the shortcut, or none when the key has no single-character name.
std::optional<QKeySequence> menuKeyEquivalent(const Shortcut& shortcut, const KeyboardLayout* layout = nullptr);

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
