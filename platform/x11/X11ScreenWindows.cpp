#include "X11ScreenCapture.h"

#include "X11CaptureSupport.h"
#include "X11Connection.h"
#include "X11Properties.h"

#include <xcb/composite.h>
#include <xcb/xfixes.h>
#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>
#include <xcb/xcb_icccm.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <unistd.h>

// The windows side of X11 screen capture: the window list front to back, a window by itself
// from its Composite pixmap, and the pointer.

namespace quandrel::x11 {

using namespace capture;

// A window's own image: either read straight off the screen, where nothing covers it, or from
// its Composite pixmap, which holds the covered parts as well.
class X11ScreenCapture::CompositeImage final : public WindowImage {
public:
    CompositeImage(X11ScreenCapture& owner, xcb_window_t frame, bool redirected, Rect area)
        : m_owner(owner)
        , m_frame(frame)
        , m_redirected(redirected)
        , m_area(area)
    {
    }

    ~CompositeImage() override
    {
        xcb_connection_t* c = m_owner.m_connection.xcb();
        if (m_redirected)
            xcb_composite_unredirect_window(c, m_frame, XCB_COMPOSITE_REDIRECT_AUTOMATIC);
        xcb_flush(c);
    }

    bool needsRepaint() const override { return m_redirected; }

    GrabResult<PixelBuffer> read() override
    {
        if (m_frame == XCB_WINDOW_NONE)
            return m_owner.grabArea(m_area);
        xcb_connection_t* c = m_owner.m_connection.xcb();
        const xcb_pixmap_t pixmap = xcb_generate_id(c);
        if (auto error = errorOf(c, xcb_composite_name_window_pixmap_checked(c, m_frame, pixmap), "NameWindowPixmap"))
            return *error;
        auto result = m_owner.grabDrawable(pixmap, int(m_area.x), int(m_area.y), int(m_area.width), int(m_area.height));
        xcb_free_pixmap(c, pixmap);
        xcb_flush(c);
        return result;
    }

private:
    X11ScreenCapture& m_owner;
    xcb_window_t m_frame;   // none: read m_area off the root window
    bool m_redirected;      // redirected by us, for the moment of this capture
    Rect m_area;            // relative to the pixmap, or to the root window
};

GrabResult<std::vector<ScreenWindow>> X11ScreenCapture::windowsFrontToBack()
{
    xcb_connection_t* c = m_connection.xcb();
    xcb_ewmh_connection_t* ewmh = m_connection.ewmh();
    const auto frontToBack = clientsFrontToBack(m_connection);
    if (!frontToBack)
        return GrabFailure{"the window manager publishes no _NET_CLIENT_LIST_STACKING"};
    const std::vector<xcb_window_t>& stacking = *frontToBack;

    struct Cookies {
        xcb_get_window_attributes_cookie_t attributes;
        xcb_get_property_cookie_t state, type, pid;
        xcb_get_property_cookie_t transient;
    };
    std::vector<Cookies> cookies;
    cookies.reserve(stacking.size());
    for (xcb_window_t w : stacking) {
        cookies.push_back({xcb_get_window_attributes_unchecked(c, w), requestProperty(c, w, ewmh->_NET_WM_STATE),
                           requestProperty(c, w, ewmh->_NET_WM_WINDOW_TYPE), requestProperty(c, w, ewmh->_NET_WM_PID, 1),
                           xcb_icccm_get_wm_transient_for_unchecked(c, w)});
    }
    std::vector<ScreenWindow> result;
    for (std::size_t i = 0; i < stacking.size(); ++i) {
        Reply<xcb_get_window_attributes_reply_t> attributes(xcb_get_window_attributes_reply(c, cookies[i].attributes, nullptr));
        const auto state = cardinals(c, cookies[i].state);
        const auto types = cardinals(c, cookies[i].type);
        const std::int32_t pid = pidFrom(c, cookies[i].pid);
        xcb_window_t transientFor = XCB_WINDOW_NONE;
        xcb_icccm_get_wm_transient_for_reply(c, cookies[i].transient, &transientFor, nullptr);
        const bool hidden = contains(state, ewmh->_NET_WM_STATE_HIDDEN);
        if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE || hidden)
            continue;
        // Application windows and their dialogs; an untyped window is one of those too.
        const bool ordinary = types.empty() || types.front() == ewmh->_NET_WM_WINDOW_TYPE_NORMAL
            || types.front() == ewmh->_NET_WM_WINDOW_TYPE_DIALOG;
        const auto frame = readVisibleFrame(m_connection, stacking[i]);
        if (!frame)
            continue; // vanished
        result.push_back({{handleOf(stacking[i]), pid}, *frame, ordinary});
    }
    return result;
}

GrabResult<std::unique_ptr<ScreenCapture::WindowImage>> X11ScreenCapture::prepareWindow(WindowHandle handle)
{
    const xcb_window_t window = xid(handle);
    xcb_connection_t* c = m_connection.xcb();
    const xcb_window_t root = m_connection.root();
    const auto frame = readVisibleFrame(m_connection, window);
    const xcb_window_t top = topLevelOf(window);
    if (!frame || top == XCB_WINDOW_NONE)
        return GrabFailure{"the window " + std::to_string(window) + " is gone", WindowAccessError::windowGone};

    // Where nothing lies above the window and it is wholly on the screen, the screen shows
    // exactly its pixels.
    const auto topLevels = viewableChildren(c, childrenOf(c, root));
    const auto self = std::find_if(topLevels.begin(), topLevels.end(), [&](const Child& t) { return t.window == top; });
    if (self == topLevels.end())
        return GrabFailure{"the window " + std::to_string(window) + " is not on screen"};
    const bool covered = std::any_of(std::next(self), topLevels.end(), [&](const Child& t) { return !t.outer.intersected(*frame).isEmpty(); });
    const xcb_screen_t* screen = m_connection.screen();
    const Rect rootArea{0, 0, double(screen->width_in_pixels), double(screen->height_in_pixels)};
    if (!covered && rootArea.intersected(*frame) == *frame)
        return std::unique_ptr<WindowImage>(std::make_unique<CompositeImage>(*this, XCB_WINDOW_NONE, false, *frame));

    if (!m_composite)
        return GrabFailure{"the window is covered and the X server has no Composite extension"};

    // The frame as the user sees it, relative to the top-level window's pixmap, which starts
    // at the outside of its border.
    Reply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, xcb_get_geometry_unchecked(c, top), nullptr));
    Reply<xcb_translate_coordinates_reply_t> origin(
        xcb_translate_coordinates_reply(c, xcb_translate_coordinates_unchecked(c, top, root, 0, 0), nullptr));
    if (!geometry || !origin)
        return GrabFailure{"the window " + std::to_string(window) + " is gone", WindowAccessError::windowGone};
    const int border = geometry->border_width;
    const Rect pixmapArea{0, 0, double(geometry->width + 2 * border), double(geometry->height + 2 * border)};
    Rect area{frame->x - (origin->dst_x - border), frame->y - (origin->dst_y - border), frame->width, frame->height};
    area = area.intersected(pixmapArea);
    if (area.isEmpty())
        return GrabFailure{"the window " + std::to_string(window) + " has nothing to show"};

    // A compositing manager keeps every top-level window redirected already; otherwise the
    // window gets its own pixmap for the moment of the capture and must draw into it first.
    const xcb_pixmap_t probe = xcb_generate_id(c);
    const bool alreadyRedirected = !errorOf(c, xcb_composite_name_window_pixmap_checked(c, top, probe), "NameWindowPixmap");
    if (alreadyRedirected) {
        xcb_free_pixmap(c, probe);
        return std::unique_ptr<WindowImage>(std::make_unique<CompositeImage>(*this, top, false, area));
    }
    if (auto error = errorOf(c, xcb_composite_redirect_window_checked(c, top, XCB_COMPOSITE_REDIRECT_AUTOMATIC), "RedirectWindow"))
        return *error;
    return std::unique_ptr<WindowImage>(std::make_unique<CompositeImage>(*this, top, true, area));
}

std::optional<Point> X11ScreenCapture::pointerPosition()
{
    xcb_connection_t* c = m_connection.xcb();
    Reply<xcb_query_pointer_reply_t> reply(xcb_query_pointer_reply(c, xcb_query_pointer(c, m_connection.root()), nullptr));
    if (!reply || !reply->same_screen)
        return std::nullopt;
    return Point{double(reply->root_x), double(reply->root_y)};
}

std::optional<PointerImage> X11ScreenCapture::pointerImage()
{
    xcb_connection_t* c = m_connection.xcb();
    // The extension must be asked for its version once before its requests are served.
    if (!m_xfixesVersioned) {
        Reply<xcb_xfixes_query_version_reply_t> version(
            xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 4, 0), nullptr));
        if (!version)
            return std::nullopt;
        m_xfixesVersioned = true;
    }
    Reply<xcb_xfixes_get_cursor_image_reply_t> reply(
        xcb_xfixes_get_cursor_image_reply(c, xcb_xfixes_get_cursor_image(c), nullptr));
    if (!reply || reply->width == 0 || reply->height == 0
        || xcb_xfixes_get_cursor_image_cursor_image_length(reply.get()) < int(reply->width) * int(reply->height))
        return std::nullopt;
    // Copied out of the reply, which goes with this function.
    const int w = reply->width, h = reply->height;
    auto pixels = std::shared_ptr<std::uint32_t[]>(new std::uint32_t[size_t(w) * size_t(h)]);
    std::memcpy(pixels.get(), xcb_xfixes_get_cursor_image_cursor_image(reply.get()), size_t(w) * size_t(h) * 4);
    PixelBuffer buffer{w, h, std::ptrdiff_t(w) * 4, reinterpret_cast<std::uint8_t*>(pixels.get()), pixels};
    return PointerImage{buffer, {double(reply->x), double(reply->y)}, {double(reply->xhot), double(reply->yhot)}};
}

} // namespace quandrel::x11
