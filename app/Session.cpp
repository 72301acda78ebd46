#include "Session.h"

#include <QCoreApplication>

namespace quandrel {

SessionEnvironment SessionEnvironment::current()
{
    return {qEnvironmentVariable("DISPLAY"), qEnvironmentVariable("WAYLAND_DISPLAY"), qEnvironmentVariable("SWAYSOCK"),
            qEnvironmentVariable("XDG_SESSION_TYPE"), qEnvironmentVariable("QUANDREL_SESSION")};
}

SessionBackend chooseBackend(const SessionEnvironment& e)
{
    const QString forced = e.forced.toLower();
    if (forced == QLatin1String("x11"))
        return e.display.isEmpty() ? SessionBackend::none : SessionBackend::x11;
    if (forced == QLatin1String("sway"))
        return e.swaySocket.isEmpty() ? SessionBackend::none : SessionBackend::sway;
    // In a Wayland session DISPLAY may name Xwayland, which shows only the X clients.
    const bool wayland = !e.waylandDisplay.isEmpty() || (e.display.isEmpty() && e.sessionType == QLatin1String("wayland"));
    if (wayland)
        return e.swaySocket.isEmpty() ? SessionBackend::none : SessionBackend::sway;
    return e.display.isEmpty() ? SessionBackend::none : SessionBackend::x11;
}

QString sessionStatement(const SessionEnvironment& e)
{
    if (chooseBackend(e) != SessionBackend::none)
        return {};
    const QString forced = e.forced.toLower();
    if (forced == QLatin1String("x11"))
        return QCoreApplication::translate("Session", "QUANDREL_SESSION=x11 asks for the X11 session, but DISPLAY is not set.");
    if (forced == QLatin1String("sway"))
        return QCoreApplication::translate("Session", "QUANDREL_SESSION=sway asks for the sway session, but SWAYSOCK is not set.");
    if (!e.waylandDisplay.isEmpty() || e.sessionType == QLatin1String("wayland"))
        return QCoreApplication::translate(
            "Session",
            "This Wayland session does not let one program move or read other programs' windows, so Quandrel cannot "
            "arrange windows, take screenshots or hold global shortcuts here. Quandrel supports X11 sessions (everything) "
            "and sway (window commands and app commands, with shortcuts as sway key bindings: quandrel --sway-bindings). "
            "Log in to an X11 session (on the login screen, for example \"GNOME on Xorg\") or to sway.");
    return QCoreApplication::translate(
        "Session",
        "Quandrel needs an X11 display or a sway session, and neither DISPLAY nor SWAYSOCK is set. Start it from "
        "your desktop session, or run tools/run.sh, which starts a private virtual desktop.");
}

} // namespace quandrel
