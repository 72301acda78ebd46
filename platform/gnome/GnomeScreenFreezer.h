#pragma once

// Screen reading on GNOME: the extension takes each display's area of the Shell's stage (and
// one window by itself) inside the Shell, with no dialog, and hands the images over as PNG
// files in a private runtime folder, which are read on the thread pool and removed at once.
// The windows window mode picks come from the extension's window list. Without the extension
// (not installed, not enabled, or refusing this copy) the screen comes from `withoutShell`,
// the desktop portal's screenshot.

#include "ScreenFreezer.h"

namespace quandrel::gnome {

class GnomeShell;

class GnomeScreenFreezer final : public ScreenFreezer {
public:
    GnomeScreenFreezer(GnomeShell& shell, ScreenFreezer* withoutShell = nullptr) : m_shell(shell), m_withoutShell(withoutShell) {}
    QCoro::Task<GrabResult<FrozenScreens>> freeze(FreezeRequest request) override;
    QCoro::Task<GrabResult<PixelBuffer>> windowImage(WindowHandle window) override;
    std::optional<Point> pointerPosition() override;

private:
    // The freezer for now: the portal's while the extension does not answer.
    ScreenFreezer* fallback();

    GnomeShell& m_shell;
    ScreenFreezer* m_withoutShell;
};

// The pixels of a PNG file the extension wrote, as opaque 0xffRRGGBB; the file is removed
// whatever it holds.
GrabResult<PixelBuffer> takeScreenshotFile(const std::string& path);

} // namespace quandrel::gnome
