#pragma once

// The platform's screen reading, beneath the screen capturer. Everything here is in window
// space (origin top-left of the primary display, y down) and in pixels of the one pixel grid
// all displays share: window frames, grabbed areas and the pointer. The capturer converts to
// points of screen space (see ScreenSpace.h). Nothing throws: refused requests come back as a
// GrabFailure.

#include "Geometry.h"
#include "WindowAccess.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace quandrel {

// Pixels, 32 bits each, 0xffRRGGBB in native byte order (always opaque, as the screen shows
// them), the top row first. `data` stays valid for as long as any copy of `owner` lives, so
// an image can wrap the buffer without copying it.
struct PixelBuffer {
    int width = 0;
    int height = 0;
    std::ptrdiff_t bytesPerLine = 0;
    std::uint8_t* data = nullptr;
    std::shared_ptr<void> owner;
};

// The pointer's picture where it is on the screen: `pixels` premultiplied ARGB (the one buffer
// whose alpha counts), `position` the pointer in window-space pixels, `hotspot` the point of
// the picture that sits on it.
struct PointerImage {
    PixelBuffer pixels;
    Point position;
    Point hotspot;
};

// Why the platform refused, in words fit for a log, and what kind of failure it was.
struct GrabFailure {
    std::string message;
    WindowAccessError reason = WindowAccessError::refused;
};

template <typename T>
using GrabResult = std::variant<T, GrabFailure>;

// A top-level client window as the user sees it: the client window of WindowAccess (pid 0
// when the window does not say) with what a screen listing adds to it.
struct ScreenWindow : ClientWindow {
    Rect frame;            // window-space pixels, decorations included, client-side shadow left out
    bool ordinary = false; // an application's own window or dialog: not a dock, panel, menu or desktop
};

class ScreenCapture {
public:
    virtual ~ScreenCapture() = default;

    // While the returned value lives, this process's own windows are out of sight: not in
    // any grab, yet still mapped, focused and stacked as before. Null when none was on screen.
    class HiddenWindows {
    public:
        virtual ~HiddenWindows() = default;
    };
    virtual std::unique_ptr<HiddenWindows> hideOwnWindows() = 0;

    // How long other programs may take to repaint what hidden windows uncovered, or what a
    // window shows once it has its own image.
    virtual std::chrono::milliseconds repaintDelay() const = 0;

    // The pixels of an area of the whole screen, in pixels of window space.
    virtual GrabResult<PixelBuffer> grabArea(const Rect& area) = 0;

    // The viewable top-level windows, frontmost first.
    virtual GrabResult<std::vector<ScreenWindow>> windowsFrontToBack() = 0;

    // One window by itself, as the user sees it, in two steps: prepareWindow makes its own
    // image available, covered parts included; read() takes the pixels, after waiting
    // repaintDelay() when needsRepaint() says the window has yet to draw uncovered parts.
    class WindowImage {
    public:
        virtual ~WindowImage() = default;
        virtual bool needsRepaint() const = 0;
        virtual GrabResult<PixelBuffer> read() = 0;
    };
    virtual GrabResult<std::unique_ptr<WindowImage>> prepareWindow(WindowHandle window) = 0;

    // The pointer's position in window-space pixels; none when it cannot be read.
    virtual std::optional<Point> pointerPosition() = 0;

    // The pointer's picture; none where the session does not give it.
    virtual std::optional<PointerImage> pointerImage() { return std::nullopt; }

    // Gives back memory kept for the next grab, once a capture has ended (images still in
    // use keep theirs).
    virtual void releaseBuffers() {}
};

} // namespace quandrel
