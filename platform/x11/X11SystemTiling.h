#pragma once

// The running X window manager's own edge tiling: its name from the EWMH check window, its
// rules and settings page from SystemTilingRules.

#include "SystemTiling.h"

#include <string>

namespace quandrel::x11 {

class X11Connection;

class X11SystemTiling final : public SystemTilingSource {
public:
    explicit X11SystemTiling(X11Connection& connection);
    SystemTiling read() override;
    std::optional<TilingSettingsPage> settingsPage() override;

private:
    std::string windowManagerName();
    X11Connection& m_connection;
};

} // namespace quandrel::x11
