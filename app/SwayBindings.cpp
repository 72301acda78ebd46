#include "SwayBindings.h"

#include "KeyCodes.h"
#include "KeyboardLayout.h"

#include <set>

namespace quandrel {

std::string swayKeyCombination(const Shortcut& shortcut, const KeyboardLayout& layout)
{
    const auto keycode = xKeycodeForKey(shortcut.keyCode);
    const std::string key = keycode ? layout.keysymName(*keycode) : std::string();
    if (key.empty())
        return {};
    std::string combination;
    if (shortcut.modifiers & modifier::super)
        combination += "Mod4+";
    if (shortcut.modifiers & modifier::control)
        combination += "Ctrl+";
    if (shortcut.modifiers & modifier::alt)
        combination += "Mod1+";
    if (shortcut.modifiers & modifier::shift)
        combination += "Shift+";
    return combination + key;
}

std::string swayBindingsText(const std::vector<HotKeyBinding>& bindings, const KeyboardLayout& layout, const std::string& program)
{
    std::string text = "# Quandrel's shortcuts as sway key bindings. Save this as a file and add to sway's\n"
                       "# configuration:  include <that file>  then reload sway.\n";
    // Quandrel's own windows: the panels float above the others on every workspace, and the
    // ones that take no clicks take no focus either.
    text += "for_window [app_id=\"^quandrel$\" title=\"^Quandrel (thumbnail|toast|pin)$\"] \"floating enable, sticky enable, border none\"\n"
            "for_window [app_id=\"^quandrel$\" title=\"^Quandrel selection$\"] \"floating enable, border none\"\n"
            "no_focus [app_id=\"^quandrel$\" title=\"^Quandrel (thumbnail|toast)$\"]\n";
    std::set<std::string> bound;
    for (const HotKeyBinding& binding : bindings) {
        const std::string url = commandURL(binding.action).toStdString();
        const std::string combination = swayKeyCombination(binding.shortcut, layout);
        if (combination.empty()) {
            text += "# (key code " + std::to_string(binding.shortcut.keyCode) + " has no name in this layout) " + url + "\n";
            continue;
        }
        const std::string line = "bindsym " + combination + " exec " + program + " " + url + "\n";
        if (!bound.insert(combination).second) {
            text += "# (" + combination + " is bound above) " + line;
            continue;
        }
        text += line;
    }
    return text;
}

} // namespace quandrel
