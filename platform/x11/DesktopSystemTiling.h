#pragma once

// The running window manager's own edge tiling: GNOME's mutter (the org.gnome.mutter
// "edge-tiling" setting, which covers the sides and the top) and KWin (quick tiling and
// maximize at the top in kwinrc). Other window managers do not tile by dragging.

#include "SystemTiling.h"

#include <functional>
#include <string>

namespace quandrel::x11 {

class X11Connection;

class DesktopSystemTiling final : public SystemTilingSource {
public:
    explicit DesktopSystemTiling(X11Connection& connection);
    SystemTiling read() override;
    std::optional<TilingSettingsPage> settingsPage() override;

    // The rules, for a window manager name (_NET_WM_NAME of its check window).
    static SystemTiling forWindowManager(const std::string& name);
    // GNOME's multitasking panel and KDE's screen-edges module, for a window manager name,
    // when `findProgram` (a program name to its path, empty when absent) finds their tool.
    static std::optional<TilingSettingsPage> settingsPageFor(const std::string& name,
                                                             const std::function<std::string(const std::string&)>& findProgram);

private:
    std::string windowManagerName();
    X11Connection& m_connection;
};

} // namespace quandrel::x11
