#pragma once

// The session's screen reading as a capture needs it: every display frozen at once, with the
// windows window mode can pick and the pointer where the session can tell them. Sessions
// answer asynchronously (a compositor over D-Bus or a Wayland protocol, the X server between
// two displays), so every request is a task; none of them blocks the event loop. Everything
// is in window space (origin top-left of the primary display, y down) and in pixels of the
// one pixel grid all displays share, as in ScreenCapture.h. Nothing throws: refused requests
// come back as a GrabFailure.

#include "ScreenCapture.h"

#include <QCoroTask>

#include <optional>
#include <vector>

namespace quandrel {

struct FreezeRequest {
    std::vector<Rect> areas; // one per display, its whole area; none: only the windows are listed
    bool windows = false;    // whether to list the pickable windows as well
    bool pointerImage = false; // whether to give the pointer's picture as well
};

struct FrozenScreens {
    std::vector<PixelBuffer> images;                // one per requested area, in order
    std::optional<std::vector<ScreenWindow>> windows; // front to back; none when not asked for or not known
    std::string windowsFailure;                       // why a window list that was asked for is none
    std::optional<Point> pointer;                     // none when the session cannot tell
    std::optional<PointerImage> pointerImage;         // when asked for and the session gives it
};

class ScreenFreezer {
public:
    virtual ~ScreenFreezer() = default;

    // The requested areas as they are now, with Quandrel's own windows out of sight. Fails as
    // a whole when any image is refused; a window list that cannot be read is simply none.
    virtual QCoro::Task<GrabResult<FrozenScreens>> freeze(FreezeRequest request) = 0;

    // One window by itself, as the user sees it, covered parts included. Fails where the
    // session has no image of a single window (the capture then crops the frozen display).
    virtual QCoro::Task<GrabResult<PixelBuffer>> windowImage(WindowHandle window) = 0;

    // The pointer's position now; none when it cannot be read.
    virtual std::optional<Point> pointerPosition() = 0;

    // Gives back memory kept for the next freeze, once a capture has ended.
    virtual void releaseBuffers() {}
};

} // namespace quandrel
