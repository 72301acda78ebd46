#include "GnomeDesktop.h"

#include "GnomeApplications.h"
#include "GnomeExtensionInstall.h"
#include "GnomeKeybindings.h"
#include "FreedesktopNotifier.h"
#include "GnomeOwnWindows.h"
#include "GnomeScreenFreezer.h"
#include "GnomeShell.h"
#include "GnomeWindows.h"
#include "KeyCodes.h"
#include "PortalScreenshot.h"
#include "KeyboardLayout.h"
#include "SystemTilingRules.h"
#include "Unavailable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSaveFile>
#include <QStandardPaths>

Q_DECLARE_LOGGING_CATEGORY(lcGnome)

namespace quandrel::gnome {

namespace {
const std::string mutterName = "GNOME Shell";
}

GnomeSession::GnomeSession(GnomeShell& shell, GnomeHotKeys& hotKeys, std::string consent, freedesktop::PortalScreenshot& portal)
    : m_shell(shell)
    , m_hotKeys(hotKeys)
    , m_consent(std::move(consent))
    , m_portal(portal)
    , m_notifier(std::make_unique<FreedesktopNotifier>())
{
    m_hotKeys.desktopShortcutsAllowed = [this] { return desktopShortcutsAllowed(); };
}

GnomeSession::~GnomeSession() { m_hotKeys.desktopShortcutsAllowed = nullptr; }

bool GnomeSession::canControlWindows() { return m_shell.state() == ShellState::ready; }

bool GnomeSession::screenRecordingAllowed() { return m_shell.state() == ShellState::ready || m_portal.available(); }

void GnomeSession::explainScreenshotPortal(const std::string& explained)
{
    const QString path = QString::fromStdString(explained);
    if (path.isEmpty() || QFile::exists(path))
        return;
    const QString text = QStringLiteral(
        "GNOME now asks once whether Quandrel may take screenshots: without the Quandrel GNOME Shell extension, "
        "Quandrel takes them through GNOME's screenshot portal. Choose Allow. Quandrel removes the file GNOME "
        "saves for each screenshot as soon as it has read it.");
    qCInfo(lcGnome, "%s", qUtf8Printable(text));
    m_notifier->notify(QStringLiteral("Quandrel"), text);
    QSaveFile file(path);
    if (!QDir().mkpath(QFileInfo(path).path()) || !file.open(QIODevice::WriteOnly) || file.write(text.toUtf8() + '\n') < 0 || !file.commit())
        qCWarning(lcGnome, "Quandrel could not note in %s that it explained GNOME's screenshot question.", qUtf8Printable(path));
}

void GnomeSession::showTrustPrompt()
{
    const std::string problem = m_shell.problem();
    if (problem.empty() || problem == m_told)
        return;
    m_told = problem;
    qCWarning(lcGnome, "%s", problem.c_str());
    const bool missing = m_shell.state() == ShellState::missing;
    m_notifier->notify(QStringLiteral("Quandrel"),
                       QString::fromStdString(problem)
                           + (missing ? QStringLiteral(" The welcome window (open Quandrel again) installs it.") : QString()));
}

std::optional<AccessTrust::Setup> GnomeSession::setup()
{
    const ShellState state = m_shell.state();
    if (state == ShellState::ready || state == ShellState::quandrelOutdated)
        return std::nullopt;
    return Setup{"Needs the Quandrel GNOME Shell extension.", "Install GNOME Shell Extension",
                 "On GNOME, only a GNOME Shell extension may arrange other apps' windows, take shortcuts and read the screen. "
                 "Quandrel installs its own extension into your home folder (~/.local/share/gnome-shell/extensions) and "
                 "enables it; the extension answers this copy of Quandrel and no other program. GNOME Shell loads it the "
                 "next time you log in.\n\n"
                 "Without the extension, Quandrel can instead add its shortcuts to GNOME's own keyboard shortcuts (Settings, "
                 "Keyboard, Custom Shortcuts); window commands then still need the extension, and screenshots go through "
                 "GNOME's screenshot portal, which asks you once whether Quandrel may take them. Quandrel "
                 "removes those shortcuts again when it quits or the extension runs.",
                 desktopShortcutsAllowed() ? std::string() : std::string("Use GNOME Shortcuts Only")};
}

std::string GnomeSession::performSetup()
{
    const InstallResult result = installExtensionForThisProgram();
    qCInfo(lcGnome, "%s", result.message.c_str());
    return result.message;
}

bool GnomeSession::desktopShortcutsAllowed() const { return !m_consent.empty() && QFile::exists(QString::fromStdString(m_consent)); }

std::string GnomeSession::performAlternative()
{
    const QString path = QString::fromStdString(m_consent);
    QSaveFile file(path);
    if (path.isEmpty() || !QDir().mkpath(QFileInfo(path).path()) || !file.open(QIODevice::WriteOnly)
        || file.write("GNOME's keyboard shortcuts may run Quandrel's shortcuts.\n") < 0 || !file.commit())
        return "Quandrel could not note your choice in " + m_consent + ".";
    m_hotKeys.rebind();
    return "Quandrel's shortcuts are now in GNOME's keyboard shortcuts, as long as Quandrel runs.";
}

std::string acceleratorOf(const HotKeyRequest& request)
{
    if (request.keyName.empty())
        return {};
    std::string accelerator;
    for (const auto& [mask, name] : {std::pair{modifier::control, "<Control>"}, std::pair{modifier::alt, "<Alt>"},
                                     std::pair{modifier::shift, "<Shift>"}, std::pair{modifier::super, "<Super>"}}) {
        if (request.modifierMask & mask)
            accelerator += name;
    }
    return accelerator + request.keyName;
}

GnomeHotKeys::GnomeHotKeys(GnomeShell& shell, GnomeKeybindings& desktopShortcuts)
    : m_shell(shell)
    , m_desktopShortcuts(desktopShortcuts)
{
    m_shell.onShortcutPressed = [this](std::uint32_t id) {
        if (onPressed)
            onPressed(id);
    };
}

void GnomeHotKeys::rebind()
{
    if (m_answered)
        bind(m_set, m_answered);
}

void GnomeHotKeys::bind(std::vector<HotKeyRequest> set, std::function<void(HotKeyStatuses)> answered)
{
    const std::uint64_t generation = ++m_generation;
    m_set = set;
    m_answered = answered;
    HotKeyStatuses statuses;
    std::map<std::uint32_t, std::string> accelerators;
    for (const HotKeyRequest& request : set) {
        const std::string accelerator = acceleratorOf(request);
        if (accelerator.empty())
            statuses[request.id] = HotKeyStatus::unsupported;
        else
            accelerators[request.id] = accelerator;
    }
    if (m_shell.state() != ShellState::ready) {
        if (!set.empty() && desktopShortcutsAllowed && desktopShortcutsAllowed()) {
            m_desktopShortcuts.write(set, statuses);
        } else {
            m_desktopShortcuts.removeAll();
            for (const auto& [id, accelerator] : accelerators)
                statuses[id] = HotKeyStatus::unsupported;
        }
        if (answered)
            answered(std::move(statuses));
        return;
    }
    // The extension binds them now: entries left from a session without it go.
    m_desktopShortcuts.removeAll();
    m_shell.setShortcuts(accelerators, [this, alive = std::weak_ptr<int>(m_alive), generation, statuses = std::move(statuses), accelerators,
                                        answered = std::move(answered)](std::optional<GnomeShell::ShortcutStatuses> bound) mutable {
        if (alive.expired() || generation != m_generation)
            return;
        for (const auto& [id, accelerator] : accelerators) {
            const auto status = bound ? bound->find(id) : GnomeShell::ShortcutStatuses::iterator{};
            if (!bound || status == bound->end())
                statuses[id] = HotKeyStatus::unsupported;
            else
                statuses[id] = status->second == GnomeShell::ShortcutStatus::bound ? HotKeyStatus::bound
                               : status->second == GnomeShell::ShortcutStatus::taken ? HotKeyStatus::taken
                                                                                      : HotKeyStatus::unsupported;
        }
        if (answered)
            answered(std::move(statuses));
    });
}

SystemTiling MutterTiling::read() { return freedesktop::systemTilingOf(mutterName); }

std::optional<TilingSettingsPage> MutterTiling::settingsPage() { return freedesktop::tilingSettingsPageOf(mutterName); }

namespace {

std::string thisProgram() { return QFile::encodeName(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).toStdString(); }

std::string configFile(const char* name)
{
    return (QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/Quandrel/") + QLatin1String(name))
        .toStdString();
}

} // namespace

GnomeDesktop::GnomeDesktop(std::unique_ptr<GnomeShell> shell, std::unique_ptr<GnomeKeybindings> keybindings)
    : m_shell(std::move(shell))
    , m_keybindings(keybindings ? std::move(keybindings) : std::make_unique<GnomeKeybindings>(thisProgram()))
    , m_displays(std::make_unique<GnomeDisplays>(*m_shell))
    , m_windows(std::make_unique<GnomeWindows>(*m_shell, *m_displays))
    , m_applications(std::make_unique<GnomeApplications>(*m_windows))
    , m_hotKeys(std::make_unique<GnomeHotKeys>(*m_shell, *m_keybindings))
    , m_portal(std::make_unique<freedesktop::PortalScreenshot>())
    , m_portalScreen(std::make_unique<freedesktop::PortalScreenFreezer>(*m_portal, *m_displays))
    , m_session(std::make_unique<GnomeSession>(*m_shell, *m_hotKeys, configFile("gnome-keyboard-shortcuts"), *m_portal))
    , m_pointer(std::make_unique<UnavailablePointerMonitor>("GNOME"))
    , m_screen(std::make_unique<GnomeScreenFreezer>(*m_shell, m_portalScreen.get()))
    , m_ownWindows(std::make_unique<GnomeOwnWindows>(*m_shell))
    , m_tiling(std::make_unique<MutterTiling>())
    , m_keyboardLayout(XkbKeyboardLayout::fromEnvironment())
{
    m_portalScreen->noWindows = "Picking a window on GNOME needs the Quandrel GNOME Shell extension; without it, Quandrel "
                                "captures an area or the whole display.";
    m_portalScreen->beforeFirstRequest = [this] { m_session->explainScreenshotPortal(configFile("gnome-screenshot-portal")); };
}

GnomeDesktop::GnomeDesktop(std::unique_ptr<GnomeShell> shell)
    : GnomeDesktop(std::move(shell), nullptr)
{
}

GnomeDesktop::~GnomeDesktop() = default;

PlatformServices GnomeDesktop::services()
{
    return {
        .displays = m_displays.get(),
        .windows = m_windows.get(),
        .frontmost = m_applications.get(),
        .trust = m_session.get(),
        .sound = m_session.get(),
        .hotKeys = m_hotKeys.get(),
        .applications = m_applications.get(),
        .pointer = m_pointer.get(),
        .tiling = m_tiling.get(),
        .screen = m_screen.get(),
        .ownWindows = m_ownWindows.get(),
        .keyboardLayout = m_keyboardLayout.get(),
        .clipboard = &m_clipboard,
    };
}

std::unique_ptr<Desktop> openSessionDesktop(std::string* whyNot)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        if (whyNot)
            *whyNot = "Quandrel cannot reach the session bus, so it cannot talk to GNOME Shell.";
        return nullptr;
    }
    auto desktop = std::make_unique<GnomeDesktop>(std::make_unique<GnomeShell>(bus));
    // Says at the start what window commands will need, if anything.
    if (!desktop->services().trust->canControlWindows())
        qCInfo(lcGnome, "%s", desktop->shell().problem().c_str());
    return desktop;
}

} // namespace quandrel::gnome
