#include "X11OwnWindows.h"

#include "X11WindowHints.h"

#include <QGuiApplication>
#include <QWindow>

namespace quandrel::x11 {

X11OwnWindows::X11OwnWindows(xcb_connection_t* connection, int screen)
    : m_connection(connection)
    , m_screen(screen)
    , m_grabs(connection)
{
}

std::unique_ptr<X11OwnWindows> X11OwnWindows::forQtWindows()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return nullptr;
    // Qt's X connection is opened on the display's default screen.
    const QByteArray display = qgetenv("DISPLAY");
    const qsizetype dot = display.lastIndexOf('.');
    const qsizetype colon = display.lastIndexOf(':');
    const int screen = dot > colon && colon >= 0 ? display.mid(dot + 1).toInt() : 0;
    return std::make_unique<X11OwnWindows>(x11->connection(), screen);
}

void X11OwnWindows::markFloatingPanel(QWindow& window) { x11::markFloatingPanel(m_connection, std::uint32_t(window.winId())); }

void X11OwnWindows::keepAspectRatio(QWindow& window, int width, int height)
{
    x11::setAspectRatio(m_connection, std::uint32_t(window.winId()), width, height);
}

std::optional<std::uint32_t> X11OwnWindows::trayForeground()
{
    const auto color = systemTrayForeground(m_connection, m_screen);
    if (!color)
        return std::nullopt;
    return std::uint32_t(color->red >> 8) << 16 | std::uint32_t(color->green >> 8) << 8 | std::uint32_t(color->blue >> 8);
}

bool X11OwnWindows::compositing() { return compositingManagerRuns(m_connection, m_screen); }

InputGrabError X11OwnWindows::grabInput(QWindow& window) { return m_grabs.grab(WindowHandle(window.winId())); }

} // namespace quandrel::x11
