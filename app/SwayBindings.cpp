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
    std::set<std::string> bound;
    for (const HotKeyBinding& binding : bindings) {
        const std::string url = commandURL(binding.action).toStdString();
        const std::string combination = swayKeyCombination(binding.shortcut, layout);
        // Full-screen captures read the screen through screencopy; the ones that choose on the
        // overlay (and the pins they leave) are not there yet on sway, and their keys stay free
        // for sway's own bindings.
        const auto* capture = std::get_if<CaptureCommand>(&binding.action);
        if ((capture && capture->mode != CaptureMode::fullScreen) || std::holds_alternative<ClosePinsCommand>(binding.action)) {
            text += "# (not yet available on sway) " + combination + " " + url + "\n";
            continue;
        }
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
