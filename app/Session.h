#pragma once

// Which desktop session Quandrel runs in, and so which platform backend it uses: the X11
// backend in an X11 session, the sway backend in a sway session, the KWin backend in Plasma's
// Wayland session (XDG_CURRENT_DESKTOP names KDE), the GNOME backend (the Shell extension) in a
// GNOME Wayland session, and in any other Wayland session none, with a plain statement of what
// works there. QUANDREL_SESSION=x11, sway, kwin or gnome overrides the choice (for Xwayland, or
// a test desktop).

#include "SessionBackend.h"

#include <QString>

namespace quandrel {

struct SessionEnvironment {
    QString display = {};        // DISPLAY
    QString waylandDisplay = {}; // WAYLAND_DISPLAY
    QString swaySocket = {};     // SWAYSOCK
    QString sessionType = {};    // XDG_SESSION_TYPE
    QString forced = {};         // QUANDREL_SESSION
    QString currentDesktop = {}; // XDG_CURRENT_DESKTOP

    static SessionEnvironment current();
};

SessionBackend chooseBackend(const SessionEnvironment& environment);

// Why Quandrel cannot arrange windows in this session and what it offers instead; empty when
// a backend was found.
QString sessionStatement(const SessionEnvironment& environment);

} // namespace quandrel
