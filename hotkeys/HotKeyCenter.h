#pragma once

// Turns shortcuts into system-wide hot keys and hot-key presses back into commands.
//
// Every registration binds the whole list as one set, each binding under a fresh id from a
// counter that is never reset, so a press or an answer that arrives for an id from an
// earlier pass is simply unknown. The binding list's order decides the ids: window actions,
// then capture modes, then app bindings. The desktop answers with a status per id, at once
// or later; onStatusChanged tells when it has.

#include "AppBinding.h"
#include "Command.h"
#include "GlobalHotKeys.h"
#include "Shortcut.h"

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace quandrel {

class GlobalHotKeys;
class KeyboardLayout;

struct HotKeyBinding {
    Shortcut shortcut;
    Command action;
    bool operator==(const HotKeyBinding&) const = default;
};

// The binding list in registration order.
std::vector<HotKeyBinding> buildBindings(const std::map<WindowAction, Shortcut>& windowShortcuts,
                                         const std::map<CaptureMode, Shortcut>& captureShortcuts,
                                         const std::vector<AppBinding>& appBindings);

// Shortcuts used by more than one action, with those actions in list order.
std::map<Shortcut, std::vector<Command>> sharedShortcuts(const std::vector<HotKeyBinding>& bindings);

class HotKeyCenter {
public:
    // `layout` names the keys for desktops that bind by name; none: keys have no names.
    explicit HotKeyCenter(GlobalHotKeys& platform, const KeyboardLayout* layout = nullptr);
    ~HotKeyCenter();
    HotKeyCenter(const HotKeyCenter&) = delete;
    HotKeyCenter& operator=(const HotKeyCenter&) = delete;

    std::function<void(const Command&)> onPress;
    // Called when the desktop has answered a registration (the statuses may be unchanged).
    std::function<void()> onStatusChanged;

    const std::vector<HotKeyBinding>& bindings() const { return m_bindings; }
    void setBindings(std::vector<HotKeyBinding> bindings) { m_bindings = std::move(bindings); }

    // Replaces the bindings and registers them, unless suspended: then they are registered
    // when the suspension ends.
    void updateBindings(std::vector<HotKeyBinding> bindings);

    void registerAll();
    void unregisterAll();

    // While suspended (a shortcut is being recorded) no hot key is active.
    bool isSuspended() const { return m_suspended; }
    void suspend();
    void resume();

    // What the latest answered registration left of each command; failed() are the ones a
    // press of does nothing (taken or unsupported). Unregistering keeps them.
    const std::map<Command, HotKeyStatus>& statuses() const { return m_statuses; }
    const std::set<Command>& failed() const { return m_failed; }
    // Who holds a taken command's combination, where the desktop names it.
    const std::map<Command, std::string>& holders() const { return m_holders; }
    // Whether the latest registration has been answered.
    bool answered() const { return m_answered; }
    const std::map<std::uint32_t, Command>& registered() const { return m_registered; }
    std::uint32_t nextID() const { return m_nextID; }

private:
    void pressed(std::uint32_t id);
    void answer(const std::map<std::uint32_t, Command>& asked, const HotKeyStatuses& statuses);

    GlobalHotKeys& m_platform;
    const KeyboardLayout* m_layout;
    std::vector<HotKeyBinding> m_bindings;
    std::map<std::uint32_t, Command> m_registered;
    std::map<Command, HotKeyStatus> m_statuses;
    std::set<Command> m_failed;
    std::map<Command, std::string> m_holders;
    bool m_answered = true;
    std::uint32_t m_pass = 0; // the registration whose answer counts
    std::uint32_t m_nextID = 1;
    bool m_suspended = false;
};

} // namespace quandrel
