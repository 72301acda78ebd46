#pragma once

// The platform seam on GNOME (Wayland): the Shell extension on the session bus and the
// services built on it, handed out together as PlatformServices. Without the extension the
// desktop still opens; window commands then say once what they need.

#include "Desktop.h"
#include "FrontmostApplication.h"
#include "GlobalHotKeys.h"
#include "SystemTiling.h"

#include <memory>
#include <string>

namespace quandrel {
class KeyboardLayout;
class UnavailablePointerMonitor;
}

namespace quandrel::gnome {

class GnomeShell;
class GnomeDisplays;
class GnomeWindows;
class GnomeApplications;
class GnomeScreenFreezer;
class GnomeOwnWindows;

// Window control while the extension answers this Quandrel; no bell.
class GnomeSession final : public AccessTrust, public SystemSound {
public:
    explicit GnomeSession(GnomeShell& shell) : m_shell(shell) {}
    bool canControlWindows() override;
    // Says once why windows cannot be arranged: the extension is missing, refuses this copy,
    // or one of the two sides needs an update.
    void showTrustPrompt() override;
    bool screenRecordingAllowed() override;
    // Installing the extension, while it is missing, refuses this copy or is outdated.
    std::optional<Setup> setup() override;
    std::string performSetup() override;
    void beep() override {}

private:
    GnomeShell& m_shell;
    std::string m_told;
};

// Shortcuts bound by the extension in the Shell's own key bindings; each press comes back as
// a signal. Without the extension they are unsupported.
class GnomeHotKeys final : public GlobalHotKeys {
public:
    explicit GnomeHotKeys(GnomeShell& shell);
    void bind(std::vector<HotKeyRequest> set, std::function<void(HotKeyStatuses)> answered) override;

private:
    GnomeShell& m_shell;
    std::uint64_t m_generation = 0;
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
};

// The GTK accelerator of a shortcut ("<Control><Alt>Left"); empty when its key has no name.
std::string acceleratorOf(const HotKeyRequest& request);

// mutter's own edge tiling, which drags on GNOME are left to.
class MutterTiling final : public SystemTilingSource {
public:
    SystemTiling read() override;
    std::optional<TilingSettingsPage> settingsPage() override;
    bool ownsDragSnapping() override { return true; }
};

class GnomeDesktop final : public Desktop {
public:
    explicit GnomeDesktop(std::unique_ptr<GnomeShell> shell);
    ~GnomeDesktop() override;
    GnomeDesktop(const GnomeDesktop&) = delete;
    GnomeDesktop& operator=(const GnomeDesktop&) = delete;

    PlatformServices services() override;

    GnomeShell& shell() { return *m_shell; }
    GnomeDisplays& displays() { return *m_displays; }
    GnomeWindows& windows() { return *m_windows; }
    GnomeApplications& applications() { return *m_applications; }

private:
    std::unique_ptr<GnomeShell> m_shell; // first: it goes last
    std::unique_ptr<GnomeDisplays> m_displays;
    std::unique_ptr<GnomeWindows> m_windows;
    std::unique_ptr<GnomeApplications> m_applications;
    std::unique_ptr<GnomeSession> m_session;
    std::unique_ptr<GnomeHotKeys> m_hotKeys;
    std::unique_ptr<UnavailablePointerMonitor> m_pointer;
    std::unique_ptr<GnomeScreenFreezer> m_screen;
    std::unique_ptr<GnomeOwnWindows> m_ownWindows;
    std::unique_ptr<MutterTiling> m_tiling;
    std::unique_ptr<KeyboardLayout> m_keyboardLayout;
};

// The application's desktop: GNOME Shell on the session bus. None without a session bus.
std::unique_ptr<Desktop> openSessionDesktop(std::string* whyNot);

} // namespace quandrel::gnome
