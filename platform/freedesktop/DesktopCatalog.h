#pragma once

// The installed applications from their desktop entries (XDG_DATA_HOME, XDG_DATA_DIRS),
// through GIO.

#include "ApplicationCatalog.h"

namespace quandrel::freedesktop {

class DesktopCatalog final : public ApplicationCatalog {
public:
    std::vector<InstalledApplication> installedApplications() override;
    std::optional<InstalledApplication> findApplication(const std::string& desktopId) override;
};

} // namespace quandrel::freedesktop
