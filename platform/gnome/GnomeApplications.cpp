#include "GnomeApplications.h"

#include "DesktopEntries.h"
#include "GnomeWindows.h"

#include <QString>

#include <algorithm>

namespace quandrel::gnome {

namespace {

bool sameName(const std::string& a, const std::string& b)
{
    return !a.empty() && !b.empty() && QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive) == 0;
}

std::string withoutDesktopSuffix(const std::string& id)
{
    const std::string suffix = ".desktop";
    if (id.size() > suffix.size() && id.compare(id.size() - suffix.size(), suffix.size(), suffix) == 0)
        return id.substr(0, id.size() - suffix.size());
    return id;
}

} // namespace

std::string desktopIdOf(const ShellWindow& window)
{
    // The Shell makes up "window:N" ids for windows it finds no entry for.
    if (!window.appId.empty() && window.appId.rfind("window:", 0) != 0)
        return withoutDesktopSuffix(window.appId);
    for (const std::string* name : {&window.sandboxedAppId, &window.gtkAppId, &window.wmClass}) {
        if (!name->empty())
            return *name;
    }
    return {};
}

bool belongsTo(const ShellWindow& window, const std::string& desktopId, const std::string& startupWMClass, const std::string& executable)
{
    const auto dot = desktopId.rfind('.');
    const std::string lastPart = dot == std::string::npos ? std::string() : desktopId.substr(dot + 1);
    const std::string appId = withoutDesktopSuffix(window.appId);
    for (const std::string* name : {&appId, &window.sandboxedAppId, &window.gtkAppId, &window.wmClass, &window.wmClassInstance}) {
        for (const std::string* wanted : {&desktopId, &lastPart, &startupWMClass, &executable}) {
            if (sameName(*name, *wanted))
                return true;
        }
    }
    return false;
}

std::vector<RunningApplication> GnomeApplications::runningApplications(const std::string& desktopId)
{
    const auto entry = freedesktop::findDesktopEntry(desktopId);
    std::vector<RunningApplication> result;
    for (const ShellWindow& w : m_windows.windows()) {
        if (w.pid <= 0 || !w.normal
            || !belongsTo(w, desktopId, entry ? entry->startupWMClass : std::string(), entry ? entry->executable : std::string()))
            continue;
        const auto known = std::find_if(result.begin(), result.end(), [&w](const RunningApplication& a) { return a.pid == w.pid; });
        if (known == result.end())
            result.push_back({w.pid, desktopId, w.focused});
        else
            known->active = known->active || w.focused;
    }
    return result;
}

bool GnomeApplications::isInstalled(const std::string& desktopId) { return freedesktop::findDesktopEntry(desktopId).has_value(); }

void GnomeApplications::hide(std::int32_t pid)
{
    for (const ClientWindow& w : m_windows.windowsOfApplication(pid))
        m_windows.minimizeWindow(w.handle);
}

void GnomeApplications::unhide(std::int32_t pid)
{
    // Back to front, so the front window ends up in front again.
    const auto windows = m_windows.windows();
    for (auto w = windows.rbegin(); w != windows.rend(); ++w) {
        if (w->pid == pid && w->minimized)
            m_windows.raise(w->id);
    }
}

void GnomeApplications::openAndActivate(const std::string& desktopId, std::function<void(bool ok)> done)
{
    const auto running = runningApplications(desktopId);
    if (!running.empty()) {
        const auto windows = m_windows.windowsOfApplication(running.front().pid);
        if (!windows.empty()) {
            m_windows.raise(windows.front().handle);
            done(true);
            return;
        }
    }
    done(freedesktop::launchDesktopEntry(desktopId));
}

std::optional<RunningApplication> GnomeApplications::frontmostApplication()
{
    if (const auto w = m_windows.focused())
        return RunningApplication{w->pid, desktopIdOf(*w), true};
    return std::nullopt;
}

} // namespace quandrel::gnome
