// Capturing on a real X server with a real window manager (openbox): frozen displays show
// windows at their pixels and leave ours out, the window list follows the stacking order,
// covered windows are read from their own pixmaps, and the clipboard serves other programs.

#include "ImageExport.h"
#include "ScreenSpace.h"
#include "ScreenCapturer.h"
#include "X11Connection.h"
#include "X11Desktop.h"
#include "X11Displays.h"
#include "X11ScreenCapture.h"
#include "XTestSupport.h"

#include <QCoroTask>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>

#include <xcb/xcb.h>
#include <xcb/xcb_icccm.h>

#include <gtest/gtest.h>

#include <cstring>
#include <unistd.h>

namespace quandrel {

namespace {

using test::XDesktop;

constexpr std::uint32_t topLeft = 0xd03030, topRight = 0x30d030, bottomLeft = 0x3030d0, bottomRight = 0xd0d030;

xcb_atom_t intern(xcb_connection_t* c, const char* name)
{
    x11::Reply<xcb_intern_atom_reply_t> r(xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr));
    return r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// A managed top-level window whose pixels the server paints itself: one colour, or four
// quadrants of known colours, so that no client drawing has to be awaited.
class PatternWindow {
public:
    PatternWindow(int x, int y, int width, int height, std::optional<std::uint32_t> colour, pid_t pid = 0)
        : m_connection(XDesktop::instance().connection())
    {
        xcb_connection_t* c = m_connection;
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
        m_window = xcb_generate_id(c);
        const std::uint32_t values[] = {colour.value_or(0), 0};
        xcb_create_window(c, XCB_COPY_FROM_PARENT, m_window, screen->root, std::int16_t(x), std::int16_t(y), std::uint16_t(width),
                          std::uint16_t(height), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL, values);
        if (!colour) {
            const std::uint32_t quadrants[] = {topLeft, topRight, bottomLeft, bottomRight};
            for (int i = 0; i < 4; ++i) {
                const xcb_window_t child = xcb_generate_id(c);
                const std::uint32_t background[] = {quadrants[i]};
                xcb_create_window(c, XCB_COPY_FROM_PARENT, child, m_window, std::int16_t(i % 2 ? width / 2 : 0),
                                  std::int16_t(i / 2 ? height / 2 : 0), std::uint16_t(width / 2), std::uint16_t(height / 2), 0,
                                  XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL, background);
                xcb_map_window(c, child);
            }
        }
        xcb_size_hints_t hints{};
        xcb_icccm_size_hints_set_position(&hints, 1, x, y);
        xcb_icccm_size_hints_set_size(&hints, 1, width, height);
        xcb_icccm_set_wm_normal_hints(c, m_window, &hints);
        const char title[] = "capture pattern";
        xcb_icccm_set_wm_name(c, m_window, XCB_ATOM_STRING, 8, sizeof title - 1, title);
        if (pid) {
            const std::uint32_t value = std::uint32_t(pid);
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, m_window, intern(c, "_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1, &value);
        }
        xcb_map_window(c, m_window);
        xcb_flush(c);
        auto& desktop = XDesktop::instance();
        EXPECT_TRUE(desktop.waitUntil([&] { return desktop.isManaged(m_window) && viewable(); }));
    }

    ~PatternWindow()
    {
        xcb_destroy_window(m_connection, m_window);
        xcb_flush(m_connection);
        auto& desktop = XDesktop::instance();
        desktop.waitUntil([&] { return !desktop.isManaged(m_window); });
    }

    std::uint32_t id() const { return m_window; }
    // The client area in root coordinates.
    Rect client() const { return XDesktop::instance().clientGeometry(m_window); }

    bool viewable() const
    {
        x11::Reply<xcb_get_window_attributes_reply_t> a(
            xcb_get_window_attributes_reply(m_connection, xcb_get_window_attributes(m_connection, m_window), nullptr));
        return a && a->map_state == XCB_MAP_STATE_VIEWABLE;
    }

private:
    xcb_connection_t* m_connection;
    xcb_window_t m_window = 0;
};

std::uint32_t rgb(const QImage& image, double x, double y) { return image.pixel(int(x), int(y)) & 0xffffff; }

// The four quadrants of a pattern window, sampled just inside each corner and right beside
// the middle lines, at `origin` (the client's top-left corner in the image).
void expectPattern(const QImage& image, Point origin, Size size)
{
    const double x0 = origin.x, y0 = origin.y, midX = origin.x + size.width / 2, midY = origin.y + size.height / 2;
    const double x1 = origin.x + size.width - 1, y1 = origin.y + size.height - 1;
    EXPECT_EQ(rgb(image, x0, y0), topLeft);
    EXPECT_EQ(rgb(image, midX - 1, midY - 1), topLeft);
    EXPECT_EQ(rgb(image, midX, y0), topRight);
    EXPECT_EQ(rgb(image, x1, midY - 1), topRight);
    EXPECT_EQ(rgb(image, x0, midY), bottomLeft);
    EXPECT_EQ(rgb(image, midX, midY), bottomRight);
    EXPECT_EQ(rgb(image, x1, y1), bottomRight);
}

std::vector<std::uint32_t> stacking()
{
    auto& x = XDesktop::instance();
    xcb_connection_t* c = x.connection();
    x11::Reply<xcb_get_property_reply_t> r(xcb_get_property_reply(
        c, xcb_get_property(c, 0, x.root(), intern(c, "_NET_CLIENT_LIST_STACKING"), XCB_ATOM_WINDOW, 0, 1024), nullptr));
    if (!r)
        return {};
    const auto* d = static_cast<const std::uint32_t*>(xcb_get_property_value(r.get()));
    return {d, d + xcb_get_property_value_length(r.get()) / 4};
}

template <typename T>
T valueOf(CaptureResult<T> result)
{
    if (auto* error = std::get_if<CaptureError>(&result))
        ADD_FAILURE() << "capture failed: " << error->description().toStdString();
    return std::get<T>(std::move(result));
}

class X11CaptureTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        x.setMonitors({"*MAIN 1600x900+0+0", "SIDE 1280x1024+1600+0"});
        desktop = x11::X11Desktop::open();
        ASSERT_TRUE(desktop) << "no X display";
        capture = std::make_unique<x11::X11ScreenCapture>(desktop->connection());
        capturer = std::make_unique<ScreenCapturer>(*capture, desktop->displays());
    }
    void TearDown() override { x.setMonitors({}); }

    XDesktop& x = XDesktop::instance();
    std::unique_ptr<x11::X11Desktop> desktop;
    std::unique_ptr<x11::X11ScreenCapture> capture;
    std::unique_ptr<ScreenCapturer> capturer;
};

} // namespace

TEST_F(X11CaptureTest, FrozenDisplaysShowWindowsAtTheirPixels)
{
    EXPECT_TRUE(capture->hasSharedMemory());
    PatternWindow onMain(200, 150, 300, 200, std::nullopt);
    PatternWindow onSide(1700, 300, 240, 160, std::nullopt);
    for (const bool shm : {true, false}) {
        SCOPED_TRACE(shm ? "MIT-SHM" : "GetImage");
        capture->setSharedMemoryEnabled(shm);
        const auto frozen = valueOf(QCoro::waitFor(capturer->freezeDisplays()));
        ASSERT_EQ(frozen.size(), 2u);
        EXPECT_EQ(frozen[0].screen.name, "MAIN");
        EXPECT_EQ(frozen[0].image.image.size(), QSize(1600, 900));
        EXPECT_EQ(frozen[1].image.image.size(), QSize(1280, 1024));
        EXPECT_EQ(frozen[1].image.scale, 1);
        const Rect a = onMain.client();
        expectPattern(frozen[0].image.image, a.origin(), a.size());
        const Rect b = onSide.client();
        expectPattern(frozen[1].image.image, {b.x - 1600, b.y}, b.size());
    }
}

TEST_F(X11CaptureTest, OwnWindowsAreLeftOutAndPutBackUntouched)
{
    PatternWindow other(300, 300, 400, 300, 0xc01010);
    PatternWindow ours(350, 350, 200, 200, 0x10c010, ::getpid());
    ASSERT_TRUE(x.activate(ours.id()));
    const auto stackingBefore = stacking();
    const Rect own = ours.client();
    const Point middle{own.midX(), own.midY()};
    ASSERT_EQ(rgb(ScreenCapturer::imageOf(std::get<PixelBuffer>(capture->grabArea(own))), own.width / 2, own.height / 2), 0x10c010u);

    const auto frozen = valueOf(QCoro::waitFor(capturer->freezeDisplays()));
    ASSERT_FALSE(frozen.empty());
    EXPECT_EQ(rgb(frozen[0].image.image, middle.x, middle.y), 0xc01010u) << "our window is in the frozen image";

    // Back on screen, still focused, nothing restacked.
    const auto after = capture->grabArea(own);
    ASSERT_TRUE(std::holds_alternative<PixelBuffer>(after));
    EXPECT_EQ(rgb(ScreenCapturer::imageOf(std::get<PixelBuffer>(after)), own.width / 2, own.height / 2), 0x10c010u);
    EXPECT_EQ(x.activeWindow(), ours.id());
    EXPECT_EQ(stacking(), stackingBefore);
    // Nor is it pickable.
    const auto windows = valueOf(QCoro::waitFor(capturer->pickableWindows()));
    EXPECT_TRUE(std::none_of(windows.begin(), windows.end(), [&](const PickableWindow& w) { return w.window == ours.id(); }));
}

TEST_F(X11CaptureTest, PickableWindowsComeFrontToBackAndFollowARaise)
{
    PatternWindow back(100, 100, 300, 200, 0x808080);
    PatternWindow front(200, 150, 300, 200, 0x404040);
    PatternWindow tiny(600, 100, 20, 300, 0x202020); // too narrow to pick, frame included
    ASSERT_TRUE(x.activate(front.id()));

    auto order = [&] {
        std::vector<std::uint32_t> ids;
        for (const PickableWindow& w : valueOf(QCoro::waitFor(capturer->pickableWindows()))) {
            if (w.window == back.id() || w.window == front.id() || w.window == tiny.id())
                ids.push_back(w.window);
        }
        return ids;
    };
    EXPECT_EQ(order(), (std::vector<std::uint32_t>{front.id(), back.id()}));

    // Frames as the user sees them, decorations included, in screen space.
    const auto windows = valueOf(QCoro::waitFor(capturer->pickableWindows()));
    const auto listed = std::find_if(windows.begin(), windows.end(), [&](const PickableWindow& w) { return w.window == front.id(); });
    ASSERT_NE(listed, windows.end());
    EXPECT_EQ(listed->frame, ScreenSpace(900).toWindow(x.outerFrame(front.id())));

    ASSERT_TRUE(x.activate(back.id()));
    ASSERT_TRUE(x.waitUntil([&] { return stacking().back() == back.id(); }));
    EXPECT_EQ(order(), (std::vector<std::uint32_t>{back.id(), front.id()}));
}

TEST_F(X11CaptureTest, ACoveredWindowIsCapturedWithItsOwnPixels)
{
    ASSERT_TRUE(capture->hasComposite());
    PatternWindow covered(200, 200, 400, 300, std::nullopt);
    PatternWindow cover(450, 150, 400, 400, 0x101010);
    ASSERT_TRUE(x.activate(cover.id()));

    const auto windows = valueOf(QCoro::waitFor(capturer->pickableWindows()));
    const auto find = [&](std::uint32_t id) { return *std::find_if(windows.begin(), windows.end(), [&](const PickableWindow& w) { return w.window == id; }); };
    for (const std::uint32_t id : {covered.id(), cover.id()}) {
        const PickableWindow window = find(id);
        const auto image = valueOf(QCoro::waitFor(capturer->captureWindow(window)));
        const Rect frame = ScreenSpace(900).toWindow(window.frame);
        EXPECT_EQ(image.image.size(), QSize(int(frame.width), int(frame.height)));
        EXPECT_EQ(image.scale, 1);
        if (id == covered.id()) {
            // The right half lies under the other window on screen, yet shows its own colours.
            const Rect client = covered.client();
            expectPattern(image.image, {client.x - frame.x, client.y - frame.y}, client.size());
        } else {
            const Rect client = cover.client();
            EXPECT_EQ(rgb(image.image, client.x - frame.x + 5, client.y - frame.y + 5), 0x101010u);
        }
    }
    // Afterwards the covered window is an ordinary window again: the screen shows the cover.
    const Rect client = covered.client();
    const auto screen = capture->grabArea({client.maxX() - 10, client.maxY() - 10, 1, 1});
    EXPECT_EQ(rgb(ScreenCapturer::imageOf(std::get<PixelBuffer>(screen)), 0, 0), 0x101010u);
}

TEST_F(X11CaptureTest, TheClipboardServesPngToOtherPrograms)
{
    QImage image(120, 80, QImage::Format_RGB32);
    image.fill(QColor(0x12, 0x34, 0x56));
    copyImage(image, 2);

    auto run = [](const QStringList& arguments) {
        QProcess xclip;
        QEventLoop loop;
        QObject::connect(&xclip, &QProcess::finished, &loop, &QEventLoop::quit);
        QObject::connect(&xclip, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        xclip.start("xclip", arguments);
        loop.exec(); // the clipboard is served from this loop meanwhile
        return xclip.readAllStandardOutput();
    };
    const QByteArray targets = run({"-selection", "clipboard", "-t", "TARGETS", "-o"});
    EXPECT_TRUE(targets.contains("image/png")) << targets.toStdString();
    EXPECT_TRUE(targets.contains("x-kde-force-image-copy")) << targets.toStdString();

    const QByteArray png = run({"-selection", "clipboard", "-t", "image/png", "-o"});
    const QImage received = QImage::fromData(png, "png");
    ASSERT_FALSE(received.isNull()) << png.size() << " bytes";
    EXPECT_EQ(received.convertToFormat(QImage::Format_RGB32), image);
    EXPECT_EQ(received.dotsPerMeterX(), 5669);
}

} // namespace quandrel
