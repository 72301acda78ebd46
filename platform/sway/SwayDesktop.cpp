#include "SwayDesktop.h"

#include "KeyboardLayout.h"
#include "SwayApplications.h"
#include "SwayDisplays.h"
#include "SwayIpc.h"
#include "SwaySession.h"
#include "SwayWindows.h"
#include "Unavailable.h"

namespace quandrel::sway {

std::unique_ptr<KeyboardLayout> swayKeyboardLayout()
{
    const QByteArray layout = qgetenv("XKB_DEFAULT_LAYOUT");
    const QByteArray variant = qgetenv("XKB_DEFAULT_VARIANT");
    if (!layout.isEmpty()) {
        if (auto named = XkbKeyboardLayout::fromNames(layout.split(',').front().toStdString(), variant.split(',').front().toStdString()))
            return named;
    }
    return XkbKeyboardLayout::fromNames("us");
}

SwayDesktop::SwayDesktop(std::unique_ptr<SwayIpc> ipc)
    : m_ipc(std::move(ipc))
    , m_displays(std::make_unique<SwayDisplays>(*m_ipc))
    , m_windows(std::make_unique<SwayWindows>(*m_ipc, *m_displays))
    , m_applications(std::make_unique<SwayApplications>(*m_windows))
    , m_session(std::make_unique<SwaySession>(*m_ipc))
    , m_hotKeys(std::make_unique<SwayConfigHotKeys>())
    , m_pointer(std::make_unique<UnavailablePointerMonitor>("sway"))
    , m_screen(std::make_unique<UnavailableScreenCapture>("sway"))
    , m_grabs(std::make_unique<UnavailableInputGrabs>())
    , m_tiling(std::make_unique<NoSystemTiling>())
    , m_keyboardLayout(swayKeyboardLayout())
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
        .workspace = m_applications.get(),
        .trust = m_session.get(),
        .sound = m_session.get(),
        .hotKeys = m_hotKeys.get(),
        .applications = m_applications.get(),
        .pointer = m_pointer.get(),
        .tiling = m_tiling.get(),
        .screen = m_screen.get(),
        .grabs = m_grabs.get(),
        .keyboardLayout = m_keyboardLayout.get(),
    };
}

} // namespace quandrel::sway
