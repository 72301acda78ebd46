#pragma once

// Turns shortcuts into system-wide hot keys and hot-key presses back into commands.
//
// Every registration gets a fresh id from a counter that is never reset, so a press that
// arrives for an id from an earlier pass is simply unknown. The binding list's order
// decides the ids: window actions, then capture modes, then app bindings.

#include "AppBinding.h"
#include "Command.h"
#include "Shortcut.h"

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace quandrel {

class GlobalHotKeys;

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
    explicit HotKeyCenter(GlobalHotKeys& platform);
    ~HotKeyCenter();
    HotKeyCenter(const HotKeyCenter&) = delete;
    HotKeyCenter& operator=(const HotKeyCenter&) = delete;

    std::function<void(const Command&)> onPress;

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

    const std::set<Command>& failed() const { return m_failed; }
    const std::map<std::uint32_t, Command>& registered() const { return m_registered; }
    std::uint32_t nextID() const { return m_nextID; }

private:
    void pressed(std::uint32_t id);

    GlobalHotKeys& m_platform;
    std::vector<HotKeyBinding> m_bindings;
    std::map<std::uint32_t, Command> m_registered;
    std::set<Command> m_failed;
    std::uint32_t m_nextID = 1;
    bool m_suspended = false;
};

} // namespace quandrel
