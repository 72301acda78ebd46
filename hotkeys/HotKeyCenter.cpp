#include "HotKeyCenter.h"

#include "GlobalHotKeys.h"
#include "KeyCodes.h"
#include "KeyboardLayout.h"

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

HotKeyCenter::HotKeyCenter(GlobalHotKeys& platform, const KeyboardLayout* layout)
    : m_platform(platform)
    , m_layout(layout)
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
    m_registered.clear();
    std::vector<HotKeyRequest> set;
    std::map<std::uint32_t, Command> asked;
    for (const HotKeyBinding& binding : m_bindings) {
        const std::uint32_t id = m_nextID++;
        const auto keycode = xKeycodeForKey(binding.shortcut.keyCode);
        set.push_back({.id = id,
                       .keyCode = binding.shortcut.keyCode,
                       .modifierMask = binding.shortcut.modifiers,
                       .keyName = m_layout && keycode ? m_layout->keysymName(*keycode) : std::string(),
                       .commandURL = commandURL(binding.action).toStdString()});
        asked[id] = binding.action;
    }
    const std::uint32_t pass = ++m_pass;
    m_answered = false;
    m_platform.bind(std::move(set), [this, pass, asked](const HotKeyStatuses& statuses) {
        if (pass == m_pass)
            answer(asked, statuses);
    });
}

void HotKeyCenter::answer(const std::map<std::uint32_t, Command>& asked, const HotKeyStatuses& statuses)
{
    m_answered = true;
    m_registered.clear();
    m_statuses.clear();
    m_failed.clear();
    m_holders.clear();
    for (const auto& [id, action] : asked) {
        const auto it = statuses.find(id);
        const HotKeyStatus status = it == statuses.end() ? HotKeyStatus::unsupported : it->second;
        // A command bound twice counts once: as failed if any of its shortcuts failed.
        if (!m_statuses.contains(action) || isFailed(status))
            m_statuses[action] = status;
        if (isFailed(status)) {
            m_failed.insert(action);
            if (std::string holder = status == HotKeyStatus::taken ? m_platform.holderOf(id) : std::string(); !holder.empty())
                m_holders[action] = std::move(holder);
        } else
            m_registered[id] = action;
    }
    if (onStatusChanged)
        onStatusChanged();
}

void HotKeyCenter::unregisterAll()
{
    m_registered.clear();
    // Nothing to answer: the statuses of the last registration stay.
    ++m_pass;
    m_answered = true;
    m_platform.bind({}, {});
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
