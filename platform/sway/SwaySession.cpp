#include "SwaySession.h"

#include "SwayIpc.h"

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcSway)

namespace quandrel::sway {

bool SwaySession::canControlWindows() { return bool(m_ipc.request(MessageType::getVersion)); }

void SwaySession::showTrustPrompt()
{
    qCWarning(lcSway, "Quandrel cannot reach sway at %s (SWAYSOCK), so it cannot arrange windows. Start Quandrel from within "
                      "the sway session.",
              m_ipc.path().c_str());
}

bool SwayConfigHotKeys::registerHotKey(std::uint32_t, std::uint32_t, std::uint32_t)
{
    if (!m_told) {
        m_told = true;
        qCInfo(lcSway, "On sway, shortcuts are key bindings in sway's configuration: `quandrel --sway-bindings` prints them.");
    }
    return true;
}

} // namespace quandrel::sway
