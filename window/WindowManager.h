#pragma once

// Quandrel's window-layout service (the class the design calls the window manager; it is not
// the X window manager, which it asks to place windows). It runs one window command against a
// window of another application: finds the window, works
// out its display, decides whether the press repeats the previous one, computes the target
// frame, remembers the window's original frame for restore, and writes the new frame. The
// write may complete later (a window manager asked over D-Bus): reading the result back,
// re-anchoring and recording it happen when the window manager has applied the frame, and a
// press that arrives before that counts from the frame still in flight.

#include "Geometry.h"
#include "ScreenSpace.h"
#include "PlatformServices.h"
#include "WindowAccess.h"
#include "WindowAction.h"

#include <QLoggingCategory>

#include <deque>
#include <functional>
#include <memory>
#include <optional>

Q_DECLARE_LOGGING_CATEGORY(lcWindows)

namespace quandrel {

class WindowManager {
public:
    static constexpr std::size_t historyLimit = 200;
    static constexpr double repeatTolerance = 4;

    struct LastExecution {
        WindowAction action;
        WindowHandle window;
        Rect frame; // screen space, read back after the action
        int step;
    };

    struct History {
        WindowHandle window;
        Rect original; // screen space, before the first arrangement
        Rect snapped;  // screen space, after the latest arrangement
    };

    explicit WindowManager(PlatformServices platform);

    double gap = 0;
    RepeatBehavior repeatBehavior = RepeatBehavior::cycleSizes;

    // Runs an action on `window` (or, when none, the frontmost application's focused window).
    // originalFrame, in screen space, is remembered for restore instead of the current frame.
    // Answers whether the window is being arranged (false: it beeped, or window control is
    // off); the arrangement itself may complete after this returns.
    bool perform(WindowAction action, std::optional<ClientWindow> window = std::nullopt,
                 std::optional<Rect> originalFrame = std::nullopt);

    // Gives a snapped window its original size back under the pointer when a drag begins:
    // `grab` is where the pointer took the window at `startFrame`, `pointer` where it is now;
    // the grab keeps its place across the width and the top edge follows the pointer.
    // `placed` is called once the window manager has applied that size, or at once when the
    // window is not snapped (the answer is false then).
    bool unsnap(ClientWindow window, const Rect& startFrame, Point grab, Point pointer, std::function<void()> placed = {});
    // Whether unsnap would act: the window is still where it was last arranged.
    bool isSnapped(WindowHandle window, const Rect& frame);
    // Where the window was last arranged, when it has that frame's size still; none otherwise.
    std::optional<Rect> snappedFrameOfSize(WindowHandle window, const Rect& frame);

    // A window's frame in screen space; none when it cannot be read.
    std::optional<Rect> readScreenFrame(WindowHandle window, const ScreenSpace& space);

    // The latest execution; while its frame is in flight, its frame is the target asked for.
    const std::optional<LastExecution>& last() const { return m_last; }
    // Whether a frame asked for has not been confirmed by the window manager yet.
    bool isInFlight() const { return m_inFlight.has_value(); }
    const std::deque<History>& history() const { return m_history; }

private:
    // A frame asked for and not yet confirmed; newer writes supersede older ones.
    struct InFlight {
        WindowHandle window;
        Rect target; // screen space
        std::uint64_t generation;
    };
    struct Placement;
    void applied(const std::shared_ptr<Placement>& placement);
    void finish(const Placement& placement, const std::optional<Rect>& after);
    void remember(WindowHandle window, const Rect& frame);
    std::deque<History>::iterator findHistory(WindowHandle window);

    PlatformServices m_platform;
    std::optional<LastExecution> m_last;
    std::deque<History> m_history;
    std::optional<InFlight> m_inFlight;
    std::uint64_t m_generation = 0;
    // Completions that arrive after the manager is gone find this expired.
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
};

} // namespace quandrel
