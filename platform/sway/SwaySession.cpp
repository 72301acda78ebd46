#include "SwaySession.h"

#include "SwayIpc.h"
#include "WlrScreencopy.h"

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

void SwayConfigHotKeys::bind(std::vector<HotKeyRequest> set, std::function<void(HotKeyStatuses)> answered)
{
    if (!m_told && !set.empty()) {
        m_told = true;
        qCInfo(lcSway, "On sway, shortcuts are key bindings in sway's configuration: `quandrel --sway-bindings` prints them.");
    }
    HotKeyStatuses statuses;
    for (const HotKeyRequest& request : set)
        statuses[request.id] = HotKeyStatus::boundByUser;
    if (answered)
        answered(std::move(statuses));
}

bool SwaySession::screenRecordingAllowed()
{
    if (!m_screencopy)
        m_screencopy = wlroots::screencopyOffered();
    return *m_screencopy;
}

} // namespace quandrel::sway
