#include "DragSnapper.h"
#include "ScreenSpace.h"

#include "Display.h"
#include "PointerMonitor.h"
#include "WindowLayout.h"
#include "WindowManager.h"
#include "FrontmostApplication.h"

#include <cmath>

namespace quandrel {

std::optional<WindowAction> snapZone(Point p, const Rect& f)
{
    constexpr double edge = 5;
    constexpr double corner = 24;
    const bool atLeft = p.x <= f.minX() + edge;
    const bool atRight = p.x >= f.maxX() - edge;
    const bool atTop = p.y >= f.maxY() - edge;
    const bool atBottom = p.y <= f.minY() + edge;
    if (!atLeft && !atRight && !atTop && !atBottom)
        return std::nullopt;

    if ((atLeft && p.y >= f.maxY() - corner) || (atTop && p.x <= f.minX() + corner))
        return WindowAction::topLeft;
    if ((atRight && p.y >= f.maxY() - corner) || (atTop && p.x >= f.maxX() - corner))
        return WindowAction::topRight;
    if ((atLeft && p.y <= f.minY() + corner) || (atBottom && p.x <= f.minX() + corner))
        return WindowAction::bottomLeft;
    if ((atRight && p.y <= f.minY() + corner) || (atBottom && p.x >= f.maxX() - corner))
        return WindowAction::bottomRight;
    if (atLeft)
        return WindowAction::leftHalf;
    if (atRight)
        return WindowAction::rightHalf;
    if (atTop)
        return WindowAction::maximize;

    const double t = (p.x - f.minX()) / f.width;
    if (t < 1.0 / 3.0)
        return WindowAction::firstThird;
    if (t < 2.0 / 3.0)
        return WindowAction::centerThird;
    return WindowAction::lastThird;
}

bool isLeftToSystem(WindowAction zone, const SystemTiling& tiling)
{
    switch (zone) {
    case WindowAction::leftHalf:
    case WindowAction::rightHalf:
    case WindowAction::topLeft:
    case WindowAction::topRight:
    case WindowAction::bottomLeft:
    case WindowAction::bottomRight:
        return tiling.edges;
    case WindowAction::maximize:
        return tiling.top;
    default:
        return false;
    }
}

DragSnapper::DragSnapper(PlatformServices platform, WindowManager& windows, std::unique_ptr<SnapPreviewSurface> preview, Scheduler schedule)
    : m_platform(platform)
    , m_windows(windows)
    , m_preview(std::move(preview))
    , m_schedule(std::move(schedule))
{
    m_platform.pointer->onEvent = [this](PointerEvent e) { handle(e); };
}

DragSnapper::~DragSnapper()
{
    m_platform.pointer->setMonitoring(false);
    m_platform.pointer->onEvent = nullptr;
}

bool DragSnapper::isEnabled() const { return m_platform.pointer->isMonitoring(); }

void DragSnapper::setEnabled(bool on)
{
    if (on == isEnabled())
        return;
    m_platform.pointer->setMonitoring(on);
    if (!on)
        reset();
}

void DragSnapper::handle(PointerEvent event)
{
    switch (event) {
    case PointerEvent::leftDown:
        reset();
        begin();
        return;
    case PointerEvent::leftDragged:
        moved();
        return;
    case PointerEvent::leftUp:
        released();
        return;
    }
}

void DragSnapper::reset()
{
    m_drag.reset();
    m_preview->hide();
}

void DragSnapper::begin()
{
    if (!m_platform.trust->canControlWindows())
        return;
    const Point p = m_platform.pointer->pointerLocation();
    const auto window = m_platform.windows->windowAtPoint(p);
    if (!window)
        return;
    const auto frame = m_windows.readScreenFrame(window->handle, ScreenSpace::of(m_platform.displays->displays()));
    if (!frame)
        return;
    Drag drag;
    drag.window = window;
    drag.startFrame = *frame;
    drag.grab = p;
    // On a busy machine the window manager may have begun moving a snapped window before the
    // press is seen here: a window of its snapped size counts from its snapped frame, with the
    // grab where it was on that frame.
    if (const auto snapped = m_windows.snappedFrameOfSize(window->handle, *frame)) {
        drag.grab = {p.x - (frame->x - snapped->x), p.y - (frame->y - snapped->y)};
        drag.startFrame = *snapped;
    }
    m_drag = drag;
}

void DragSnapper::moved()
{
    if (!m_drag || m_drag->ignored || !m_drag->window)
        return;
    Drag& drag = *m_drag;
    const std::vector<Display> displays = m_platform.displays->displays();
    const ScreenSpace space = ScreenSpace::of(displays);

    if (!drag.isMovingWindow) {
        if (++drag.checks > maximumChecks) {
            drag.ignored = true;
            return;
        }
        const auto frame = m_windows.readScreenFrame(drag.window->handle, space);
        if (!frame) {
            drag.ignored = true;
            return;
        }
        const Rect current = *frame;
        if (current.width != drag.startFrame.width || current.height != drag.startFrame.height) {
            drag.ignored = true; // a resize, not a move
            return;
        }
        if (std::fabs(current.minX() - drag.startFrame.minX()) <= moveThreshold
            && std::fabs(current.minY() - drag.startFrame.minY()) <= moveThreshold)
            return;
        drag.isMovingWindow = true;
        drag.systemTiling = m_platform.tiling->read();
        if (restoresSizeOnDrag && m_windows.isSnapped(drag.window->handle, drag.startFrame)) {
            const Point pointer = m_platform.pointer->pointerLocation();
            const WindowHandle handle = drag.window->handle;
            m_platform.windows->stopInteractiveMove(handle);
            // The move is handed back once the window has its old size.
            drag.unsnapped = m_windows.unsnap(*drag.window, drag.startFrame, drag.grab, pointer, [windows = m_platform.windows, handle, pointer] {
                windows->resumeInteractiveMove(handle, pointer);
            });
        }
    }

    const Point p = m_platform.pointer->pointerLocation();
    const Display* display = nullptr;
    for (const Display& d : displays) {
        if (containsPoint(d.frame, p)) {
            display = &d;
            break;
        }
    }
    if (!display)
        return;

    const auto zone = snapZone(p, display->frame);
    if (!zone || isLeftToSystem(*zone, drag.systemTiling)) {
        if (drag.action) {
            drag.action.reset();
            m_preview->hide();
        }
        return;
    }
    if (drag.action == zone)
        return;
    drag.action = zone;
    const Rect windowFrame = m_windows.readScreenFrame(drag.window->handle, space).value_or(drag.startFrame);
    if (const auto target = targetFrame(*zone, 0, display->visibleFrame, windowFrame, m_windows.gap))
        m_preview->show(*target);
    else
        m_preview->hide();
}

void DragSnapper::released()
{
    if (m_drag && m_drag->window && m_drag->isMovingWindow && m_drag->action) {
        const WindowAction action = *m_drag->action;
        const ClientWindow window = *m_drag->window;
        const std::optional<Rect> original = m_drag->unsnapped ? std::nullopt : std::optional(m_drag->startFrame);
        WindowManager& windows = m_windows;
        m_schedule(dropDelayMs, [&windows, action, window, original] { windows.perform(action, window, original); });
    }
    reset();
}

} // namespace quandrel
