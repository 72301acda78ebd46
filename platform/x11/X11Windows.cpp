#include "X11Windows.h"

#include "ScreenSpace.h"
#include "X11Connection.h"
#include "X11Displays.h"
#include "X11Properties.h"

#include <xcb/xcb_ewmh.h>
#include <xcb/xcb_icccm.h>

#include <algorithm>
#include <tuple>
#include <utility>
#include <unistd.h>

namespace quandrel::x11 {

std::int32_t saturatedCoordinate(double value)
{
    if (!(value == value))
        return 0;
    return std::int32_t(std::clamp(roundHalfAway(value), -32768.0, 32767.0));
}

std::int32_t saturatedSize(double value)
{
    if (!(value == value))
        return 1;
    return std::int32_t(std::clamp(roundHalfAway(value), 1.0, 32767.0));
}

namespace {

// The client size a window manager gives for a requested one, by the rules of ICCCM 4.1.2.3.
std::pair<int, int> fittedClientSize(const xcb_size_hints_t& hints, int width, int height)
{
    auto fit = [](int length, bool hasMin, int minimum, bool hasMax, int maximum, bool hasBase, int base, bool hasStep, int step) {
        if (hasMax && maximum > 0)
            length = std::min(length, maximum);
        if (hasMin)
            length = std::max(length, minimum);
        if (hasStep && step > 1) {
            const int origin = hasBase ? base : (hasMin ? minimum : 0);
            if (length > origin)
                length = origin + (length - origin) / step * step;
        }
        return std::max(1, length);
    };
    const bool hasMin = hints.flags & XCB_ICCCM_SIZE_HINT_P_MIN_SIZE;
    const bool hasMax = hints.flags & XCB_ICCCM_SIZE_HINT_P_MAX_SIZE;
    const bool hasBase = hints.flags & XCB_ICCCM_SIZE_HINT_BASE_SIZE;
    const bool hasStep = hints.flags & XCB_ICCCM_SIZE_HINT_P_RESIZE_INC;
    // Without a minimum the base size is the minimum, and the other way round (ICCCM).
    const int minWidth = hasMin ? hints.min_width : hints.base_width;
    const int minHeight = hasMin ? hints.min_height : hints.base_height;
    const int baseWidth = hasBase ? hints.base_width : hints.min_width;
    const int baseHeight = hasBase ? hints.base_height : hints.min_height;
    return {fit(width, hasMin || hasBase, minWidth, hasMax, hints.max_width, hasBase || hasMin, baseWidth, hasStep, hints.width_inc),
            fit(height, hasMin || hasBase, minHeight, hasMax, hints.max_height, hasBase || hasMin, baseHeight, hasStep, hints.height_inc)};
}

} // namespace

std::pair<int, int> configurePosition(std::uint32_t gravity, int frameX, int frameY, int left, int right, int top, int bottom)
{
    // ICCCM 4.1.2.3: the window manager puts the frame's point of that gravity where the
    // client's own would be at the position asked for (the client itself for static gravity).
    if (gravity == XCB_GRAVITY_STATIC)
        return {frameX + left, frameY + top};
    const int column = gravity >= XCB_GRAVITY_NORTH_WEST && gravity <= XCB_GRAVITY_SOUTH_EAST ? int(gravity - 1) % 3 : 0;
    const int row = gravity >= XCB_GRAVITY_NORTH_WEST && gravity <= XCB_GRAVITY_SOUTH_EAST ? int(gravity - 1) / 3 : 0;
    return {frameX + column * (left + right) / 2, frameY + row * (top + bottom) / 2};
}

bool X11Windows::Target::reachedBy(const ClientGeometry& g) const
{
    return g.x == clientX && g.y == clientY && g.width == expectedWidth && g.height == expectedHeight;
}

X11Windows::X11Windows(X11Connection& connection, DisplayProvider& displays)
    : m_connection(connection)
    , m_displays(displays)
    , m_filter(connection, [this](xcb_generic_event_t* e) {
        if ((e->response_type & 0x7f) == XCB_DESTROY_NOTIFY)
            m_watched.erase(reinterpret_cast<xcb_destroy_notify_event_t*>(e)->window);
        return false;
    })
{
}

X11Windows::~X11Windows()
{
    if (m_markWindow) {
        xcb_destroy_window(m_connection.xcb(), m_markWindow);
        m_connection.flush();
    }
}

void X11Windows::requestAnswerMark()
{
    xcb_connection_t* c = m_connection.xcb();
    if (!m_markWindow) {
        // Never mapped, so never managed; not override-redirect, so that its configure
        // requests go through the window manager.
        m_markWindow = xcb_generate_id(c);
        const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_create_window(c, 0, m_markWindow, m_connection.root(), -100, -100, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT,
                          XCB_CW_EVENT_MASK, &mask);
    }
    m_markWidth = m_markWidth == 2 ? 3 : 2;
    xcb_configure_window(c, m_markWindow, XCB_CONFIG_WINDOW_WIDTH, &m_markWidth);
}

// Frames are read and written in points; the server counts pixels (ScreenSpace.h).
std::optional<Rect> X11Windows::readFrame(WindowHandle handle)
{
    const xcb_window_t window = xid(handle);
    if (const auto pixels = readVisibleFrame(m_connection, window))
        return rectFromPixels(*pixels, scaledScreens());
    return std::nullopt;
}

void X11Windows::watch(std::uint32_t window)
{
    if (m_watched.contains(window))
        return;
    const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(m_connection.xcb(), window, XCB_CW_EVENT_MASK, &mask);
    m_watched.insert(window);
}

void X11Windows::setFrame(WindowHandle handle, std::int32_t, const Rect& framePoints, FrameApplied applied)
{
    place(handle, framePoints);
    if (applied)
        applied();
}

void X11Windows::place(WindowHandle handle, const Rect& framePoints)
{
    const xcb_window_t window = xid(handle);
    const Rect frame = rectToPixels(framePoints, scaledScreens());
    xcb_connection_t* c = m_connection.xcb();
    xcb_ewmh_connection_t* ewmh = m_connection.ewmh();
    const int screen = m_connection.screenNumber();

    auto stateCookie = requestProperty(c, window, ewmh->_NET_WM_STATE);
    auto hintsCookie = xcb_icccm_get_wm_normal_hints_unchecked(c, window);
    auto current = readClientGeometry(m_connection, window);
    const auto state = cardinals(c, stateCookie);
    xcb_size_hints_t hints{};
    const bool hasHints = xcb_icccm_get_wm_normal_hints_reply(c, hintsCookie, &hints, nullptr);
    if (!current)
        return;
    watch(window);

    // Maximized and full-screen windows ignore moves; the state is cleared (not restored
    // afterwards, which would undo the move). The decorations change with the state, so the
    // geometry is read again once the window manager has dropped it.
    const bool maxV = contains(state, ewmh->_NET_WM_STATE_MAXIMIZED_VERT);
    const bool maxH = contains(state, ewmh->_NET_WM_STATE_MAXIMIZED_HORZ);
    const bool fullScreen = contains(state, ewmh->_NET_WM_STATE_FULLSCREEN);
    if (maxV || maxH) {
        xcb_ewmh_request_change_wm_state(ewmh, screen, window, XCB_EWMH_WM_STATE_REMOVE,
                                         maxV ? ewmh->_NET_WM_STATE_MAXIMIZED_VERT : ewmh->_NET_WM_STATE_MAXIMIZED_HORZ,
                                         maxV && maxH ? ewmh->_NET_WM_STATE_MAXIMIZED_HORZ : xcb_atom_t(XCB_ATOM_NONE),
                                         XCB_EWMH_CLIENT_SOURCE_TYPE_OTHER);
    }
    if (fullScreen) {
        xcb_ewmh_request_change_wm_state(ewmh, screen, window, XCB_EWMH_WM_STATE_REMOVE, ewmh->_NET_WM_STATE_FULLSCREEN,
                                         xcb_atom_t(XCB_ATOM_NONE), XCB_EWMH_CLIENT_SOURCE_TYPE_OTHER);
    }
    if (maxV || maxH || fullScreen) {
        auto stillSet = [&] {
            const auto now = cardinals(c, requestProperty(c, window, ewmh->_NET_WM_STATE));
            return contains(now, ewmh->_NET_WM_STATE_MAXIMIZED_VERT) || contains(now, ewmh->_NET_WM_STATE_MAXIMIZED_HORZ)
                || contains(now, ewmh->_NET_WM_STATE_FULLSCREEN);
        };
        const auto deadline = std::chrono::steady_clock::now() + stateTimeout;
        while (stillSet() && std::chrono::steady_clock::now() < deadline) {
            m_connection.waitForEvent(
                [&](xcb_generic_event_t* e) {
                    return (e->response_type & 0x7f) == XCB_PROPERTY_NOTIFY
                        && reinterpret_cast<xcb_property_notify_event_t*>(e)->window == window;
                },
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()));
        }
        // Decorations and geometry follow the state change in further requests of the
        // window manager; take them once the window has been quiet for a moment.
        auto forThisWindow = [&](xcb_generic_event_t* e) {
            const auto type = e->response_type & 0x7f;
            return (type == XCB_PROPERTY_NOTIFY && reinterpret_cast<xcb_property_notify_event_t*>(e)->window == window)
                || (type == XCB_CONFIGURE_NOTIFY && reinterpret_cast<xcb_configure_notify_event_t*>(e)->window == window);
        };
        while (std::chrono::steady_clock::now() < deadline && m_connection.waitForEvent(forThisWindow, quietTime)) {
        }
        current = readClientGeometry(m_connection, window);
        if (!current)
            return;
    }

    // The client's own size and place for the frame asked for, by the extents it has now.
    const auto targetFor = [&](const ClientGeometry& g) {
        Target t;
        const ClientGeometry::Extents& f = g.frame;
        const ClientGeometry::Extents& m = g.gtk;
        // With north-west gravity the position names the outer frame's top-left corner.
        t.x = saturatedCoordinate(frame.x) - m.left;
        t.y = saturatedCoordinate(frame.y) - m.top;
        t.width = saturatedSize(saturatedSize(frame.width) - f.left - f.right + m.left + m.right);
        t.height = saturatedSize(saturatedSize(frame.height) - f.top - f.bottom + m.top + m.bottom);
        t.clientX = t.x + f.left;
        t.clientY = t.y + f.top;
        // The window manager applies the window's size limits and steps: that size is the one
        // to wait for.
        std::tie(t.expectedWidth, t.expectedHeight) = hasHints ? fittedClientSize(hints, t.width, t.height) : std::pair{t.width, t.height};
        return t;
    };
    const Target target = targetFor(*current);
    // A window that already has its size and place is left alone: a request would get no
    // answer from most window managers, and a wrong one from some.
    if (target.reachedBy(*current))
        return;

    const auto size = xcb_ewmh_moveresize_window_opt_flags_t(XCB_EWMH_MOVERESIZE_WINDOW_WIDTH | XCB_EWMH_MOVERESIZE_WINDOW_HEIGHT);
    const auto position = xcb_ewmh_moveresize_window_opt_flags_t(XCB_EWMH_MOVERESIZE_WINDOW_X | XCB_EWMH_MOVERESIZE_WINDOW_Y);
    // Size, position, size again: a window moved to another display may only fit there
    // after the move. When the size stays, the size steps change nothing and are left out.
    const bool resizes = current->width != target.width || current->height != target.height;
    if (resizes)
        xcb_ewmh_request_moveresize_window(ewmh, screen, window, XCB_GRAVITY_NORTH_WEST, XCB_EWMH_CLIENT_SOURCE_TYPE_OTHER, size, 0, 0, target.width, target.height);
    xcb_ewmh_request_moveresize_window(ewmh, screen, window, XCB_GRAVITY_NORTH_WEST, XCB_EWMH_CLIENT_SOURCE_TYPE_OTHER, position, target.x, target.y, 0, 0);
    if (resizes)
        xcb_ewmh_request_moveresize_window(ewmh, screen, window, XCB_GRAVITY_NORTH_WEST, XCB_EWMH_CLIENT_SOURCE_TYPE_OTHER, size, 0, 0, target.width, target.height);
    requestAnswerMark();
    m_connection.flush();

    const Answer answer = awaitAnswer(window, target, *current);
    if (answer == Answer::gone)
        m_watched.erase(window);
    if (answer != Answer::elsewhere)
        return;

    // Some window managers carry out _NET_MOVERESIZE_WINDOW wrongly (fluxbox grows a window
    // by its decorations when only the position changes) or not at all, and a plain
    // ConfigureWindow of the client right. When the answer is not the frame asked for, the
    // request goes again in that form, by the extents the window has now; whatever the
    // window manager makes of it is final (it may keep a window on a display, say).
    const auto now = readClientGeometry(m_connection, window);
    if (!now)
        return;
    const Target again = targetFor(*now);
    if (again.reachedBy(*now))
        return;
    const auto [x, y] = configurePosition(hasHints && (hints.flags & XCB_ICCCM_SIZE_HINT_P_WIN_GRAVITY) ? hints.win_gravity : std::uint32_t(XCB_GRAVITY_NORTH_WEST),
                                          again.x, again.y, now->frame.left, now->frame.right, now->frame.top, now->frame.bottom);
    const std::uint32_t values[] = {std::uint32_t(x), std::uint32_t(y), std::uint32_t(again.width), std::uint32_t(again.height)};
    xcb_configure_window(c, window, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, values);
    requestAnswerMark();
    m_connection.flush();
    if (awaitAnswer(window, again, *now) == Answer::gone)
        m_watched.erase(window);
}

X11Windows::Answer X11Windows::awaitAnswer(std::uint32_t window, const Target& target, const ClientGeometry& start)
{
    // The window's geometry, followed through its ConfigureNotify events: real ones carry the
    // size, the window manager's synthetic ones (ICCCM) the position in root coordinates too.
    // A window that shows the frame asked for (its size limits applied) ends the wait once the
    // window manager has answered the mark: a window manager that carries out a request
    // wrongly may pass through the frame on its way (fluxbox grows a window by a move after
    // sizing it right). Once the mark is answered, the window is read again. A window manager
    // that places the window otherwise never gets there: once the events stop for a while the
    // window is taken as settled, and the safety timeout ends the wait when no answer comes.
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + settleTimeout;
    ClientGeometry known = start;
    bool sawChange = false;
    bool answered = false;
    for (;;) {
        const auto now = Clock::now();
        if (now >= deadline)
            return Answer::elsewhere;
        auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
        if (sawChange && answered)
            wait = std::min(wait, quietTime);
        bool destroyed = false;
        bool markAnswered = false;
        const bool changed = m_connection.waitForEvent(
            [&](xcb_generic_event_t* e) {
                const auto type = e->response_type & 0x7f;
                if (type == XCB_CONFIGURE_NOTIFY) {
                    const auto* configure = reinterpret_cast<xcb_configure_notify_event_t*>(e);
                    if (configure->window == m_markWindow && configure->width == m_markWidth) {
                        markAnswered = true;
                        return true;
                    }
                    if (configure->window != window)
                        return false;
                    known.width = configure->width;
                    known.height = configure->height;
                    if (e->response_type & 0x80) {
                        known.x = configure->x;
                        known.y = configure->y;
                    }
                    return true;
                }
                if (type == XCB_DESTROY_NOTIFY && reinterpret_cast<xcb_destroy_notify_event_t*>(e)->window == window) {
                    destroyed = true;
                    return true;
                }
                return false;
            },
            wait);
        if (destroyed)
            return Answer::gone;
        if (markAnswered) {
            answered = true;
            sawChange = true;
            const auto now = readClientGeometry(m_connection, window);
            if (!now)
                return Answer::gone;
            known = *now;
            if (target.reachedBy(known))
                return Answer::reached;
            continue;
        }
        if (!changed && sawChange && answered)
            return Answer::elsewhere;
        if (!changed)
            continue;
        sawChange = true;
        if (answered && target.reachedBy(known))
            return Answer::reached;
    }
}

std::optional<Size> X11Windows::fittedSize(WindowHandle handle, const Size& sizePoints)
{
    const xcb_window_t window = xid(handle);
    // Sizes are asked and answered in points; the hints count pixels. The window's current
    // place decides the display whose scale applies.
    const std::vector<Display> screens = scaledScreens();
    Size size = sizePoints;
    Point place;
    if (!screens.empty()) {
        const auto frame = readFrame(handleOf(window));
        if (!frame)
            return std::nullopt;
        place = frame->origin();
        size = rectToPixels({place.x, place.y, sizePoints.width, sizePoints.height}, screens).size();
    }
    xcb_connection_t* c = m_connection.xcb();
    auto hintsCookie = xcb_icccm_get_wm_normal_hints_unchecked(c, window);
    const auto current = readClientGeometry(m_connection, window);
    xcb_size_hints_t hints{};
    const bool hasHints = xcb_icccm_get_wm_normal_hints_reply(c, hintsCookie, &hints, nullptr);
    if (!current)
        return std::nullopt;
    if (!hasHints)
        return sizePoints;

    // The same rules as the window manager's (ICCCM 4.1.2.3), on the client's own size.
    const ClientGeometry::Extents& f = current->frame;
    const ClientGeometry::Extents& g = current->gtk;
    const int extraWidth = f.left + f.right - g.left - g.right;
    const int extraHeight = f.top + f.bottom - g.top - g.bottom;
    const auto [width, height] = fittedClientSize(hints, saturatedSize(size.width) - extraWidth, saturatedSize(size.height) - extraHeight);
    const Size fitted{double(width + extraWidth), double(height + extraHeight)};
    if (screens.empty())
        return fitted;
    const Rect asked = rectToPixels({place.x, place.y, sizePoints.width, sizePoints.height}, screens);
    return rectFromPixels({asked.x, asked.y, fitted.width, fitted.height}, screens).size();
}

std::vector<std::uint32_t> X11Windows::frontToBack() { return clientsFrontToBack(m_connection).value_or(std::vector<std::uint32_t>{}); }

std::optional<ClientWindow> X11Windows::focusedWindow()
{
    xcb_ewmh_connection_t* ewmh = m_connection.ewmh();
    xcb_window_t active = XCB_WINDOW_NONE;
    if (!xcb_ewmh_get_active_window_reply(ewmh, xcb_ewmh_get_active_window_unchecked(ewmh, m_connection.screenNumber()), &active, nullptr)
        || active == XCB_WINDOW_NONE)
        return std::nullopt;
    return ClientWindow{handleOf(active), pidOf(m_connection, active)};
}

WindowAccessError X11Windows::focusedWindowError()
{
    const auto window = focusedWindow();
    if (!window)
        return WindowAccessError::none;
    xcb_generic_error_t* error = nullptr;
    Reply<xcb_get_geometry_reply_t> reply(xcb_get_geometry_reply(m_connection.xcb(), xcb_get_geometry(m_connection.xcb(), xid(window->handle)), &error));
    return errorKind(Reply<xcb_generic_error_t>(error).get());
}

std::optional<ClientWindow> X11Windows::windowAtPoint(Point screenPoint)
{
    xcb_connection_t* c = m_connection.xcb();
    xcb_ewmh_connection_t* ewmh = m_connection.ewmh();
    const ScreenSpace space = ScreenSpace::of(m_displays.displays());

    // Front to back, skip what the user cannot see; the first window under the point decides.
    for (const xcb_window_t w : frontToBack()) {
        auto attributesCookie = xcb_get_window_attributes_unchecked(c, w);
        auto stateCookie = requestProperty(c, w, ewmh->_NET_WM_STATE);
        Reply<xcb_get_window_attributes_reply_t> attributes(xcb_get_window_attributes_reply(c, attributesCookie, nullptr));
        const auto state = cardinals(c, stateCookie);
        if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE || contains(state, ewmh->_NET_WM_STATE_HIDDEN))
            continue;
        const auto frame = readFrame(handleOf(w));
        if (!frame || !containsPoint(space.fromWindow(*frame), screenPoint))
            continue;

        const std::int32_t pid = pidOf(m_connection, w);
        if (pid == ::getpid())
            return std::nullopt;
        if (!isStandardWindow(handleOf(w)).value_or(false))
            return std::nullopt;
        return ClientWindow{handleOf(w), pid};
    }
    return std::nullopt;
}

std::vector<ClientWindow> X11Windows::windowsOfApplication(std::int32_t pid)
{
    std::vector<ClientWindow> result;
    for (const xcb_window_t w : frontToBack()) {
        if (pidOf(m_connection, w) == pid)
            result.push_back({handleOf(w), pid});
    }
    return result;
}

std::vector<ClientWindow> X11Windows::windowsOfProcesses(const std::vector<std::int32_t>& pids)
{
    std::vector<ClientWindow> result;
    for (const xcb_window_t w : frontToBack()) {
        const std::int32_t pid = pidOf(m_connection, w);
        if (std::find(pids.begin(), pids.end(), pid) != pids.end())
            result.push_back({handleOf(w), pid});
    }
    return result;
}

std::optional<bool> X11Windows::isStandardWindow(WindowHandle handle)
{
    const xcb_window_t window = xid(handle);
    // A normal window, or one without a type that is not transient for another.
    xcb_connection_t* c = m_connection.xcb();
    xcb_ewmh_connection_t* ewmh = m_connection.ewmh();
    auto geometryCookie = xcb_get_geometry_unchecked(c, window);
    auto typeCookie = requestProperty(c, window, ewmh->_NET_WM_WINDOW_TYPE);
    auto transientCookie = xcb_icccm_get_wm_transient_for_unchecked(c, window);
    Reply<xcb_get_geometry_reply_t> exists(xcb_get_geometry_reply(c, geometryCookie, nullptr));
    const auto types = cardinals(c, typeCookie);
    xcb_window_t transientFor = XCB_WINDOW_NONE;
    const bool isTransient = xcb_icccm_get_wm_transient_for_reply(c, transientCookie, &transientFor, nullptr) && transientFor != XCB_WINDOW_NONE;
    if (!exists)
        return std::nullopt;
    return types.empty() ? !isTransient : types.front() == ewmh->_NET_WM_WINDOW_TYPE_NORMAL;
}

std::optional<bool> X11Windows::isMinimized(WindowHandle handle)
{
    const xcb_window_t window = xid(handle);
    xcb_connection_t* c = m_connection.xcb();
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(c, requestProperty(c, window, m_connection.ewmh()->_NET_WM_STATE), nullptr));
    if (!reply)
        return std::nullopt;
    const auto* data = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    const int n = reply->format == 32 ? xcb_get_property_value_length(reply.get()) / 4 : 0;
    return std::find(data, data + n, m_connection.ewmh()->_NET_WM_STATE_HIDDEN) != data + n;
}

void X11Windows::raise(WindowHandle handle)
{
    const xcb_window_t window = xid(handle);
    xcb_ewmh_connection_t* ewmh = m_connection.ewmh();
    const auto active = focusedWindow();
    xcb_ewmh_request_change_active_window(ewmh, m_connection.screenNumber(), window, XCB_EWMH_CLIENT_SOURCE_TYPE_OTHER,
                                          XCB_CURRENT_TIME, active ? xid(active->handle) : xcb_window_t(XCB_WINDOW_NONE));
    m_connection.flush();
}

void X11Windows::stopInteractiveMove(WindowHandle handle)
{
    const xcb_window_t window = xid(handle);
    xcb_ewmh_connection_t* ewmh = m_connection.ewmh();
    xcb_ewmh_request_wm_moveresize(ewmh, m_connection.screenNumber(), window, 0, 0, XCB_EWMH_WM_MOVERESIZE_CANCEL,
                                   XCB_BUTTON_INDEX_ANY, XCB_EWMH_CLIENT_SOURCE_TYPE_OTHER);
    m_connection.flush();
}

void X11Windows::resumeInteractiveMove(WindowHandle handle, Point screenPointer)
{
    const xcb_window_t window = xid(handle);
    // The window manager takes the pointer again and goes on moving while the button is held.
    xcb_ewmh_connection_t* ewmh = m_connection.ewmh();
    const Point p = pixelFromPoint(ScreenSpace::of(m_displays.displays()).toWindow(screenPointer), scaledScreens());
    xcb_ewmh_request_wm_moveresize(ewmh, m_connection.screenNumber(), window, std::uint32_t(p.x), std::uint32_t(p.y), XCB_EWMH_WM_MOVERESIZE_MOVE, XCB_BUTTON_INDEX_1,
                                   XCB_EWMH_CLIENT_SOURCE_TYPE_OTHER);
    m_connection.flush();
}

} // namespace quandrel::x11
