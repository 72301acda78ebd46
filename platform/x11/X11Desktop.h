#pragma once

// The platform seam on an X server with an EWMH window manager: one connection of Quandrel's
// own and the X11 services built on it, handed out together as PlatformServices.

#include "PlatformServices.h"

#include <memory>

namespace quandrel::x11 {

class X11Connection;
class X11Displays;
class X11Windows;
class X11Applications;
class X11Session;
class X11HotKeys;
class X11PointerMonitor;
class DesktopSystemTiling;
class X11ScreenCapture;
class X11InputGrabs;
class ServerKeyboardLayout;

class X11Desktop final {
public:
    explicit X11Desktop(std::unique_ptr<X11Connection> connection);
    ~X11Desktop();
    X11Desktop(const X11Desktop&) = delete;
    X11Desktop& operator=(const X11Desktop&) = delete;

    // Opens the display named by the environment; none without an X server.
    static std::unique_ptr<X11Desktop> open(const char* display = nullptr);

    X11Connection& connection() { return *m_connection; }

    // Every service; the hot keys, the pointer monitor, the keyboard layout, screen capture
    // and input grabs are made on first call. The grabs work for windows made on this
    // object's connection; the application hands in grabs on the connection of its own
    // windows instead (X11InputGrabs.h).
    PlatformServices services();

    X11Displays& displays() { return *m_displays; }
    X11Windows& windows() { return *m_windows; }
    X11Applications& applications() { return *m_applications; }
    X11Session& session() { return *m_session; }

private:
    std::unique_ptr<X11Connection> m_connection; // first: it goes last
    std::unique_ptr<X11Displays> m_displays;
    std::unique_ptr<X11Windows> m_windows;
    std::unique_ptr<X11Applications> m_applications;
    std::unique_ptr<X11Session> m_session;
    std::unique_ptr<ServerKeyboardLayout> m_keyboardLayout;
    std::unique_ptr<X11HotKeys> m_hotKeys;
    std::unique_ptr<X11PointerMonitor> m_pointer;
    std::unique_ptr<DesktopSystemTiling> m_tiling;
    std::unique_ptr<X11ScreenCapture> m_screen;
    std::unique_ptr<X11InputGrabs> m_grabs;
};

} // namespace quandrel::x11
