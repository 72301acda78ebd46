#include "FakeDesktop.h"

#include <algorithm>
#include <utility>

namespace quandrel {

void FakeDesktop::addDisplay(const Rect& frame, const Rect& visibleFrame, const std::string& name)
{
    m_displays.push_back({name.empty() ? "D" + std::to_string(m_displays.size() + 1) : name, frame, visibleFrame, 1});
}

void FakeDesktop::addApplication(std::int32_t pid, std::string desktopId)
{
    m_apps[pid] = {pid, std::move(desktopId), WindowHandle()};
}

WindowHandle FakeDesktop::addWindow(std::int32_t pid, const Rect& screenFrame)
{
    const WindowHandle id(m_nextId++);
    Window w;
    w.id = id;
    w.pid = pid;
    w.frame = space().toWindow(screenFrame);
    m_windows[id] = w;
    m_stacking.push_back(id);
    if (!m_apps.contains(pid))
        addApplication(pid, {});
    m_apps[pid].focusedWindow = id;
    return id;
}

Rect FakeDesktop::screenFrame(WindowHandle id) const { return space().fromWindow(m_windows.at(id).frame); }

std::optional<ClientWindow> FakeDesktop::focusedWindow()
{
    const auto app = m_apps.find(m_frontmost);
    if (app == m_apps.end())
        return std::nullopt;
    if (!m_windows.contains(app->second.focusedWindow))
        return std::nullopt;
    return ClientWindow{app->second.focusedWindow, m_frontmost};
}

WindowAccessError FakeDesktop::focusedWindowError()
{
    const auto w = focusedWindow();
    return w && !m_windows.at(w->handle).readable ? WindowAccessError::windowGone : WindowAccessError::none;
}

std::optional<Rect> FakeDesktop::readFrame(WindowHandle window)
{
    const auto it = m_windows.find(window);
    if (it == m_windows.end() || !it->second.readable)
        return std::nullopt;
    return it->second.frame;
}

namespace {

double limited(double value, double minimum, double maximum)
{
    value = std::max(value, minimum);
    return maximum > 0 ? std::min(value, maximum) : value;
}

} // namespace

void FakeDesktop::setFrame(WindowHandle window, std::int32_t, const Rect& frame, FrameApplied applied)
{
    if (defersFrames) {
        m_pendingFrames.push_back({window, frame, std::move(applied)});
        return;
    }
    place(window, frame);
    if (applied)
        applied();
}

void FakeDesktop::applyFrames()
{
    while (!m_pendingFrames.empty()) {
        PendingFrame next = std::move(m_pendingFrames.front());
        m_pendingFrames.pop_front();
        place(next.window, next.frame);
        if (next.applied)
            next.applied();
    }
}

void FakeDesktop::place(WindowHandle window, const Rect& frame)
{
    const auto it = m_windows.find(window);
    if (it == m_windows.end() || it->second.ignoresFrames)
        return;
    ++m_frameWrites;
    Window& w = it->second;
    w.frame = frame;
    w.frame.width = limited(frame.width, w.minimumSize.width, w.maximumSize.width);
    w.frame.height = limited(frame.height, w.minimumSize.height, w.maximumSize.height);
}

std::optional<Size> FakeDesktop::fittedSize(WindowHandle window, const Size& size)
{
    const auto it = m_windows.find(window);
    if (it == m_windows.end() || !it->second.readable)
        return std::nullopt;
    const Window& w = it->second;
    if (w.hidesLimits)
        return size;
    return Size{limited(size.width, w.minimumSize.width, w.maximumSize.width),
                limited(size.height, w.minimumSize.height, w.maximumSize.height)};
}

std::optional<ClientWindow> FakeDesktop::windowAtPoint(Point screenPoint)
{
    for (auto it = m_stacking.rbegin(); it != m_stacking.rend(); ++it) {
        const auto w = m_windows.find(*it);
        if (w == m_windows.end() || w->second.minimized)
            continue;
        if (containsPoint(space().fromWindow(w->second.frame), screenPoint)) {
            if (w->second.pid == m_ownPid || !w->second.standard)
                return std::nullopt;
            return ClientWindow{w->first, w->second.pid};
        }
    }
    return std::nullopt;
}

std::vector<ClientWindow> FakeDesktop::windowsOfApplication(std::int32_t pid)
{
    std::vector<ClientWindow> result;
    for (auto it = m_stacking.rbegin(); it != m_stacking.rend(); ++it) {
        const auto w = m_windows.find(*it);
        if (w != m_windows.end() && w->second.pid == pid)
            result.push_back({w->first, pid});
    }
    return result;
}

std::vector<ClientWindow> FakeDesktop::windowsOfProcesses(const std::vector<std::int32_t>& pids)
{
    std::vector<ClientWindow> result;
    for (auto it = m_stacking.rbegin(); it != m_stacking.rend(); ++it) {
        const auto w = m_windows.find(*it);
        if (w != m_windows.end() && std::find(pids.begin(), pids.end(), w->second.pid) != pids.end())
            result.push_back({w->first, w->second.pid});
    }
    return result;
}

std::optional<bool> FakeDesktop::isStandardWindow(WindowHandle window)
{
    const auto it = m_windows.find(window);
    if (it == m_windows.end() || !it->second.readable)
        return std::nullopt;
    return it->second.standard;
}

std::optional<bool> FakeDesktop::isMinimized(WindowHandle window)
{
    const auto it = m_windows.find(window);
    if (it == m_windows.end() || !it->second.readable)
        return std::nullopt;
    return it->second.minimized;
}

void FakeDesktop::raise(WindowHandle window)
{
    const auto it = m_windows.find(window);
    if (it == m_windows.end())
        return;
    ++m_raises;
    raised.push_back(window);
    std::erase(m_stacking, window);
    m_stacking.push_back(window);
    it->second.minimized = false;
    m_apps[it->second.pid].focusedWindow = window;
    m_frontmost = it->second.pid;
}

void FakeDesktop::bind(std::vector<HotKeyRequest> set, std::function<void(HotKeyStatuses)> answered)
{
    m_hotKeys.clear();
    m_holders.clear();
    HotKeyStatuses statuses;
    for (const HotKeyRequest& request : set) {
        const HotKey combination{request.keyCode, request.modifierMask};
        const bool foreign = m_foreignHotKeys.contains(combination);
        if (foreign && !m_foreignHolders[combination].empty())
            m_holders[request.id] = m_foreignHolders[combination];
        const bool taken = foreign
            || std::any_of(m_hotKeys.begin(), m_hotKeys.end(), [&](const auto& held) { return held.second == combination; });
        if (!taken)
            m_hotKeys[request.id] = combination;
        statuses[request.id] = taken ? HotKeyStatus::taken : HotKeyStatus::bound;
    }
    m_lastHotKeySet = std::move(set);
    // A newer set replaces an answer still pending.
    m_pendingAnswer = std::move(answered);
    m_pendingStatuses = std::move(statuses);
    if (!defersHotKeyAnswers)
        answerHotKeys();
}

void FakeDesktop::answerHotKeys()
{
    if (auto answer = std::exchange(m_pendingAnswer, {}))
        answer(std::exchange(m_pendingStatuses, {}));
}

bool FakeDesktop::press(HotKey combination)
{
    for (const auto& [id, held] : m_hotKeys) {
        if (held == combination) {
            if (onPressed)
                onPressed(id);
            return true;
        }
    }
    return false;
}

std::vector<RunningApplication> FakeDesktop::runningApplications(const std::string& desktopId)
{
    std::vector<RunningApplication> result;
    for (const auto& [pid, app] : m_apps) {
        if (app.desktopId == desktopId && !desktopId.empty())
            result.push_back({pid, desktopId, pid == m_frontmost});
    }
    return result;
}

bool FakeDesktop::isInstalled(const std::string& desktopId)
{
    if (m_installedOnly.contains(desktopId))
        return true;
    for (const auto& [pid, app] : m_apps) {
        if (app.desktopId == desktopId)
            return app.installed;
    }
    return false;
}

void FakeDesktop::hide(std::int32_t pid)
{
    for (auto& [id, w] : m_windows) {
        if (w.pid == pid)
            w.minimized = true;
    }
    m_apps[pid].hidden = true;
    if (m_frontmost == pid)
        m_frontmost = 0;
}

void FakeDesktop::unhide(std::int32_t pid)
{
    for (auto& [id, w] : m_windows) {
        if (w.pid == pid)
            w.minimized = false;
    }
    m_apps[pid].hidden = false;
}

void FakeDesktop::openAndActivate(const std::string& desktopId, std::function<void(bool ok)> done)
{
    launches.push_back(desktopId);
    for (auto& [pid, app] : m_apps) {
        if (app.desktopId == desktopId) {
            if (app.launchFails) {
                done(false);
                return;
            }
            m_frontmost = pid;
            done(true);
            return;
        }
    }
    if (!m_installedOnly.contains(desktopId)) {
        done(false);
        return;
    }
    const std::int32_t pid = 1000 + std::int32_t(m_apps.size());
    addApplication(pid, desktopId);
    m_installedOnly.erase(desktopId);
    m_frontmost = pid;
    done(true);
}

std::optional<RunningApplication> FakeDesktop::frontmostApplication()
{
    const auto app = m_apps.find(m_frontmost);
    if (app == m_apps.end())
        return std::nullopt;
    return RunningApplication{app->first, app->second.desktopId, true};
}

} // namespace quandrel
