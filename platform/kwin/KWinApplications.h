#pragma once

// Running and installed applications on KWin. An application is the set of windows whose
// desktop file name, resource class or resource name names its desktop entry (or the
// entry's StartupWMClass or program); hiding minimizes its windows, unhiding brings them back.

#include "Applications.h"
#include "FrontmostApplication.h"

namespace quandrel::kwin {

class KWinWindows;
struct KWinWindow;

class KWinApplications final : public ApplicationService, public FrontmostApplication {
public:
    explicit KWinApplications(KWinWindows& windows) : m_windows(windows) {}

    std::vector<RunningApplication> runningApplications(const std::string& desktopId) override;
    bool isInstalled(const std::string& desktopId) override;
    void hide(std::int32_t pid) override;
    void unhide(std::int32_t pid) override;
    void openAndActivate(const std::string& desktopId, std::function<void(bool ok)> done) override;

    std::optional<RunningApplication> frontmostApplication() override;

private:
    KWinWindows& m_windows;
};

// Whether a window belongs to the desktop entry: its desktop file name, resource class or
// resource name equal the entry's ID, the ID's last dotted part, the entry's StartupWMClass or
// its program, ignoring case. Empty names match nothing.
bool belongsTo(const KWinWindow& window, const std::string& desktopId, const std::string& startupWMClass = {},
               const std::string& executable = {});

} // namespace quandrel::kwin
