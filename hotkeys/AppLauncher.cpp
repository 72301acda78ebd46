#include "AppLauncher.h"

#include "Applications.h"
#include "WindowAccess.h"
#include "Workspace.h"

namespace quandrel {

AppLauncher::AppLauncher(PlatformServices platform)
    : m_platform(platform)
{
}

void AppLauncher::activate(const AppBinding& binding)
{
    ApplicationService& apps = *m_platform.applications;
    const auto running = apps.runningApplications(binding.desktopId);
    const RunningApplication* instance = running.empty() ? nullptr : &running.front();

    if (instance && instance->active) {
        switch (binding.whenFrontmost) {
        case FrontmostBehavior::hide:
            apps.hide(instance->pid);
            return;
        case FrontmostBehavior::cycleWindows:
            cycleWindows(instance->pid);
            return;
        case FrontmostBehavior::nothing:
            return;
        }
    }

    if (!apps.isInstalled(binding.desktopId)) {
        m_platform.sound->beep();
        return;
    }
    if (instance)
        apps.unhide(instance->pid);
    SystemSound* sound = m_platform.sound;
    apps.openAndActivate(binding.desktopId, [sound](bool ok) {
        if (!ok)
            sound->beep();
    });
}

void AppLauncher::cycleWindows(std::int32_t pid)
{
    if (!m_platform.trust->isTrusted()) {
        m_platform.trust->showTrustPrompt();
        return;
    }
    WindowAccess& windows = *m_platform.windows;
    std::vector<WindowHandle> kept;
    for (const ClientWindow& w : windows.windowsOfApplication(pid)) {
        if (windows.isStandardWindow(w.handle).value_or(false) && !windows.isMinimized(w.handle).value_or(false))
            kept.push_back(w.handle);
    }
    if (kept.size() < 2)
        return;
    windows.raise(kept.back());
}

} // namespace quandrel
