#pragma once

// Carries out an app binding: opens the application, brings it to the front, or, when it
// is already active, hides it or cycles its windows.

#include "AppBinding.h"
#include "PlatformServices.h"

namespace quandrel {

class AppLauncher {
public:
    explicit AppLauncher(PlatformServices platform);

    void activate(const AppBinding& binding);
    // Raises the backmost standard, non-minimized window of the process, so that repeated
    // calls walk through all of them.
    void cycleWindows(std::int32_t pid);

private:
    PlatformServices m_platform;
};

} // namespace quandrel
