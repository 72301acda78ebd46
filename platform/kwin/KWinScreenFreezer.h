#pragma once

// Frozen screens on KWin through its screenshot interface, org.kde.KWin.ScreenShot2: every
// output read with CaptureScreen into a pipe as raw pixels, at the output's own resolution,
// and a single window with CaptureWindow. KWin serves the interface only to programs whose
// desktop entry asks for it (X-KDE-DBUS-Restricted-Interfaces, with the program's absolute
// path as Exec): Quandrel installs such an entry for itself in the user's data folder. Where
// KWin refuses the interface all the same, the screen comes from `portal` (the desktop
// portal's screenshot), from then on, and the log says so once.

#include "ScreenFreezer.h"

#include <QString>

namespace quandrel::kwin {

class KWinWindows;

class KWinScreenFreezer final : public ScreenFreezer {
public:
    explicit KWinScreenFreezer(KWinWindows& windows, ScreenFreezer* portal = nullptr);

    QCoro::Task<GrabResult<FrozenScreens>> freeze(FreezeRequest request) override;
    QCoro::Task<GrabResult<PixelBuffer>> windowImage(WindowHandle window) override;
    std::optional<Point> pointerPosition() override;
    // The windows window mode can pick, front to back: KWin's, less the minimized ones.
    std::vector<ScreenWindow> shownWindows();

    // The desktop entry that lets the running program use the screenshot interface, written
    // (and KDE's service cache rebuilt) when it is not there as it should be. False when it
    // cannot be written.
    static bool installPermission();
    // Its text for a program at `executable` (an absolute path).
    static QString permissionEntry(const QString& executable);

private:
    KWinWindows& m_windows;
    ScreenFreezer* m_portal;
    bool m_refused = false; // KWin refused its screenshot interface: the portal is used instead
};

} // namespace quandrel::kwin
