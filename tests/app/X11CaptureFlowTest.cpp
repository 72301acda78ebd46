// Screenshots as a user takes them, on the private desktop with three monitors: the real
// quandrel process, its real hot keys and command URLs, the selection overlay driven with
// XTEST, and the results read back the way other programs read them (xclip, the folder, the
// window list).

#include "LoggedProcess.h"
#include "PatternWindow.h"
#include "X11Connection.h"
#include "XTestSupport.h"

#include <QApplication>
#include <QImage>
#include <QLabel>

#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <signal.h>

namespace quandrel {

namespace {

namespace fs = std::filesystem;
using test::PatternWindow;
using test::TestWindow;
using test::XDesktop;

const std::vector<Rect> monitors{{0, 0, 1440, 900}, {1440, 0, 1280, 1024}, {2720, 0, 1024, 768}};

std::string number(double v) { return std::to_string(int(v)); }

class X11CaptureFlowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        XDesktop::instance().setMonitors({"*MAIN 1440x900+0+0", "SECOND 1280x1024+1440+0", "THIRD 1024x768+2720+0"});
        home = std::make_unique<test::QuandrelHome>("capture-flow");
        launch();
    }

    static void TearDownTestSuite()
    {
        app.stop();
        XDesktop::instance().setMonitors({});
        home.reset();
    }

    static void launch() { app = test::startQuandrel({.log = home->log(), .appendToLog = true}); }
    static std::string logText() { return app.logText(); }
    static int occurrences(const std::string& text) { return app.occurrences(text); }
    static std::size_t pngs() { return test::QuandrelHome::files(home->shots, ".png").size(); }
    // Opens a command URL in the running instance.
    static void open(const std::string& url) { ASSERT_EQ(test::runQuandrel("'" + url + "'"), 0); }

    void SetUp() override { ownClipboard("before"); }

    void TearDown() override
    {
        // Whatever happened, nothing stays grabbed.
        EXPECT_TRUE(canGrabKeyboard());
        EXPECT_EQ(overlayCount(), 0);
    }

    // The viewable override-redirect windows that cover a monitor exactly.
    int overlayCount()
    {
        xcb_connection_t* c = x.connection();
        x11::Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, x.root()), nullptr));
        if (!tree)
            return 0;
        int count = 0;
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
            x11::Reply<xcb_get_window_attributes_reply_t> a(
                xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, children[i]), nullptr));
            if (!a || !a->override_redirect || a->map_state != XCB_MAP_STATE_VIEWABLE)
                continue;
            x11::Reply<xcb_get_geometry_reply_t> g(xcb_get_geometry_reply(c, xcb_get_geometry(c, children[i]), nullptr));
            for (const Rect& m : monitors) {
                if (g && g->x == m.x && g->y == m.y && g->width == m.width && g->height == m.height)
                    ++count;
            }
        }
        return count;
    }

    // Up means on every monitor and holding the keyboard, which it takes once its windows show.
    bool waitForOverlay() { return x.waitUntil([&] { return overlayCount() == 3 && !canGrabKeyboard(); }); }
    bool waitForNoOverlay() { return x.waitUntil([&] { return overlayCount() == 0; }); }

    bool canGrabKeyboard()
    {
        xcb_connection_t* c = x.connection();
        x11::Reply<xcb_grab_keyboard_reply_t> r(xcb_grab_keyboard_reply(
            c, xcb_grab_keyboard(c, 0, x.root(), XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC), nullptr));
        const bool ok = r && r->status == XCB_GRAB_STATUS_SUCCESS;
        xcb_ungrab_keyboard(c, XCB_CURRENT_TIME);
        xcb_flush(c);
        return ok;
    }

    static QImage image(const std::string& command)
    {
        const std::string bytes = test::commandOutput(command);
        return QImage::fromData(reinterpret_cast<const uchar*>(bytes.data()), int(bytes.size()), "PNG");
    }
    static bool windowShown(const std::string& name) { return !test::commandOutput("xdotool search --onlyvisible --name '" + name + "'").empty(); }
    std::string clipboardText() { return test::commandOutput("xclip -selection clipboard -o 2>/dev/null"); }
    // Puts text on the clipboard, owned by another program, so every capture's result is its own.
    void ownClipboard(const std::string& text)
    {
        test::run("printf '" + text + "' | xclip -selection clipboard >/dev/null 2>&1 &");
        ASSERT_TRUE(x.waitUntil([&] { return clipboardText() == text; }));
    }

    // Waits until the clipboard holds an image, and answers it.
    QImage awaitClipboardImage()
    {
        QImage found;
        x.waitUntil([&] { return !(found = image("xclip -selection clipboard -t image/png -o 2>/dev/null")).isNull(); });
        return found;
    }

    static QRgb at(const QImage& image, int x, int y) { return image.pixel(x, y) & 0xffffff; }

    void drag(Point from, Point to)
    {
        ASSERT_EQ(test::run("xdotool mousemove " + number(from.x) + " " + number(from.y) + " mousedown 1 mousemove "
                            + number((from.x + to.x) / 2) + " " + number((from.y + to.y) / 2) + " mousemove " + number(to.x)
                            + " " + number(to.y) + " mouseup 1"),
                  0);
    }

    static inline std::unique_ptr<test::QuandrelHome> home;
    static inline test::LoggedProcess app;
    XDesktop& x = XDesktop::instance();
};

} // namespace

TEST_F(X11CaptureFlowTest, AreaDragOnTheSecondMonitorCopiesExactlyThosePixels)
{
    PatternWindow window(1600, 200, 400, 300, std::nullopt);
    const Rect client = window.client();
    TestWindow focused({"--geometry", "300x200+100+100"});
    ASSERT_TRUE(x.activate(focused.id()));

    ASSERT_EQ(test::run("xdotool key super+shift+2"), 0); // the area shortcut
    ASSERT_TRUE(waitForOverlay()) << logText();
    // A second capture shortcut while the overlay is up changes nothing.
    ASSERT_EQ(test::run("xdotool key super+shift+1"), 0);
    // Across the middle of the pattern: 60 x 40 pixels of each quadrant.
    const Point mid{client.midX(), client.midY()};
    drag({mid.x - 60, mid.y - 40}, {mid.x + 60, mid.y + 40});
    const QImage image = awaitClipboardImage();
    ASSERT_EQ(image.size(), QSize(120, 80)) << logText();
    EXPECT_EQ(at(image, 0, 0), test::topLeft);
    EXPECT_EQ(at(image, 59, 39), test::topLeft);
    EXPECT_EQ(at(image, 60, 0), test::topRight);
    EXPECT_EQ(at(image, 0, 40), test::bottomLeft);
    EXPECT_EQ(at(image, 119, 79), test::bottomRight);
    EXPECT_TRUE(waitForNoOverlay());
    EXPECT_TRUE(x.waitUntil([&] { return x.activeWindow() == focused.id(); }));
    EXPECT_EQ(occurrences("capture area started"), 1);
    EXPECT_EQ(occurrences("capture fullScreen started"), 0);

    // The same rectangle again, without an overlay.
    ownClipboard("between");
    open("quandrel://capture/repeatArea?then=copy");
    const QImage again = awaitClipboardImage();
    ASSERT_EQ(again.size(), QSize(120, 80));
    EXPECT_EQ(at(again, 0, 0), test::topLeft);
    EXPECT_EQ(at(again, 119, 79), test::bottomRight);

    // A drag from the second monitor well into the third stops at its monitor's edge, x 2720.
    ownClipboard("between");
    open("quandrel://capture/area?then=copy");
    ASSERT_TRUE(waitForOverlay()) << logText();
    drag({2600, 500}, {2900, 600});
    EXPECT_EQ(awaitClipboardImage().size(), QSize(120, 100));
}

TEST_F(X11CaptureFlowTest, WindowModePicksTheTopmostWindowWithItsCoveredParts)
{
    PatternWindow below(200, 150, 400, 300, std::nullopt);
    PatternWindow above(450, 350, 300, 200, 0x808080);
    ASSERT_TRUE(x.activate(above.id()));
    const Rect belowClient = below.client();
    const Rect belowFrame = x.outerFrame(below.id());

    ASSERT_EQ(test::run("xdotool key super+shift+6"), 0); // the window shortcut
    ASSERT_TRUE(waitForOverlay()) << logText();
    // The visible part of the lower window, then a click.
    ASSERT_EQ(test::run("xdotool mousemove " + number(belowClient.x + 20) + " " + number(belowClient.y + 20) + " click 1"), 0);
    const QImage image = awaitClipboardImage();
    ASSERT_EQ(image.size(), QSize(int(belowFrame.width), int(belowFrame.height))) << logText();
    // The bottom-right quadrant is partly under the other window, yet comes out whole.
    const int cx = int(belowClient.x - belowFrame.x), cy = int(belowClient.y - belowFrame.y);
    EXPECT_EQ(at(image, cx + 10, cy + 10), test::topLeft);
    EXPECT_EQ(at(image, cx + 395, cy + 295), test::bottomRight);
    EXPECT_EQ(at(image, cx + 300, cy + 250), test::bottomRight);
}

TEST_F(X11CaptureFlowTest, EscapeAndRightClickCancelAndGiveTheFocusBack)
{
    TestWindow focused({"--geometry", "300x200+100+100"});
    ASSERT_TRUE(x.activate(focused.id()));
    for (const char* cancel : {"key Escape", "click 3"}) {
        SCOPED_TRACE(cancel);
        ASSERT_EQ(test::run("xdotool key super+shift+2"), 0);
        ASSERT_TRUE(waitForOverlay()) << logText();
        ASSERT_EQ(test::run("xdotool mousemove 2000 500 " + std::string(cancel)), 0);
        EXPECT_TRUE(waitForNoOverlay());
        EXPECT_TRUE(x.waitUntil([&] { return x.activeWindow() == focused.id(); }));
        EXPECT_EQ(clipboardText(), "before");
        EXPECT_TRUE(x.waitUntil([&] { return canGrabKeyboard(); }));
    }
}

TEST_F(X11CaptureFlowTest, AfterCaptureChoicesSavePinAndEdit)
{
    PatternWindow window(200, 150, 400, 300, std::nullopt);
    ASSERT_EQ(test::run("xdotool mousemove 700 500"), 0);
    const std::size_t before = pngs();
    open("quandrel://capture/fullScreen?then=save");
    ASSERT_TRUE(x.waitUntil([&] { return pngs() == before + 1; })) << logText();
    const QImage saved(QString::fromStdString(test::QuandrelHome::files(home->shots, ".png").back().string()));
    EXPECT_EQ(saved.size(), QSize(1440, 900)); // the pointer is on the main monitor

    // Each shown, then closed as Quandrel's command or the window manager's close button does.
    const struct {
        const char* then;
        const char* window;
        std::string close;
    } choices[] = {{"pin", "Quandrel pin", std::string(QUANDREL_EXECUTABLE) + " quandrel://pins/close"},
                   {"edit", "Quandrel Screenshot", "wmctrl -c 'Quandrel Screenshot'"}};
    for (const auto& c : choices) {
        open(std::string("quandrel://capture/area?then=") + c.then);
        ASSERT_TRUE(waitForOverlay());
        drag({250, 200}, {450, 350});
        EXPECT_TRUE(x.waitUntil([&] { return windowShown(c.window); })) << logText();
        ASSERT_EQ(test::run(c.close), 0);
        EXPECT_TRUE(x.waitUntil([&] { return !windowShown(c.window); }));
    }
    EXPECT_EQ(clipboardText(), "before"); // neither choice copies
}

TEST_F(X11CaptureFlowTest, TextCaptureCopiesTheWordsOnScreen)
{
    QLabel label(QStringLiteral("Screenshots become text\nin the blink of an eye"));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(18);
    label.setFont(font);
    label.setStyleSheet(QStringLiteral("background: white; color: black; padding: 20px;"));
    label.setWindowTitle(QStringLiteral("text to read"));
    label.setGeometry(1600, 300, 420, 140);
    label.show();
    ASSERT_TRUE(x.waitUntil([&] {
        QApplication::processEvents();
        return label.isVisible() && windowShown("text to read");
    }));
    QApplication::processEvents();
    const QRect area(label.mapToGlobal(QPoint(0, 0)), label.size());

    ASSERT_EQ(test::run("xdotool key super+shift+7"), 0); // the text shortcut
    ASSERT_TRUE(waitForOverlay()) << logText();
    drag({double(area.x() + 4), double(area.y() + 4)}, {double(area.right() - 4), double(area.bottom() - 4)});
    EXPECT_TRUE(x.waitUntil([&] { return clipboardText() != "before"; }, std::chrono::seconds(20))) << logText();
    EXPECT_EQ(clipboardText(), "Screenshots become text\nin the blink of an eye") << logText();
}

TEST_F(X11CaptureFlowTest, ALinkTakesNoFullScreenCaptureUnasked)
{
    // What the desktop entry runs for a quandrel:// link opened in a browser: the capture
    // waits for the person's confirmation (none comes here), so nothing is saved.
    const auto before = pngs();
    const int started = occurrences("capture fullScreen started");
    const int opened = occurrences("from a link");
    test::runQuandrel("--from-link 'quandrel://capture/fullScreen?then=save'");
    // The client ends once the instance has answered, which it does after handling the URL.
    EXPECT_EQ(occurrences("from a link"), opened + 1) << logText();
    EXPECT_EQ(occurrences("capture fullScreen started"), started);
    EXPECT_EQ(pngs(), before);
}

TEST_F(X11CaptureFlowTest, ABurstOfCaptureURLsRunsOneCapture)
{
    const int before = occurrences("capture area started") + occurrences("capture window started");
    std::string burst;
    for (int i = 0; i < 30; ++i)
        burst += std::string(QUANDREL_EXECUTABLE) + (i % 2 ? " quandrel://capture/window & " : " quandrel://capture/area & ");
    ASSERT_EQ(test::run(burst + "wait"), 0);
    ASSERT_TRUE(waitForOverlay()) << logText();
    EXPECT_EQ(occurrences("capture area started") + occurrences("capture window started"), before + 1);
    ASSERT_EQ(test::run("xdotool key Escape"), 0);
    EXPECT_TRUE(waitForNoOverlay());
}

TEST_F(X11CaptureFlowTest, MonitorsChangingUnderTheOverlayEndTheCapture)
{
    open("quandrel://capture/area");
    ASSERT_TRUE(waitForOverlay()) << logText();
    x.setMonitors({"*MAIN 1440x900+0+0", "SECOND 1280x1024+1440+0"});
    EXPECT_TRUE(x.waitUntil([&] { return overlayCount() == 0 && canGrabKeyboard(); })) << logText();
    x.setMonitors({"*MAIN 1440x900+0+0", "SECOND 1280x1024+1440+0", "THIRD 1024x768+2720+0"});
    // The next capture covers the monitors as they are now.
    ASSERT_TRUE(x.waitUntil([&] { return occurrences("capture area started") > 0; }));
    open("quandrel://capture/area");
    ASSERT_TRUE(waitForOverlay()) << logText();
    ASSERT_EQ(test::run("xdotool key Escape"), 0);
    EXPECT_TRUE(waitForNoOverlay());
}

TEST_F(X11CaptureFlowTest, AKeyboardGrabElsewhereEndsTheCaptureAndAKilledCaptureLeavesNoGrab)
{
    // Another client holds the keyboard, as a screen locker or an open menu does.
    xcb_connection_t* other = xcb_connect(nullptr, nullptr);
    ASSERT_FALSE(xcb_connection_has_error(other));
    const xcb_window_t otherRoot = xcb_setup_roots_iterator(xcb_get_setup(other)).data->root;
    x11::Reply<xcb_grab_keyboard_reply_t> held(xcb_grab_keyboard_reply(
        other, xcb_grab_keyboard(other, 0, otherRoot, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC), nullptr));
    ASSERT_TRUE(held && held->status == XCB_GRAB_STATUS_SUCCESS);
    const int failures = occurrences("capture failed");
    open("quandrel://capture/area");
    EXPECT_TRUE(x.waitUntil([&] { return occurrences("capture failed") == failures + 1; })) << logText();
    EXPECT_EQ(overlayCount(), 0);
    xcb_disconnect(other);

    // Killed with the overlay up: the grabs go with its connection.
    open("quandrel://capture/area");
    ASSERT_TRUE(waitForOverlay());
    app.stop(SIGKILL);
    EXPECT_TRUE(x.waitUntil([&] { return canGrabKeyboard() && overlayCount() == 0; }));
    launch();
}


TEST_F(X11CaptureFlowTest, EveryDisplayAtOnceIsTheScreenAsItIsAndADelayedCaptureLeavesOutItsCountdown)
{
    PatternWindow second(1600, 100, 300, 200, 0x3366cc);
    PatternWindow third(2800, 500, 200, 150, 0xcc6633);
    const auto takeAndLoad = [&](const std::string& url) {
        const std::size_t before = pngs();
        EXPECT_EQ(test::runQuandrel("'" + url + "'"), 0);
        QImage saved;
        x.waitUntil([&] {
            return pngs() > before
                && saved.load(QString::fromStdString(test::QuandrelHome::files(home->shots, ".png").back().string())) && !saved.isNull();
        });
        return saved;
    };
    // The screen as other programs show it: Quandrel's own panels (a thumbnail, a toast) are
    // never in a capture, so it is read once none of them is up.
    const auto noToast = [&] {
        return x.waitUntil([&] { return !windowShown("Quandrel (toast|thumbnail)"); });
    };
    // Pixel by pixel, colour only: the files differ in their alpha channels.
    const auto sameColours = [](const QImage& a, const QImage& b) {
        if (a.size() != b.size())
            return false;
        for (int y = 0; y < a.height(); ++y)
            for (int x0 = 0; x0 < a.width(); ++x0)
                if ((a.pixel(x0, y) & 0xffffff) != (b.pixel(x0, y) & 0xffffff))
                    return false;
        return true;
    };
    const auto rootImage = [&] { return image("import -window root png:-"); };
    ASSERT_EQ(test::run("xdotool mousemove 700 500"), 0);
    // The capture is held against a screen that stayed the same from before it to after it:
    // the window manager or a freshly mapped window may still be drawing when it starts.
    const auto sameOnMonitors = [&](const QImage& a, const QImage& b) {
        return std::all_of(monitors.begin(), monitors.end(), [&](const Rect& m) {
            const QRect r(int(m.x), int(m.y), int(m.width), int(m.height));
            return sameColours(a.copy(r), b.copy(r));
        });
    };
    QImage all, screen;
    for (int attempt = 0; attempt < 5; ++attempt) {
        ASSERT_TRUE(noToast());
        const QImage settled = rootImage();
        all = takeAndLoad("quandrel://capture/allDisplays?then=save");
        ASSERT_TRUE(noToast());
        screen = rootImage();
        if (sameOnMonitors(settled, screen))
            break;
    }
    ASSERT_EQ(all.size(), QSize(3744, 1024)) << logText();
    ASSERT_TRUE(screen.rect().contains(QRect(QPoint(0, 0), all.size()))); // the root is larger than the monitors
    for (const Rect& m : monitors) {
        const QRect r(int(m.x), int(m.y), int(m.width), int(m.height));
        EXPECT_TRUE(sameColours(all.copy(r), screen.copy(r)))
            << "monitor at " << m.x;
    }
    EXPECT_EQ(qAlpha(all.pixel(100, 1000)), 0); // below the main monitor, on no monitor

    // The countdown toast shows on the display under the pointer and is gone from the image.
    QImage later, after;
    for (int attempt = 0; attempt < 5; ++attempt) {
        const QImage settled = rootImage().copy(0, 0, 1440, 900);
        later = takeAndLoad("quandrel://capture/fullScreen?then=save&delay=1");
        ASSERT_TRUE(noToast());
        after = rootImage().copy(0, 0, 1440, 900);
        if (sameColours(settled, after))
            break;
    }
    ASSERT_EQ(later.size(), QSize(1440, 900)) << logText();
    EXPECT_TRUE(sameColours(later, after));
}

} // namespace quandrel
