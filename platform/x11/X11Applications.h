#pragma once

// Running and installed applications on X11. An application is the set of client windows
// that belong to one desktop entry (by GTK application ID, WM_CLASS or, last, the program a
// process runs); hiding iconifies its windows through the window manager.

#include "Applications.h"
#include "WindowAccess.h"
#include "FrontmostApplication.h"

namespace quandrel::x11 {

class X11Connection;

class X11Applications final : public ApplicationService, public FrontmostApplication {
public:
    // Focus, minimized state and raising go through `windows`.
    X11Applications(X11Connection& connection, WindowAccess& windows);

    // ApplicationService
    std::vector<RunningApplication> runningApplications(const std::string& desktopId) override;
    bool isInstalled(const std::string& desktopId) override;
    void hide(std::int32_t pid) override;
    void unhide(std::int32_t pid) override;
    void openAndActivate(const std::string& desktopId, std::function<void(bool ok)> done) override;

    // FrontmostApplication
    std::optional<RunningApplication> frontmostApplication() override;

private:
    // Client-list order: oldest first.
    std::vector<std::uint32_t> windowsOfDesktopEntry(const std::string& desktopId);

    X11Connection& m_connection;
    WindowAccess& m_windows;
};

} // namespace quandrel::x11
