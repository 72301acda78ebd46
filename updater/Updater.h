#pragma once

// The one object the host creates to stay current: the daily schedule of background checks,
// the observable state the update window and the menu command show, the user's two update
// preferences and the skipped version, and the hand-over from the feed to the downloader,
// verifier and installer. Everything runs on the main thread; network, unpacking,
// verification and a user's install are awaited.

#include "DistributionGuard.h"
#include "GitHubReleaseFeed.h"
#include "UpdateComponents.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>
#include <optional>

class QNetworkAccessManager;
class QSettings;

namespace ostry {

class Updater;

struct UpdateState {
    enum class Kind { idle, checking, upToDate, available, downloading, readyToInstall, installing, failed };

    Kind kind = Kind::idle;
    std::optional<UpdateCandidate> candidate; // available, downloading, readyToInstall, installing
    double progress = 0.0;                    // downloading: 0.0 to 1.0
    QString message;                          // failed

    static UpdateState with(Kind kind, std::optional<UpdateCandidate> candidate = std::nullopt)
    {
        UpdateState state;
        state.kind = kind;
        state.candidate = std::move(candidate);
        return state;
    }
    bool operator==(const UpdateState&) const = default;
};

const char* kindName(UpdateState::Kind kind);

// Who asked for a check, a download or an install: Quandrel in the background (the daily
// schedule, the install at quit: failures are only logged) or the person (who is told the
// outcome).
enum class Initiator { background, user };
// Whether the daily schedule starts as the updater is made, or at the first start().
enum class Schedule { startNow, onStart };
// What a finished download leads to: staged for the next quit, or installed at once with a
// relaunch.
enum class WhenReady { stage, installAndRelaunch };

// How the updater talks to the person. Called on the main thread.
class UpdatePresenting {
public:
    virtual ~UpdatePresenting() = default;
    // Opens the update window for this updater, or brings it to the front.
    virtual void show(Updater& updater) = 0;
    virtual void close() = 0;
    virtual void showUpToDate(const QString& appName, const QString& version) = 0;
    virtual void showError(const QString& message) = 0;
    // "<app> <version> is ready": a desktop notification replacing the previous one.
    virtual void notifyReady(const QString& appName, const UpdateCandidate& candidate) = 0;
};

// The replaceable parts (defaultParts gives the real ones). Shared, so that work running on
// another thread or still awaited keeps its part alive when the updater goes first.
struct UpdaterParts {
    std::shared_ptr<ReleaseFeed> feed;
    std::shared_ptr<UpdateDownloader> downloader;
    std::shared_ptr<UpdateVerifier> verifier;
    std::shared_ptr<UpdateInstaller> installer;
};

// Time, waiting and the process: injected so that tests run a day of schedule at once.
struct UpdaterHooks {
    using Scheduler = std::function<void(int ms, std::function<void()> run)>;

    std::function<QDateTime()> now;       // none: the system clock
    Scheduler schedule;                   // none: a monotonic timer on the main thread
    // Starts the launcher at the bundle's path once process `pid` has ended; false when it
    // can't be started. None: Shell::scheduleRelaunch.
    std::function<bool(qint64 pid, const QString& launcher)> relaunch;
    std::function<void()> terminate;      // none: QCoreApplication::quit
    std::optional<bool> isEnabled;        // none: the DistributionGuard decides
    std::optional<DistributionGuard::Reason> updatedBy; // with isEnabled: who updates this copy instead
};

// Keys in the settings file beside the application's settings.
namespace UpdaterSettings {
inline constexpr const char* automaticallyChecks = "OstryUpdater.automaticallyChecks";
inline constexpr const char* automaticallyInstalls = "OstryUpdater.automaticallyInstalls";
inline constexpr const char* lastCheckDate = "OstryUpdater.lastCheckDate";
inline constexpr const char* skippedVersion = "OstryUpdater.skippedVersion";
} // namespace UpdaterSettings

class Updater : public QObject {
    Q_OBJECT
public:
    static constexpr int minimumWaitSeconds = 60;
    static constexpr int maximumWaitSeconds = 3600;

    // `settings` is where the preferences persist; `presenter` must outlive the updater.
    // When enabled, the updater installs a staged update as the application quits.
    Updater(UpdaterConfiguration configuration, std::unique_ptr<QSettings> settings, UpdaterParts parts,
            UpdatePresenting& presenter, UpdaterHooks hooks = {}, Schedule schedule = Schedule::startNow,
            QObject* parent = nullptr);
    ~Updater() override;

    // The real feed, downloader, verifier and installer for the configuration's bundle.
    static UpdaterParts defaultParts(const UpdaterConfiguration& configuration, QNetworkAccessManager* network);

    // Why self-update is off for this copy; empty when it is on.
    static QString disabledReason(const std::optional<AppBundle>& bundle);
    // Who keeps this copy up to date instead of its own updater (the package manager for a
    // copy under /usr, a store for a sandboxed one); none when nobody else does.
    static std::optional<DistributionGuard::Reason> updatedBy(const std::optional<AppBundle>& bundle);
    // "Updated by your package manager", "Updated by Flatpak or Snap".
    static QString updatedByText(DistributionGuard::Reason reason);

    // (Re)starts the background schedule.
    void start();
    // Asks the feed now. A user's check reports "up to date" and failures; a background
    // check stays silent.
    QCoro::Task<void> checkForUpdates(Initiator initiator);
    // The same without waiting for it (the menu command, "Check Now").
    void beginCheckForUpdates(Initiator initiator);

    void installAndRelaunch();
    void skipThisVersion();
    void remindMeLater();

    const UpdaterConfiguration& configuration() const { return m_configuration; }
    const UpdateState& state() const { return m_state; }
    bool isEnabled() const { return m_enabled; }
    // Who updates this copy instead; none when the updater does, or nobody.
    std::optional<DistributionGuard::Reason> updatedBy() const { return m_updatedBy; }
    std::optional<QDateTime> lastCheckDate() const { return m_lastCheckDate; }
    std::optional<AppVersion> skippedVersion() const;
    std::optional<AppVersion> runningVersion() const;
    bool automaticallyChecks() const { return m_automaticallyChecks; }
    bool automaticallyInstalls() const { return m_automaticallyInstalls; }
    void setAutomaticallyChecks(bool on);
    void setAutomaticallyInstalls(bool on);
    // The "Check for Updates…" command: off when disabled or while asking the feed.
    bool canCheckForUpdates() const { return m_enabled && m_state.kind != UpdateState::Kind::checking; }

    // The application is quitting: a staged update is installed when automatic installs are
    // on and it can be installed without asking for rights.
    void applicationWillTerminate();

    // Removes what an interrupted run left: staging copies beside the bundle, old copies an
    // install didn't get into the Trash, and working folders of downloads in `tempFolder`.
    static void removeLeftovers(const AppBundle& bundle, const QString& tempFolder);

Q_SIGNALS:
    void stateChanged();
    void lastCheckDateChanged();
    void automaticallyChecksChanged();
    void automaticallyInstallsChanged();

private:
    void setState(UpdateState state);
    void loop(quint64 generation);
    void waitThenLoop(quint64 generation, int seconds);
    QCoro::Task<void> scheduledCheck(quint64 generation);
    QCoro::Task<void> download(UpdateCandidate candidate, WhenReady whenReady, Initiator initiator);
    QCoro::Task<void> installWithRelaunch(UpdateCandidate candidate);
    bool installStaged(const UpdateCandidate& candidate, Initiator initiator);
    std::optional<InstallMode> directModeOrNothing();
    void fail(const QString& message, Initiator initiator);
    void setLastCheckDate(std::optional<QDateTime> date);
    void saveSettings();
    QDateTime now() const;

    UpdaterConfiguration m_configuration;
    std::unique_ptr<QSettings> m_settings;
    UpdaterParts m_parts;
    UpdatePresenting& m_presenter;
    UpdaterHooks m_hooks;
    bool m_enabled = false;
    std::optional<DistributionGuard::Reason> m_updatedBy;
    UpdateState m_state;
    std::optional<QDateTime> m_lastCheckDate;
    bool m_automaticallyChecks = true;
    bool m_automaticallyInstalls = false;
    quint64 m_scheduleGeneration = 0;   // a schedule step of another generation stops
    Initiator m_checkInitiator = Initiator::background; // of the check in flight
    std::optional<AppBundle> m_stagedApp;
    std::optional<InstallMode> m_installMode;
};

} // namespace ostry
