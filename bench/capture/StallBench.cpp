// How long the event loop stops while a large screenshot is being handed out: a clipboard
// manager that asks for the PNG the moment a 4K capture is copied, and a wheel zoom over a
// pinned 4K capture. Runs on an X display (tools/bench.sh starts a private one).
//
//   idle_longest_stall             the same with nothing to do, for the machine's own share
//   clipboard_4k_longest_stall     the longest gap between 1 ms timer ticks from the copy
//                                  until the clipboard manager has the PNG
//   clipboard_4k_on_clipboard      from the copy until Quandrel owns the clipboard
//   clipboard_4k_manager_has_png   from the copy until the manager has read the whole PNG
//   clipboard_4k_encode            one PNG encode of the image on this thread, for scale
//   pin_4k_zoom_repaint_*          one repaint of the pin after each wheel step
//   pin_4k_still_repaint_*         one repaint at an unchanged size, for comparison
//   pin_4k_zoom_resize_*           setting the zoom: the window's new frame
//   pin_4k_zoom_longest_stall      the longest gap between timer ticks during the zoom
//   pin_4k_smooth_rescale          one smooth scaling of the image to about the window's size,
//                                  which a repaint at a new size would cost on this thread
//   pin_1080p_*                    the same for a 1080p image in a window of the same size

#include "BenchStats.h"
#include "ImageExport.h"
#include "PanelScreens.h"
#include "PinWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFuture>
#include <QLinearGradient>
#include <QPainter>
#include <QTimer>

#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

using namespace quandrel;
using namespace quandrel::bench;

namespace {

// Something like a 4K desktop: gradients, panels and lines of text, which compress as
// screenshots do.
QImage desktopLike(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient sky(0, 0, width, height);
    sky.setColorAt(0, QColor(40, 70, 120));
    sky.setColorAt(1, QColor(200, 120, 90));
    p.fillRect(image.rect(), sky);
    QFont font;
    font.setPixelSize(18);
    p.setFont(font);
    for (int w = 0; w < 6; ++w) {
        const QRect window(60 + w * 600, 80 + w * 250, 1400, 900);
        p.fillRect(window, w % 2 ? QColor(250, 250, 250) : QColor(30, 32, 36));
        p.setPen(w % 2 ? Qt::black : QColor(220, 220, 220));
        for (int line = 0; line < 40; ++line)
            p.drawText(window.x() + 20, window.y() + 30 + line * 21,
                       QStringLiteral("%1  int main(int argc, char** argv) { return run(argc, argv, \"quandrel\"); } // %2").arg(line).arg(w * 97 + line));
    }
    return image;
}

// Measures the longest gap between ticks of a 1 ms timer while it runs.
class StallMeter {
public:
    StallMeter()
    {
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            m_longest = std::max(m_longest, m_clock.restart());
        });
    }
    void start()
    {
        m_longest = 0;
        m_clock.start();
        m_timer.start();
    }
    double stop()
    {
        m_timer.stop();
        return double(std::max(m_longest, m_clock.elapsed()));
    }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_longest = 0;
};

// A clipboard manager of its own connection: at the first change of the clipboard's owner
// it reads the PNG with xclip, as clipboard managers do the moment the clipboard changes.
class EagerClipboardManager {
public:
    EagerClipboardManager()
    {
        m_connection = xcb_connect(nullptr, nullptr);
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        std::free(xcb_xfixes_query_version_reply(m_connection, xcb_xfixes_query_version(m_connection, 5, 0), nullptr));
        xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(m_connection, xcb_intern_atom(m_connection, 0, 9, "CLIPBOARD"), nullptr);
        m_window = xcb_generate_id(m_connection);
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_window, screen->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                          XCB_COPY_FROM_PARENT, 0, nullptr);
        xcb_xfixes_select_selection_input(m_connection, m_window, atom->atom, XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER);
        std::free(atom);
        std::free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
        m_thread = std::thread([this] { watch(); });
    }
    ~EagerClipboardManager()
    {
        m_thread.join();
        xcb_disconnect(m_connection);
    }
    bool done() const { return m_done; }
    long bytes() const { return m_bytes; }

private:
    void watch()
    {
        while (xcb_generic_event_t* event = xcb_wait_for_event(m_connection)) {
            std::free(event); // the only events selected are owner changes
            break;
        }
        if (FILE* xclip = ::popen("xclip -selection clipboard -t image/png -o", "r")) {
            char buffer[65536];
            for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, xclip)) > 0;)
                m_bytes += long(n);
            ::pclose(xclip);
        }
        m_done = true;
    }

    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_window = 0;
    std::thread m_thread;
    std::atomic<bool> m_done = false;
    std::atomic<long> m_bytes = 0;
};

void waitUntil(const std::function<bool()>& condition)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition() && clock.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QImage image = desktopLike(3840, 2160);

    {
        // What the machine itself costs the loop: the longest gap with nothing to do.
        StallMeter meter;
        meter.start();
        waitUntil([clock = QElapsedTimer()]() mutable {
            if (!clock.isValid())
                clock.start();
            return clock.elapsed() > 500;
        });
        print("idle_longest_stall", meter.stop(), "ms");
    }

    QElapsedTimer encode;
    encode.start();
    const auto png = pngData(image, 1);
    print("clipboard_4k_encode", double(encode.nsecsElapsed()) / 1e6, "ms");
    print("clipboard_4k_png_size", png ? double(png->size()) / 1e6 : 0, "MB");

    {
        StallMeter meter;
        EagerClipboardManager manager;
        QElapsedTimer clock;
        meter.start();
        clock.start();
        const QFuture<bool> copied = copyImage(image, 1);
        print("clipboard_4k_copy_call", double(clock.nsecsElapsed()) / 1e6, "ms");
        waitUntil([&] { return copied.isFinished(); });
        const double onClipboard = double(clock.nsecsElapsed()) / 1e6;
        const double encodingStall = meter.stop();
        meter.start();
        waitUntil([&] { return manager.done(); });
        const double received = double(clock.nsecsElapsed()) / 1e6;
        const double stall = meter.stop();
        if (!copied.result() || manager.bytes() == 0) {
            std::fprintf(stderr, "the clipboard manager got no PNG (%ld bytes)\n", manager.bytes());
            return 1;
        }
        print("clipboard_4k_longest_stall", std::max(stall, encodingStall), "ms");
        print("clipboard_4k_longest_stall_while_encoding", encodingStall, "ms");
        print("clipboard_4k_longest_stall_while_serving", stall, "ms");
        print("clipboard_4k_on_clipboard", onClipboard, "ms");
        print("clipboard_4k_manager_has_png", received, "ms");
    }

    // The pin's window is the same size in both runs; the smaller image shows what resizing
    // a window costs whatever it shows.
    const auto zoomPin = [](const std::string& name, const QImage& shown) {
        PanelScreens screens;
        PinWindow pin(shown, 1, [] { return QString(); }, {}, {}, screens);
        pin.show(QRect(100, 100, 1920, 1080));
        waitUntil([&] { return pin.isVisible(); });
        std::vector<double> repaints, zooms;
        StallMeter meter;
        meter.start();
        // Wheel steps down and up again, each followed by the repaint it causes.
        double zoom = pin.zoom();
        for (int step = 0; step < 40; ++step) {
            zoom *= step < 20 ? 0.95 : 1 / 0.95;
            QElapsedTimer zooming;
            zooming.start();
            pin.setZoom(zoom);
            zooms.push_back(double(zooming.nsecsElapsed()) / 1e6);
            QElapsedTimer repaint;
            repaint.start();
            pin.repaint();
            repaints.push_back(double(repaint.nsecsElapsed()) / 1e6);
            QElapsedTimer between;
            between.start();
            while (between.elapsed() < 16)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
        }
        const double stall = meter.stop();
        // The same window repainted at a size it already has, for what any repaint costs.
        std::vector<double> still;
        for (int i = 0; i < 20; ++i) {
            QElapsedTimer repaint;
            repaint.start();
            pin.repaint();
            still.push_back(double(repaint.nsecsElapsed()) / 1e6);
            QCoreApplication::processEvents();
        }
        printStats(name + "_still_repaint", still);
        printStats(name + "_zoom_repaint", repaints);
        printStats(name + "_zoom_resize", zooms);
        print(name + "_zoom_repaint_max", *std::max_element(repaints.begin(), repaints.end()), "ms");
        print(name + "_zoom_longest_stall", stall, "ms");
    };
    {
        QElapsedTimer scaling;
        scaling.start();
        const QImage scaled = image.scaled(1824, 1026, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        print("pin_4k_smooth_rescale", double(scaling.nsecsElapsed()) / 1e6, "ms");
    }
    zoomPin("pin_4k", image);
    zoomPin("pin_1080p", image.scaled(1920, 1080, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    return 0;
}
