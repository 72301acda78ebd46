#include "KWinOwnWindows.h"

#include "KWinBridge.h"

#include <QJsonObject>
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
    if (window.title().isEmpty())
        return;
    // Where Qt was asked to show it, which Qt on Wayland does not pass on.
    QJsonObject request = ownRequest("panelRole", window);
    request.insert(QStringLiteral("at"), QJsonObject{{QStringLiteral("x"), window.x()}, {QStringLiteral("y"), window.y()}});
    request.insert(QStringLiteral("focus"), !(window.flags() & Qt::WindowDoesNotAcceptFocus));
    m_bridge.call(request);
}

void KWinOwnWindows::markOverlay(QWindow& window)
{
    // Full screen on the window's own output, where KWin puts it when it maps.
    window.setWindowStates(Qt::WindowFullScreen);
    if (!window.title().isEmpty() && m_overlayCaptions.insert(window.title()).second)
        m_bridge.call(ownRequest("overlayRole", window));
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
