// The floating panels on the virtual desktop: the time from ThumbnailController::show to the
// thumbnail mapped by the server and painted, and the memory a thumbnail and a pin of a
// 3840 x 2160 capture add to the process (resident set, the capture itself already held).
//
//   tools/virtual-desktop.sh --size 3840x2160 -- build/bench/capture/panels_bench [runs]

#include "BenchStats.h"
#include "PinWindow.h"
#include "ThumbnailController.h"
#include "ThumbnailView.h"
#include "Display.h"
#include "X11Desktop.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QWidget>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <unistd.h>
#include <vector>

using namespace quandrel;

namespace {

double residentMiB()
{
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return double(resident) * double(::sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

bool viewable(xcb_connection_t* c, std::uint32_t window)
{
    auto* a = xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr);
    const bool result = a && a->map_state == XCB_MAP_STATE_VIEWABLE;
    std::free(a);
    return result;
}

// Spins the event loop until the condition holds (no timers, so no added latency).
bool spinUntil(const std::function<bool()>& condition, int timeoutMs = 5000)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    return true;
}

// Lets deferred deletions and pending frees happen before a reading.
void settle()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
}

QImage capture4k()
{
    QImage image(3840, 2160, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] = qRgb((x * 7) & 0xff, (y * 3) & 0xff, (x ^ y) & 0xff);
    }
    return image;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    auto desktop = x11::X11Desktop::open();
    if (!desktop) {
        std::fprintf(stderr, "panels_bench needs an X display\n");
        return 1;
    }
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* c = x11->connection();
    PanelScreens screens{[&] { return desktop->services().displays->displays(); }, {}};

    const QImage image = capture4k();
    const double pixelMiB = double(image.sizeInBytes()) / (1024.0 * 1024.0);

    // Warm-up: fonts, symbols and the first window of the process.
    ThumbnailController controller(screens);
    controller.show(CapturedImage{image, 1}, {});
    spinUntil([&] { return controller.view() && controller.view()->painted(); });
    controller.dismiss();
    settle();

    std::vector<double> times, calls, painted;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        controller.show(CapturedImage{image, 2}, {});
        calls.push_back(double(clock.nsecsElapsed()) / 1e6);
        const auto window = std::uint32_t(controller.panel()->winId());
        bool paintSeen = false;
        if (!spinUntil([&] {
                if (!paintSeen && controller.view()->painted()) {
                    paintSeen = true;
                    painted.push_back(double(clock.nsecsElapsed()) / 1e6);
                }
                return paintSeen && viewable(c, window);
            })) {
            std::fprintf(stderr, "the thumbnail was not shown\n");
            return 1;
        }
        times.push_back(double(clock.nsecsElapsed()) / 1e6);
        controller.dismiss();
        settle();
    }
    bench::printStats("thumbnail_show_call", calls);
    bench::printStats("thumbnail_show_to_first_paint", painted);
    bench::printStats("thumbnail_show_to_painted", times);

    // The same for a bare window the window manager manages, as the floor of what the
    // desktop allows.
    std::vector<double> plain;
    for (int i = 0; i < runs; ++i) {
        struct Bare : QWidget {
            bool painted = false;
            void paintEvent(QPaintEvent*) override { painted = true; }
        } bare;
        bare.setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
        bare.setGeometry(100, 100, 220, 124);
        QElapsedTimer clock;
        clock.start();
        bare.show();
        const auto window = std::uint32_t(bare.winId());
        spinUntil([&] { return bare.painted && viewable(c, window); });
        plain.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    bench::printStats("bare_window_show_to_painted", plain);

    settle();
    const double beforeThumbnail = residentMiB();
    controller.show(CapturedImage{image, 1}, {});
    spinUntil([&] { return controller.view()->painted(); });
    settle();
    const double thumbnail = residentMiB() - beforeThumbnail;
    controller.dismiss();
    settle();

    const double beforePin = residentMiB();
    auto* pin = new PinWindow(image, 1, {}, {}, {}, screens);
    pin->show();
    const auto pinWindow = std::uint32_t(pin->winId());
    spinUntil([&] { return viewable(c, pinWindow); });
    settle();
    pin->repaint();
    settle();
    const double pinned = residentMiB() - beforePin;

    bench::print("capture_4k_pixel_memory", pixelMiB, "MiB", 1);
    bench::print("thumbnail_4k_added_memory", thumbnail, "MiB", 1);
    bench::print("pin_4k_added_memory", pinned, "MiB", 1);
    bench::print("pin_4k_added_memory_ratio", pinned / pixelMiB, "x");
    delete pin;
    return 0;
}
