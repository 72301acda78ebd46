#pragma once

// The applications installed on this desktop, as a person picks them: their desktop-entry ID,
// the name the desktop shows and their icon.

#include <optional>
#include <string>
#include <vector>

namespace quandrel {

struct InstalledApplication {
    std::string desktopId; // the desktop-entry ID, e.g. "org.gnome.TextEditor"
    std::string name;      // the name the desktop shows
    std::string icon;      // an icon theme name or an absolute file path; empty for none
    bool operator==(const InstalledApplication&) const = default;
};

class ApplicationCatalog {
public:
    virtual ~ApplicationCatalog() = default;
    // Every application a launcher would show, sorted by name.
    virtual std::vector<InstalledApplication> installedApplications() = 0;
    // One application by its ID; none when it is not installed (any more).
    virtual std::optional<InstalledApplication> findApplication(const std::string& desktopId) = 0;
};

} // namespace quandrel
