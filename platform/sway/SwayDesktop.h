#pragma once

// The platform seam on sway: one IPC connection and the services built on it, handed out
// together as PlatformServices. What sway does not let a client do (watch the pointer) is
// there as an unavailable service.

#include "KeyboardLayout.h"
#include "ClipboardWriter.h"
#include "Desktop.h"

#include <memory>
#include <string>

namespace quandrel {
class UnavailablePointerMonitor;
class NoSystemTiling;
}

namespace quandrel::sway {

class SwayIpc;
class SwayDisplays;
class SwayWindows;
class SwayApplications;
class SwaySession;
class SwayConfigHotKeys;
class SwayScreenFreezer;
class SwayOwnWindows;

class SwayDesktop final : public Desktop {
public:
    explicit SwayDesktop(std::unique_ptr<SwayIpc> ipc);
    ~SwayDesktop() override;
    SwayDesktop(const SwayDesktop&) = delete;
    SwayDesktop& operator=(const SwayDesktop&) = delete;

    // The sway that $SWAYSOCK names, when it answers; none otherwise.
    static std::unique_ptr<SwayDesktop> open();

    PlatformServices services() override;

    SwayIpc& ipc() { return *m_ipc; }
    SwayDisplays& displays() { return *m_displays; }
    SwayWindows& windows() { return *m_windows; }
    SwayApplications& applications() { return *m_applications; }

private:
    std::unique_ptr<SwayIpc> m_ipc; // first: it goes last
    std::unique_ptr<SwayDisplays> m_displays;
    std::unique_ptr<SwayWindows> m_windows;
    std::unique_ptr<SwayApplications> m_applications;
    std::unique_ptr<SwaySession> m_session;
    std::unique_ptr<SwayConfigHotKeys> m_hotKeys;
    std::unique_ptr<UnavailablePointerMonitor> m_pointer;
    std::unique_ptr<SwayScreenFreezer> m_screen;
    std::unique_ptr<SwayOwnWindows> m_ownWindows;
    std::unique_ptr<NoSystemTiling> m_tiling;
    std::unique_ptr<KeyboardLayout> m_keyboardLayout;
    std::unique_ptr<ClipboardWriter> m_clipboard;
};

// The application's desktop: the sway that $SWAYSOCK names. None when it does not answer.
std::unique_ptr<Desktop> openSessionDesktop(std::string* whyNot);

} // namespace quandrel::sway
