#include "KWinApplications.h"

#include "DesktopEntries.h"
#include "KWinWindows.h"

#include <QString>

#include <algorithm>

namespace quandrel::kwin {

namespace {

bool sameName(const std::string& a, const std::string& b)
{
    return !a.empty() && !b.empty() && QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive) == 0;
}

} // namespace

bool belongsTo(const KWinWindow& window, const std::string& desktopId, const std::string& startupWMClass, const std::string& executable)
{
    const auto dot = desktopId.rfind('.');
    const std::string lastPart = dot == std::string::npos ? std::string() : desktopId.substr(dot + 1);
    for (const std::string* name : {&window.desktopFile, &window.resourceClass, &window.resourceName}) {
        for (const std::string* wanted : {&desktopId, &lastPart, &startupWMClass, &executable}) {
            if (sameName(*name, *wanted))
                return true;
        }
    }
    return false;
}

std::vector<RunningApplication> KWinApplications::runningApplications(const std::string& desktopId)
{
    const auto entry = freedesktop::findDesktopEntry(desktopId);
    std::vector<RunningApplication> result;
    for (const KWinWindow& w : m_windows.windows()) {
        if (w.pid <= 0 || !w.normal
            || !belongsTo(w, desktopId, entry ? entry->startupWMClass : std::string(), entry ? entry->executable : std::string()))
            continue;
        const auto known = std::find_if(result.begin(), result.end(), [&w](const RunningApplication& a) { return a.pid == w.pid; });
        if (known == result.end())
            result.push_back({w.pid, desktopId, w.active});
        else
            known->active = known->active || w.active;
    }
    return result;
}

bool KWinApplications::isInstalled(const std::string& desktopId) { return freedesktop::findDesktopEntry(desktopId).has_value(); }

void KWinApplications::hide(std::int32_t pid)
{
    for (const KWinWindow& w : m_windows.windows()) {
        if (w.pid == pid && w.normal && !w.minimized)
            m_windows.setMinimized(w.handle, true);
    }
}

void KWinApplications::unhide(std::int32_t pid)
{
    for (const KWinWindow& w : m_windows.windows()) {
        if (w.pid == pid && w.normal && w.minimized)
            m_windows.setMinimized(w.handle, false);
    }
}

void KWinApplications::openAndActivate(const std::string& desktopId, std::function<void(bool ok)> done)
{
    const auto running = runningApplications(desktopId);
    if (!running.empty()) {
        // The newest window: windows are listed front to back, so the first of the process.
        for (const KWinWindow& w : m_windows.windows()) {
            if (w.pid == running.front().pid && w.normal) {
                m_windows.raise(w.handle);
                done(true);
                return;
            }
        }
    }
    done(freedesktop::launchDesktopEntry(desktopId));
}

std::optional<RunningApplication> KWinApplications::frontmostApplication()
{
    for (const KWinWindow& w : m_windows.windows()) {
        if (w.active)
            return RunningApplication{w.pid, !w.desktopFile.empty() ? w.desktopFile : w.resourceClass, true};
    }
    return std::nullopt;
}

} // namespace quandrel::kwin
