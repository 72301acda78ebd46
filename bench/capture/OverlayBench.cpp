// The selection overlay's speed on the virtual desktop, beside Flameshot's in the same run:
//  - a capture shortcut (an XTEST key press of a global hot key whose handler freezes the
//    displays and lists the windows together, then opens the overlay) to the last overlay
//    window's first complete paint, on one 3840 x 2160 monitor and on three monitors;
//  - `flameshot gui` started by the same hot key, to its window mapped;
//  - a pointer move (XTEST) to the overlay repainted with the loupe there;
//  - the same with the dimmed copies' buffers given back before every press (the first
//    capture after a pause);
//  - the resident memory the captures leave behind (the windows' buffers stay for the next);
//  - for the breakdown: the displays frozen and listed, and the dimmed copy of one display
//    into fresh pages and into the buffer of the last capture.
//
//   tools/virtual-desktop.sh --size 3840x2160 -- build/bench/capture/overlay_bench [runs]

#include "BenchStats.h"
#include "GlobalHotKeys.h"
#include "InputGrabs.h"
#include "OverlaySelectionPresenter.h"
#include "ScreenCapturer.h"
#include "SelectionOverlay.h"
#include "X11Desktop.h"
#include "X11HotKeys.h"
#include "X11EventPump.h"
#include "X11OwnWindows.h"
#include "XTestSupport.h"

#include <QApplication>
#include <QCoroTask>
#include <QDir>
#include <QElapsedTimer>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <csignal>
#include <fcntl.h>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace quandrel;
using bench::Clock;

namespace {

constexpr std::uint8_t xControl = 37, xAlt = 64, xF = 41, xEscape = 9;

// Synthetic input on a connection of its own.
struct Input {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    ~Input() { xcb_disconnect(c); }
    void key(std::uint8_t type, std::uint8_t keycode) { xcb_test_fake_input(c, type, keycode, XCB_CURRENT_TIME, root, 0, 0, 0); }
    void down(std::uint8_t k) { key(XCB_KEY_PRESS, k); }
    void up(std::uint8_t k) { key(XCB_KEY_RELEASE, k); }
    void move(int x, int y) { xcb_test_fake_input(c, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, root, std::int16_t(x), std::int16_t(y), 0); }
    void sync() { std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr)); }
};

xcb_connection_t* qtConnection() { return qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection(); }

// A round trip on Qt's connection: the server has everything Qt sent, the last picture too.
void syncQt() { std::free(xcb_get_input_focus_reply(qtConnection(), xcb_get_input_focus(qtConnection()), nullptr)); }

// Runs the event loop, sleeping while there is nothing to do, until the condition holds.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 10000)
{
    QElapsedTimer clock;
    clock.start();
    QTimer tick; // wakes the loop to look at the clock
    tick.start(50);
    while (!condition()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

double residentMiB()
{
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return double(resident) * double(::sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// A desktop worth looking at: smooth shading with some structure, on the root window.
void paintRootBackground(xcb_connection_t* c, int width, int height)
{
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_pixmap_t pixmap = xcb_generate_id(c);
    xcb_create_pixmap(c, screen->root_depth, pixmap, screen->root, std::uint16_t(width), std::uint16_t(height));
    const xcb_gcontext_t gc = xcb_generate_id(c);
    xcb_create_gc(c, gc, pixmap, 0, nullptr);
    const int band = 40;
    for (int y = 0; y < height; y += band) {
        const std::uint32_t colour = (std::uint32_t(40 + (y * 150) / height) << 16) | (std::uint32_t(90 + (y * 60) / height) << 8) | 160u;
        xcb_change_gc(c, gc, XCB_GC_FOREGROUND, &colour);
        const xcb_rectangle_t r{0, std::int16_t(y), std::uint16_t(width), std::uint16_t(band)};
        xcb_poly_fill_rectangle(c, pixmap, gc, 1, &r);
    }
    xcb_change_window_attributes(c, screen->root, XCB_CW_BACK_PIXMAP, &pixmap);
    xcb_clear_area(c, 0, screen->root, 0, 0, 0, 0);
    xcb_free_gc(c, gc);
    xcb_free_pixmap(c, pixmap);
    xcb_flush(c);
}

// Watches the root window for windows being mapped (Flameshot's).
class MapWatcher {
public:
    MapWatcher()
    {
        const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_c, root(), XCB_CW_EVENT_MASK, &mask);
        xcb_flush(m_c);
    }
    ~MapWatcher() { xcb_disconnect(m_c); }
    xcb_window_t root() const { return xcb_setup_roots_iterator(xcb_get_setup(m_c)).data->root; }
    void drain()
    {
        while (xcb_generic_event_t* e = xcb_poll_for_event(m_c))
            std::free(e);
    }
    // Waits for a window of at least `minWidth` to be mapped; answers whether one was.
    bool waitForMap(int minWidth, int timeoutMs)
    {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (Clock::now() < deadline) {
            while (xcb_generic_event_t* e = xcb_poll_for_event(m_c)) {
                const bool mapped = (e->response_type & 0x7f) == XCB_MAP_NOTIFY;
                const xcb_window_t w = mapped ? reinterpret_cast<xcb_map_notify_event_t*>(e)->window : 0;
                std::free(e);
                if (!mapped)
                    continue;
                auto* g = xcb_get_geometry_reply(m_c, xcb_get_geometry(m_c, w), nullptr);
                const bool large = g && g->width >= minWidth;
                std::free(g);
                if (large)
                    return true;
            }
            usleep(200);
        }
        return false;
    }

private:
    xcb_connection_t* m_c = xcb_connect(nullptr, nullptr);
};

struct Harness {
    x11::X11Desktop& desktop;
    ScreenCapturer& capturer;
    OverlaySelectionPresenter& presenter;
    Input& input;
    bool painted = false;
    bool done = false;
    Clock::time_point paintedAt;
    Clock::time_point frozenAt;

    // What the capture shortcut does: freeze and list together, then the overlay.
    QCoro::Task<> capture()
    {
        auto freezing = capturer.freezeDisplays();
        auto listing = capturer.pickableWindows();
        auto frozen = co_await std::move(freezing);
        auto windows = co_await std::move(listing);
        frozenAt = Clock::now();
        if (!std::holds_alternative<std::vector<FrozenDisplay>>(frozen)) {
            std::fprintf(stderr, "freezing failed: %s\n", qPrintable(std::get<CaptureError>(frozen).description()));
            done = true;
            co_return;
        }
        auto pickable = std::holds_alternative<std::vector<PickableWindow>>(windows) ? std::get<std::vector<PickableWindow>>(windows)
                                                                                     : std::vector<PickableWindow>{};
        co_await presenter.select(std::get<std::vector<FrozenDisplay>>(std::move(frozen)), std::move(pickable), false);
        done = true;
    }
};

// Hot key press to the last overlay window's first complete paint, `runs` times.
std::vector<double> shortcutToOverlay(Harness& h, int runs, std::vector<double>& freezes, bool freshBuffers = false)
{
    std::vector<double> samples;
    Input& in = h.input;
    for (int i = 0; i <= runs; ++i) {
        h.painted = false;
        h.done = false;
        if (freshBuffers)
            h.presenter.releaseBuffers();
        in.down(xControl);
        in.down(xAlt);
        in.sync();
        const auto start = Clock::now();
        in.down(xF);
        xcb_flush(in.c);
        if (!waitUntil([&] { return h.painted; })) {
            std::fprintf(stderr, "the overlay did not paint\n");
            break;
        }
        syncQt();
        const double elapsed = bench::ms(Clock::now() - start);
        if (i > 0) { // the first run makes the windows' buffers
            samples.push_back(elapsed);
            freezes.push_back(bench::ms(h.frozenAt - start));
        }
        in.up(xF);
        in.up(xAlt);
        in.up(xControl);
        in.sync();
        if (!waitUntil([&] { return h.presenter.grabbed(); })) {
            std::fprintf(stderr, "the overlay did not grab the keyboard\n");
            break;
        }
        in.down(xEscape);
        in.up(xEscape);
        in.sync();
        if (!waitUntil([&] { return h.done; }))
            break;
    }
    return samples;
}

// `flameshot gui` started by the same key press, to its window mapped.
void flameshotBeside(x11::X11Desktop& desktop, Input& in, int runs, int screenWidth, const std::string& name)
{
    if (QStandardPaths::findExecutable(QStringLiteral("flameshot")).isEmpty()) {
        std::printf("# %s: flameshot is not installed\n", name.c_str());
        return;
    }
    QTemporaryDir home;
    for (const char* sub : {"config", "data", "cache", "runtime"})
        QDir(home.path()).mkpath(QString::fromLatin1(sub));
    QFile::setPermissions(home.filePath(QStringLiteral("runtime")), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (entry.rfind("HOME=", 0) && entry.rfind("XDG_", 0) && entry.rfind("DBUS_SESSION", 0))
            env.push_back(entry);
    }
    const std::string dir = home.path().toStdString();
    env.push_back("HOME=" + dir);
    env.push_back("XDG_CONFIG_HOME=" + dir + "/config");
    env.push_back("XDG_DATA_HOME=" + dir + "/data");
    env.push_back("XDG_CACHE_HOME=" + dir + "/cache");
    env.push_back("XDG_RUNTIME_DIR=" + dir + "/runtime");
    std::vector<char*> envp;
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    GlobalHotKeys& hotKeys = *desktop.services().hotKeys;
    pid_t child = -1;
    auto previous = hotKeys.onPressed;
    hotKeys.onPressed = [&](std::uint32_t) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        const char* args[] = {"flameshot", "gui", nullptr};
        posix_spawnp(&child, "flameshot", &actions, nullptr, const_cast<char* const*>(args), envp.data());
        posix_spawn_file_actions_destroy(&actions);
    };
    MapWatcher watcher;
    std::vector<double> samples;
    std::string failure;
    for (int i = 0; i < runs; ++i) {
        watcher.drain();
        child = -1;
        in.down(xControl);
        in.down(xAlt);
        in.sync();
        const auto start = Clock::now();
        in.down(xF);
        xcb_flush(in.c);
        if (!waitUntil([&] { return child > 0; }, 5000)) {
            failure = "the hot key did not start it";
            break;
        }
        const bool mapped = watcher.waitForMap(screenWidth / 4, 15000);
        const double elapsed = bench::ms(Clock::now() - start);
        in.up(xF);
        in.up(xAlt);
        in.up(xControl);
        in.sync();
        // flameshot gui has no daemon here: the process is the overlay; it goes with it.
        kill(child, SIGTERM);
        int status = 0;
        waitpid(child, &status, 0);
        if (!mapped) {
            failure = "no window was mapped within 15 s (it may need a D-Bus session or a tray)";
            break;
        }
        samples.push_back(elapsed);
    }
    hotKeys.onPressed = previous;
    if (samples.empty()) {
        std::printf("# %s: flameshot gui could not run here: %s\n", name.c_str(), failure.c_str());
        return;
    }
    bench::printStats(name, samples, 1);
}

// Pointer moves to the view repainted with the loupe at the new place.
std::vector<double> pointerToLoupe(Harness& h, int moves)
{
    std::vector<double> samples;
    Input& in = h.input;
    h.painted = false;
    h.done = false;
    h.capture();
    if (!waitUntil([&] { return h.presenter.grabbed() && h.painted; })) {
        std::fprintf(stderr, "the overlay did not open\n");
        return samples;
    }
    OverlayView* view = h.presenter.windows().front()->view();
    for (int i = 0; i < moves; ++i) {
        const int x = 600 + (i % 40) * 61, y = 400 + (i % 23) * 53;
        const int before = view->paintCount();
        const auto start = Clock::now();
        in.move(x, y);
        xcb_flush(in.c);
        const double height = view->size().height;
        const bool repainted = waitUntil([&] {
            return view->paintCount() > before && view->mouse() && view->mouse()->x == x && view->mouse()->y == height - y
                && view->scene().loupe;
        });
        if (!repainted) {
            std::fprintf(stderr, "the loupe did not follow the pointer\n");
            break;
        }
        syncQt();
        samples.push_back(bench::ms(Clock::now() - start));
    }
    std::printf("overlay_move_repainted_area: %.0f px\n", double(view->lastPaintedArea()));
    in.down(xEscape);
    in.up(xEscape);
    in.sync();
    waitUntil([&] { return h.done; });
    return samples;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    auto desktop = x11::X11Desktop::open();
    if (!desktop) {
        std::fprintf(stderr, "overlay_bench needs an X display\n");
        return 1;
    }
    x11::X11EventPump pump(desktop->connection());
    const QSize rootSize = QGuiApplication::primaryScreen()->virtualGeometry().size();
    const std::string size = std::to_string(rootSize.width()) + "x" + std::to_string(rootSize.height());
    paintRootBackground(qtConnection(), rootSize.width(), rootSize.height());

    PlatformServices services = desktop->services();
    ScreenCapturer capturer(*services.screen, *services.displays);
    const auto grabs = x11::X11OwnWindows::forQtWindows();
    Input input;
    input.move(rootSize.width() / 2, rootSize.height() / 2);
    input.sync();
    const double residentBefore = residentMiB();

    auto presenter = std::make_unique<OverlaySelectionPresenter>(*grabs, PanelScreens{[&] { return services.displays->displays(); }, {}});
    Harness h{*desktop, capturer, *presenter, input, false, false, {}, {}};
    QObject::connect(presenter.get(), &OverlaySelectionPresenter::painted, [&] {
        h.painted = true;
        h.paintedAt = Clock::now();
    });
    auto& hotKeys = static_cast<x11::X11HotKeys&>(*services.hotKeys);
    hotKeys.onPressed = [&](std::uint32_t) { h.capture(); };
    if (!hotKeys.registerHotKey(1, 3, 0x1800)) { // Control+Alt+F
        std::fprintf(stderr, "cannot grab Control+Alt+F\n");
        return 1;
    }

    std::vector<double> freezes;
    bench::printStats("overlay_shortcut_to_painted_" + size, shortcutToOverlay(h, runs, freezes));
    bench::printStats("overlay_shortcut_to_frozen_" + size, freezes);
    freezes.clear();
    bench::printStats("overlay_shortcut_to_painted_fresh_buffers_" + size, shortcutToOverlay(h, runs, freezes, true));
    {
        const auto frozen = QCoro::waitFor(capturer.freezeDisplays());
        const QImage& image = std::get<std::vector<FrozenDisplay>>(frozen).front().image.image;
        std::vector<double> fresh, reused;
        QImage buffer;
        for (int i = 0; i < 10; ++i) {
            auto start = Clock::now();
            const QImage dimmed = overlay::dimmedImage(image);
            fresh.push_back(bench::ms(Clock::now() - start));
            start = Clock::now();
            overlay::dimInto(image, buffer);
            reused.push_back(bench::ms(Clock::now() - start));
        }
        bench::printStats("overlay_dimmed_copy_fresh_" + size, fresh);
        bench::printStats("overlay_dimmed_copy_reused_" + size, reused);
    }
    flameshotBeside(*desktop, input, std::min(runs, 5), rootSize.width(), "flameshot_gui_to_mapped_" + size);
    bench::printStats("overlay_pointer_move_to_loupe_" + size, pointerToLoupe(h, runs * 5));

    // Three monitors side by side on the same root window.
    const int third = rootSize.width() / 3;
    std::vector<std::string> monitors;
    for (int i = 0; i < 3; ++i)
        monitors.push_back(std::string(i == 0 ? "*" : "") + "M" + std::to_string(i) + " " + std::to_string(third) + "x"
                           + std::to_string(rootSize.height()) + "+" + std::to_string(i * third) + "+0");
    test::XDesktop::instance().setMonitors(monitors);
    if (waitUntil([] { return QGuiApplication::screens().size() == 3; })) {
        // Let the presenter fit its windows before the shortcut, as it does while idle.
        presenter->prepare();
        freezes.clear();
        const std::string three = "3x" + std::to_string(third) + "x" + std::to_string(rootSize.height());
        bench::printStats("overlay_shortcut_to_painted_" + three, shortcutToOverlay(h, runs, freezes));
        bench::printStats("overlay_shortcut_to_frozen_" + three, freezes);
        flameshotBeside(*desktop, input, std::min(runs, 5), third, "flameshot_gui_to_mapped_3_monitors");
    } else {
        std::printf("# three monitors: Qt did not follow the new monitors\n");
    }
    test::XDesktop::instance().setMonitors({});

    bench::print("overlay_resident_growth_after_captures", residentMiB() - residentBefore, "MiB", 1);
    hotKeys.unregisterHotKey(1);
    return 0;
}
