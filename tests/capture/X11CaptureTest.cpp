// Capturing on a real X server with a real window manager (openbox): frozen displays show
// windows at their pixels and leave ours out, the window list follows the stacking order,
// covered windows are read from their own pixmaps, and the clipboard serves other programs.

#include "CaptureTestSupport.h"
#include "EditorDocument.h"
#include "ImageExport.h"
#include "ScreenSpace.h"
#include "ScreenCapturer.h"
#include "X11Connection.h"
#include "X11Desktop.h"
#include "X11Displays.h"
#include "X11ScreenCapture.h"
#include "PatternWindow.h"
#include "XTestSupport.h"

#include <QCoroTask>
#include <QEventLoop>
#include <QPainter>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>


#include <gtest/gtest.h>

#include <unistd.h>

namespace quandrel {

namespace {

using test::PatternWindow;
using test::XDesktop;
using test::valueOf;
using test::topLeft;
using test::topRight;
using test::bottomLeft;
using test::bottomRight;

// The pixel as stored, top byte included: QImage::pixel() would report a Format_RGB32 pixel
// as opaque whatever its top byte holds, and drawing copies that byte as alpha.
std::uint32_t stored(const QImage& image, double x, double y)
{
    return reinterpret_cast<const std::uint32_t*>(image.constScanLine(int(y)))[int(x)];
}
constexpr std::uint32_t opaque(std::uint32_t rgb) { return 0xff000000u | rgb; }

// The four quadrants of a pattern window, sampled just inside each corner and right beside
// the middle lines, at `origin` (the client's top-left corner in the image).
void expectPattern(const QImage& image, Point origin, Size size)
{
    const double x0 = origin.x, y0 = origin.y, midX = origin.x + size.width / 2, midY = origin.y + size.height / 2;
    const double x1 = origin.x + size.width - 1, y1 = origin.y + size.height - 1;
    EXPECT_EQ(stored(image, x0, y0), opaque(topLeft));
    EXPECT_EQ(stored(image, midX - 1, midY - 1), opaque(topLeft));
    EXPECT_EQ(stored(image, midX, y0), opaque(topRight));
    EXPECT_EQ(stored(image, x1, midY - 1), opaque(topRight));
    EXPECT_EQ(stored(image, x0, midY), opaque(bottomLeft));
    EXPECT_EQ(stored(image, midX, midY), opaque(bottomRight));
    EXPECT_EQ(stored(image, x1, y1), opaque(bottomRight));
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
    EXPECT_TRUE(capture->composesOpaque());
    PatternWindow onMain(200, 150, 300, 200, std::nullopt);
    PatternWindow onSide(1700, 300, 240, 160, std::nullopt);
    enum Way { composed, shared, plain };
    for (const Way way : {composed, shared, plain}) {
        SCOPED_TRACE(way == composed ? "RENDER into MIT-SHM" : way == shared ? "MIT-SHM" : "GetImage");
        capture->setSharedMemoryEnabled(way != plain);
        capture->setCompositionEnabled(way == composed);
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
    const auto stackingBefore = x.stacking();
    const Rect own = ours.client();
    const Point middle{own.midX(), own.midY()};
    ASSERT_EQ(stored(ScreenCapturer::imageOf(std::get<PixelBuffer>(capture->grabArea(own))), own.width / 2, own.height / 2), opaque(0x10c010u));

    const auto frozen = valueOf(QCoro::waitFor(capturer->freezeDisplays()));
    ASSERT_FALSE(frozen.empty());
    EXPECT_EQ(stored(frozen[0].image.image, middle.x, middle.y), opaque(0xc01010u)) << "our window is in the frozen image";

    // Back on screen, still focused, nothing restacked.
    const auto after = capture->grabArea(own);
    ASSERT_TRUE(std::holds_alternative<PixelBuffer>(after));
    EXPECT_EQ(stored(ScreenCapturer::imageOf(std::get<PixelBuffer>(after)), own.width / 2, own.height / 2), opaque(0x10c010u));
    EXPECT_EQ(x.activeWindow(), ours.id());
    EXPECT_EQ(x.stacking(), stackingBefore);
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
                ids.push_back(std::uint32_t(w.window.value()));
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
    ASSERT_TRUE(x.waitUntil([&] { return x.stacking().back() == back.id(); }));
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
            EXPECT_EQ(stored(image.image, client.x - frame.x + 5, client.y - frame.y + 5), opaque(0x101010u));
        }
    }
    // Afterwards the covered window is an ordinary window again: the screen shows the cover.
    const Rect client = covered.client();
    const auto screen = capture->grabArea({client.maxX() - 10, client.maxY() - 10, 1, 1});
    EXPECT_EQ(stored(ScreenCapturer::imageOf(std::get<PixelBuffer>(screen)), 0, 0), opaque(0x101010u));
}

TEST_F(X11CaptureTest, AnEditedCaptureIsSavedAsAnOpaqueRgbPng)
{
    PatternWindow window(200, 150, 400, 300, 0x336699);
    const Rect client = window.client();
    const auto frozen = valueOf(QCoro::waitFor(capturer->freezeDisplays()));
    ASSERT_FALSE(frozen.empty());
    const CapturedImage& captured = frozen[0].image;
    for (const QImage::Format drawnOn : {QImage::Format_ARGB32_Premultiplied, QImage::Format_ARGB32}) {
        // However a consumer draws it, nothing of it is transparent.
        QImage canvas(captured.image.size(), drawnOn);
        canvas.fill(Qt::transparent);
        QPainter(&canvas).drawImage(0, 0, captured.image);
        EXPECT_EQ(canvas.pixel(int(client.midX()), int(client.midY())), opaque(0x336699u)) << drawnOn;
    }

    // The document's pixel space has its origin at the bottom-left of the image.
    const double height = captured.image.height();
    const auto up = [&](double x, double y) { return QPointF(x, height - y); };
    EditorDocument document(captured.image, captured.scale);
    document.add(Annotation::create(Annotation::Kind::highlight(), up(client.x + 20, client.y + 20), up(client.x + 120, client.y + 80), editorPalette[2], 8));
    document.add(Annotation::create(Annotation::Kind::rectangle(), up(client.x + 200, client.y + 40), up(client.x + 360, client.y + 240), editorPalette[0], 8));
    QTemporaryDir folder;
    const auto saved = saveImage(document.flattened(), captured.scale, folder.path());
    ASSERT_TRUE(std::holds_alternative<QString>(saved)) << std::get<SaveError>(saved).message.toStdString();
    const QImage decoded(std::get<QString>(saved));
    ASSERT_EQ(decoded.size(), captured.image.size());
    EXPECT_FALSE(decoded.hasAlphaChannel()) << "written as RGB, not RGB with alpha";

    // Untouched pixels are the window's and the screen's own, exactly.
    EXPECT_EQ(decoded.pixel(int(client.x + 150), int(client.y + 150)), opaque(0x336699u));
    EXPECT_EQ(decoded.pixel(int(client.maxX() + 20), int(client.y + 150)), captured.image.pixel(int(client.maxX() + 20), int(client.y + 150)));
    // The annotations are in it where they were drawn.
    EXPECT_NE(decoded.pixel(int(client.x + 70), int(client.y + 50)), opaque(0x336699u));
    EXPECT_NE(decoded.pixel(int(client.x + 200), int(client.y + 140)), opaque(0x336699u));
}

TEST_F(X11CaptureTest, TheClipboardServesPngToOtherPrograms)
{
    QImage image(120, 80, QImage::Format_RGB32);
    image.fill(QColor(0x12, 0x34, 0x56));
    ASSERT_TRUE(resultWhileEventsRun(copyImage(image, 2)));

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

TEST_F(X11CaptureTest, ThePointerIsInTheFrozenImageOnlyWhenAskedFor)
{
    // A window of one colour under the pointer, so the pointer's picture is all that differs.
    PatternWindow plain(1700, 200, 300, 300, 0x336699);
    ASSERT_EQ(test::run("xdotool mousemove 1850 350"), 0);
    ASSERT_TRUE(x.waitUntil([&] { return capture->pointerPosition() == Point{1850, 350}; }));
    const auto picture = capture->pointerImage();
    ASSERT_TRUE(picture.has_value());
    EXPECT_EQ(picture->position, (Point{1850, 350}));
    EXPECT_GT(picture->pixels.width, 0);

    const auto without = valueOf(QCoro::waitFor(capturer->freezeDisplays()));
    capturer->includePointer = [] { return true; };
    const auto with = valueOf(QCoro::waitFor(capturer->freezeDisplays()));
    ASSERT_EQ(with.size(), 2u);
    // Every changed pixel lies where the picture sits on the side display, and some changed.
    const QRect sits(int(1850 - picture->hotspot.x - 1600), int(350 - picture->hotspot.y), picture->pixels.width,
                     picture->pixels.height);
    int changed = 0;
    for (int y = 0; y < with[1].image.image.height(); ++y)
        for (int x0 = 0; x0 < with[1].image.image.width(); ++x0)
            if (with[1].image.image.pixel(x0, y) != without[1].image.image.pixel(x0, y)) {
                ++changed;
                EXPECT_TRUE(sits.contains(x0, y)) << x0 << "," << y;
            }
    EXPECT_GT(changed, 0);
    EXPECT_TRUE(with[0].image.image == without[0].image.image); // the main display has no pointer
}

} // namespace quandrel
