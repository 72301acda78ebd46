#include "X11ScreenCapture.h"

#include "X11CaptureSupport.h"
#include "X11Connection.h"
#include "X11Properties.h"

#include <xcb/composite.h>
#include <xcb/render.h>
#include <xcb/shape.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>
#include <xcb/xcb_icccm.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>

namespace quandrel::x11 {

using namespace capture;

// The top-level windows made invisible by hideOwnWindows(), with the bounding shapes they had.
class X11ScreenCapture::Hidden final {
public:
    struct Entry {
        xcb_window_t window;
        bool shaped;
        std::uint8_t ordering;
        std::vector<xcb_rectangle_t> rectangles;
    };

    Hidden(xcb_connection_t* c, std::vector<Entry> entries)
        : m_connection(c)
        , m_entries(std::move(entries))
    {
    }

    // Puts every shape back as it was. A window that vanished meanwhile only earns an error
    // that nobody waits for.
    ~Hidden()
    {
        for (const Entry& e : m_entries) {
            if (e.shaped) {
                xcb_shape_rectangles(m_connection, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, e.ordering, e.window, 0, 0,
                                     std::uint32_t(e.rectangles.size()), e.rectangles.data());
            } else {
                xcb_shape_mask(m_connection, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, e.window, 0, 0, XCB_PIXMAP_NONE);
            }
        }
        xcb_flush(m_connection);
    }

private:
    xcb_connection_t* m_connection;
    std::vector<Entry> m_entries;
};

// What hideOwnWindows() hands out. Overlapping captures share one set of hidden windows, so
// that the second never takes the empty shape for the original one.
class X11ScreenCapture::HiddenToken final : public HiddenWindows {
public:
    explicit HiddenToken(std::shared_ptr<Hidden> hidden)
        : m_hidden(std::move(hidden))
    {
    }

private:
    std::shared_ptr<Hidden> m_hidden;
};

X11ScreenCapture::X11ScreenCapture(X11Connection& connection)
    : ownPid(::getpid())
    , m_connection(connection)
{
    xcb_connection_t* c = m_connection.xcb();
    // Every extension's version is asked for in one go before any answer is awaited.
    xcb_prefetch_extension_data(c, &xcb_shm_id);
    xcb_prefetch_extension_data(c, &xcb_composite_id);
    xcb_prefetch_extension_data(c, &xcb_shape_id);
    xcb_prefetch_extension_data(c, &xcb_render_id);
    const bool shm = present(c, &xcb_shm_id);
    const bool render = present(c, &xcb_render_id);
    const bool composite = present(c, &xcb_composite_id);
    const bool shape = present(c, &xcb_shape_id);
    xcb_shm_query_version_cookie_t shmCookie{};
    xcb_composite_query_version_cookie_t compositeCookie{};
    xcb_shape_query_version_cookie_t shapeCookie{};
    if (shm)
        shmCookie = xcb_shm_query_version(c);
    if (composite)
        compositeCookie = xcb_composite_query_version(c, 0, 4);
    if (shape)
        shapeCookie = xcb_shape_query_version(c);
    xcb_render_query_pict_formats_cookie_t formatsCookie{};
    if (render)
        formatsCookie = xcb_render_query_pict_formats(c);
    bool sharedPixmaps = false;
    if (shm) {
        Reply<xcb_shm_query_version_reply_t> reply(xcb_shm_query_version_reply(c, shmCookie, nullptr));
        m_shm = reply != nullptr;
        sharedPixmaps = reply && reply->shared_pixmaps && reply->pixmap_format == XCB_IMAGE_FORMAT_Z_PIXMAP;
    }
    if (render) {
        Reply<xcb_render_query_pict_formats_reply_t> formats(xcb_render_query_pict_formats_reply(c, formatsCookie, nullptr));
        if (formats) {
            for (auto it = xcb_render_query_pict_formats_formats_iterator(formats.get()); it.rem; xcb_render_pictforminfo_next(&it)) {
                const xcb_render_directformat_t& d = it.data->direct;
                if (it.data->type == XCB_RENDER_PICT_TYPE_DIRECT && it.data->depth == 32 && d.alpha_shift == 24 && d.alpha_mask == 0xff
                    && d.red_shift == 16 && d.red_mask == 0xff && d.green_shift == 8 && d.green_mask == 0xff && d.blue_shift == 0
                    && d.blue_mask == 0xff)
                    m_argbFormat = it.data->id;
            }
            const xcb_visualid_t rootVisual = m_connection.screen()->root_visual;
            for (auto screens = xcb_render_query_pict_formats_screens_iterator(formats.get()); screens.rem; xcb_render_pictscreen_next(&screens)) {
                for (auto depths = xcb_render_pictscreen_depths_iterator(screens.data); depths.rem; xcb_render_pictdepth_next(&depths)) {
                    for (auto visuals = xcb_render_pictdepth_visuals_iterator(depths.data); visuals.rem; xcb_render_pictvisual_next(&visuals)) {
                        if (visuals.data->visual == rootVisual)
                            m_rootFormat = visuals.data->format;
                    }
                }
            }
        }
    }
    m_render = sharedPixmaps && m_argbFormat && m_rootFormat;
    if (composite) {
        // NameWindowPixmap arrived with version 0.2.
        Reply<xcb_composite_query_version_reply_t> reply(xcb_composite_query_version_reply(c, compositeCookie, nullptr));
        m_composite = reply && (reply->major_version > 0 || reply->minor_version >= 2);
    }
    if (shape)
        m_shape = Reply<xcb_shape_query_version_reply_t>(xcb_shape_query_version_reply(c, shapeCookie, nullptr)) != nullptr;
    m_useShm = m_shm;
}

X11ScreenCapture::~X11ScreenCapture() { releaseBuffers(); }

std::uint32_t X11ScreenCapture::topLevelOf(std::uint32_t window)
{
    xcb_connection_t* c = m_connection.xcb();
    const xcb_window_t root = m_connection.root();
    for (int depth = 0; depth < 32 && window != XCB_WINDOW_NONE; ++depth) {
        Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree_unchecked(c, window), nullptr));
        if (!tree)
            return XCB_WINDOW_NONE;
        if (tree->parent == root || tree->parent == XCB_WINDOW_NONE)
            return window;
        window = tree->parent;
    }
    return XCB_WINDOW_NONE;
}

std::unique_ptr<ScreenCapture::HiddenWindows> X11ScreenCapture::hideOwnWindows()
{
    if (!m_shape)
        return nullptr;
    if (auto current = m_hidden.lock())
        return std::make_unique<HiddenToken>(std::move(current));
    xcb_connection_t* c = m_connection.xcb();
    xcb_ewmh_connection_t* ewmh = m_connection.ewmh();
    const xcb_window_t root = m_connection.root();

    // Our windows are the managed clients that carry our pid, each shown through the window
    // manager's frame, plus top-level windows of our own that the manager does not manage
    // (menus, tooltips, toasts).
    std::vector<xcb_window_t> candidates = clientList(m_connection);
    const auto topLevels = viewableChildren(c, childrenOf(c, root));
    for (const Child& child : topLevels)
        candidates.push_back(child.window);

    std::vector<xcb_get_property_cookie_t> pidCookies;
    for (xcb_window_t w : candidates)
        pidCookies.push_back(requestProperty(c, w, ewmh->_NET_WM_PID, 1));
    std::vector<xcb_window_t> own;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        if (pidFrom(c, pidCookies[i]) != ownPid)
            continue;
        const xcb_window_t top = topLevelOf(candidates[i]);
        const bool viewable = std::any_of(topLevels.begin(), topLevels.end(), [&](const Child& t) { return t.window == top; });
        if (viewable && std::find(own.begin(), own.end(), top) == own.end())
            own.push_back(top);
    }
    if (own.empty())
        return nullptr;

    std::vector<xcb_shape_query_extents_cookie_t> extentCookies;
    std::vector<xcb_shape_get_rectangles_cookie_t> rectangleCookies;
    for (xcb_window_t w : own) {
        extentCookies.push_back(xcb_shape_query_extents_unchecked(c, w));
        rectangleCookies.push_back(xcb_shape_get_rectangles_unchecked(c, w, XCB_SHAPE_SK_BOUNDING));
    }
    std::vector<Hidden::Entry> entries;
    for (std::size_t i = 0; i < own.size(); ++i) {
        Reply<xcb_shape_query_extents_reply_t> extents(xcb_shape_query_extents_reply(c, extentCookies[i], nullptr));
        Reply<xcb_shape_get_rectangles_reply_t> rectangles(xcb_shape_get_rectangles_reply(c, rectangleCookies[i], nullptr));
        if (!extents || !rectangles)
            continue; // vanished
        Hidden::Entry e{own[i], bool(extents->bounding_shaped), rectangles->ordering, {}};
        if (e.shaped) {
            const xcb_rectangle_t* r = xcb_shape_get_rectangles_rectangles(rectangles.get());
            e.rectangles.assign(r, r + xcb_shape_get_rectangles_rectangles_length(rectangles.get()));
        }
        xcb_shape_rectangles(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, XCB_CLIP_ORDERING_UNSORTED, e.window, 0, 0, 0, nullptr);
        entries.push_back(std::move(e));
    }
    if (entries.empty())
        return nullptr;
    // A round trip: the server has applied every shape before anything is grabbed.
    Reply<xcb_get_input_focus_reply_t>(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    auto hidden = std::make_shared<Hidden>(c, std::move(entries));
    m_hidden = hidden;
    return std::make_unique<HiddenToken>(std::move(hidden));
}

// A shared memory segment attached on both sides. Only the local mapping is undone here:
// the server's attachment is dropped by the pool, on the connection's thread, even while an
// image still reads the pixels.
struct X11ScreenCapture::Segment {
    void* address = nullptr;
    std::size_t size = 0;
    std::uint32_t id = 0; // the server's name for it
    ~Segment() { ::shmdt(address); }
};

std::shared_ptr<X11ScreenCapture::Segment> X11ScreenCapture::freeSegment(std::size_t size)
{
    // A segment that no image holds any more is reused as it is: its pages are already in
    // place in both processes, which spares a fault on every page of every grab.
    for (const auto& segment : m_segments) {
        if (segment.use_count() == 1 && segment->size >= size)
            return segment;
    }
    // Segments that are too small, or more than are needed, are let go.
    xcb_connection_t* c = m_connection.xcb();
    std::erase_if(m_segments, [&](const std::shared_ptr<Segment>& segment) {
        if (segment.use_count() > 1 && m_segments.size() < maxSegments)
            return false;
        xcb_shm_detach(c, segment->id);
        return true;
    });

    const int id = ::shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
    if (id < 0)
        return nullptr;
    void* address = ::shmat(id, nullptr, 0);
    if (address == reinterpret_cast<void*>(-1)) {
        ::shmctl(id, IPC_RMID, nullptr);
        return nullptr;
    }
    auto segment = std::make_shared<Segment>();
    segment->address = address;
    segment->size = size;
    segment->id = xcb_generate_id(c);
    const bool refused = errorOf(c, xcb_shm_attach_checked(c, segment->id, std::uint32_t(id), 0), "ShmAttach").has_value();
    // Once the server holds it, the segment goes away with the last mapping, whatever
    // becomes of this process.
    ::shmctl(id, IPC_RMID, nullptr);
    if (refused)
        return nullptr;
    m_segments.push_back(segment);
    return segment;
}

void X11ScreenCapture::releaseBuffers()
{
    xcb_connection_t* c = m_connection.xcb();
    for (const auto& segment : m_segments)
        xcb_shm_detach(c, segment->id);
    m_segments.clear();
    xcb_flush(c);
}

GrabResult<PixelBuffer> X11ScreenCapture::grabArea(const Rect& area)
{
    const xcb_screen_t* screen = m_connection.screen();
    const Rect root{0, 0, double(screen->width_in_pixels), double(screen->height_in_pixels)};
    const bool integral = area.x == std::floor(area.x) && area.y == std::floor(area.y) && area.width == std::floor(area.width)
        && area.height == std::floor(area.height);
    if (!integral || area.isEmpty() || root.intersected(area) != area)
        return GrabFailure{"the area " + toString(area) + " is not a whole-pixel part of the screen " + toString(root)};
    return grabDrawable(m_connection.root(), int(area.x), int(area.y), int(area.width), int(area.height));
}

GrabResult<PixelBuffer> X11ScreenCapture::grabDrawable(std::uint32_t drawable, int x, int y, int width, int height)
{
    xcb_connection_t* c = m_connection.xcb();
    const xcb_setup_t* setup = xcb_get_setup(c);
    const bool nativeOrder = (setup->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST) == (std::endian::native == std::endian::little);
    if (!nativeOrder)
        return GrabFailure{"the X server's image byte order differs from this machine's"};
    if (width <= 0 || height <= 0)
        return GrabFailure{"an empty area"};

    // Both depths that hold true colour store a pixel in 32 bits; the scan line pad decides
    // the stride.
    auto strideFor = [&](int depth) -> std::ptrdiff_t {
        for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem; xcb_format_next(&it)) {
            if (it.data->depth == depth && it.data->bits_per_pixel == 32) {
                const std::ptrdiff_t pad = it.data->scanline_pad;
                return ((std::ptrdiff_t(width) * 32 + pad - 1) / pad) * pad / 8;
            }
        }
        return 0;
    };

    if (m_useShm && composesOpaque() && drawable == m_connection.root()) {
        if (const std::ptrdiff_t stride = strideFor(32)) {
            auto composed = composeOpaque(x, y, width, height, stride);
            if (std::holds_alternative<PixelBuffer>(composed))
                return composed;
        }
        // Refused: read the plain way.
    }
    if (m_useShm) {
        const std::size_t size = std::size_t(strideFor(24) ? strideFor(24) : std::ptrdiff_t(width) * 4) * std::size_t(height);
        if (const auto segment = freeSegment(size)) {
            xcb_generic_error_t* rawError = nullptr;
            Reply<xcb_shm_get_image_reply_t> reply(xcb_shm_get_image_reply(
                c,
                xcb_shm_get_image(c, drawable, std::int16_t(x), std::int16_t(y), std::uint16_t(width), std::uint16_t(height), ~0u,
                                  XCB_IMAGE_FORMAT_Z_PIXMAP, segment->id, 0),
                &rawError));
            Reply<xcb_generic_error_t> error(rawError);
            if (!reply)
                return refusal("ShmGetImage", error.get());
            const std::ptrdiff_t stride = strideFor(reply->depth);
            if (stride == 0)
                return GrabFailure{"unsupported depth " + std::to_string(reply->depth)};
            // The image holds the segment; it goes back to the pool when the image goes.
            return opaquePixels(width, height, stride, static_cast<std::uint8_t*>(segment->address), segment);
        }
        // No segment the server could attach (a remote server, say): fall back.
    }

    xcb_generic_error_t* rawError = nullptr;
    auto cookie = xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, drawable, std::int16_t(x), std::int16_t(y), std::uint16_t(width),
                                std::uint16_t(height), ~0u);
    std::shared_ptr<xcb_get_image_reply_t> reply(xcb_get_image_reply(c, cookie, &rawError), [](void* p) { std::free(p); });
    Reply<xcb_generic_error_t> error(rawError);
    if (!reply)
        return refusal("GetImage", error.get());
    const std::ptrdiff_t stride = strideFor(reply->depth);
    if (stride == 0)
        return GrabFailure{"unsupported depth " + std::to_string(reply->depth)};
    if (xcb_get_image_data_length(reply.get()) < stride * height)
        return GrabFailure{"GetImage answered with too little data"};
    std::uint8_t* data = xcb_get_image_data(reply.get());
    return opaquePixels(width, height, stride, data, std::move(reply));
}

// The area of the screen, windows included, composited onto a 32-bit pixmap that lives in a
// shared segment: the server writes each pixel once, with its alpha set, as a read would.
GrabResult<PixelBuffer> X11ScreenCapture::composeOpaque(int x, int y, int width, int height, std::ptrdiff_t stride)
{
    xcb_connection_t* c = m_connection.xcb();
    const auto segment = freeSegment(std::size_t(stride) * std::size_t(height));
    if (!segment)
        return GrabFailure{"no shared memory"};
    const xcb_pixmap_t pixmap = xcb_generate_id(c);
    const xcb_render_picture_t source = xcb_generate_id(c);
    const xcb_render_picture_t target = xcb_generate_id(c);
    xcb_shm_create_pixmap(c, pixmap, m_connection.root(), std::uint16_t(width), std::uint16_t(height), 32, segment->id, 0);
    const std::uint32_t includeInferiors[] = {XCB_SUBWINDOW_MODE_INCLUDE_INFERIORS};
    xcb_render_create_picture(c, source, m_connection.root(), m_rootFormat, XCB_RENDER_CP_SUBWINDOW_MODE, includeInferiors);
    xcb_render_create_picture(c, target, pixmap, m_argbFormat, 0, nullptr);
    const auto composite = xcb_render_composite_checked(c, XCB_RENDER_PICT_OP_SRC, source, XCB_RENDER_PICTURE_NONE, target, std::int16_t(x),
                                                        std::int16_t(y), 0, 0, 0, 0, std::uint16_t(width), std::uint16_t(height));
    xcb_render_free_picture(c, source);
    xcb_render_free_picture(c, target);
    xcb_free_pixmap(c, pixmap);
    // The check waits for the server, which has written the pixels by then.
    if (auto error = errorOf(c, composite, "Composite"))
        return *error;
    return PixelBuffer{width, height, stride, static_cast<std::uint8_t*>(segment->address), segment};
}

} // namespace quandrel::x11
