#include "GnomeDesktop.h"

#include "GnomeApplications.h"
#include "GnomeExtensionInstall.h"
#include "GnomeShell.h"
#include "GnomeWindows.h"
#include "KeyboardLayout.h"
#include "SystemTilingRules.h"
#include "Unavailable.h"

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcGnome)

namespace quandrel::gnome {

namespace {
const std::string mutterName = "GNOME Shell";
}

bool GnomeSession::canControlWindows() { return m_shell.state() == ShellState::ready; }

void GnomeSession::showTrustPrompt()
{
    const std::string problem = m_shell.problem();
    if (problem.empty() || problem == m_told)
        return;
    m_told = problem;
    qCWarning(lcGnome, "%s", problem.c_str());
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
                 "next time you log in."};
}

std::string GnomeSession::performSetup()
{
    const InstallResult result = installExtensionForThisProgram();
    qCInfo(lcGnome, "%s", result.message.c_str());
    return result.message;
}

void GnomeHotKeys::bind(std::vector<HotKeyRequest> set, std::function<void(HotKeyStatuses)> answered)
{
    HotKeyStatuses statuses;
    for (const HotKeyRequest& request : set)
        statuses[request.id] = HotKeyStatus::unsupported;
    if (answered)
        answered(std::move(statuses));
}

SystemTiling MutterTiling::read() { return freedesktop::systemTilingOf(mutterName); }

std::optional<TilingSettingsPage> MutterTiling::settingsPage() { return freedesktop::tilingSettingsPageOf(mutterName); }

GnomeDesktop::GnomeDesktop(std::unique_ptr<GnomeShell> shell)
    : m_shell(std::move(shell))
    , m_displays(std::make_unique<GnomeDisplays>(*m_shell))
    , m_windows(std::make_unique<GnomeWindows>(*m_shell, *m_displays))
    , m_applications(std::make_unique<GnomeApplications>(*m_windows))
    , m_session(std::make_unique<GnomeSession>(*m_shell))
    , m_hotKeys(std::make_unique<GnomeHotKeys>())
    , m_pointer(std::make_unique<UnavailablePointerMonitor>("GNOME"))
    , m_screen(std::make_unique<UnavailableScreenFreezer>("GNOME"))
    , m_ownWindows(std::make_unique<PlainOwnWindows>())
    , m_tiling(std::make_unique<MutterTiling>())
    , m_keyboardLayout(XkbKeyboardLayout::fromEnvironment())
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
