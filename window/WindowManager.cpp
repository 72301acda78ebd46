#include "WindowManager.h"
#include "ScreenSpace.h"

#include "Display.h"
#include "WindowLayout.h"
#include "FrontmostApplication.h"

#include <algorithm>
#include <cmath>

Q_LOGGING_CATEGORY(lcWindows, "quandrel.windows", QtInfoMsg)

namespace quandrel {

namespace {

WindowAction mirrored(WindowAction action)
{
    switch (action) {
    case WindowAction::leftHalf:
        return WindowAction::rightHalf;
    case WindowAction::rightHalf:
        return WindowAction::leftHalf;
    case WindowAction::firstThird:
        return WindowAction::lastThird;
    case WindowAction::lastThird:
        return WindowAction::firstThird;
    default:
        return action;
    }
}

bool reactsToRepeat(WindowAction action)
{
    switch (action) {
    case WindowAction::leftHalf:
    case WindowAction::rightHalf:
    case WindowAction::topHalf:
    case WindowAction::bottomHalf:
    case WindowAction::firstThird:
    case WindowAction::lastThird:
        return true;
    default:
        return false;
    }
}

const char* text(std::string_view v) { return v.data(); } // raw names are literals

std::string describe(const std::optional<Rect>& r) { return r ? toString(*r) : std::string("nil"); }

// The frontmost application's name, looked up only when a message is logged.
std::string frontmostName(FrontmostApplication& frontmost)
{
    const auto app = frontmost.frontmostApplication();
    return app && !app->desktopId.empty() ? app->desktopId : std::string("none");
}

} // namespace

// One frame write on its way to the window manager and what is done once it is applied.
struct WindowManager::Placement {
    WindowAction action;
    ClientWindow window;
    ScreenSpace space;
    Rect frame; // screen space, asked for
    std::optional<Rect> tile;
    std::optional<TileAnchor> anchor;
    Rect before; // window space, read before the command (for the log)
    int step = 0;
    std::uint64_t generation = 0;
    bool reanchored = false;
};

WindowManager::WindowManager(PlatformServices platform)
    : m_platform(platform)
{
}

std::deque<WindowManager::History>::iterator WindowManager::findHistory(WindowHandle window)
{
    return std::find_if(m_history.begin(), m_history.end(), [&](const History& h) { return h.window == window; });
}

std::optional<Rect> WindowManager::readScreenFrame(WindowHandle window, const ScreenSpace& space)
{
    if (const auto frame = m_platform.windows->readFrame(window))
        return space.fromWindow(*frame);
    return std::nullopt;
}

bool WindowManager::perform(WindowAction action, std::optional<ClientWindow> window, std::optional<Rect> originalFrame)
{
    const char* actionName = text(rawName(action));

    if (!m_platform.trust->canControlWindows()) {
        qCCritical(lcWindows, "%s: this session lets Quandrel control no windows", actionName);
        m_platform.trust->showTrustPrompt();
        return false;
    }

    const auto appName = [this] { return frontmostName(*m_platform.frontmost); };

    if (!window)
        window = m_platform.windows->focusedWindow();
    const std::optional<Rect> readFrame = window ? m_platform.windows->readFrame(window->handle) : std::nullopt;
    if (!readFrame) {
        qCCritical(lcWindows, "%s: no focused window in %s (%s)", actionName, appName().c_str(),
                   describe(m_platform.windows->focusedWindowError()));
        m_platform.sound->beep();
        return false;
    }

    // Desktops, docks, panels, dialogs and other special windows are not arranged.
    if (!m_platform.windows->isStandardWindow(window->handle).value_or(false)) {
        qCWarning(lcWindows, "%s: the window in %s is not a standard window", actionName, appName().c_str());
        m_platform.sound->beep();
        return false;
    }

    const std::vector<Display> displays = m_platform.displays->displays();
    const ScreenSpace space = ScreenSpace::of(displays);
    // A frame still in flight is where the window is going: a quick second press counts from it.
    const Rect current = m_inFlight && m_inFlight->window == window->handle ? m_inFlight->target : space.fromWindow(*readFrame);

    std::vector<Rect> visibleFrames;
    visibleFrames.reserve(displays.size());
    for (const Display& d : displays)
        visibleFrames.push_back(d.visibleFrame);
    const auto index = screenIndex(visibleFrames, current);
    if (!index)
        return false;
    const Rect visible = visibleFrames[*index];

    const bool isRepeat = m_last && m_last->action == action && m_last->window == window->handle
        && approximatelyEqual(m_last->frame, current, repeatTolerance);

    Rect frame;
    std::optional<Rect> tile; // the layout's tile, for the actions that have one
    int step = 0;
    switch (action) {
    case WindowAction::nextDisplay:
    case WindowAction::previousDisplay: {
        std::vector<Rect> sorted = visibleFrames;
        std::stable_sort(sorted.begin(), sorted.end(), displayOrder);
        const auto here = std::find(sorted.begin(), sorted.end(), visible);
        if (sorted.size() < 2 || here == sorted.end()) {
            m_platform.sound->beep();
            return false;
        }
        const std::size_t i = static_cast<std::size_t>(here - sorted.begin());
        const std::size_t n = sorted.size();
        const std::size_t destination = action == WindowAction::nextDisplay ? (i + 1) % n : (i + n - 1) % n;
        frame = frameOnDisplay(current, visible, sorted[destination]);
        break;
    }
    case WindowAction::restore: {
        const auto entry = findHistory(window->handle);
        if (entry == m_history.end()) {
            m_platform.sound->beep();
            return false;
        }
        frame = entry->original;
        m_history.erase(entry);
        break;
    }
    default: {
        std::optional<Rect> target;
        if (isRepeat && reactsToRepeat(action)) {
            switch (repeatBehavior) {
            case RepeatBehavior::cycleSizes:
                step = m_last->step + 1;
                target = targetFrame(action, step, visible, current, gap);
                break;
            case RepeatBehavior::acrossDisplays:
                if (const auto neighbour = adjacentVisibleFrame(action, visibleFrames, visible))
                    target = targetFrame(mirrored(action), 0, *neighbour, current, gap);
                break;
            case RepeatBehavior::nothing:
                break;
            }
        }
        if (!target)
            target = targetFrame(action, 0, visible, current, gap);
        if (!target) {
            m_platform.sound->beep();
            return false;
        }
        frame = *target;
        tile = *target;
        break;
    }
    }

    // A window that cannot take the tile's exact size (size limits, resize steps) is placed
    // against the tile's outer edges instead of its top-left corner.
    std::optional<TileAnchor> anchor;
    if (tile) {
        anchor = tileAnchor(action, *tile, visible);
        if (const auto fitted = m_platform.windows->fittedSize(window->handle, tile->size()))
            frame = anchoredFrame(*tile, *fitted, *anchor);
    }

    if (action != WindowAction::restore)
        remember(window->handle, originalFrame.value_or(current));

    auto placement = std::make_shared<Placement>(
        Placement{action, *window, space, frame, tile, anchor, *readFrame, step, ++m_generation, false});
    m_inFlight = InFlight{window->handle, frame, placement->generation};
    if (action == WindowAction::restore) {
        m_last.reset();
    } else {
        m_last = LastExecution{action, window->handle, frame, step};
        if (const auto entry = findHistory(window->handle); entry != m_history.end())
            entry->snapped = frame;
    }
    auto done = [this, alive = std::weak_ptr<int>(m_alive), placement] {
        if (!alive.expired())
            applied(placement);
    };
    if (action == WindowAction::restore)
        m_platform.windows->restoreFrame(window->handle, window->pid, space.toWindow(frame), std::move(done));
    else
        m_platform.windows->setFrame(window->handle, window->pid, space.toWindow(frame), std::move(done));
    return true;
}

void WindowManager::applied(const std::shared_ptr<Placement>& placement)
{
    Placement& p = *placement;
    const std::optional<Rect> after = m_platform.windows->readFrame(p.window.handle);
    // The window manager may still have chosen another size than foreseen: place what it
    // gave against the same edges, unless a newer command has taken the window over.
    if (p.anchor && after && !p.reanchored && p.generation == m_generation) {
        const Rect given = p.space.fromWindow(*after);
        const Rect wanted = anchoredFrame(*p.tile, given.size(), *p.anchor);
        if ((std::fabs(given.width - p.tile->width) > 0.5 || std::fabs(given.height - p.tile->height) > 0.5)
            && !approximatelyEqual(wanted, given, 0.5)) {
            p.reanchored = true;
            p.frame = wanted;
            m_inFlight = InFlight{p.window.handle, wanted, p.generation};
            m_platform.windows->setFrame(p.window.handle, p.window.pid, p.space.toWindow(wanted),
                                         [this, alive = std::weak_ptr<int>(m_alive), placement] {
                                             if (!alive.expired())
                                                 finish(*placement, m_platform.windows->readFrame(placement->window.handle));
                                         });
            return;
        }
    }
    finish(p, after);
}

void WindowManager::finish(const Placement& p, const std::optional<Rect>& after)
{
    qCInfo(lcWindows, "%s in %s: %s → %s", text(rawName(p.action)), frontmostName(*m_platform.frontmost).c_str(),
           toString(p.before).c_str(), describe(after).c_str());
    if (p.generation != m_generation)
        return; // a newer command keeps the record
    m_inFlight.reset();
    if (p.action == WindowAction::restore) {
        m_last.reset();
        return;
    }
    const Rect result = after ? p.space.fromWindow(*after) : p.frame;
    m_last = LastExecution{p.action, p.window.handle, result, p.step};
    if (const auto entry = findHistory(p.window.handle); entry != m_history.end())
        entry->snapped = result;
}

void WindowManager::remember(WindowHandle window, const Rect& frame)
{
    if (findHistory(window) != m_history.end())
        return;
    if (m_last && m_last->window == window && approximatelyEqual(m_last->frame, frame, repeatTolerance))
        return;
    if (m_history.size() >= historyLimit)
        m_history.pop_front();
    m_history.push_back({window, frame, frame});
}

bool WindowManager::isSnapped(WindowHandle window, const Rect& frame)
{
    const auto entry = findHistory(window);
    return entry != m_history.end() && approximatelyEqual(entry->snapped, frame, repeatTolerance);
}

std::optional<Rect> WindowManager::snappedFrameOfSize(WindowHandle window, const Rect& frame)
{
    const auto entry = findHistory(window);
    if (entry == m_history.end() || std::fabs(entry->snapped.width - frame.width) > repeatTolerance
        || std::fabs(entry->snapped.height - frame.height) > repeatTolerance)
        return std::nullopt;
    return entry->snapped;
}

bool WindowManager::unsnap(ClientWindow window, const Rect& startFrame, Point grab, Point pointer, std::function<void()> placed)
{
    const auto notPlaced = [&placed] {
        if (placed)
            placed();
        return false;
    };
    const auto entry = findHistory(window.handle);
    if (entry == m_history.end() || !approximatelyEqual(entry->snapped, startFrame, repeatTolerance))
        return notPlaced();

    const ScreenSpace space = ScreenSpace::of(m_platform.displays->displays());
    if (!readScreenFrame(window.handle, space))
        return notPlaced();

    // The place of the grab on the frame where the drag began: the window manager's move
    // lags behind the pointer, so the frame read now would put the pointer elsewhere.
    const double w0 = entry->original.width;
    const double h0 = entry->original.height;
    double f = 0.5;
    if (startFrame.width > 0) {
        f = (grab.x - startFrame.minX()) / startFrame.width;
        f = f <= 0 ? 0 : (f > 1 ? 1 : f);
    }
    const double top = startFrame.maxY() + (pointer.y - grab.y);
    const Rect frame = rounded({pointer.x - w0 * f, top - h0, w0, h0});
    m_history.erase(entry);
    m_last.reset();
    const std::uint64_t generation = ++m_generation;
    m_inFlight = InFlight{window.handle, frame, generation};
    m_platform.windows->setFrame(window.handle, window.pid, space.toWindow(frame),
                                 [this, alive = std::weak_ptr<int>(m_alive), generation, placed = std::move(placed)] {
                                     if (!alive.expired() && generation == m_generation)
                                         m_inFlight.reset();
                                     if (placed)
                                         placed();
                                 });
    return true;
}

} // namespace quandrel
