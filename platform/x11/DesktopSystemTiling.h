#pragma once

// The running window manager's own edge tiling: GNOME's mutter (the org.gnome.mutter
// "edge-tiling" setting, which covers the sides and the top) and KWin (quick tiling and
// maximize at the top in kwinrc). Other window managers do not tile by dragging.

#include "SystemTiling.h"

#include <string>

namespace quandrel::x11 {

class X11Connection;

class DesktopSystemTiling final : public SystemTilingSource {
public:
    explicit DesktopSystemTiling(X11Connection& connection);
    SystemTiling read() override;

    // The rules, for a window manager name (_NET_WM_NAME of its check window).
    static SystemTiling forWindowManager(const std::string& name);

private:
    std::string windowManagerName();
    X11Connection& m_connection;
};

} // namespace quandrel::x11
