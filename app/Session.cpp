#include "Session.h"

#include <QCoreApplication>
#include <QStringList>

namespace quandrel {

SessionEnvironment SessionEnvironment::current()
{
    return {qEnvironmentVariable("DISPLAY"), qEnvironmentVariable("WAYLAND_DISPLAY"), qEnvironmentVariable("SWAYSOCK"),
            qEnvironmentVariable("XDG_SESSION_TYPE"), qEnvironmentVariable("QUANDREL_SESSION"),
            qEnvironmentVariable("XDG_CURRENT_DESKTOP")};
}

namespace {

// XDG_CURRENT_DESKTOP is a colon-separated list ("KDE", "ubuntu:GNOME").
bool isPlasma(const QString& desktop)
{
    return desktop.split(QLatin1Char(':'), Qt::SkipEmptyParts).contains(QLatin1String("KDE"), Qt::CaseInsensitive);
}

} // namespace

SessionBackend chooseBackend(const SessionEnvironment& e)
{
    const QString forced = e.forced.toLower();
    if (forced == QLatin1String("x11"))
        return e.display.isEmpty() ? SessionBackend::none : SessionBackend::x11;
    if (forced == QLatin1String("sway"))
        return e.swaySocket.isEmpty() ? SessionBackend::none : SessionBackend::sway;
    if (forced == QLatin1String("gnome"))
        return SessionBackend::gnome;
    if (forced == QLatin1String("kwin"))
        return SessionBackend::kwin;
    // In a Wayland session DISPLAY may name Xwayland, which shows only the X clients.
    const bool wayland = !e.waylandDisplay.isEmpty() || (e.display.isEmpty() && e.sessionType == QLatin1String("wayland"));
    if (wayland) {
        if (!e.swaySocket.isEmpty())
            return SessionBackend::sway;
        if (isPlasma(e.currentDesktop))
            return SessionBackend::kwin;
        // "GNOME", "ubuntu:GNOME", "GNOME-Classic:GNOME"
        const QStringList desktops = e.currentDesktop.split(QLatin1Char(':'), Qt::SkipEmptyParts);
        for (const QString& desktop : desktops) {
            if (desktop.compare(QLatin1String("GNOME"), Qt::CaseInsensitive) == 0
                || desktop.startsWith(QLatin1String("GNOME-"), Qt::CaseInsensitive))
                return SessionBackend::gnome;
        }
        return SessionBackend::none;
    }
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
            "arrange windows, take screenshots or hold global shortcuts here. Quandrel supports X11 sessions (everything), "
            "Plasma on Wayland (through KWin), GNOME on Wayland (with the Quandrel GNOME Shell extension), and sway "
            "(window commands and app commands, with shortcuts as sway key bindings: quandrel --sway-bindings). Log in to an "
            "X11 session, to Plasma, to GNOME or to sway.");
    return QCoreApplication::translate(
        "Session",
        "Quandrel needs an X11 display or a sway session, and neither DISPLAY nor SWAYSOCK is set. Start it from "
        "your desktop session, or run tools/run.sh, which starts a private virtual desktop.");
}

} // namespace quandrel
