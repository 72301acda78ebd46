#include "Updater.h"

#include "BundleInstaller.h"
#include "DistributionGuard.h"
#include "Errors.h"
#include "FileOps.h"
#include "Shell.h"
#include "SignatureVerifier.h"
#include "UpdaterLog.h"
#include "ZipDownloader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QProcessEnvironment>
#include <QSettings>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace ostry {

namespace {

using Kind = UpdateState::Kind;

// The text of whatever a part threw; parts throw UpdateError, anything else is a fault of
// theirs, reported the same way rather than lost inside a coroutine.
QString messageOf(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const UpdateError& e) {
        return e.message();
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QCoreApplication::translate("ostry::Updater", "An unknown error occurred.");
    }
}

} // namespace

const char* kindName(UpdateState::Kind kind)
{
    switch (kind) {
    case Kind::idle: return "idle";
    case Kind::checking: return "checking";
    case Kind::upToDate: return "upToDate";
    case Kind::available: return "available";
    case Kind::downloading: return "downloading";
    case Kind::readyToInstall: return "readyToInstall";
    case Kind::installing: return "installing";
    case Kind::failed: return "failed";
    }
    return "?";
}

Updater::Updater(UpdaterConfiguration configuration, std::unique_ptr<QSettings> settings, UpdaterParts parts,
                 UpdatePresenting& presenter, UpdaterHooks hooks, Schedule schedule, QObject* parent)
    : QObject(parent)
    , m_configuration(std::move(configuration))
    , m_settings(std::move(settings))
    , m_parts(std::move(parts))
    , m_presenter(presenter)
    , m_hooks(std::move(hooks))
{
    if (m_hooks.isEnabled) {
        m_enabled = *m_hooks.isEnabled;
        m_updatedBy = m_enabled ? std::nullopt : m_hooks.updatedBy;
    } else {
        const std::optional<AppBundle> bundle = m_configuration.bundle.isValid()
            ? std::optional<AppBundle>(m_configuration.bundle) : std::nullopt;
        m_updatedBy = updatedBy(bundle);
        const QString reason = disabledReason(bundle);
        m_enabled = reason.isEmpty();
        if (!m_enabled)
            qCInfo(lcUpdater, "Updates are off: %s", qUtf8Printable(reason));
    }

    m_automaticallyChecks = m_settings->value(QLatin1String(UpdaterSettings::automaticallyChecks), true).toBool();
    m_automaticallyInstalls = m_settings->value(QLatin1String(UpdaterSettings::automaticallyInstalls), false).toBool();
    const QDateTime stored = QDateTime::fromString(m_settings->value(QLatin1String(UpdaterSettings::lastCheckDate)).toString(),
                                                   Qt::ISODateWithMs);
    if (stored.isValid())
        m_lastCheckDate = stored;

    if (!m_enabled)
        return;
    removeLeftovers(m_configuration.bundle, QDir::tempPath());
    if (QCoreApplication* app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &Updater::applicationWillTerminate);
    if (schedule == Schedule::startNow)
        start();
}

Updater::~Updater()
{
    // A download still in flight leaves nothing in the temporary folder.
    if (m_state.kind == Kind::downloading && m_parts.downloader)
        m_parts.downloader->discard();
}

UpdaterParts Updater::defaultParts(const UpdaterConfiguration& configuration, QNetworkAccessManager* network)
{
    UpdaterParts parts;
    parts.feed = std::make_shared<GitHubReleaseFeed>(configuration, network);
    // Plain http to this machine only for a test server standing in for the release service.
    const LoopbackHttp loopbackHttp = QHostAddress(configuration.apiBaseURL.host()).isLoopback() ? LoopbackHttp::allowed
                                                                                                  : LoopbackHttp::refused;
    parts.downloader = std::make_shared<ZipDownloader>(network, configuration.bundle, DownloadLimits{}, loopbackHttp);
    parts.verifier = std::make_shared<SignatureVerifier>();
    parts.installer = std::make_shared<BundleInstaller>();
    return parts;
}

std::optional<DistributionGuard::Reason> Updater::updatedBy(const std::optional<AppBundle>& bundle)
{
    if (!bundle || !bundle->isValid()) {
        const QString folder = QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QString();
        if (folder.startsWith(QLatin1String("/usr/")) && !folder.startsWith(QLatin1String("/usr/local/")))
            return DistributionGuard::Reason::packageManager;
        return std::nullopt;
    }
    return DistributionGuard::check(*bundle, QProcessEnvironment::systemEnvironment());
}

QString Updater::updatedByText(DistributionGuard::Reason reason)
{
    switch (reason) {
    case DistributionGuard::Reason::packageManager:
        return tr("Updated by your package manager");
    case DistributionGuard::Reason::sandboxed:
        return tr("Updated by Flatpak or Snap");
    }
    return {};
}

QString Updater::disabledReason(const std::optional<AppBundle>& bundle)
{
    const auto keeper = updatedBy(bundle);
    if (keeper == DistributionGuard::Reason::packageManager)
        return tr("this copy was installed by the system's package manager, which keeps it up to date");
    if (keeper == DistributionGuard::Reason::sandboxed)
        return tr("this copy runs in a sandbox (Flatpak or Snap), whose store keeps it up to date");
    if (!bundle || !bundle->isValid())
        return tr("this copy doesn't run from an application folder (AppDir), so it can't replace itself");
    return {};
}

std::optional<AppVersion> Updater::skippedVersion() const
{
    return AppVersion::parse(m_settings->value(QLatin1String(UpdaterSettings::skippedVersion)).toString());
}

std::optional<AppVersion> Updater::runningVersion() const
{
    return AppVersion::fromBundle(m_configuration.bundle);
}

QDateTime Updater::now() const
{
    return m_hooks.now ? m_hooks.now() : QDateTime::currentDateTimeUtc();
}

void Updater::setState(UpdateState state)
{
    if (state == m_state)
        return;
    m_state = std::move(state);
    Q_EMIT stateChanged();
}

void Updater::saveSettings()
{
    m_settings->sync();
    // The user's alone whatever the umask (QSettings keeps the mode from then on).
    QFile::setPermissions(m_settings->fileName(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

void Updater::setLastCheckDate(std::optional<QDateTime> date)
{
    m_lastCheckDate = date;
    if (date)
        m_settings->setValue(QLatin1String(UpdaterSettings::lastCheckDate), date->toUTC().toString(Qt::ISODateWithMs));
    else
        m_settings->remove(QLatin1String(UpdaterSettings::lastCheckDate));
    saveSettings();
    Q_EMIT lastCheckDateChanged();
}

void Updater::setAutomaticallyChecks(bool on)
{
    m_automaticallyChecks = on;
    m_settings->setValue(QLatin1String(UpdaterSettings::automaticallyChecks), on);
    saveSettings();
    Q_EMIT automaticallyChecksChanged();
    start();
}

void Updater::setAutomaticallyInstalls(bool on)
{
    const bool was = m_automaticallyInstalls;
    m_automaticallyInstalls = on;
    m_settings->setValue(QLatin1String(UpdaterSettings::automaticallyInstalls), on);
    saveSettings();
    Q_EMIT automaticallyInstallsChanged();
    if (!on || was || !m_enabled || m_state.kind != Kind::available || !m_state.candidate)
        return;
    if (directModeOrNothing())
        download(*m_state.candidate, WhenReady::stage, Initiator::background);
}

std::optional<InstallMode> Updater::directModeOrNothing()
{
    try {
        if (m_parts.installer->installMode(m_configuration.bundle.path()) != InstallMode::direct)
            return std::nullopt;
    } catch (...) {
        return std::nullopt;
    }
    m_installMode = InstallMode::direct;
    return m_installMode;
}

// The schedule. Each step either waits (a monotonic timer, at least a minute and at most an
// hour, so that a changed wall clock is noticed within the hour) or checks; a step of an
// earlier start() finds another generation and ends, so only one schedule runs.
void Updater::start()
{
    const quint64 generation = ++m_scheduleGeneration;
    if (m_enabled && m_automaticallyChecks)
        loop(generation);
}

void Updater::loop(quint64 generation)
{
    if (generation != m_scheduleGeneration || !m_enabled || !m_automaticallyChecks)
        return;
    if (m_lastCheckDate) {
        const QDateTime current = now();
        qint64 elapsedMs = m_lastCheckDate->msecsTo(current);
        if (elapsedMs < 0) {
            // The clock went back, or the stored date lies ahead: counting from it would put
            // the next check off by as long. Count the day from now instead.
            qCInfo(lcUpdater, "The last check date lies in the future; the next check is a day from now");
            setLastCheckDate(current);
            elapsedMs = 0;
        }
        const double intervalMs = m_configuration.checkInterval * 1000.0;
        if (double(elapsedMs) < intervalMs) {
            const double remaining = std::ceil((intervalMs - double(elapsedMs)) / 1000.0);
            waitThenLoop(generation, int(std::clamp(remaining, double(minimumWaitSeconds), double(maximumWaitSeconds))));
            return;
        }
    }
    scheduledCheck(generation);
}

void Updater::waitThenLoop(quint64 generation, int seconds)
{
    QPointer<Updater> self(this);
    auto next = [self, generation] {
        if (self)
            self->loop(generation);
    };
    if (m_hooks.schedule)
        m_hooks.schedule(seconds * 1000, std::move(next));
    else
        QTimer::singleShot(std::chrono::seconds(seconds), Qt::VeryCoarseTimer, this, std::move(next));
}

QCoro::Task<void> Updater::scheduledCheck(quint64 generation)
{
    QPointer<Updater> self(this);
    const std::optional<QDateTime> before = m_lastCheckDate;
    co_await checkForUpdates(Initiator::background);
    if (!self || generation != m_scheduleGeneration)
        co_return;
    // A check that failed, or didn't run because an update is under way, is tried again an
    // hour later rather than at once: the feed is never asked in a tight loop.
    if (m_lastCheckDate == before)
        waitThenLoop(generation, maximumWaitSeconds);
    else
        loop(generation);
}

void Updater::beginCheckForUpdates(Initiator initiator)
{
    checkForUpdates(initiator);
}

QCoro::Task<void> Updater::checkForUpdates(Initiator initiator)
{
    if (!m_enabled)
        co_return;
    switch (m_state.kind) {
    case Kind::downloading:
    case Kind::installing:
        co_return;
    case Kind::readyToInstall:
        if (initiator == Initiator::user)
            m_presenter.show(*this);
        co_return;
    case Kind::checking:
        // One request at a time: a person asking while a background check runs gets its
        // answer as theirs.
        if (initiator == Initiator::user)
            m_checkInitiator = Initiator::user;
        co_return;
    default:
        break;
    }

    QPointer<Updater> self(this);
    m_checkInitiator = initiator;
    setState(UpdateState::with(Kind::checking));
    std::shared_ptr<ReleaseFeed> feed = m_parts.feed;
    std::optional<UpdateCandidate> candidate;
    std::exception_ptr error;
    try {
        candidate = co_await feed->latestCandidate();
    } catch (...) {
        error = std::current_exception();
    }
    if (!self)
        co_return;
    initiator = m_checkInitiator;
    m_checkInitiator = Initiator::background;
    if (error) {
        fail(messageOf(error), initiator);
        co_return;
    }

    setLastCheckDate(now());
    const std::optional<AppVersion> running = runningVersion();
    if (candidate && running && *running < candidate->version) {
        setState(UpdateState::with(Kind::available, candidate));
        const std::optional<AppVersion> skipped = skippedVersion();
        if (initiator == Initiator::background && skipped && *skipped == candidate->version) {
            qCInfo(lcUpdater, "Skipping %s as the user asked", qUtf8Printable(candidate->version.text()));
            co_return;
        }
        if (m_automaticallyInstalls) {
            if (directModeOrNothing()) {
                co_await download(*candidate, WhenReady::stage, initiator);
                co_return;
            }
        }
        m_presenter.show(*this);
        co_return;
    }
    setState(UpdateState::with(Kind::upToDate));
    if (initiator == Initiator::user)
        m_presenter.showUpToDate(m_configuration.appName, running ? running->text() : QStringLiteral("?"));
}

QCoro::Task<void> Updater::download(UpdateCandidate candidate, WhenReady whenReady, Initiator initiator)
{
    if (m_state.kind == Kind::downloading)
        co_return;
    QPointer<Updater> self(this);
    try {
        m_installMode = m_parts.installer->installMode(m_configuration.bundle.path());
    } catch (...) {
        setState(UpdateState::with(Kind::available, candidate));
        fail(messageOf(std::current_exception()), initiator);
        co_return;
    }
    setState(UpdateState::with(Kind::downloading, candidate));

    const AppVersion version = candidate.version;
    auto progress = [self, version](double fraction) {
        if (!self || self->m_state.kind != Kind::downloading || !self->m_state.candidate
            || !(self->m_state.candidate->version == version))
            return;
        UpdateState state = self->m_state;
        state.progress = std::clamp(fraction, 0.0, 1.0);
        self->setState(std::move(state));
    };
    // Held here, so that a part outlives an updater that goes while it works.
    std::shared_ptr<UpdateDownloader> downloader = m_parts.downloader;
    std::shared_ptr<UpdateVerifier> verifier = m_parts.verifier;
    const AppBundle running = m_configuration.bundle;
    const QString appName = m_configuration.appName;
    std::optional<AppBundle> staged;
    std::exception_ptr error;
    try {
        AppBundle bundle = co_await downloader->download(candidate, appName, progress);
        if (!self)
            co_return;
        // Hashing every file of the new bundle takes a while: off the main thread.
        std::function<void()> verify = [verifier, bundle, running] { verifier->verify(bundle, running); };
        co_await runInThread(std::move(verify));
        staged = bundle;
    } catch (...) {
        error = std::current_exception();
    }
    if (!self)
        co_return;
    if (error) {
        downloader->discard();
        setState(UpdateState::with(Kind::available, candidate));
        fail(messageOf(error), initiator);
        co_return;
    }

    m_stagedApp = staged;
    setState(UpdateState::with(Kind::readyToInstall, candidate));
    if (whenReady == WhenReady::installAndRelaunch) {
        co_await installWithRelaunch(candidate);
        co_return;
    }
    qCInfo(lcUpdater, "%s is ready and will install on quit", qUtf8Printable(candidate.version.text()));
    m_presenter.notifyReady(m_configuration.appName, candidate);
}

void Updater::installAndRelaunch()
{
    if (!m_enabled || !m_state.candidate)
        return;
    if (m_state.kind == Kind::readyToInstall)
        installWithRelaunch(*m_state.candidate);
    else if (m_state.kind == Kind::available)
        download(*m_state.candidate, WhenReady::installAndRelaunch, Initiator::user);
}

void Updater::skipThisVersion()
{
    if (m_state.kind == Kind::available && m_state.candidate) {
        m_settings->setValue(QLatin1String(UpdaterSettings::skippedVersion), m_state.candidate->version.text());
        saveSettings();
    }
    m_presenter.close();
}

void Updater::remindMeLater()
{
    m_presenter.close();
}

QCoro::Task<void> Updater::installWithRelaunch(UpdateCandidate candidate)
{
    if (!m_stagedApp)
        co_return;
    QPointer<Updater> self(this);
    setState(UpdateState::with(Kind::installing, candidate));
    InstallMode mode = InstallMode::direct;
    try {
        mode = m_installMode ? *m_installMode : m_parts.installer->installMode(m_configuration.bundle.path());
    } catch (...) {
        setState(UpdateState::with(Kind::readyToInstall, candidate));
        fail(messageOf(std::current_exception()), Initiator::user);
        co_return;
    }
    std::shared_ptr<UpdateInstaller> installer = m_parts.installer;
    const AppBundle staged = *m_stagedApp;
    const QString target = m_configuration.bundle.path();
    std::exception_ptr error;
    try {
        // Copying the bundle (or waiting for the password prompt) must not freeze the window.
        std::function<void()> install = [installer, staged, target, mode] { installer->install(staged, target, mode); };
        co_await runInThread(std::move(install));
    } catch (...) {
        error = std::current_exception();
    }
    if (!self)
        co_return;
    if (error) {
        setState(UpdateState::with(Kind::readyToInstall, candidate));
        fail(messageOf(error), Initiator::user);
        co_return;
    }
    m_stagedApp.reset();
    m_parts.downloader->discard();

    const QString launcher = m_configuration.bundle.launcherPath();
    const qint64 pid = QCoreApplication::applicationPid();
    const bool scheduled = m_hooks.relaunch ? m_hooks.relaunch(pid, launcher) : Shell::scheduleRelaunch(pid, launcher);
    if (!scheduled)
        qCCritical(lcUpdater, "Couldn't schedule relaunch: %s couldn't be started", qUtf8Printable(launcher));
    if (m_hooks.terminate)
        m_hooks.terminate();
    else
        QCoreApplication::quit();
}

bool Updater::installStaged(const UpdateCandidate& candidate, Initiator initiator)
{
    if (!m_stagedApp)
        return false;
    setState(UpdateState::with(Kind::installing, candidate));
    try {
        const InstallMode mode = m_installMode ? *m_installMode : m_parts.installer->installMode(m_configuration.bundle.path());
        m_parts.installer->install(*m_stagedApp, m_configuration.bundle.path(), mode);
    } catch (...) {
        setState(UpdateState::with(Kind::readyToInstall, candidate));
        fail(messageOf(std::current_exception()), initiator);
        return false;
    }
    m_stagedApp.reset();
    m_parts.downloader->discard();
    return true;
}

void Updater::applicationWillTerminate()
{
    if (m_state.kind == Kind::downloading) {
        // The download can't finish any more; what it wrote goes now.
        m_parts.downloader->discard();
        return;
    }
    if (m_state.kind == Kind::readyToInstall && m_state.candidate && m_automaticallyInstalls
        && m_installMode == InstallMode::direct) {
        // No window can be shown any more: a failure is logged only.
        installStaged(*m_state.candidate, Initiator::background);
    }
}

void Updater::fail(const QString& message, Initiator initiator)
{
    qCCritical(lcUpdater, "Update failed: %s", qUtf8Printable(message));
    if (initiator == Initiator::user) {
        if (m_state.kind == Kind::checking) {
            UpdateState failed = UpdateState::with(Kind::failed);
            failed.message = message;
            setState(std::move(failed));
        }
        m_presenter.showError(message);
    } else if (m_state.kind == Kind::checking) {
        setState(UpdateState::with(Kind::idle));
    }
}

void Updater::removeLeftovers(const AppBundle& bundle, const QString& tempFolder)
{
    BundleInstaller::removeLeftovers(bundle);
    ZipDownloader::removeLeftovers(tempFolder);
}

} // namespace ostry
