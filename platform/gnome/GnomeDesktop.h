#pragma once

// The platform seam on GNOME (Wayland): the Shell extension on the session bus and the
// services built on it, handed out together as PlatformServices. Without the extension the
// desktop still opens; window commands then say once what they need.

#include "ClipboardWriter.h"
#include "Desktop.h"
#include "FrontmostApplication.h"
#include "GlobalHotKeys.h"
#include "SystemTiling.h"

#include <memory>
#include <string>

namespace quandrel {
namespace freedesktop {
class PortalScreenshot;
class PortalScreenFreezer;
}
class FreedesktopNotifier;
class KeyboardLayout;
class UnavailablePointerMonitor;
}

namespace quandrel::gnome {

class GnomeShell;
class GnomeKeybindings;
class GnomeDisplays;
class GnomeWindows;
class GnomeApplications;
class GnomeScreenFreezer;
class GnomeOwnWindows;

class GnomeHotKeys;

// Window control while the extension answers this Quandrel; no bell.
class GnomeSession final : public AccessTrust, public SystemSound {
public:
    // `consent` is the file that records the person's agreement to shortcuts in GNOME's own
    // keyboard shortcuts; `portal` takes screenshots while the extension does not answer.
    GnomeSession(GnomeShell& shell, GnomeHotKeys& hotKeys, std::string consent, freedesktop::PortalScreenshot& portal);
    ~GnomeSession() override;
    bool canControlWindows() override;
    // Says once, as a notification, why windows cannot be arranged: the extension is missing,
    // refuses this copy, or one of the two sides needs an update.
    void showTrustPrompt() override;
    // With the extension, or else through the desktop portal.
    bool screenRecordingAllowed() override;
    // Says, once for good (noted in `explained`), that GNOME is about to ask whether Quandrel
    // may take screenshots, before the portal's first request.
    void explainScreenshotPortal(const std::string& explained);
    // Installing the extension, while it is missing, refuses this copy or is outdated; or,
    // instead, shortcuts in GNOME's own keyboard shortcuts.
    std::optional<Setup> setup() override;
    std::string performSetup() override;
    std::string performAlternative() override;
    void beep() override {}

    // Whether the person agreed to shortcuts in GNOME's keyboard shortcuts.
    bool desktopShortcutsAllowed() const;

private:
    GnomeShell& m_shell;
    GnomeHotKeys& m_hotKeys;
    std::string m_consent;
    freedesktop::PortalScreenshot& m_portal;
    std::string m_told;
    std::unique_ptr<FreedesktopNotifier> m_notifier;
};

// Shortcuts bound by the extension in the Shell's own key bindings; each press comes back as
// a signal. Without the extension they are entries in GNOME's custom keyboard shortcuts that
// run Quandrel's command line, where the person agreed to that, and unsupported otherwise.
class GnomeHotKeys final : public GlobalHotKeys {
public:
    GnomeHotKeys(GnomeShell& shell, GnomeKeybindings& desktopShortcuts);
    void bind(std::vector<HotKeyRequest> set, std::function<void(HotKeyStatuses)> answered) override;
    // Binds the last set again (the person agreed to GNOME's shortcuts meanwhile) and answers
    // it again.
    void rebind();
    // Where GNOME's own shortcuts may be used without the extension.
    std::function<bool()> desktopShortcutsAllowed;

private:
    GnomeShell& m_shell;
    GnomeKeybindings& m_desktopShortcuts;
    std::vector<HotKeyRequest> m_set;
    std::function<void(HotKeyStatuses)> m_answered;
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
    // `keybindings` are GNOME's own shortcuts used without the extension (by default in the
    // desktop's settings, running this executable); the person's consent to them is kept in
    // Quandrel's configuration folder.
    GnomeDesktop(std::unique_ptr<GnomeShell> shell, std::unique_ptr<GnomeKeybindings> keybindings);
    explicit GnomeDesktop(std::unique_ptr<GnomeShell> shell);
    ~GnomeDesktop() override;
    GnomeDesktop(const GnomeDesktop&) = delete;
    GnomeDesktop& operator=(const GnomeDesktop&) = delete;

    PlatformServices services() override;

    GnomeShell& shell() { return *m_shell; }
    GnomeDisplays& displays() { return *m_displays; }
    GnomeWindows& windows() { return *m_windows; }
    GnomeApplications& applications() { return *m_applications; }
    GnomeKeybindings& keybindings() { return *m_keybindings; }

private:
    std::unique_ptr<GnomeShell> m_shell; // first: it goes last
    std::unique_ptr<GnomeKeybindings> m_keybindings;
    std::unique_ptr<GnomeDisplays> m_displays;
    std::unique_ptr<GnomeWindows> m_windows;
    std::unique_ptr<GnomeApplications> m_applications;
    std::unique_ptr<GnomeHotKeys> m_hotKeys;
    std::unique_ptr<freedesktop::PortalScreenshot> m_portal;
    std::unique_ptr<freedesktop::PortalScreenFreezer> m_portalScreen;
    std::unique_ptr<GnomeSession> m_session;
    std::unique_ptr<UnavailablePointerMonitor> m_pointer;
    std::unique_ptr<GnomeScreenFreezer> m_screen;
    std::unique_ptr<GnomeOwnWindows> m_ownWindows;
    std::unique_ptr<MutterTiling> m_tiling;
    std::unique_ptr<KeyboardLayout> m_keyboardLayout;
    PlainClipboard m_clipboard;
};

// The application's desktop: GNOME Shell on the session bus. None without a session bus.
std::unique_ptr<Desktop> openSessionDesktop(std::string* whyNot);

} // namespace quandrel::gnome
