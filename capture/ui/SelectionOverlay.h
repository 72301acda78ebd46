#pragma once

// The selection overlay: one window per frozen display showing that display's frozen picture
// dimmed, on which the person drags out an area or picks a window. The windows belong to the
// presenter's pool (OverlaySelectionPresenter) and are lent to one SelectionOverlay per
// capture; the overlay owns the capture's state and ends it exactly once.

#include "CaptureSelection.h"
#include "OverlayGeometry.h"

#include <QFont>
#include <QImage>
#include <QPointer>
#include <QWidget>

#include <coroutine>
#include <functional>
#include <optional>
#include <vector>

namespace quandrel {

class SelectionOverlay;

// One display's view: the frozen picture, the highlight, guide lines, loupe, label and hint.
// Between captures it shows nothing and ignores every event.
class OverlayView : public QWidget {
    Q_OBJECT
public:
    explicit OverlayView(QWidget* parent = nullptr);

    // Lends the view to a capture and works out the dimmed copy of the frozen image, in the
    // buffer of the last capture when it fits.
    void begin(SelectionOverlay* overlay, const FrozenDisplay& display);
    // Back to nothing: drops the capture's image and state, keeping the dimmed buffer.
    void end();
    // Gives the dimmed buffer back (the next capture makes a new one).
    void releaseBuffers();
    bool holdsBuffers() const { return !m_dimmed.isNull(); }

    const FrozenDisplay& display() const { return m_display; }
    Size size() const { return m_display.screen.frame.size(); }
    std::optional<Point> dragStart() const { return m_dragStart; }
    std::optional<Point> dragCurrent() const { return m_dragCurrent; }
    std::optional<Point> mouse() const { return m_mouse; }
    bool dragging() const { return m_dragStart && m_dragCurrent; }
    // What was drawn last (or is about to be).
    const overlay::ViewScene& scene() const { return m_scene; }

    // Drag state, set by the overlay.
    void startDrag(Point local);
    void dragTo(Point local);
    void clearDrag();
    void setMouse(std::optional<Point> local);

    // Works out what the view shows now and repaints the parts that changed.
    void refresh();

    // Hands a key to the overlay; answers whether it was the overlay's.
    bool handleKey(const QKeyEvent* event);

    // Paints since the last begin(), and the area in widget pixels the last paint covered.
    int paintCount() const { return m_paints; }
    qint64 lastPaintedArea() const { return m_lastPaintedArea; }

    static QFont pillFont();

Q_SIGNALS:
    void painted();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    overlay::ViewState state() const;
    QRect widgetRect(const Rect& local, int margin = 0) const;
    void drawImage(QPainter& painter, const QImage& image, const QRect& target) const;
    void drawPill(QPainter& painter, const Rect& pill, const QString& text) const;
    void drawLoupe(QPainter& painter) const;
    Point globalOf(QPointF widgetPosition) const;

    QPointer<SelectionOverlay> m_overlay;
    FrozenDisplay m_display;
    QImage m_dimmed;
    std::optional<Point> m_dragStart;
    std::optional<Point> m_dragCurrent;
    std::optional<Point> m_mouse;
    overlay::ViewScene m_scene;
    QFont m_font;
    int m_paints = 0;
    qint64 m_lastPaintedArea = 0;
};

// A top-level window covering one monitor exactly, bypassing the window manager, above
// everything else, with the crosshair cursor. Made ahead of time and reused.
class OverlayWindow : public QWidget {
    Q_OBJECT
public:
    OverlayWindow();
    OverlayView* view() const { return m_view; }
    // Gives the window's picture memory back (a 4K window holds 32 MB) along with its native
    // window; the next show makes both again.
    void releaseNativeWindow();

protected:
    void resizeEvent(QResizeEvent* event) override;
    // Keys the window gets itself (no focus widget yet) go to the overlay too.
    void keyPressEvent(QKeyEvent* event) override;

private:
    OverlayView* m_view;
};

// One capture's choice on the overlay windows it is lent. run() resumes exactly once, with
// the selection or none; events after that change nothing.
class SelectionOverlay : public QObject {
    Q_OBJECT
public:
    // `pointer` gives the pointer in screen space when the overlay opens (for the hover and
    // the hint before the first move).
    SelectionOverlay(std::vector<FrozenDisplay> displays, std::vector<PickableWindow> pickable, bool windowMode,
                     std::optional<Point> pointer = std::nullopt);
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
    void rightPressed();
    // Answers whether the key was the overlay's.
    bool keyPressed(int key, bool autoRepeat);

    void updateHover();
    void pickHovered();
    void toggleMode();

    // Whether a view shows the hint: the one whose display is under the pointer.
    bool showsHint(const OverlayView* view) const;

private:
    OverlayView* viewOf(std::size_t index) const;
    void refreshAll();

    std::vector<OverlayWindow*> m_windows;
    std::vector<FrozenDisplay> m_displays;
    std::vector<PickableWindow> m_pickable;
    bool m_windowMode;
    std::optional<PickableWindow> m_hovered;
    std::optional<Point> m_pointer;
    // The view the current drag began on: drags are routed there wherever the pointer goes.
    QPointer<OverlayView> m_dragView;
    bool m_presented = false;
    std::optional<std::optional<CaptureSelection>> m_result;
    std::coroutine_handle<> m_waiter;
};

} // namespace quandrel
