#include "AppLauncher.h"

#include "Applications.h"
#include "WindowAccess.h"
#include "FrontmostApplication.h"

#include <algorithm>

namespace quandrel {

AppLauncher::AppLauncher(PlatformServices platform)
    : m_platform(platform)
{
}

bool AppLauncher::activate(const AppBinding& binding)
{
    ApplicationService& apps = *m_platform.applications;
    // One application may run as several processes (two terminals started apart): together
    // they are the application, and it is in front when any of them is.
    const auto running = apps.runningApplications(binding.desktopId);
    std::vector<std::int32_t> pids;
    for (const RunningApplication& r : running)
        pids.push_back(r.pid);
    const bool active = std::any_of(running.begin(), running.end(), [](const RunningApplication& r) { return r.active; });

    if (active) {
        switch (binding.whenFrontmost) {
        case FrontmostBehavior::hide:
            for (const std::int32_t pid : pids)
                apps.hide(pid);
            return true;
        case FrontmostBehavior::cycleWindows:
            cycleWindows(pids);
            return true;
        case FrontmostBehavior::nothing:
            return true;
        }
    }

    if (!apps.isInstalled(binding.desktopId)) {
        m_platform.sound->beep();
        return false;
    }
    for (const std::int32_t pid : pids)
        apps.unhide(pid);
    SystemSound* sound = m_platform.sound;
    apps.openAndActivate(binding.desktopId, [sound](bool ok) {
        if (!ok)
            sound->beep();
    });
    return true;
}

void AppLauncher::cycleWindows(const std::vector<std::int32_t>& pids)
{
    if (!m_platform.trust->canControlWindows()) {
        m_platform.trust->showTrustPrompt();
        return;
    }
    WindowAccess& windows = *m_platform.windows;
    std::vector<WindowHandle> kept;
    for (const ClientWindow& w : windows.windowsOfProcesses(pids)) {
        if (windows.isStandardWindow(w.handle).value_or(false) && !windows.isMinimized(w.handle).value_or(false))
            kept.push_back(w.handle);
    }
    if (kept.size() < 2)
        return;
    windows.raise(kept.back());
}

} // namespace quandrel
