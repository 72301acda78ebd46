#include "AppController.h"

#include "Applications.h"
#include "SettingsModel.h"
#include "FrontmostApplication.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QSettings>

#include <algorithm>
#include <iterator>

Q_LOGGING_CATEGORY(lcUrl, "quandrel.url", QtInfoMsg)
Q_LOGGING_CATEGORY(lcHotKeys, "quandrel.hotkeys", QtInfoMsg)

namespace quandrel {

namespace {

template <typename... Ts>
struct Overloaded : Ts... {
    using Ts::operator()...;
};

class NoPreview final : public SnapPreviewSurface {
public:
    void show(const Rect&) override {}
    void hide() override {}
};

class SilentUpdates final : public ostry::UpdatePresenting {
public:
    void show(ostry::Updater&) override {}
    void close() override {}
    void showUpToDate(const QString&, const QString&) override {}
    void showError(const QString&) override {}
    void notifyReady(const QString&, const ostry::UpdateCandidate&) override {}
};

// The release service's API address: QUANDREL_RELEASE_API may point it at a server on this
// machine (for testing releases); anything else there is ignored.
QUrl releaseAPI()
{
    const QUrl fallback(QStringLiteral("https://api.github.com"));
    const QString value = qEnvironmentVariable("QUANDREL_RELEASE_API");
    if (value.isEmpty())
        return fallback;
    const QUrl url(value);
    if (url.isValid() && (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"))
        && QHostAddress(url.host()).isLoopback())
        return url;
    qCWarning(lcUrl, "Ignoring QUANDREL_RELEASE_API: only a server on this machine may stand in for the release service");
    return fallback;
}

std::unique_ptr<ostry::Updater> makeUpdater(QObject* owner, const QString& settingsPath, UpdaterServices& services,
                                            ostry::UpdatePresenting& presenter)
{
    ostry::UpdaterConfiguration configuration;
    configuration.appName = QStringLiteral("Quandrel");
    configuration.feedRepository = QStringLiteral(QUANDREL_RELEASE_REPOSITORY);
    configuration.checkInterval = 86400.0;
    configuration.includePrereleases = false;
    configuration.bundle = services.runningBundle.value_or(ostry::AppBundle());
    configuration.apiBaseURL = releaseAPI();
    auto settings = std::make_unique<QSettings>(AppController::updaterSettingsPath(settingsPath), QSettings::IniFormat);
    ostry::UpdaterParts parts = services.makeParts
        ? services.makeParts()
        : ostry::Updater::defaultParts(configuration, new QNetworkAccessManager(owner));
    return std::make_unique<ostry::Updater>(configuration, std::move(settings), std::move(parts), presenter,
                                            services.hooks, ostry::Schedule::onStart);
}

} // namespace

AppController::AppController(PlatformServices platform, std::unique_ptr<SettingsStore> store, AppServices services,
                             Scheduler schedule, QObject* parent)
    : QObject(parent)
    , m_platform(platform)
    , m_services(std::move(services))
    , m_schedule(std::move(schedule))
    , m_store(std::move(store))
    , m_state(AppState::pathBeside(m_store->path()))
    , m_hotKeys(*platform.hotKeys, platform.keyboardLayout)
    , m_windows(platform)
    , m_launcher(platform)
    , m_permissions(*platform.trust, m_schedule)
    , m_silentUpdates(std::make_unique<SilentUpdates>())
    , m_updater(makeUpdater(this, m_store->path(), m_services.updates,
                            m_services.updates.presenter ? *m_services.updates.presenter : *m_silentUpdates))
{
    connect(&m_failed, &FailedShortcuts::changed, this, &AppController::failedActionsChanged);
}

AppController::~AppController()
{
    // What depends on the controller goes first: a shortcut being recorded when Quandrel
    // quits gives the hot keys back to a controller that is still whole.
    m_services.settings.destroyWindows();
    m_dragSnapper.reset();
    m_hotKeys.onPress = nullptr;
    m_hotKeys.onStatusChanged = nullptr;
    m_store->onChange = nullptr;
}

void AppController::start()
{
    // The controller owns both objects, so the callbacks cannot outlive it.
    m_hotKeys.onPress = [this](const Command& command) { perform(command); };
    m_hotKeys.onStatusChanged = [this] { updateFailedActions(); };
    m_store->onChange = [this](const QuandrelSettings& settings) { applySettings(settings); };
    applySettings(m_store->settings());
    // The shortcuts taken at start are named once in a notification, when the desktop has
    // answered (at once on X11).
    m_notifyTaken = true;
    if (m_hotKeys.answered()) {
        m_notifyTaken = false;
        reportTakenShortcuts(m_failed.commands(), TakenNotice::notify);
    }
    m_started = true;
    m_updater->start();
    if (needsOnboarding(m_store->settings(), m_permissions.windowControlAllowed()))
        showOnboarding();
}

QString AppController::updaterSettingsPath(const QString& settingsPath)
{
    return QFileInfo(settingsPath).absolutePath() + QStringLiteral("/updater.ini");
}

void AppController::checkForUpdates()
{
    if (m_updater->canCheckForUpdates())
        m_updater->beginCheckForUpdates(ostry::Initiator::user);
}

void AppController::openSettings(std::optional<SettingsTab> tab)
{
    m_permissions.refresh();
    if (tab)
        m_services.settings.showSettingsTab(*tab);
    else
        m_services.settings.showSettings();
}

void AppController::showOnboarding()
{
    m_services.settings.showOnboarding();
    m_permissions.startPolling();
}

void AppController::completeOnboarding()
{
    QuandrelSettings next = m_store->settings();
    next.hasCompletedOnboarding = true;
    m_store->setSettings(next);
    m_services.settings.closeOnboarding();
    m_permissions.stopPolling();
}

SettingsContext AppController::settingsContext()
{
    return {*m_store, m_permissions, *this, m_failed, m_platform, [this] { completeOnboarding(); },
            [this](SettingsTab tab) { openSettings(tab); }};
}

void AppController::suspendHotKeys() { m_hotKeys.suspend(); }

void AppController::resumeHotKeys()
{
    if (!m_hotKeys.isSuspended())
        return;
    m_hotKeys.resume();
}

void AppController::applySettings(const QuandrelSettings& settings)
{
    m_windows.gap = std::max(0.0, settings.gap);
    m_windows.repeatBehavior = settings.repeatBehavior;
    if (DragSnapper* snapper = dragSnapper()) {
        snapper->setEnabled(settings.dragToSnap);
        snapper->restoresSizeOnDrag = settings.restoreSizeOnDrag;
    }
    // Binding every hot key again takes a round trip per key: only when they changed (a gap
    // being dragged changes none).
    auto bindings = buildBindings(settings.windowShortcuts, settings.captureShortcuts, settings.appBindings);
    const bool rebind = !m_started || bindings != m_hotKeys.bindings();
    m_hotKeys.setBindings(std::move(bindings));
    if (rebind && !m_hotKeys.isSuspended())
        m_hotKeys.registerAll();
}

void AppController::updateFailedActions()
{
    const std::set<Command>& failed = m_hotKeys.failed();
    std::map<Command, QString> holders;
    for (const auto& [command, holder] : m_hotKeys.holders())
        holders[command] = QString::fromStdString(holder);
    if (m_notifyTaken && m_hotKeys.answered()) {
        m_notifyTaken = false;
        reportTakenShortcuts(failed, TakenNotice::notify);
        m_failed.set(failed, std::move(holders));
        return;
    }
    if (failed == m_failed.commands()) {
        m_failed.set(failed, std::move(holders));
        return;
    }
    std::set<Command> newlyTaken;
    std::set_difference(failed.begin(), failed.end(), m_failed.commands().begin(), m_failed.commands().end(),
                        std::inserter(newlyTaken, newlyTaken.end()));
    if (m_started)
        reportTakenShortcuts(newlyTaken, TakenNotice::logOnly);
    m_failed.set(failed, std::move(holders));
}

DragSnapper* AppController::dragSnapper()
{
    if (!m_dragSnapper) {
        auto preview = m_services.makeSnapPreview ? m_services.makeSnapPreview() : nullptr;
        if (!preview)
            preview = std::make_unique<NoPreview>();
        m_dragSnapper = std::make_unique<DragSnapper>(m_platform, m_windows, std::move(preview), m_schedule);
    }
    return m_dragSnapper.get();
}

bool AppController::perform(const Command& command)
{
    return std::visit(Overloaded{
                          [this](const WindowCommand& c) { return m_windows.perform(c.action); },
                          [this](const CaptureCommand& c) { return m_services.capture.startCapture(c.mode, c.then, c.delaySeconds); },
                          [this](const AppCommand& c) { return activateApp(c.desktopId); },
                          [this](const OpenSettingsCommand&) {
                              openSettings();
                              return true;
                          },
                          [this](const ClosePinsCommand&) {
                              m_services.capture.closeAllPins();
                              return true;
                          },
                          [this](const QuitCommand&) {
                              // Once the event loop is back, so that the asker gets its answer first.
                              qCInfo(lcUrl, "Quitting on request.");
                              QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
                              return true;
                          },
                      },
                      command);
}

void AppController::reportTakenShortcuts(const std::set<Command>& newlyTaken, TakenNotice notice)
{
    const QuandrelSettings& settings = m_store->settings();
    std::set<TakenShortcut> taken;
    for (const HotKeyBinding& binding : m_hotKeys.bindings()) {
        if (m_hotKeys.failed().contains(binding.action))
            taken.insert({commandURL(binding.action).toStdString(), binding.shortcut});
    }
    const std::set<TakenShortcut> told = m_state.notifiedTakenShortcuts();
    QStringList names;
    for (const HotKeyBinding& binding : m_hotKeys.bindings()) {
        if (!newlyTaken.contains(binding.action))
            continue;
        const QString shortcut = QString::fromStdString(displayText(binding.shortcut, m_platform.keyboardLayout));
        const QString title = commandTitle(binding.action, settings);
        qCWarning(lcHotKeys, "Shortcut %s for %s is held by another program; it does nothing in Quandrel.", qUtf8Printable(shortcut),
                  qUtf8Printable(title));
        if (!told.contains({commandURL(binding.action).toStdString(), binding.shortcut}))
            names << QStringLiteral("%1 (%2)").arg(shortcut, title);
    }
    if (notice == TakenNotice::notify && !names.isEmpty()) {
        const std::uint32_t shown = m_services.notifier
            ? m_services.notifier->notify(tr("Some Quandrel shortcuts are taken"),
                                          tr("Another program holds %1. Choose other shortcuts in Quandrel's settings.")
                                              .arg(names.join(QStringLiteral(", "))))
            : 0;
        // Nobody was told: the next start tries again.
        if (shown == 0)
            return;
    }
    if (taken != told)
        m_state.setNotifiedTakenShortcuts(taken);
}

bool AppController::activateApp(const std::string& desktopId)
{
    if (const AppBinding* binding = findAppBinding(m_store->settings().appBindings, desktopId))
        return m_launcher.activate(*binding);
    if (desktopId.empty() || !m_platform.applications->isInstalled(desktopId)) {
        m_platform.sound->beep();
        return false;
    }
    return m_launcher.activate({desktopId, desktopId, std::nullopt, FrontmostBehavior::hide});
}

bool AppController::handleURL(const QUrl& url, CommandOrigin origin)
{
    qCInfo(lcUrl, "Opened %s%s", qUtf8Printable(url.toString(QUrl::FullyEncoded)), origin == CommandOrigin::link ? " from a link" : "");
    const auto command = parseCommandURL(url);
    if (!command) {
        m_platform.sound->beep();
        return false;
    }
    // A page someone else wrote may not end Quandrel.
    if (origin == CommandOrigin::link && std::holds_alternative<QuitCommand>(*command)) {
        qCWarning(lcUrl, "A link asked Quandrel to quit; links may not do that.");
        m_platform.sound->beep();
        return false;
    }
    // Area, window and text captures show the overlay, where the person chooses or cancels;
    // a full-screen capture, every display and a repeated area would save or copy at once, so
    // a link's asks first.
    const auto* capture = std::get_if<CaptureCommand>(&*command);
    if (origin == CommandOrigin::link && capture
        && (capture->mode == CaptureMode::fullScreen || capture->mode == CaptureMode::repeatArea
            || capture->mode == CaptureMode::allDisplays)) {
        const CaptureCommand asked = *capture;
        const std::uint32_t id = m_services.notifier
            ? m_services.notifier->ask(tr("A link asks for a screenshot"),
                                       tr("%1: nothing is taken until you confirm.")
                                           .arg(displayTitle(asked.mode)),
                                       tr("Take Screenshot"),
                                       [this, asked] { m_services.capture.startCapture(asked.mode, asked.then, asked.delaySeconds); })
            : 0;
        if (id == 0) {
            qCWarning(lcUrl, "A link asked for a screenshot, but no notification can ask the person; nothing was taken.");
            m_platform.sound->beep();
            return false;
        }
        return true;
    }
    return perform(*command);
}

namespace {
const QString linkPrefix = QStringLiteral("--from-link=");
}

QString AppController::linkMessage(const QString& url)
{
    return linkPrefix + url;
}

std::optional<QString> AppController::linkURL(const QString& message)
{
    if (!message.startsWith(linkPrefix))
        return std::nullopt;
    return message.mid(linkPrefix.size());
}

} // namespace quandrel
