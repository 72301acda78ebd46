// The floating panels on a real X server with a real window manager (openbox): the thumbnail
// lands in the corner of the monitor under the pointer and never takes the focus, a click on
// a toast reaches the window below, a pin stays above other windows, follows a drag, takes
// keys once clicked and copies a PNG, and dragging the thumbnail into another program
// delivers the PNG bytes and a PNG file with the quick-save name.

#include "../CaptureTestSupport.h"
#include "PinWindow.h"
#include "ScreenSpace.h"
#include "ThumbnailController.h"
#include "ThumbnailView.h"
#include "Toast.h"
#include "X11Connection.h"
#include "Display.h"
#include "X11Desktop.h"
#include "XTestSupport.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QDrag>
#include <QFileInfo>
#include <QMimeData>
#include <QMouseEvent>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <xcb/xcb.h>
#include <xcb/xcb_icccm.h>

#include <gtest/gtest.h>


namespace quandrel {

namespace {

using test::XDesktop;

// The test harness points XDG_RUNTIME_DIR into its own temporary folder.
QString runtimeDir() { return qEnvironmentVariable("XDG_RUNTIME_DIR"); }

bool waitFor(const std::function<bool()>& condition, int timeoutMs = 5000) { return test::spinUntil(condition, timeoutMs); }

void xdotool(const std::string& arguments) { ASSERT_EQ(test::run("xdotool " + arguments), 0) << arguments; }

QRect rootGeometry(std::uint32_t window)
{
    xcb_connection_t* c = XDesktop::instance().connection();
    x11::Reply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr));
    x11::Reply<xcb_translate_coordinates_reply_t> origin(
        xcb_translate_coordinates_reply(c, xcb_translate_coordinates(c, window, XDesktop::instance().root(), 0, 0), nullptr));
    if (!geometry || !origin)
        return {};
    return QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
}

bool viewable(std::uint32_t window) { return XDesktop::instance().isViewable(window); }

std::string at(QPoint p) { return std::to_string(p.x()) + " " + std::to_string(p.y()); }

// Counts the mouse presses and moves a widget receives.
class PressCounter : public QObject {
public:
    int presses = 0, moves = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        presses += event->type() == QEvent::MouseButtonPress;
        moves += event->type() == QEvent::MouseMove;
        return false;
    }
};

class X11PanelsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        desktop = x11::X11Desktop::open();
        ASSERT_TRUE(desktop);
    }
    void TearDown() override
    {
        XDesktop::instance().setMonitors({});
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    PanelScreens screens() { return PanelScreens{[this] { return desktop->services().displays->displays(); }, {}}; }

    std::unique_ptr<x11::X11Desktop> desktop;
};

} // namespace

TEST_F(X11PanelsTest, ThumbnailSitsInTheCornerOfThePointersMonitorAndNeverTakesTheFocus)
{
    auto& x = XDesktop::instance();
    x.setMonitors({"*L 1920x1600+0+0", "R 1920x1600+1920+0"});
    ASSERT_TRUE(waitFor([&] { return desktop->services().displays->displays().size() == 2; }));
    test::TestWindow window({"--geometry", "500x400+200+200"});
    ASSERT_TRUE(x.activate(window.id()));
    xdotool("mousemove 2600 700");

    ThumbnailController controller(screens());
    controller.show(CapturedImage{test::noise(1600, 900), 1}, {});
    ASSERT_NE(controller.panel(), nullptr);
    const auto panelWindow = std::uint32_t(controller.panel()->winId());
    ASSERT_TRUE(waitFor([&] { return viewable(panelWindow) && controller.view()->painted(); }));

    const auto displays = desktop->services().displays->displays();
    const Display& right = displays[1];
    ASSERT_EQ(right.name, "R");
    const Rect expected = ScreenSpace::of(displays).toWindow(Rect{right.visibleFrame.maxX() - 220 - 20, right.visibleFrame.minY() + 20, 220, 123.75});
    const QRect actual = rootGeometry(panelWindow);
    EXPECT_NEAR(actual.x(), expected.x, 1);
    EXPECT_NEAR(actual.y(), expected.y, 1);
    EXPECT_EQ(actual.size(), QSize(220, 124));
    EXPECT_EQ(x.activeWindow(), window.id()) << "showing the thumbnail moved the focus";

    // Hover shows the buttons; a click on the image leaves the active window active.
    PressCounter counter;
    controller.view()->installEventFilter(&counter);
    xdotool("mousemove " + at(actual.center()));
    ASSERT_TRUE(waitFor([&] { return controller.view()->hovering(); }));
    EXPECT_FALSE(controller.isDismissPending());
    xdotool("click 1");
    ASSERT_TRUE(waitFor([&] { return counter.presses > 0; }));
    EXPECT_TRUE(waitFor([&] { return x.activeWindow() == window.id(); }, 500));
    EXPECT_EQ(x.activeWindow(), window.id()) << "clicking the thumbnail moved the focus";

    // Leaving restarts the timer.
    xdotool("mousemove 300 300");
    ASSERT_TRUE(waitFor([&] { return !controller.view()->hovering(); }));
    EXPECT_TRUE(controller.isDismissPending());
}

TEST_F(X11PanelsTest, AClickOnAToastReachesTheWindowBelow)
{
    QWidget below;
    below.setWindowTitle("below the toast");
    below.setGeometry(400, 300, 800, 600);
    PressCounter counter;
    below.installEventFilter(&counter);
    below.show();
    ASSERT_TRUE(waitFor([&] { return viewable(std::uint32_t(below.winId())); }));

    ui::showToast("Copied", "checkmark.circle.fill", QRect(400, 300, 800, 600));
    ui::FloatingPanel* toast = ui::ToastPresenter::shared().current();
    ASSERT_NE(toast, nullptr);
    ASSERT_TRUE(waitFor([&] { return viewable(std::uint32_t(toast->winId())); }));
    const QRect frame = rootGeometry(std::uint32_t(toast->winId()));
    EXPECT_EQ(frame.bottom() + 1, 300 + 600 - 80);
    EXPECT_NEAR(frame.center().x(), 800, 1);

    xdotool("mousemove " + at(frame.center()) + " click 1");
    EXPECT_TRUE(waitFor([&] { return counter.presses > 0; })) << "the click stopped at the toast";
}

TEST_F(X11PanelsTest, APinStaysAboveFollowsADragAndTakesKeysOnceClicked)
{
    auto& x = XDesktop::instance();
    int closed = 0;
    PinWindow pin(test::noise(400, 300), 1, {}, {}, [&](PinWindow*) { ++closed; }, screens());
    xdotool("mousemove 900 700");
    pin.show();
    const auto pinWindow = std::uint32_t(pin.winId());
    ASSERT_TRUE(waitFor([&] { return viewable(pinWindow) && x.isManaged(pinWindow); }));
    const QRect start = rootGeometry(pinWindow);
    EXPECT_EQ(start.size(), QSize(400, 300));
    // Resizing from the edges keeps the image's aspect ratio.
    // Qt writes the size hints of its own as the window settles; the ratio is set again after
    // each, so the test waits for the property that proves it.
    xcb_size_hints_t hints{};
    EXPECT_TRUE(waitFor([&] {
        return xcb_icccm_get_wm_normal_hints_reply(x.connection(), xcb_icccm_get_wm_normal_hints(x.connection(), pinWindow), &hints, nullptr)
            && (hints.flags & XCB_ICCCM_SIZE_HINT_P_ASPECT);
    }));
    EXPECT_EQ(hints.min_aspect_num * 300, hints.min_aspect_den * 400);
    EXPECT_EQ(hints.max_aspect_num * 300, hints.max_aspect_den * 400);

    // A normal window opened and raised later stays below the pin.
    test::TestWindow other({"--geometry", "600x500+" + std::to_string(start.x() - 50) + "+" + std::to_string(start.y() - 50)});
    ASSERT_TRUE(x.activate(other.id()));
    ASSERT_TRUE(waitFor([&] {
        const auto order = XDesktop::instance().stacking();
        const auto p = std::find(order.begin(), order.end(), pinWindow);
        const auto o = std::find(order.begin(), order.end(), other.id());
        return p != order.end() && o != order.end() && p > o;
    })) << "the pin went below a newly raised window";

    // Dragging anywhere on it moves it with the window manager's own move.
    const QPoint grab = start.center();
    xdotool("mousemove " + at(grab) + " mousedown 1");
    ASSERT_TRUE(waitFor([] { return QGuiApplication::mouseButtons() & Qt::LeftButton; }));
    PressCounter motion;
    pin.findChild<PinImageView*>()->installEventFilter(&motion);
    xdotool("mousemove " + at(grab + QPoint(10, 10)));
    // The pin hands the drag to the window manager when it sees this motion.
    ASSERT_TRUE(waitFor([&] { return motion.moves > 0; }));
    QCoreApplication::processEvents();
    const QPoint target = grab + QPoint(200, 150);
    bool moved = waitFor([&] {
        // Motion after the window manager took over moves the window; repeat until it has.
        test::run("xdotool mousemove " + at(target + QPoint(1, 0)) + " mousemove " + at(target));
        const QRect now = rootGeometry(pinWindow);
        return std::abs(now.x() - (start.x() + 190)) <= 3 && std::abs(now.y() - (start.y() + 140)) <= 3;
    });
    xdotool("mouseup 1");
    EXPECT_TRUE(moved) << "pin at " << rootGeometry(pinWindow).x() << "," << rootGeometry(pinWindow).y();

    // A click gives it the keys; Ctrl+C copies a PNG other programs can read.
    xdotool("mousemove 50 50 click 1");
    ASSERT_TRUE(x.activate(other.id()));
    xdotool("mousemove " + at(rootGeometry(pinWindow).center()) + " click 1");
    ASSERT_TRUE(waitFor([&] { return x.activeWindow() == pinWindow; })) << "a click did not focus the pin";
    ASSERT_TRUE(waitFor([&] { return QApplication::activeWindow() == &pin; }));
    xdotool("key ctrl+c");
    ASSERT_TRUE(waitFor([] {
        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
        return data && data->hasFormat("image/png");
    }));
    EXPECT_EQ(ui::ToastPresenter::shared().currentText(), "Copied");
    EXPECT_EQ(QImage::fromData(QGuiApplication::clipboard()->mimeData()->data("image/png"), "PNG").size(), QSize(400, 300));

    // Alt + wheel sets the opacity property a compositor reads, with or without one running.
    pin.handleWheel(-4, false, true);
    ASSERT_TRUE(waitFor([&] {
        xcb_connection_t* c = x.connection();
        const char name[] = "_NET_WM_WINDOW_OPACITY";
        x11::Reply<xcb_intern_atom_reply_t> atom(xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof name - 1, name), nullptr));
        x11::Reply<xcb_get_property_reply_t> p(
            xcb_get_property_reply(c, xcb_get_property(c, 0, pinWindow, atom->atom, XCB_ATOM_CARDINAL, 0, 1), nullptr));
        return p && xcb_get_property_value_length(p.get()) == 4
            && std::abs(double(*static_cast<const std::uint32_t*>(xcb_get_property_value(p.get()))) / 0xffffffffu - 0.8) < 0.01;
    }));

    // Shift+Ctrl+W does not close it; Escape does.
    xdotool("key ctrl+shift+w");
    xdotool("key Escape");
    ASSERT_TRUE(waitFor([&] { return closed > 0; }));
    EXPECT_EQ(closed, 1);
    EXPECT_FALSE(pin.isVisible());
}

TEST_F(X11PanelsTest, DraggingTheThumbnailOutDeliversThePngAndAFile)
{
    QTemporaryDir out;
    QProcess target;
    target.start(QUANDREL_DROPTARGET, {"600x400+200+200", out.path()});
    QByteArray output;
    QObject::connect(&target, &QProcess::readyReadStandardOutput, [&] { output += target.readAllStandardOutput(); });
    ASSERT_TRUE(waitFor([&] { return output.contains("READY"); })) << target.readAllStandardError().toStdString();
    const auto targetWindow = std::uint32_t(QByteArray(output.mid(output.indexOf("READY") + 6)).trimmed().toULongLong());
    ASSERT_TRUE(waitFor([&] { return viewable(targetWindow); }));
    const QRect targetFrame = rootGeometry(targetWindow);

    xdotool("mousemove 1500 800");
    ThumbnailController controller(screens());
    const QImage image = test::noise(640, 360);
    controller.show(CapturedImage{image, 1}, {});
    const auto panelWindow = std::uint32_t(controller.panel()->winId());
    ASSERT_TRUE(waitFor([&] { return viewable(panelWindow) && controller.view()->painted(); }));
    const QPoint from = rootGeometry(panelWindow).center();
    ThumbnailView* view = controller.view();

    // The steps run from a timer, so that they go on inside the drag's own event loop, each
    // once the previous one has taken effect.
    int step = 0;
    bool accepted = false;
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        switch (step) {
        case 0:
            test::run("xdotool mousemove " + at(from) + " mousedown 1");
            step = 1;
            break;
        case 1:
            if (QGuiApplication::mouseButtons() & Qt::LeftButton) {
                test::run("xdotool mousemove " + at(from + QPoint(-30, 0)));
                step = 2;
            }
            break;
        case 2:
            if (QDrag* drag = view->findChild<QDrag*>()) {
                QObject::connect(drag, &QDrag::actionChanged, [&](Qt::DropAction action) { accepted = action == Qt::CopyAction; });
                test::run("xdotool mousemove " + at(targetFrame.center()));
                step = 3;
            }
            break;
        case 3:
            if (output.contains("ENTER")) {
                test::run("xdotool mousemove " + at(targetFrame.center() + QPoint(5, 5)));
                step = 4;
            }
            break;
        case 4:
            if (accepted) {
                test::run("xdotool mouseup 1");
                step = 5;
            }
            break;
        default:
            break;
        }
    });
    driver.start(10);
    const bool dropped = waitFor([&] { return output.contains("DROPPED"); }, 10000);
    driver.stop();
    if (!dropped)
        test::run("xdotool mouseup 1");
    ASSERT_TRUE(dropped) << "stopped at step " << step;
    ASSERT_TRUE(waitFor([&] { return target.state() == QProcess::NotRunning; }));

    QFile bytes(QDir(out.path()).filePath("image.png"));
    ASSERT_TRUE(bytes.open(QIODevice::ReadOnly));
    const QImage delivered = QImage::fromData(bytes.readAll(), "PNG");
    EXPECT_EQ(delivered.size(), image.size());
    EXPECT_EQ(delivered.pixel(100, 100), image.pixel(100, 100));

    QFile uris(QDir(out.path()).filePath("uri-list"));
    ASSERT_TRUE(uris.open(QIODevice::ReadOnly));
    const QUrl url(QString::fromUtf8(uris.readAll()).split(QRegularExpression("[\r\n]+"), Qt::SkipEmptyParts).value(0));
    ASSERT_TRUE(url.isLocalFile()) << url.toString().toStdString();
    const QFileInfo file(url.toLocalFile());
    EXPECT_TRUE(QRegularExpression("^Quandrel \\d{4}-\\d\\d-\\d\\d at \\d\\d\\.\\d\\d\\.\\d\\d\\.png$").match(file.fileName()).hasMatch())
        << file.fileName().toStdString();
    ASSERT_FALSE(runtimeDir().isEmpty());
    EXPECT_TRUE(file.absoluteFilePath().startsWith(runtimeDir() + "/quandrel-drag-"));
    EXPECT_EQ(QImage(file.absoluteFilePath()).size(), image.size());
}

} // namespace quandrel
