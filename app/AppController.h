#pragma once

// The application's one central object: it owns the settings, the hot keys and the window
// manager, applies every settings change to them, carries out hot-key actions and command
// URLs, and tracks the two permissions Quandrel needs.

#include "AppLauncher.h"
#include "CommandURL.h"
#include "DragSnapper.h"
#include "HotKeyCenter.h"
#include "PlatformServices.h"
#include "SettingsStore.h"
#include "WindowManager.h"

#include <QLoggingCategory>
#include <QObject>
#include <QTimer>

#include <functional>
#include <optional>
#include <set>

class QSettings;

Q_DECLARE_LOGGING_CATEGORY(lcUrl)

namespace quandrel {

class AppController : public QObject {
    Q_OBJECT
public:
    AppController(PlatformServices platform, QSettings& domain, QObject* parent = nullptr);
    ~AppController() override;

    SettingsStore& store() { return m_store; }
    HotKeyCenter& hotKeys() { return m_hotKeys; }
    WindowManager& windows() { return m_windows; }
    AppLauncher& launcher() { return m_launcher; }

    void start();
    void applySettings(const QuandrelSettings& settings);
    void perform(const HotKeyAction& action);
    void handleURL(const QUrl& url);

    // Capture, the settings window and pins arrive with their features; until one is
    // installed, its commands beep.
    std::function<void(CaptureMode, std::optional<AfterCapture>)> captureStarter;
    std::function<void()> settingsOpener;
    std::function<void()> pinsCloser;
    // Makes the drag-snapping preview window; without one, drags snap without a preview.
    std::function<std::unique_ptr<SnapPreviewSurface>()> makeSnapPreview;
    // Created on first use; none when the platform has no pointer monitor.
    DragSnapper* dragSnapper();

    void startCapture(CaptureMode mode, std::optional<AfterCapture> then = std::nullopt);
    void openSettings();

    const std::set<HotKeyAction>& failedActions() const { return m_failedActions; }
    bool accessibilityTrusted() const { return m_accessibilityTrusted; }
    bool screenRecordingAllowed() const { return m_screenRecordingAllowed; }
    void refreshPermissions();
    // Re-reads the permissions every second until both are granted.
    void startPermissionPoll();
    bool isPollingPermissions() const { return m_permissionPoll.isActive(); }

    // Opens a link of the desktop's own settings tool; an invalid link does nothing.
    void openSystemSettings(const QString& link);

    // Starting at login through an XDG autostart entry; setting it answers an error text on
    // failure.
    bool launchAtLogin() const;
    std::optional<QString> setLaunchAtLogin(bool enabled);

Q_SIGNALS:
    void failedActionsChanged();
    void permissionsChanged();

private:
    PlatformServices m_platform;
    SettingsStore m_store;
    HotKeyCenter m_hotKeys;
    WindowManager m_windows;
    AppLauncher m_launcher;
    std::unique_ptr<DragSnapper> m_dragSnapper;
    std::set<HotKeyAction> m_failedActions;
    bool m_accessibilityTrusted = false;
    bool m_screenRecordingAllowed = false;
    QTimer m_permissionPoll;
};

} // namespace quandrel
