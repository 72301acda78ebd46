#pragma once

// Turns the session's screen reading (ScreenFreezer.h) into the still images a capture needs:
// every display frozen before any selection is shown, the windows window mode can pick, a
// window by itself, and crops of the frozen images. Geometry is in screen space (points, origin bottom-left of
// the primary display, y up); images are measured in pixels from their top-left corner.
//
// The asynchronous operations wait without blocking the event loop: between two displays,
// and while other programs repaint what was uncovered, the loop runs. The capturer, the
// platform objects and the display provider must outlive every task they started.

#include "CapturedImage.h"
#include "GrabbingScreenFreezer.h"
#include "ScreenFreezer.h"

#include <QCoroTask>

#include <functional>
#include <memory>
#include <optional>
#include <sys/types.h>
#include <vector>

namespace quandrel {

// Every display frozen, and the windows to pick when they were asked for and are known.
struct FrozenScreen {
    std::vector<FrozenDisplay> displays;
    CaptureResult<std::vector<PickableWindow>> windows = std::vector<PickableWindow>{};
};

class ScreenCapturer {
public:
    ScreenCapturer(ScreenFreezer& freezer, DisplayProvider& displays);
    // For sessions that read the screen area by area: the capturer freezes through its own
    // GrabbingScreenFreezer over `capture`.
    ScreenCapturer(ScreenCapture& capture, DisplayProvider& displays);

    // Windows of this process are never pickable.
    pid_t ownPid;
    // Whether frozen displays show the pointer where it was (where the session gives its
    // picture); asked at every freeze.
    std::function<bool()> includePointer;

    // Every display in the provider's order, each one image of its whole area at full pixel
    // size, taken one after the other with this process's own windows out of sight. Fails
    // when any grab is refused (nothing is returned then) or there is no display at all.
    QCoro::Task<CaptureResult<std::vector<FrozenDisplay>>> freezeDisplays();

    // The displays as freezeDisplays() takes them, with the pickable windows read in the same
    // request (none when the session cannot list them).
    QCoro::Task<CaptureResult<FrozenScreen>> freezeWithWindows();

    // The windows window mode offers, frontmost first: ordinary application windows of
    // other processes larger than 40 x 40 points, with the frames the user sees.
    QCoro::Task<CaptureResult<std::vector<PickableWindow>>> pickableWindows();

    // A fresh image of the window by itself, title bar included, covered parts as the
    // window draws them. The image has the window's native pixel size; its scale is
    // measured from it. Fails when the session cannot read the window by itself (the
    // caller falls back to cropping the frozen display).
    QCoro::Task<CaptureResult<CapturedImage>> captureWindow(PickableWindow window);

    // The display under the pointer, else the primary display; none without displays.
    std::optional<Display> screenUnderMouse();

    // The part of the frozen image under `rect`, rounded outwards to whole pixels; none when
    // the rectangle misses the display or is thinner than a point there.
    static std::optional<CapturedImage> crop(const FrozenDisplay& display, const Rect& rect);
    // Every display in one image, placed as the displays are (in screen space), at the
    // highest scale among them; a display of a lower scale is enlarged to it. Where the
    // displays leave gaps the image is transparent. None without displays or memory.
    static std::optional<CapturedImage> combined(const std::vector<FrozenDisplay>& displays);
    // Draws the pointer's picture into the frozen image of `area` (window-space pixels).
    static void drawPointer(QImage& image, const Rect& area, const PointerImage& pointer);

    // The first display whose frame holds the screen-space point, else the first display.
    // A frame holds its left and top edges, not its right and bottom ones: a pointer on the
    // top pixel row of a display lies exactly on its top edge in screen space.
    static std::optional<Display> screenAt(const std::vector<Display>& displays, Point screenPoint);

    // Gives back the memory the platform keeps for the next grab; called when a capture ends.
    void releaseBuffers() { m_freezer.releaseBuffers(); }

    // Wraps grabbed pixels without copying them.
    static QImage imageOf(const PixelBuffer& pixels);

private:
    QCoro::Task<CaptureResult<FrozenScreen>> freeze(bool windows);
    std::vector<PickableWindow> pickable(const std::vector<ScreenWindow>& windows, const std::vector<Display>& displays) const;

    std::unique_ptr<GrabbingScreenFreezer> m_ownFreezer; // for the constructor over a ScreenCapture
    ScreenFreezer& m_freezer;
    DisplayProvider& m_displays;
};

} // namespace quandrel
