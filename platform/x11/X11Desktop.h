#pragma once

// The platform seam on an X server with an EWMH window manager: one connection of Quandrel's
// own and the X11 services built on it, handed out together as PlatformServices.

#include "ClipboardWriter.h"
#include "Desktop.h"

#include <memory>
#include <string>

namespace quandrel {
class GrabbingScreenFreezer;
}

namespace quandrel::x11 {

class X11Connection;
class X11Displays;
class X11Windows;
class X11Applications;
class X11Session;
class X11HotKeys;
class X11PointerMonitor;
class X11SystemTiling;
class X11ScreenCapture;
class X11OwnWindows;
class ServerKeyboardLayout;

class X11Desktop final : public Desktop {
public:
    explicit X11Desktop(std::unique_ptr<X11Connection> connection);
    ~X11Desktop() override;
    X11Desktop(const X11Desktop&) = delete;
    X11Desktop& operator=(const X11Desktop&) = delete;

    // Opens the display named by the environment; none without an X server.
    static std::unique_ptr<X11Desktop> open(const char* display = nullptr);

    X11Connection& connection() { return *m_connection; }

    // Every service; the hot keys, the pointer monitor, the keyboard layout, screen capture
    // and own windows are made on first call. The own windows' grabs work for windows made on
    // this object's connection; the application's desktop (openSessionDesktop) uses Qt's.
    PlatformServices services() override;

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
    PlainClipboard m_clipboard;
    std::unique_ptr<X11HotKeys> m_hotKeys;
    std::unique_ptr<X11PointerMonitor> m_pointer;
    std::unique_ptr<X11SystemTiling> m_tiling;
    std::unique_ptr<X11ScreenCapture> m_screen;
    std::unique_ptr<GrabbingScreenFreezer> m_freezer;
    std::unique_ptr<X11OwnWindows> m_ownWindows;
};

// The application's desktop: the display the environment names, its events fed into the Qt
// event loop, and Quandrel's own windows on Qt's connection. None without an X server.
std::unique_ptr<Desktop> openSessionDesktop(std::string* whyNot);

} // namespace quandrel::x11
