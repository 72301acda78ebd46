#include "SwayApplications.h"

#include "DesktopEntries.h"
#include "SwayWindows.h"

#include <QString>

#include <algorithm>

namespace quandrel::sway {

namespace {

bool sameName(const std::string& a, const std::string& b)
{
    return !a.empty() && !b.empty() && QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive) == 0;
}

} // namespace

bool belongsTo(const SwayWindow& window, const std::string& desktopId, const std::string& startupWMClass, const std::string& executable)
{
    const auto dot = desktopId.rfind('.');
    const std::string lastPart = dot == std::string::npos ? std::string() : desktopId.substr(dot + 1);
    for (const std::string* name : {&window.appId, &window.windowClass, &window.windowInstance}) {
        for (const std::string* wanted : {&desktopId, &lastPart, &startupWMClass, &executable}) {
            if (sameName(*name, *wanted))
                return true;
        }
    }
    return false;
}

std::vector<RunningApplication> SwayApplications::runningApplications(const std::string& desktopId)
{
    const auto entry = freedesktop::findDesktopEntry(desktopId);
    std::vector<RunningApplication> result;
    for (const SwayWindow& w : m_windows.windows()) {
        if (w.pid <= 0 || !belongsTo(w, desktopId, entry ? entry->startupWMClass : std::string(), entry ? entry->executable : std::string()))
            continue;
        const auto known = std::find_if(result.begin(), result.end(), [&w](const RunningApplication& a) { return a.pid == w.pid; });
        if (known == result.end())
            result.push_back({w.pid, desktopId, w.focused});
        else
            known->active = known->active || w.focused;
    }
    return result;
}

bool SwayApplications::isInstalled(const std::string& desktopId) { return freedesktop::findDesktopEntry(desktopId).has_value(); }

void SwayApplications::hide(std::int32_t pid)
{
    for (const SwayWindow& w : m_windows.windows()) {
        if (w.pid != pid || w.inScratchpad())
            continue;
        if (m_windows.command(w.id, QStringLiteral("move scratchpad")))
            m_hidden[w.id] = !w.floating;
    }
}

void SwayApplications::unhide(std::int32_t pid)
{
    for (const SwayWindow& w : m_windows.windows()) {
        if (w.pid != pid || !w.inScratchpad())
            continue;
        const auto hidden = m_hidden.find(w.id);
        const bool wasTiled = hidden != m_hidden.end() && hidden->second;
        if (hidden != m_hidden.end())
            m_hidden.erase(hidden);
        m_windows.command(w.id, wasTiled ? QStringLiteral("scratchpad show, floating disable") : QStringLiteral("scratchpad show"));
    }
}

void SwayApplications::openAndActivate(const std::string& desktopId, std::function<void(bool ok)> done)
{
    const auto running = runningApplications(desktopId);
    if (!running.empty()) {
        for (const SwayWindow& w : m_windows.windows()) {
            if (w.pid == running.front().pid) {
                m_windows.raise(w.id);
                done(true);
                return;
            }
        }
    }
    done(freedesktop::launchDesktopEntry(desktopId));
}

std::optional<RunningApplication> SwayApplications::frontmostApplication()
{
    for (const SwayWindow& w : m_windows.windows()) {
        if (w.focused)
            return RunningApplication{w.pid, !w.appId.empty() ? w.appId : w.windowClass, true};
    }
    return std::nullopt;
}

} // namespace quandrel::sway
