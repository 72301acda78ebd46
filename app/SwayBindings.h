#pragma once

// Shortcuts as sway key bindings. On sway the compositor owns the keyboard, so Quandrel's
// shortcuts become lines of sway's configuration that run `quandrel quandrel://…`:
//
//   bindsym Mod4+Ctrl+Left exec quandrel quandrel://window/leftHalf
//
// Keys are named by the keyboard layout's symbols, as sway's bindsym matches them.

#include "HotKeyCenter.h"

#include <string>
#include <vector>

namespace quandrel {

class KeyboardLayout;

// "Mod4+Ctrl+Mod1+Shift+Left"; empty when the key has no name in the layout.
std::string swayKeyCombination(const Shortcut& shortcut, const KeyboardLayout& layout);

// The configuration text for the bindings, with a heading comment. A combination used twice
// binds the first command; the others, keys without a name, and the screenshot commands
// that need the overlay are written as comments so the file still loads.
std::string swayBindingsText(const std::vector<HotKeyBinding>& bindings, const KeyboardLayout& layout,
                             const std::string& program = "quandrel");

} // namespace quandrel
