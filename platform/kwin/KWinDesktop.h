#pragma once

// The platform seam on KWin (Plasma on Wayland): Quandrel's script inside KWin and the
// services built on it, handed out together as PlatformServices. What KWin does not let a
// client do (grab input, watch the pointer) is there as an unavailable service; drag
// snapping is KWin's own quick tiling.

#include "ClipboardWriter.h"
#include "Desktop.h"
#include "FrontmostApplication.h"
#include "GlobalHotKeys.h"
#include "KeyboardLayout.h"
#include "SystemTiling.h"

#include <memory>
#include <string>

namespace quandrel {
class UnavailablePointerMonitor;
namespace freedesktop {
class PortalScreenshot;
class PortalScreenFreezer;
}
}

namespace quandrel::kwin {

class KWinBridge;
class KWinWindows;
class KWinApplications;
class KWinHotKeys;
class KWinOwnWindows;
class KWinScreenFreezer;

// KWin's quick tiling as kwinrc has it; on Wayland KWin alone snaps dragged windows.
class KWinSystemTiling final : public SystemTilingSource {
public:
    SystemTiling read() override;
    std::optional<TilingSettingsPage> settingsPage() override;
};

// Window control while the script answers; no bell of its own.
class KWinSession final : public AccessTrust, public SystemSound {
public:
    explicit KWinSession(KWinBridge& bridge) : m_bridge(bridge) {}
    bool canControlWindows() override;
    void showTrustPrompt() override;
    bool screenRecordingAllowed() override { return true; }
    void beep() override {}

private:
    KWinBridge& m_bridge;
};

class KWinDesktop final : public Desktop {
public:
    explicit KWinDesktop(std::unique_ptr<KWinBridge> bridge);
    ~KWinDesktop() override;
    KWinDesktop(const KWinDesktop&) = delete;
    KWinDesktop& operator=(const KWinDesktop&) = delete;

    // The KWin of the session bus, with Quandrel's script running in it; none otherwise.
    static std::unique_ptr<KWinDesktop> open(std::string* whyNot = nullptr);

    PlatformServices services() override;

    KWinBridge& bridge() { return *m_bridge; }
    KWinWindows& windows() { return *m_windows; }
    KWinApplications& applications() { return *m_applications; }
    KWinHotKeys& hotKeys() { return *m_hotKeys; }

private:
    std::unique_ptr<KWinBridge> m_bridge; // first: it goes last
    std::unique_ptr<KWinWindows> m_windows;
    std::unique_ptr<KWinApplications> m_applications;
    std::unique_ptr<KWinSession> m_session;
    std::unique_ptr<KWinHotKeys> m_hotKeys;
    std::unique_ptr<UnavailablePointerMonitor> m_pointer;
    std::unique_ptr<freedesktop::PortalScreenshot> m_portal;
    std::unique_ptr<freedesktop::PortalScreenFreezer> m_portalScreen;
    std::unique_ptr<KWinScreenFreezer> m_screen;
    std::unique_ptr<KWinOwnWindows> m_ownWindows;
    std::unique_ptr<KWinSystemTiling> m_tiling;
    std::unique_ptr<KeyboardLayout> m_keyboardLayout;
    std::unique_ptr<ClipboardWriter> m_clipboard;
};

std::unique_ptr<Desktop> openSessionDesktop(std::string* whyNot);

} // namespace quandrel::kwin
