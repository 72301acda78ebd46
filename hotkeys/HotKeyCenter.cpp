#include "HotKeyCenter.h"

#include "GlobalHotKeys.h"

namespace quandrel {

std::vector<HotKeyBinding> buildBindings(const std::map<WindowAction, Shortcut>& windowShortcuts,
                                         const std::map<CaptureMode, Shortcut>& captureShortcuts,
                                         const std::vector<AppBinding>& appBindings)
{
    std::vector<HotKeyBinding> list;
    const auto add = [&list](const Shortcut& shortcut, Command command) {
        list.emplace_back();
        list.back().shortcut = shortcut;
        list.back().action = std::move(command);
    };
    for (const WindowAction a : allWindowActions) {
        if (const auto it = windowShortcuts.find(a); it != windowShortcuts.end())
            add(it->second, WindowCommand{a});
    }
    for (const CaptureMode m : allCaptureModes) {
        if (const auto it = captureShortcuts.find(m); it != captureShortcuts.end())
            add(it->second, CaptureCommand{m, std::nullopt});
    }
    for (const AppBinding& b : appBindings) {
        if (b.shortcut)
            add(*b.shortcut, AppCommand{b.desktopId});
    }
    return list;
}

std::map<Shortcut, std::vector<Command>> sharedShortcuts(const std::vector<HotKeyBinding>& bindings)
{
    std::map<Shortcut, std::vector<Command>> byShortcut;
    for (const HotKeyBinding& b : bindings)
        byShortcut[b.shortcut].push_back(b.action);
    std::erase_if(byShortcut, [](const auto& entry) { return entry.second.size() < 2; });
    return byShortcut;
}

HotKeyCenter::HotKeyCenter(GlobalHotKeys& platform)
    : m_platform(platform)
{
    m_platform.onPressed = [this](std::uint32_t id) { pressed(id); };
}

HotKeyCenter::~HotKeyCenter()
{
    unregisterAll();
    m_platform.onPressed = nullptr;
}

void HotKeyCenter::registerAll()
{
    unregisterAll();
    m_failed.clear();
    for (const HotKeyBinding& binding : m_bindings) {
        const std::uint32_t id = m_nextID++;
        if (m_platform.registerHotKey(id, binding.shortcut.keyCode, binding.shortcut.modifiers))
            m_registered[id] = binding.action;
        else
            m_failed.insert(binding.action);
    }
}

void HotKeyCenter::unregisterAll()
{
    for (const auto& [id, action] : m_registered)
        m_platform.unregisterHotKey(id);
    m_registered.clear();
}

void HotKeyCenter::updateBindings(std::vector<HotKeyBinding> bindings)
{
    m_bindings = std::move(bindings);
    if (!m_suspended)
        registerAll();
}

void HotKeyCenter::suspend()
{
    m_suspended = true;
    unregisterAll();
}

void HotKeyCenter::resume()
{
    if (!m_suspended)
        return;
    m_suspended = false;
    registerAll();
}

void HotKeyCenter::pressed(std::uint32_t id)
{
    const auto it = m_registered.find(id);
    if (it == m_registered.end() || !onPress)
        return;
    // A copy: the callback may change the registrations.
    const Command action = it->second;
    onPress(action);
}

} // namespace quandrel
