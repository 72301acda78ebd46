#pragma once

// What both halves of X11 screen capture share (X11ScreenCapture.cpp reads the screen,
// X11ScreenWindows.cpp the windows): refused requests as failures, children of a window,
// opaque pixels.

#include "ScreenCapture.h"
#include "X11Connection.h"
#include "X11Properties.h"

#include <xcb/xcb.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quandrel::x11::capture {

inline bool present(xcb_connection_t* c, xcb_extension_t* extension)
{
    const xcb_query_extension_reply_t* data = xcb_get_extension_data(c, extension);
    return data && data->present;
}

// A refused request as a failure fit for a log, without the protocol's error numbers.
inline GrabFailure refusal(const char* what, const xcb_generic_error_t* error)
{
    const WindowAccessError kind = error ? errorKind(error) : WindowAccessError::refused;
    return GrabFailure{std::string(what) + " refused (" + describe(kind) + ")", kind};
}

// A checked request's failure, if any; none when it succeeded.
inline std::optional<GrabFailure> errorOf(xcb_connection_t* c, xcb_void_cookie_t cookie, const char* what)
{
    Reply<xcb_generic_error_t> error(xcb_request_check(c, cookie));
    if (!error)
        return std::nullopt;
    return refusal(what, error.get());
}

// The viewable children of a window, bottom to top, with their outer rectangles (border
// included) relative to it.
struct Child {
    xcb_window_t window;
    Rect outer;
};
inline std::vector<xcb_window_t> childrenOf(xcb_connection_t* c, xcb_window_t window)
{
    Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree_unchecked(c, window), nullptr));
    if (!tree)
        return {};
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    return {children, children + xcb_query_tree_children_length(tree.get())};
}

inline std::vector<Child> viewableChildren(xcb_connection_t* c, const std::vector<xcb_window_t>& windows)
{
    std::vector<std::pair<xcb_get_window_attributes_cookie_t, xcb_get_geometry_cookie_t>> cookies;
    cookies.reserve(windows.size());
    for (xcb_window_t w : windows)
        cookies.push_back({xcb_get_window_attributes_unchecked(c, w), xcb_get_geometry_unchecked(c, w)});
    std::vector<Child> result;
    for (std::size_t i = 0; i < windows.size(); ++i) {
        Reply<xcb_get_window_attributes_reply_t> attributes(xcb_get_window_attributes_reply(c, cookies[i].first, nullptr));
        Reply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, cookies[i].second, nullptr));
        if (!attributes || !geometry || attributes->map_state != XCB_MAP_STATE_VIEWABLE)
            continue;
        const int border = geometry->border_width;
        result.push_back({windows[i], {double(geometry->x), double(geometry->y), double(geometry->width + 2 * border),
                                       double(geometry->height + 2 * border)}});
    }
    return result;
}

// The server hands a pixel over in 32 bits and leaves the top byte of a depth-24 pixel as it
// found it: 0, or whatever a client put there; a depth-32 window's own image has its alpha
// there, which the screen without a compositing manager ignores too. Images read that byte
// as alpha, so it is made opaque once, where the pixels arrive. Eight pixels at a time,
// which the compiler turns into vector instructions.
inline void makeOpaque(std::uint8_t* data, std::ptrdiff_t stride, int width, int height)
{
    const bool contiguous = stride == std::ptrdiff_t(width) * 4;
    const std::size_t rowLength = contiguous ? std::size_t(width) * std::size_t(height) : std::size_t(width);
    const int rows = contiguous ? 1 : height;
    for (int y = 0; y < rows; ++y) {
        auto* p = reinterpret_cast<std::uint32_t*>(data + stride * y);
        std::size_t x = 0;
        for (; x + 8 <= rowLength; x += 8) {
            for (std::size_t i = 0; i < 8; ++i)
                p[x + i] |= 0xff000000u;
        }
        for (; x < rowLength; ++x)
            p[x] |= 0xff000000u;
    }
}

inline PixelBuffer opaquePixels(int width, int height, std::ptrdiff_t stride, std::uint8_t* data, std::shared_ptr<void> owner)
{
    makeOpaque(data, stride, width, height);
    return {width, height, stride, data, std::move(owner)};
}

} // namespace quandrel::x11::capture
