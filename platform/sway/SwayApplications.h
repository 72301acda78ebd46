#pragma once

// Running and installed applications on sway. An application is the set of windows whose
// app_id (Xwayland: WM_CLASS) names its desktop entry, or the entry's StartupWMClass or
// program; hiding moves its windows to the scratchpad, unhiding brings them back (to the
// tiling layout when they were tiled).

#include "Applications.h"
#include "WindowAccess.h"
#include "FrontmostApplication.h"

#include <map>

namespace quandrel::sway {

class SwayWindows;
struct SwayWindow;

class SwayApplications final : public ApplicationService, public FrontmostApplication {
public:
    explicit SwayApplications(SwayWindows& windows) : m_windows(windows) {}

    std::vector<RunningApplication> runningApplications(const std::string& desktopId) override;
    bool isInstalled(const std::string& desktopId) override;
    void hide(std::int32_t pid) override;
    void unhide(std::int32_t pid) override;
    void openAndActivate(const std::string& desktopId, std::function<void(bool ok)> done) override;

    std::optional<RunningApplication> frontmostApplication() override;

private:
    SwayWindows& m_windows;
    std::map<WindowHandle, bool> m_hidden; // window → whether it was tiled before hiding
};

// Whether a window belongs to the desktop entry: its app_id, WM_CLASS class or instance equal
// the entry's ID, the ID's last dotted part, the entry's StartupWMClass or its program,
// ignoring case. Empty names match nothing.
bool belongsTo(const SwayWindow& window, const std::string& desktopId, const std::string& startupWMClass = {},
               const std::string& executable = {});

} // namespace quandrel::sway
