#pragma once

// Quandrel's own windows on X11: window-manager hints for the floating panels (X11WindowHints),
// the compositing manager's selection for translucency, and grabs on the connection that made
// the windows, which in the application is Qt's.

#include "OwnWindows.h"
#include "X11InputGrabs.h"

#include <memory>

struct xcb_connection_t;

namespace quandrel::x11 {

class X11OwnWindows final : public OwnWindows {
public:
    // The connection is not owned and outlives this object; `screen` is the one Qt's windows
    // are made on.
    X11OwnWindows(xcb_connection_t* connection, int screen);

    // On the connection of Qt's own windows; none when Qt does not run on X11.
    static std::unique_ptr<X11OwnWindows> forQtWindows();

    void markFloatingPanel(QWindow& window) override;
    void keepAspectRatio(QWindow& window, int width, int height) override;
    bool compositing() override;
    void markOverlay(QWindow&) override {} // override-redirect, from Qt's window flags
    InputGrabError grabInput(QWindow& window) override;
    void releaseInput() override { m_grabs.release(); }
    bool inputGrabbed() const override { return m_grabs.isGrabbed(); }
    std::optional<std::uint32_t> trayForeground() override;

private:
    xcb_connection_t* m_connection;
    int m_screen;
    X11InputGrabs m_grabs;
};

} // namespace quandrel::x11
