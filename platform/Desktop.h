#pragma once

// One session's desktop: the owner of every service of the platform seam. The application
// opens one through openDesktop (DesktopFactory.h) and keeps it for as long as it runs.

#include "PlatformServices.h"

namespace quandrel {

class Desktop {
public:
    virtual ~Desktop() = default;
    // Every service, none missing (see PlatformServices.h); valid while this object lives.
    virtual PlatformServices services() = 0;
};

} // namespace quandrel
