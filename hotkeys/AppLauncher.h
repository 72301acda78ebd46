#pragma once

// Carries out an app binding: opens the application, brings it to the front, or, when it
// is already active, hides it or cycles its windows.

#include "AppBinding.h"
#include "PlatformServices.h"

#include <cstdint>
#include <vector>

namespace quandrel {

class AppLauncher {
public:
    explicit AppLauncher(PlatformServices platform);

    // Answers false when the application isn't installed. A launch that fails later (the
    // program doesn't start) beeps then.
    bool activate(const AppBinding& binding);
    // Raises the backmost standard, non-minimized window of the processes (one application
    // may run as several), so that repeated calls walk through all of them.
    void cycleWindows(const std::vector<std::int32_t>& pids);
    void cycleWindows(std::int32_t pid) { cycleWindows(std::vector<std::int32_t>{pid}); }

private:
    PlatformServices m_platform;
};

} // namespace quandrel
