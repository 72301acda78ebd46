#pragma once

// Screen reading on GNOME: the extension takes each display's area of the Shell's stage (and
// one window by itself) inside the Shell, with no dialog, and hands the images over as PNG
// files in a private runtime folder, which are read on the thread pool and removed at once.
// The windows window mode picks come from the extension's window list.

#include "ScreenFreezer.h"

namespace quandrel::gnome {

class GnomeShell;

class GnomeScreenFreezer final : public ScreenFreezer {
public:
    explicit GnomeScreenFreezer(GnomeShell& shell) : m_shell(shell) {}
    QCoro::Task<GrabResult<FrozenScreens>> freeze(FreezeRequest request) override;
    QCoro::Task<GrabResult<PixelBuffer>> windowImage(WindowHandle window) override;
    std::optional<Point> pointerPosition() override;

private:
    GnomeShell& m_shell;
};

// The pixels of a PNG file the extension wrote, as opaque 0xffRRGGBB; the file is removed
// whatever it holds.
GrabResult<PixelBuffer> takeScreenshotFile(const std::string& path);

} // namespace quandrel::gnome
