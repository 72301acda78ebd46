#include "AppController.h"

#include "Applications.h"
#include "LoginItem.h"
#include "Workspace.h"

#include <QDesktopServices>
#include <QPointer>
#include <QSettings>

#include <algorithm>

Q_LOGGING_CATEGORY(lcUrl, "quandrel.url", QtInfoMsg)

namespace quandrel {

AppController::AppController(PlatformServices platform, QSettings& domain, QObject* parent)
    : QObject(parent)
    , m_platform(platform)
    , m_store(domain)
    , m_hotKeys(*platform.hotKeys)
    , m_windows(platform)
    , m_launcher(platform)
{
    m_accessibilityTrusted = m_platform.trust->isTrusted();
    m_screenRecordingAllowed = m_platform.trust->screenRecordingAllowed();
    m_permissionPoll.setInterval(1000);
    connect(&m_permissionPoll, &QTimer::timeout, this, [this] {
        refreshPermissions();
        if (m_accessibilityTrusted && m_screenRecordingAllowed)
            m_permissionPoll.stop();
    });
}

AppController::~AppController()
{
    m_dragSnapper.reset();
    m_hotKeys.onPress = nullptr;
    m_store.onChange = nullptr;
}

void AppController::start()
{
    // The controller owns both objects, so the callbacks cannot outlive it.
    m_hotKeys.onPress = [this](const HotKeyAction& action) { perform(action); };
    m_store.onChange = [this](const QuandrelSettings& settings) { applySettings(settings); };
    applySettings(m_store.settings());
}

void AppController::applySettings(const QuandrelSettings& settings)
{
    m_windows.gap = std::max(0.0, settings.gap);
    m_windows.repeatBehavior = settings.repeatBehavior;
    if (DragSnapper* snapper = dragSnapper()) {
        snapper->setEnabled(settings.dragToSnap);
        snapper->restoresSizeOnDrag = settings.restoreSizeOnDrag;
    }
    m_hotKeys.setBindings(buildBindings(settings.windowShortcuts, settings.captureShortcuts, settings.appBindings));
    if (!m_hotKeys.isSuspended())
        m_hotKeys.registerAll();
    if (m_failedActions != m_hotKeys.failed()) {
        m_failedActions = m_hotKeys.failed();
        Q_EMIT failedActionsChanged();
    }
}

namespace {
class NoPreview final : public SnapPreviewSurface {
public:
    void show(const Rect&) override {}
    void hide() override {}
};
} // namespace

DragSnapper* AppController::dragSnapper()
{
    if (!m_dragSnapper && m_platform.pointer) {
        auto preview = makeSnapPreview ? makeSnapPreview() : std::unique_ptr<SnapPreviewSurface>(new NoPreview);
        m_dragSnapper = std::make_unique<DragSnapper>(m_platform, m_windows, std::move(preview), [this](int ms, std::function<void()> run) {
            QTimer::singleShot(ms, this, std::move(run));
        });
    }
    return m_dragSnapper.get();
}

void AppController::perform(const HotKeyAction& action)
{
    switch (action.kind) {
    case HotKeyAction::Kind::window:
        m_windows.perform(action.windowAction);
        return;
    case HotKeyAction::Kind::app: {
        const auto& bindings = m_store.settings().appBindings;
        const auto it = std::find_if(bindings.begin(), bindings.end(), [&](const AppBinding& b) { return b.desktopId == action.desktopId; });
        if (it != bindings.end())
            m_launcher.activate(*it);
        return;
    }
    case HotKeyAction::Kind::capture:
        startCapture(action.captureMode);
        return;
    }
}

void AppController::startCapture(CaptureMode mode, std::optional<AfterCapture> then)
{
    if (captureStarter)
        captureStarter(mode, then);
    else
        m_platform.sound->beep();
}

void AppController::openSettings()
{
    if (settingsOpener)
        settingsOpener();
}

void AppController::handleURL(const QUrl& url)
{
    qCInfo(lcUrl, "Opened %s", qUtf8Printable(url.toString(QUrl::FullyEncoded)));
    const Command command = parseCommandURL(url);
    switch (command.kind) {
    case Command::Kind::window:
        perform(HotKeyAction::window(command.windowAction));
        return;
    case Command::Kind::capture:
        startCapture(command.captureMode, command.then);
        return;
    case Command::Kind::app: {
        const auto& bindings = m_store.settings().appBindings;
        const auto it = std::find_if(bindings.begin(), bindings.end(), [&](const AppBinding& b) { return b.desktopId == command.desktopId; });
        if (it != bindings.end()) {
            m_launcher.activate(*it);
            return;
        }
        // An installed application without a binding gets a temporary one, never stored.
        if (!m_platform.applications->isInstalled(command.desktopId)) {
            m_platform.sound->beep();
            return;
        }
        m_launcher.activate({command.desktopId, command.desktopId, std::nullopt, FrontmostBehavior::hide});
        return;
    }
    case Command::Kind::settings:
        openSettings();
        return;
    case Command::Kind::closePins:
        if (pinsCloser)
            pinsCloser();
        return;
    case Command::Kind::invalid:
        m_platform.sound->beep();
        return;
    }
}

void AppController::refreshPermissions()
{
    const bool trusted = m_platform.trust->isTrusted();
    const bool screen = m_platform.trust->screenRecordingAllowed();
    if (trusted == m_accessibilityTrusted && screen == m_screenRecordingAllowed)
        return;
    m_accessibilityTrusted = trusted;
    m_screenRecordingAllowed = screen;
    Q_EMIT permissionsChanged();
}

void AppController::startPermissionPoll()
{
    m_permissionPoll.stop();
    m_permissionPoll.start();
}

void AppController::openSystemSettings(const QString& link)
{
    const QUrl url(link, QUrl::StrictMode);
    if (url.isValid() && !url.scheme().isEmpty())
        QDesktopServices::openUrl(url);
}

bool AppController::launchAtLogin() const { return LoginItem::isEnabled(); }

std::optional<QString> AppController::setLaunchAtLogin(bool enabled) { return LoginItem::setEnabled(enabled); }

} // namespace quandrel
