#include "SwayDesktop.h"

#include "KeyboardLayout.h"
#include "SwayApplications.h"
#include "SwayDisplays.h"
#include "SwayIpc.h"
#include "SwayOwnWindows.h"
#include "SwayScreenFreezer.h"
#include "SwaySession.h"
#include "SwayWindows.h"
#include "Unavailable.h"
#include "WlrDataControl.h"

#include <QCoreApplication>

namespace quandrel::sway {

SwayDesktop::SwayDesktop(std::unique_ptr<SwayIpc> ipc)
    : m_ipc(std::move(ipc))
    , m_displays(std::make_unique<SwayDisplays>(*m_ipc))
    , m_windows(std::make_unique<SwayWindows>(*m_ipc, *m_displays))
    , m_applications(std::make_unique<SwayApplications>(*m_windows))
    , m_session(std::make_unique<SwaySession>(*m_ipc))
    , m_hotKeys(std::make_unique<SwayConfigHotKeys>())
    , m_pointer(std::make_unique<UnavailablePointerMonitor>("sway"))
    , m_screen(std::make_unique<SwayScreenFreezer>(*m_ipc))
    , m_ownWindows(std::make_unique<SwayOwnWindows>(*m_ipc))
    , m_tiling(std::make_unique<NoSystemTiling>())
    , m_keyboardLayout(XkbKeyboardLayout::fromEnvironment())
    , m_clipboard(wlroots::sessionClipboard())
{
}

SwayDesktop::~SwayDesktop() = default;

std::unique_ptr<SwayDesktop> SwayDesktop::open()
{
    auto ipc = SwayIpc::fromEnvironment();
    if (!ipc || !ipc->request(MessageType::getVersion))
        return nullptr;
    return std::make_unique<SwayDesktop>(std::move(ipc));
}

PlatformServices SwayDesktop::services()
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
        .clipboard = m_clipboard.get(),
    };
}

std::unique_ptr<Desktop> openSessionDesktop(std::string* whyNot)
{
    auto desktop = SwayDesktop::open();
    if (!desktop && whyNot)
        *whyNot = QCoreApplication::translate("Session", "Quandrel cannot reach sway at SWAYSOCK (%1).").arg(qEnvironmentVariable("SWAYSOCK")).toStdString();
    return desktop;
}

} // namespace quandrel::sway
