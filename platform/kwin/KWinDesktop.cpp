#include "KWinDesktop.h"

#include "KWinApplications.h"
#include "KWinBridge.h"
#include "KWinHotKeys.h"
#include "KWinOwnWindows.h"
#include "KWinScreenFreezer.h"
#include "KWinWindows.h"
#include "PortalScreenshot.h"
#include "SystemTilingRules.h"
#include "Unavailable.h"
#include "WlrDataControl.h"

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcKWin)

namespace quandrel::kwin {

SystemTiling KWinSystemTiling::read()
{
    SystemTiling tiling = freedesktop::systemTilingOf("KWin");
    tiling.soleSnapper = "KWin";
    return tiling;
}

std::optional<TilingSettingsPage> KWinSystemTiling::settingsPage() { return freedesktop::tilingSettingsPageOf("KWin"); }

bool KWinSession::canControlWindows() { return m_bridge.alive(); }

void KWinSession::showTrustPrompt()
{
    qCWarning(lcKWin, "Quandrel's script does not run in KWin, so it cannot arrange windows. Start Quandrel from within the "
                      "Plasma session.");
}

KWinDesktop::KWinDesktop(std::unique_ptr<KWinBridge> bridge)
    : m_bridge(std::move(bridge))
    , m_windows(std::make_unique<KWinWindows>(*m_bridge))
    , m_applications(std::make_unique<KWinApplications>(*m_windows))
    , m_session(std::make_unique<KWinSession>(*m_bridge))
    , m_hotKeys(std::make_unique<KWinHotKeys>())
    , m_pointer(std::make_unique<UnavailablePointerMonitor>("KWin"))
    , m_portal(std::make_unique<freedesktop::PortalScreenshot>())
    , m_portalScreen(std::make_unique<freedesktop::PortalScreenFreezer>(*m_portal, *m_windows))
    , m_screen(std::make_unique<KWinScreenFreezer>(*m_windows, m_portalScreen.get()))
    , m_ownWindows(std::make_unique<KWinOwnWindows>(*m_bridge))
    , m_tiling(std::make_unique<KWinSystemTiling>())
    , m_keyboardLayout(XkbKeyboardLayout::fromEnvironment())
    , m_clipboard(wlroots::sessionClipboard())
{
    // Window mode on the portal's image: KWin's own window list, the windows cut from it.
    m_portalScreen->windows = [this] { return std::optional(m_screen->shownWindows()); };
    m_portalScreen->pointer = [this] { return m_windows->pointer(); };
}

KWinDesktop::~KWinDesktop() = default;

std::unique_ptr<KWinDesktop> KWinDesktop::open(std::string* whyNot)
{
    auto bridge = KWinBridge::open(whyNot);
    if (!bridge)
        return nullptr;
    return std::make_unique<KWinDesktop>(std::move(bridge));
}

PlatformServices KWinDesktop::services()
{
    return {
        .displays = m_windows.get(),
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
        .clipboard = m_clipboard.get(),
    };
}

std::unique_ptr<Desktop> openSessionDesktop(std::string* whyNot) { return KWinDesktop::open(whyNot); }

} // namespace quandrel::kwin
