#pragma once

// Other applications' windows on X11: EWMH client windows, read and placed through the window
// manager. Frames are the outer frames the user sees (X11Properties.h); every X error (a
// window that vanished, a refused request) turns into "none".

#include "Display.h"
#include "WindowAccess.h"
#include "X11EventFilter.h"

#include <chrono>
#include <set>
#include <utility>

namespace quandrel::x11 {

class X11Connection;

// Double to X protocol values, saturating instead of overflowing: coordinates to the 16-bit
// signed range, sizes to 1 … 32767; NaN becomes 0 (a size 1).
std::int32_t saturatedCoordinate(double value);
std::int32_t saturatedSize(double value);

// The position a ConfigureWindow request of a client with window gravity `gravity` names so
// that its frame, with these decoration extents, has its top-left corner at (frameX, frameY).
std::pair<int, int> configurePosition(std::uint32_t gravity, int frameX, int frameY, int left, int right, int top, int bottom);

struct ClientGeometry;

class X11Windows final : public WindowAccess {
public:
    // The displays give the flip between screen and window space.
    X11Windows(X11Connection& connection, DisplayProvider& displays);
    ~X11Windows() override;
    X11Windows(const X11Windows&) = delete;
    X11Windows& operator=(const X11Windows&) = delete;

    // How long setFrame waits for the window manager's answer at most. The wait normally ends
    // once the window manager has carried out every request (see awaitAnswer) and the window
    // shows the frame asked for (size limits and steps applied); this safety bound only
    // matters for a window manager that answers nothing, and is generous so that a busy
    // machine's next command never reads a frame still in flight.
    std::chrono::milliseconds settleTimeout{1000};
    // How long a maximized or full-screen window may take to leave that state.
    std::chrono::milliseconds stateTimeout{1000};
    // Once the window manager has answered but not with the frame asked for, how long without
    // further events counts as settled (the window manager placed it elsewhere).
    std::chrono::milliseconds quietTime{50};

    std::optional<ClientWindow> focusedWindow() override;
    WindowAccessError focusedWindowError() override;
    std::optional<Rect> readFrame(WindowHandle window) override;
    using WindowAccess::setFrame;
    // The fast path: waits for the window manager's answer and calls `applied` before
    // returning.
    void setFrame(WindowHandle window, std::int32_t pid, const Rect& frame, FrameApplied applied) override;
    std::optional<Size> fittedSize(WindowHandle window, const Size& size) override;
    std::optional<ClientWindow> windowAtPoint(Point screenPoint) override;
    std::vector<ClientWindow> windowsOfApplication(std::int32_t pid) override;
    std::vector<ClientWindow> windowsOfProcesses(const std::vector<std::int32_t>& pids) override;
    std::optional<bool> isStandardWindow(WindowHandle window) override;
    std::optional<bool> isMinimized(WindowHandle window) override;
    void raise(WindowHandle window) override;
    void stopInteractiveMove(WindowHandle window) override;
    void resumeInteractiveMove(WindowHandle window, Point screenPointer) override;

private:
    // Where a frame write puts the client: its size and place asked for, and the size and
    // place the window manager's answer must show.
    struct Target {
        int x = 0, y = 0, width = 0, height = 0;
        int clientX = 0, clientY = 0, expectedWidth = 0, expectedHeight = 0;
        bool reachedBy(const ClientGeometry& g) const;
    };
    enum class Answer { reached, elsewhere, gone };

    std::vector<std::uint32_t> frontToBack();
    void place(WindowHandle window, const Rect& frame);
    // Asks the window manager to resize an unmapped window of Quandrel's own: the configure
    // request goes to the window manager, which passes it on for a window it does not manage.
    // A window manager handles its events in order, so the ConfigureNotify of that window shows
    // that it has handled every request sent before.
    void requestAnswerMark();
    // Waits for the window manager's answer to a frame write, from the geometry `start`: the
    // answer mark, and the window's geometry.
    Answer awaitAnswer(std::uint32_t window, const Target& target, const ClientGeometry& start);
    // Selects structure and property events of a window whose frame is being set.
    void watch(std::uint32_t window);

    X11Connection& m_connection;
    DisplayProvider& m_displays;
    std::set<std::uint32_t> m_watched;
    std::uint32_t m_markWindow = 0;
    std::uint32_t m_markWidth = 2;
    X11EventFilter m_filter; // last: it goes first
};

} // namespace quandrel::x11
