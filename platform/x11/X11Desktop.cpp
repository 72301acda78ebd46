#include "X11Desktop.h"

#include "X11SystemTiling.h"
#include "GrabbingScreenFreezer.h"
#include "X11Applications.h"
#include "X11Connection.h"
#include "X11Displays.h"
#include "X11HotKeys.h"
#include "X11EventPump.h"
#include "X11OwnWindows.h"
#include "X11KeyboardLayout.h"
#include "X11PointerMonitor.h"
#include "X11ScreenCapture.h"
#include "X11Session.h"
#include "X11Windows.h"

#include <QCoreApplication>

namespace quandrel::x11 {

X11Desktop::X11Desktop(std::unique_ptr<X11Connection> connection)
    : m_connection(std::move(connection))
    , m_displays(std::make_unique<X11Displays>(*m_connection))
    , m_windows(std::make_unique<X11Windows>(*m_connection, *m_displays))
    , m_applications(std::make_unique<X11Applications>(*m_connection, *m_windows))
    , m_session(std::make_unique<X11Session>(*m_connection))
{
}

// The services go in the reverse order of their making, the connection last.
X11Desktop::~X11Desktop()
{
    m_ownWindows.reset();
    m_freezer.reset();
    m_screen.reset();
    m_tiling.reset();
    m_pointer.reset();
    m_hotKeys.reset();
    m_keyboardLayout.reset();
    m_session.reset();
    m_applications.reset();
    m_windows.reset();
    m_displays.reset();
}

std::unique_ptr<X11Desktop> X11Desktop::open(const char* display)
{
    auto connection = X11Connection::open(display);
    if (!connection)
        return nullptr;
    return std::make_unique<X11Desktop>(std::move(connection));
}

PlatformServices X11Desktop::services()
{
    if (!m_hotKeys) {
        m_keyboardLayout = std::make_unique<ServerKeyboardLayout>(*m_connection);
        m_hotKeys = std::make_unique<X11HotKeys>(*m_connection);
        m_pointer = std::make_unique<X11PointerMonitor>(*m_connection, *m_displays);
        m_tiling = std::make_unique<X11SystemTiling>(*m_connection);
        m_screen = std::make_unique<X11ScreenCapture>(*m_connection);
        m_freezer = std::make_unique<GrabbingScreenFreezer>(*m_screen);
        m_ownWindows = std::make_unique<X11OwnWindows>(m_connection->xcb(), m_connection->screenNumber());
    }
    return {
        .displays = m_displays.get(),
        .windows = m_windows.get(),
        .frontmost = m_applications.get(),
        .trust = m_session.get(),
        .sound = m_session.get(),
        .hotKeys = m_hotKeys.get(),
        .applications = m_applications.get(),
        .pointer = m_pointer.get(),
        .tiling = m_tiling.get(),
        .screen = m_freezer.get(),
        .ownWindows = m_ownWindows.get(),
        .keyboardLayout = m_keyboardLayout.get(),
        .clipboard = &m_clipboard,
    };
}

namespace {

class X11SessionDesktop final : public Desktop {
public:
    X11SessionDesktop(std::unique_ptr<X11Desktop> desktop, std::unique_ptr<X11OwnWindows> qtWindows)
        : m_desktop(std::move(desktop))
        , m_pump(m_desktop->connection())
        , m_qtWindows(std::move(qtWindows))
    {
    }

    PlatformServices services() override
    {
        PlatformServices services = m_desktop->services();
        // Grabs send the events to the grabbing connection: Qt's, which owns Quandrel's windows.
        if (m_qtWindows)
            services.ownWindows = m_qtWindows.get();
        return services;
    }

private:
    std::unique_ptr<X11Desktop> m_desktop;
    X11EventPump m_pump;
    std::unique_ptr<X11OwnWindows> m_qtWindows;
};

} // namespace

std::unique_ptr<Desktop> openSessionDesktop(std::string* whyNot)
{
    auto desktop = X11Desktop::open();
    if (!desktop) {
        if (whyNot)
            *whyNot = QCoreApplication::translate("Session", "Quandrel needs an X11 display.").toStdString();
        return nullptr;
    }
    return std::make_unique<X11SessionDesktop>(std::move(desktop), X11OwnWindows::forQtWindows());
}

} // namespace quandrel::x11
