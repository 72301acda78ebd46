#include "SelectionOverlay.h"

#include "ScreenCapturer.h"
#include "ScreenSpace.h"

#include <QApplication>
#include <QKeyEvent>

#include <cmath>

namespace quandrel {

using namespace overlay;


SelectionOverlay::SelectionOverlay(std::vector<FrozenDisplay> displays, std::vector<PickableWindow> pickable, bool windowMode,
                                   std::optional<Point> pointer)
    : m_displays(std::move(displays))
    , m_pickable(std::move(pickable))
    , m_windowMode(windowMode)
    , m_pointer(pointer)
{
}

SelectionOverlay::~SelectionOverlay()
{
    // The windows go back to the pool showing nothing.
    for (OverlayWindow* w : m_windows) {
        w->hide();
        w->view()->end();
    }
}

OverlayView* SelectionOverlay::viewOf(std::size_t index) const
{
    return index < m_windows.size() ? m_windows[index]->view() : nullptr;
}

void SelectionOverlay::present(const std::vector<OverlayWindow*>& windows)
{
    if (m_presented || finished())
        return;
    m_presented = true;
    m_windows = windows;
    const std::size_t count = std::min(m_windows.size(), m_displays.size());
    m_windows.resize(count);
    // Every dimmed copy first, so that every window has its picture the moment it maps.
    for (std::size_t i = 0; i < count; ++i)
        m_windows[i]->view()->begin(this, m_displays[i]);
    m_hovered = hoveredWindow(m_pickable, m_pointer.value_or(Point{-1e9, -1e9}), m_windowMode && m_pointer.has_value());
    for (std::size_t i = 0; i < count; ++i) {
        viewOf(i)->refresh();
        m_windows[i]->show();
        m_windows[i]->raise();
    }
    if (OverlayWindow* key = keyWindow()) {
        key->activateWindow();
        key->view()->setFocus(Qt::OtherFocusReason);
    }
}

OverlayWindow* SelectionOverlay::keyWindow() const
{
    if (m_windows.empty())
        return nullptr;
    if (m_pointer)
        for (std::size_t i = 0; i < m_windows.size(); ++i)
            if (containsPoint(m_displays[i].screen.frame, *m_pointer))
                return m_windows[i];
    return m_windows.front();
}

bool SelectionOverlay::showsHint(const OverlayView* view) const
{
    std::vector<Display> screens;
    screens.reserve(m_displays.size());
    for (const FrozenDisplay& d : m_displays)
        screens.push_back(d.screen);
    if (screens.empty())
        return false;
    // Before the pointer is known the hint goes on the first display.
    const auto under = m_pointer ? ScreenCapturer::screenAt(screens, *m_pointer) : std::optional<Display>(screens.front());
    return under && *under == view->display().screen;
}

void SelectionOverlay::refreshAll()
{
    for (OverlayWindow* w : m_windows)
        w->view()->refresh();
}

void SelectionOverlay::updateHover()
{
    if (finished())
        return;
    m_hovered = m_pointer ? hoveredWindow(m_pickable, *m_pointer, m_windowMode) : std::nullopt;
    refreshAll();
}

void SelectionOverlay::pointerMoved(OverlayView* view, Point global, bool leftHeld)
{
    if (finished())
        return;
    m_pointer = global;
    if (leftHeld && m_grip != Grip::none && m_adjustView) {
        OverlayView* owner = m_adjustView;
        const Rect frame = owner->display().screen.frame;
        const Point local = clampToView({global.x - frame.x, global.y - frame.y}, owner->size());
        owner->setArea(regripped(m_gripOriginal, m_grip, m_gripFrom, local, owner->size()));
        owner->setMouse(local);
        owner->refresh();
        return;
    }
    if (leftHeld && m_dragView && m_dragView->dragging()) {
        // A drag belongs to the display it began on, wherever the pointer goes.
        OverlayView* owner = m_dragView;
        const Rect frame = owner->display().screen.frame;
        owner->dragTo(clampToView({global.x - frame.x, global.y - frame.y}, owner->size()));
        owner->refresh();
        // The other views follow the hint.
        for (OverlayWindow* w : m_windows)
            if (w->view() != owner)
                w->view()->refresh();
        return;
    }
    if (leftHeld && m_windowMode)
        return; // a drag in window mode does nothing
    const Rect frame = view->display().screen.frame;
    view->setMouse(Point{global.x - frame.x, global.y - frame.y});
    updateHover();
}

void SelectionOverlay::leftPressed(OverlayView* view, Point global)
{
    if (finished() || m_windowMode)
        return;
    m_pointer = global;
    const Rect frame = view->display().screen.frame;
    const Point local = clampToView({global.x - frame.x, global.y - frame.y}, view->size());
    if (m_adjustView == view && view->adjusting()) {
        const Rect area = selectionRect(*view->dragStart(), *view->dragCurrent());
        if (const Grip grip = gripAt(area, local); grip != Grip::none) {
            m_grip = grip;
            m_gripFrom = local;
            m_gripOriginal = area;
            return;
        }
    }
    stopAdjusting(); // a press elsewhere starts a new area
    view->startDrag(local);
    m_dragView = view;
    view->refresh();
}

void SelectionOverlay::stopAdjusting()
{
    m_grip = Grip::none;
    if (OverlayView* view = m_adjustView) {
        view->clearDrag();
        view->refresh();
    }
    m_adjustView = nullptr;
}

void SelectionOverlay::takeAdjusted()
{
    OverlayView* view = m_adjustView;
    if (!view || !view->adjusting())
        return;
    const Rect area = selectionRect(*view->dragStart(), *view->dragCurrent());
    finish(AreaSelection{toGlobal(area, view->display().screen.frame), view->display()});
}

void SelectionOverlay::leftDoubleClicked(OverlayView* view, Point global)
{
    if (finished() || m_windowMode || m_adjustView != view || !view->adjusting())
        return;
    const Rect frame = view->display().screen.frame;
    const Rect area = selectionRect(*view->dragStart(), *view->dragCurrent());
    if (containsPoint(area, {global.x - frame.x, global.y - frame.y}))
        takeAdjusted();
}

void SelectionOverlay::leftReleased(OverlayView* view, Point global)
{
    if (finished())
        return;
    m_pointer = global;
    if (m_windowMode) {
        updateHover();
        pickHovered();
        return;
    }
    if (m_grip != Grip::none) {
        m_grip = Grip::none; // the area stays, adjusted
        return;
    }
    OverlayView* owner = m_dragView ? m_dragView.data() : view;
    m_dragView = nullptr;
    if (owner->dragging()) {
        const Rect frame = owner->display().screen.frame;
        owner->dragTo(clampToView({global.x - frame.x, global.y - frame.y}, owner->size()));
        const Rect rect = selectionRect(*owner->dragStart(), *owner->dragCurrent());
        if (acceptsSelection(rect)) {
            if (adjustBeforeCapturing) {
                owner->setArea(rect);
                owner->setAdjusting(true);
                m_adjustView = owner;
                refreshAll(); // the hint changes on the pointer's display
                return;
            }
            finish(AreaSelection{toGlobal(rect, frame), owner->display()});
            return;
        }
    }
    owner->clearDrag();
    owner->refresh();
}

void SelectionOverlay::rightPressed() { finish(std::nullopt); }

bool SelectionOverlay::keyPressed(int key, bool autoRepeat, bool shift)
{
    if (finished())
        return false;
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (m_windowMode)
            pickHovered();
        else
            takeAdjusted();
        return true;
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down: {
        OverlayView* view = m_adjustView;
        if (!view || !view->adjusting())
            return false;
        const double step = shift ? 10 : 1;
        const double dx = key == Qt::Key_Left ? -step : key == Qt::Key_Right ? step : 0;
        const double dy = key == Qt::Key_Down ? -step : key == Qt::Key_Up ? step : 0; // local y is up
        view->setArea(nudged(selectionRect(*view->dragStart(), *view->dragCurrent()), dx, dy, view->size()));
        view->refresh();
        return true;
    }
    case Qt::Key_Space:
        // A held Space would flip the mode at the key repeat rate.
        if (!autoRepeat)
            toggleMode();
        return true;
    case Qt::Key_Escape:
        finish(std::nullopt);
        return true;
    default:
        return false;
    }
}

void SelectionOverlay::toggleMode()
{
    for (OverlayWindow* w : m_windows)
        w->view()->clearDrag();
    m_dragView = nullptr;
    m_adjustView = nullptr;
    m_grip = Grip::none;
    m_windowMode = !m_windowMode;
    updateHover();
}

void SelectionOverlay::pickHovered()
{
    if (finished() || !m_hovered)
        return;
    const auto display = displayForWindow(m_displays, *m_hovered);
    if (!display)
        return;
    finish(WindowSelection{*m_hovered, *display});
}

void SelectionOverlay::finish(std::optional<CaptureSelection> selection)
{
    if (finished())
        return;
    m_result = std::move(selection);
    for (OverlayWindow* w : m_windows) {
        w->hide();
        w->view()->end();
    }
    m_windows.clear();
    m_dragView = nullptr;
    m_adjustView = nullptr;
    if (onFinish)
        onFinish();
    if (m_waiter) {
        const std::coroutine_handle<> waiter = std::exchange(m_waiter, {});
        QMetaObject::invokeMethod(
            qApp,
            [self = QPointer<SelectionOverlay>(this), waiter] {
                if (self)
                    waiter.resume();
            },
            Qt::QueuedConnection);
    }
}

} // namespace quandrel
