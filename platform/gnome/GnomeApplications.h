#pragma once

// Running and installed applications on GNOME. An application is the set of windows the
// Shell gives its desktop entry, or whose WM_CLASS, sandboxed or GTK application id names the
// entry (as on sway); hiding minimizes its windows, unhiding activates them again.

#include "Applications.h"
#include "FrontmostApplication.h"

namespace quandrel::gnome {

class GnomeWindows;
struct ShellWindow;

class GnomeApplications final : public ApplicationService, public FrontmostApplication {
public:
    explicit GnomeApplications(GnomeWindows& windows) : m_windows(windows) {}

    std::vector<RunningApplication> runningApplications(const std::string& desktopId) override;
    bool isInstalled(const std::string& desktopId) override;
    void hide(std::int32_t pid) override;
    void unhide(std::int32_t pid) override;
    void openAndActivate(const std::string& desktopId, std::function<void(bool ok)> done) override;

    std::optional<RunningApplication> frontmostApplication() override;

private:
    GnomeWindows& m_windows;
};

// The desktop-entry ID the Shell or the window gives a window; empty when it names none.
std::string desktopIdOf(const ShellWindow& window);

// Whether a window belongs to the desktop entry: any of its names equals the entry's ID, the
// ID's last dotted part, the entry's StartupWMClass or its program, ignoring case.
bool belongsTo(const ShellWindow& window, const std::string& desktopId, const std::string& startupWMClass = {},
               const std::string& executable = {});

} // namespace quandrel::gnome
