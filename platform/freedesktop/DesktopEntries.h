#pragma once

// Installed applications as desktop entries (XDG_DATA_HOME, XDG_DATA_DIRS), through GIO.

#include <optional>
#include <string>

namespace quandrel::freedesktop {

struct DesktopEntry {
    std::string id;              // file name without ".desktop"
    std::string name;
    std::string startupWMClass;  // empty when the entry has none
    std::string executable;      // base name of the program it runs
};

std::optional<DesktopEntry> findDesktopEntry(const std::string& id);

// Starts the application of a desktop entry; false when there is none or it cannot start.
bool launchDesktopEntry(const std::string& id);

} // namespace quandrel::freedesktop
