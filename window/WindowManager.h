#pragma once

// Quandrel's window-layout service (the class the design calls the window manager; it is not
// the X window manager, which it asks to place windows). It runs one window command against a
// window of another application: finds the window, works
// out its display, decides whether the press repeats the previous one, computes the target
// frame, remembers the window's original frame for restore, and writes the new frame.

#include "Geometry.h"
#include "ScreenSpace.h"
#include "PlatformServices.h"
#include "WindowAccess.h"
#include "WindowAction.h"

#include <QLoggingCategory>

#include <deque>
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
    // Answers whether the window was arranged (false: it beeped, or window control is off).
    bool perform(WindowAction action, std::optional<ClientWindow> window = std::nullopt,
                 std::optional<Rect> originalFrame = std::nullopt);

    // Gives a snapped window its original size back under the pointer when a drag begins.
    bool unsnap(ClientWindow window, const Rect& startFrame, double pointerX);
    // Whether unsnap would act: the window is still where it was last arranged.
    bool isSnapped(WindowHandle window, const Rect& frame);

    // A window's frame in screen space; none when it cannot be read.
    std::optional<Rect> readScreenFrame(WindowHandle window, const ScreenSpace& space);

    const std::optional<LastExecution>& last() const { return m_last; }
    const std::deque<History>& history() const { return m_history; }

private:
    void remember(WindowHandle window, const Rect& frame);
    std::deque<History>::iterator findHistory(WindowHandle window);

    PlatformServices m_platform;
    std::optional<LastExecution> m_last;
    std::deque<History> m_history;
};

} // namespace quandrel
