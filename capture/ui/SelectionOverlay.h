#pragma once

// The selection overlay: one window per frozen display showing that display's frozen picture
// dimmed, on which the person drags out an area or picks a window. The windows belong to the
// presenter's pool (OverlaySelectionPresenter) and are lent to one SelectionOverlay per
// capture; the overlay owns the capture's state and ends it exactly once.

#include "CaptureSelection.h"
#include "OverlayGeometry.h"
#include "OverlayView.h"
#include "OverlayWindow.h"

#include <QObject>
#include <QPointer>

#include <coroutine>
#include <functional>
#include <optional>
#include <vector>

namespace quandrel {

// One capture's choice on the overlay windows it is lent. run() resumes exactly once, with
// the selection or none; events after that change nothing.
class SelectionOverlay : public QObject {
    Q_OBJECT
public:
    // `pointer` gives the pointer in screen space when the overlay opens (for the hover and
    // the hint before the first move).
    SelectionOverlay(std::vector<FrozenDisplay> displays, std::vector<PickableWindow> pickable, bool windowMode,
                     std::optional<Point> pointer = std::nullopt);

    // A dragged area is not taken at once: it keeps handles to be adjusted (corners resize,
    // the inside moves, the arrow keys nudge by a point, with Shift by ten) and is taken by
    // Return or a double click. Set before present().
    bool adjustBeforeCapturing = false;
    ~SelectionOverlay() override;

    // Lends the windows (one per display, in the same order) and shows them, the one under
    // the pointer made the key window. Does nothing once finished.
    void present(const std::vector<OverlayWindow*>& windows);

    struct Awaiter {
        SelectionOverlay* overlay;
        bool await_ready() const noexcept { return overlay->m_result.has_value(); }
        void await_suspend(std::coroutine_handle<> handle) noexcept { overlay->m_waiter = handle; }
        std::optional<CaptureSelection> await_resume() { return *overlay->m_result; }
    };
    // Waits for the choice. The waiting coroutine is resumed from the event loop, never
    // from inside an event handler or finish(); once only.
    Awaiter run() { return Awaiter{this}; }

    // Ends with a selection or none; later calls do nothing.
    void finish(std::optional<CaptureSelection> selection);
    bool finished() const { return m_result.has_value(); }
    // Called once, inside the first finish(), after the windows are hidden (the presenter
    // lets the grabs go here).
    std::function<void()> onFinish;

    bool windowMode() const { return m_windowMode; }
    std::optional<PickableWindow> hovered() const { return m_hovered; }
    const std::vector<FrozenDisplay>& displays() const { return m_displays; }
    std::optional<Point> pointer() const { return m_pointer; }
    // The window the keyboard should go to: the one under the pointer, else the first.
    OverlayWindow* keyWindow() const;
    const std::vector<OverlayWindow*>& windows() const { return m_windows; }

    // Events from the views (positions in screen space).
    void pointerMoved(OverlayView* view, Point global, bool leftHeld);
    void leftPressed(OverlayView* view, Point global);
    void leftReleased(OverlayView* view, Point global);
    void leftDoubleClicked(OverlayView* view, Point global);
    void rightPressed();
    // Answers whether the key was the overlay's.
    bool keyPressed(int key, bool autoRepeat, bool shift = false);
    // The view whose area is being adjusted, if any.
    OverlayView* adjustingView() const { return m_adjustView; }

    void updateHover();
    void pickHovered();
    void toggleMode();

    // Whether a view shows the hint: the one whose display is under the pointer.
    bool showsHint(const OverlayView* view) const;

private:
    OverlayView* viewOf(std::size_t index) const;
    void refreshAll();
    void takeAdjusted();
    void stopAdjusting();

    std::vector<OverlayWindow*> m_windows;
    std::vector<FrozenDisplay> m_displays;
    std::vector<PickableWindow> m_pickable;
    bool m_windowMode;
    std::optional<PickableWindow> m_hovered;
    std::optional<Point> m_pointer;
    // The view the current drag began on: drags are routed there wherever the pointer goes.
    QPointer<OverlayView> m_dragView;
    // The view whose dragged area waits, and the grip being dragged on it.
    QPointer<OverlayView> m_adjustView;
    overlay::Grip m_grip = overlay::Grip::none;
    Point m_gripFrom;
    Rect m_gripOriginal;
    bool m_presented = false;
    std::optional<std::optional<CaptureSelection>> m_result;
    std::coroutine_handle<> m_waiter;
};

} // namespace quandrel
