#include "KWinOwnWindows.h"

#include "KWinBridge.h"

#include <QWindow>

#include <unistd.h>

namespace quandrel::kwin {

namespace {

QJsonObject ownRequest(const char* op, const QWindow& window)
{
    return {{QStringLiteral("op"), QLatin1String(op)}, {QStringLiteral("pid"), int(::getpid())}, {QStringLiteral("caption"), window.title()}};
}

} // namespace

void KWinOwnWindows::markFloatingPanel(QWindow& window)
{
    if (window.title().isEmpty() || !m_panelCaptions.insert(window.title()).second)
        return;
    m_bridge.call(ownRequest("panelRole", window));
}

InputGrabError KWinOwnWindows::grabInput(QWindow& window)
{
    const auto done = m_bridge.call(ownRequest("activateOwn", window));
    if (!done || !done->toBool())
        return InputGrabError::refused;
    m_grabbed = true;
    return InputGrabError::none;
}

void KWinOwnWindows::releaseInput()
{
    if (!m_grabbed)
        return;
    m_grabbed = false;
    m_bridge.call({{QStringLiteral("op"), QStringLiteral("releaseOwn")}});
}

} // namespace quandrel::kwin
