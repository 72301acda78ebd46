#pragma once

// Installed and running applications, named by their desktop-entry ID (the file name of the
// desktop entry without ".desktop", e.g. "org.gnome.TextEditor", "xterm").

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quandrel {

// One running application: a process with windows of a desktop entry.
struct RunningApplication {
    std::int32_t pid = 0;
    std::string desktopId; // the desktop-entry ID; empty when unknown
    bool active = false;   // owns the active window
    bool operator==(const RunningApplication&) const = default;
};

class ApplicationService {
public:
    virtual ~ApplicationService() = default;

    virtual std::vector<RunningApplication> runningApplications(const std::string& desktopId) = 0;
    virtual bool isInstalled(const std::string& desktopId) = 0;
    // Hiding iconifies every window of the process; unhiding brings them back.
    virtual void hide(std::int32_t pid) = 0;
    virtual void unhide(std::int32_t pid) = 0;
    // Launches the application, or brings its newest window to the front when it runs.
    // `done` learns whether that worked; it is called on the main thread.
    virtual void openAndActivate(const std::string& desktopId, std::function<void(bool ok)> done) = 0;
};

} // namespace quandrel
