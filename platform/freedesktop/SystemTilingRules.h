#pragma once

// The edge tiling of the window managers that have it, by the name they give themselves
// (_NET_WM_NAME of the EWMH check window, or the compositor's own name): GNOME's mutter (the
// org.gnome.mutter "edge-tiling" setting, which covers the sides and the top) and KWin (quick
// tiling and maximize at the top in kwinrc). Other window managers do not tile by dragging.

#include "SystemTiling.h"

#include <functional>
#include <optional>
#include <string>

namespace quandrel::freedesktop {

// The tiling a window manager of this name does now, read from its settings.
SystemTiling systemTilingOf(const std::string& windowManager);

// GNOME's multitasking panel and KDE's screen-edges module, for a window manager name, when
// `findProgram` (a program name to its path, empty when absent) finds their tool.
std::optional<TilingSettingsPage> tilingSettingsPageOf(const std::string& windowManager,
                                                       const std::function<std::string(const std::string&)>& findProgram);
// The same, with the programs looked up on PATH.
std::optional<TilingSettingsPage> tilingSettingsPageOf(const std::string& windowManager);

} // namespace quandrel::freedesktop
