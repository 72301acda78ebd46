#pragma once

// The application's one central object. It owns the long-lived services (settings, hot keys,
// window layouts, the app launcher, drag snapping, the permission monitor), applies every
// settings change to them, and carries out every command, wherever it comes from: a hot key,
// the tray menu or a quandrel:// URL. Features it does not own (capture, the settings window)
// are handed in by main()'s composition.

#include "AppLauncher.h"
#include "AppServices.h"
#include "AppState.h"
#include "Command.h"
#include "DragSnapper.h"
#include "HotKeyCenter.h"
#include "PermissionMonitor.h"
#include "PlatformServices.h"
#include "SettingsContext.h"
#include "SettingsStore.h"
#include "Updater.h"
#include "WindowManager.h"

#include <QLoggingCategory>
#include <QObject>

#include <memory>
#include <optional>
#include <set>

Q_DECLARE_LOGGING_CATEGORY(lcUrl)
Q_DECLARE_LOGGING_CATEGORY(lcHotKeys)

namespace quandrel {

// Where a command URL came from. A link (a quandrel:// link opened in a browser or a chat,
// which the desktop entry hands over with --from-link) may be someone else's idea: a capture
// it asks for shows its overlay, or a notification asking to confirm, before anything is
// saved or copied.
enum class CommandOrigin { direct, link };

class AppController : public QObject, public HotKeySuspension {
    Q_OBJECT
public:
    AppController(PlatformServices platform, std::unique_ptr<SettingsStore> store, AppServices services,
                  Scheduler schedule, QObject* parent = nullptr);
    ~AppController() override;

    SettingsStore& store() { return *m_store; }
    HotKeyCenter& hotKeys() { return m_hotKeys; }
    WindowManager& windows() { return m_windows; }
    PermissionMonitor& permissions() { return m_permissions; }
    // The one updater; disabled when Quandrel doesn't run from an application folder.
    ostry::Updater& updater() { return *m_updater; }
    // "Check for Updates…": a check the person asked for.
    void checkForUpdates();
    // Where the updater keeps its preferences: beside the settings file.
    static QString updaterSettingsPath(const QString& settingsPath);

    void start();
    void applySettings(const QuandrelSettings& settings);

    // Carries out a command. An app command for an installed application without a binding
    // gets a temporary one (never stored) that hides it when it is in front. Answers whether
    // it did what it names: the window arranged, the application found, the capture started.
    bool perform(const Command& command);
    // Answers whether the URL named a command and the command did what it names (a link's
    // capture that asks first: whether the question could be shown).
    bool handleURL(const QUrl& url, CommandOrigin origin = CommandOrigin::direct);

    // The message that hands a link's URL to the running instance, and back: none when the
    // message is not one.
    static QString linkMessage(const QString& url);
    static std::optional<QString> linkURL(const QString& message);

    // The settings window, after reading the permissions again; on the tab asked for, or
    // as it was left.
    void openSettings(std::optional<SettingsTab> tab = std::nullopt);
    // The welcome window, and a poll of the permissions while it is up.
    void showOnboarding();
    // Marks onboarding as done (one change of the settings), closes its window and ends the
    // permission poll.
    void completeOnboarding();

    // While a shortcut is being recorded no hot key is active; resuming registers the
    // bindings of the latest settings and updates the failed actions.
    void suspendHotKeys() override;
    void resumeHotKeys() override;

    // What the settings and welcome windows may use.
    SettingsContext settingsContext();

    // Created on first use; none when the platform has no pointer monitor.
    DragSnapper* dragSnapper();

    const PlatformServices& platform() const { return m_platform; }

    // The commands whose hot keys could not be registered (another program holds them). Each
    // is logged when it fails. A start that finds shortcuts taken that the person was not told
    // about names them in a desktop notification; what was told is kept in the state file, so
    // a start that finds the same ones taken says nothing.
    const std::set<Command>& failedActions() const { return m_failed.commands(); }

Q_SIGNALS:
    void failedActionsChanged();

private:
    bool activateApp(const std::string& desktopId);
    void updateFailedActions();
    // Taken shortcuts are always logged. At start, those the person was not told about yet
    // are named in a notification; afterwards the settings window shows them. Either way the
    // state file then holds the taken set, as the person has seen it.
    enum class TakenNotice { logOnly, notify };
    void reportTakenShortcuts(const std::set<Command>& newlyTaken, TakenNotice notice);

    PlatformServices m_platform;
    AppServices m_services;
    Scheduler m_schedule;
    std::unique_ptr<SettingsStore> m_store;
    AppState m_state;
    HotKeyCenter m_hotKeys;
    WindowManager m_windows;
    AppLauncher m_launcher;
    PermissionMonitor m_permissions;
    std::unique_ptr<DragSnapper> m_dragSnapper;
    FailedShortcuts m_failed;
    std::unique_ptr<ostry::UpdatePresenting> m_silentUpdates;
    std::unique_ptr<ostry::Updater> m_updater;
    bool m_started = false;
    bool m_notifyTaken = false; // the first answer after start names what is newly taken
};

} // namespace quandrel
