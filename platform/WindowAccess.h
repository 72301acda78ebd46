#pragma once

#include "Geometry.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace quandrel {

// Another application's window as its backend names it: an X client window id on X11, a
// container id on sway, an id the backend hands out for a compositor's own names (a KWin
// window's UUID, a Shell window's id), an arbitrary id in the fake. Only the backend that
// made a handle reads its value; 0 is no window.
class WindowHandle {
public:
    constexpr WindowHandle() = default;
    // From the backend's own id (tests name windows by small numbers).
    constexpr WindowHandle(std::uint64_t value) // NOLINT(google-explicit-constructor)
        : m_value(value)
    {
    }
    constexpr std::uint64_t value() const { return m_value; }
    constexpr explicit operator bool() const { return m_value != 0; }
    constexpr auto operator<=>(const WindowHandle&) const = default;

private:
    std::uint64_t m_value = 0;
};

// Why a window could not be read, in the platform's terms but without its protocol numbers.
enum class WindowAccessError {
    none,         // nothing went wrong (there may simply be no window)
    windowGone,   // the window was destroyed while Quandrel looked at it
    refused,      // the display server refused the request
};

// A short English description for logs ("window gone", …).
const char* describe(WindowAccessError error);

// One top-level window of another application. Two values name the same window when their
// handles are equal.
struct ClientWindow {
    WindowHandle handle;
    std::int32_t pid = 0;
    bool operator==(const ClientWindow& o) const { return handle == o.handle; }
};

// Reading and writing other applications' windows. Frames are in window space (origin
// top-left of the primary display, y down) and are the frames the user sees: decorations
// included, invisible client-side shadows left out. Nothing here reports errors: unreadable
// values are none and failed writes are ignored; a window that vanished is simply none.
class WindowAccess {
public:
    virtual ~WindowAccess() = default;

    // The frontmost application's focused window with that application's pid.
    virtual std::optional<ClientWindow> focusedWindow() = 0;

    // Why focusedWindow() found nothing readable; `none` when there simply is no focused
    // window.
    virtual WindowAccessError focusedWindowError() = 0;

    virtual std::optional<Rect> readFrame(WindowHandle window) = 0;

    // Called once the window manager has applied a frame, or has given up on it (a window
    // that refuses the size may get no answer at all; a safety timeout ends the wait). Read
    // the frame back in it, not before: until then a read may still see the old frame.
    using FrameApplied = std::function<void()>;

    // Places the window's frame at `frame`, size first, then position, then size again, and
    // calls `applied` when the window manager has applied it. Backends whose window manager
    // answers at once (X11) call it before returning; those that ask over a socket or D-Bus
    // call it later from the event loop. `applied` is called exactly once; it may be empty.
    virtual void setFrame(WindowHandle window, std::int32_t pid, const Rect& frame, FrameApplied applied) = 0;
    // The same, for callers that need no answer.
    void setFrame(WindowHandle window, std::int32_t pid, const Rect& frame) { setFrame(window, pid, frame, {}); }

    // Gives a window back its frame from before Quandrel first arranged it. Where arranging
    // took the window out of a tiling layout, this gives it back to the layout instead.
    virtual void restoreFrame(WindowHandle window, std::int32_t pid, const Rect& frame, FrameApplied applied)
    {
        setFrame(window, pid, frame, std::move(applied));
    }
    void restoreFrame(WindowHandle window, std::int32_t pid, const Rect& frame) { restoreFrame(window, pid, frame, {}); }

    // The outer size the window would take when asked for `size`: its size limits and resize
    // steps applied. None when unreadable; platforms that cannot tell answer `size`.
    virtual std::optional<Size> fittedSize(WindowHandle, const Size& size) { return size; }

    // The standard window of another process under a point given in screen space.
    virtual std::optional<ClientWindow> windowAtPoint(Point screenPoint) = 0;

    // An application's windows, front to back.
    virtual std::vector<ClientWindow> windowsOfApplication(std::int32_t pid) = 0;
    // The windows of an application that runs as several processes, front to back across all
    // of them. Platforms that know no common stacking order list them process by process.
    virtual std::vector<ClientWindow> windowsOfProcesses(const std::vector<std::int32_t>& pids)
    {
        std::vector<ClientWindow> result;
        for (const std::int32_t pid : pids) {
            const auto windows = windowsOfApplication(pid);
            result.insert(result.end(), windows.begin(), windows.end());
        }
        return result;
    }

    // A normal top-level window (not a dialog, dock, menu or palette); none when unreadable.
    virtual std::optional<bool> isStandardWindow(WindowHandle window) = 0;
    virtual std::optional<bool> isMinimized(WindowHandle window) = 0;
    // Brings the window to the front and gives it the focus.
    virtual void raise(WindowHandle window) = 0;

    // While the window manager moves a window with the mouse it owns the window's geometry.
    // To change the size in the middle of such a move, the move is stopped and then handed
    // back with the pointer at `screenPointer`. Platforms without interactive moves ignore
    // both.
    virtual void stopInteractiveMove(WindowHandle) {}
    virtual void resumeInteractiveMove(WindowHandle, Point /*screenPointer*/) {}
};

} // namespace quandrel
