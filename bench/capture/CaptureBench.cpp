// Screen capture speed on the virtual desktop, beside the screenshot tools a Linux user has:
// freezing every display (MIT-SHM and plain GetImage), the cost of copying a frozen image,
// freezing while one of our own windows is on screen (the time it stays hidden), and request
// to a saved PNG of the whole screen beside scrot, maim and ImageMagick's import, one process
// per capture as a user runs them, with the files' sizes.
//
//   tools/virtual-desktop.sh --size 3840x2160 -- build/bench/capture/capture_bench [runs]
//
// The desktop is set up like a user's: a photograph-like background (smooth shading with
// grain, which compresses like a photo) under a few terminals full of text.

#include "ImageExport.h"
#include "ScreenCapturer.h"
#include "X11Desktop.h"
#include "X11Displays.h"
#include "X11ScreenCapture.h"
#include "XTestSupport.h"

#include <QCoreApplication>
#include <QCoroTask>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

using namespace quandrel;
using Clock = std::chrono::steady_clock;

namespace {

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

struct Stats {
    double median, p95;
};
Stats stats(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    auto at = [&](double q) { return v[std::min(v.size() - 1, std::size_t(std::ceil(q * double(v.size())) - 1))]; };
    return {at(0.5), at(0.95)};
}

void report(const std::string& name, const std::vector<double>& samples)
{
    const Stats s = stats(samples);
    std::printf("%s_median: %.2f ms\n%s_p95: %.2f ms\n", name.c_str(), s.median, name.c_str(), s.p95);
    std::fflush(stdout);
}

pid_t spawn(const std::vector<std::string>& arguments, bool quiet = true)
{
    std::vector<std::string> args = arguments;
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (quiet) {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    }
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

bool runToEnd(const std::vector<std::string>& arguments)
{
    const pid_t pid = spawn(arguments);
    if (pid < 0)
        return false;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool available(const char* program) { return runToEnd({"sh", "-c", std::string("command -v ") + program}); }

// A background that compresses like a photograph: broad soft shading with fine grain.
void paintBackground(xcb_connection_t* c, xcb_window_t root, int width, int height)
{
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_pixmap_t pixmap = xcb_generate_id(c);
    xcb_create_pixmap(c, screen->root_depth, pixmap, root, std::uint16_t(width), std::uint16_t(height));
    const xcb_gcontext_t gc = xcb_generate_id(c);
    xcb_create_gc(c, gc, pixmap, 0, nullptr);
    std::uint32_t state = 2024;
    const int band = 64;
    std::vector<std::uint32_t> rows(std::size_t(width) * band);
    for (int y0 = 0; y0 < height; y0 += band) {
        const int n = std::min(band, height - y0);
        for (int y = 0; y < n; ++y) {
            for (int x = 0; x < width; ++x) {
                state = state * 1664525u + 1013904223u;
                const double u = double(x) / width, v = double(y0 + y) / height;
                const int grain = int((state >> 24) % 13) - 6;
                auto channel = [&](double base) { return std::uint32_t(std::clamp(int(base) + grain, 0, 255)); };
                const double r = 120 + 80 * std::sin(3.1 * u + 1.3 * v) + 30 * std::sin(17 * u * v);
                const double g = 110 + 70 * std::sin(2.3 * v - 0.7 * u + 1) + 25 * std::cos(11 * u);
                const double b = 100 + 90 * std::cos(1.7 * u + 2.9 * v);
                rows[std::size_t(y) * width + x] = channel(r) << 16 | channel(g) << 8 | channel(b);
            }
        }
        xcb_put_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, gc, std::uint16_t(width), std::uint16_t(n), 0, std::int16_t(y0), 0,
                      screen->root_depth, std::uint32_t(std::size_t(width) * n * 4), reinterpret_cast<const std::uint8_t*>(rows.data()));
    }
    xcb_change_window_attributes(c, root, XCB_CW_BACK_PIXMAP, &pixmap);
    xcb_clear_area(c, 0, root, 0, 0, 0, 0);
    xcb_free_gc(c, gc);
    xcb_free_pixmap(c, pixmap);
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

std::uint32_t clientCount(xcb_connection_t* c, xcb_window_t root)
{
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, 16, "_NET_CLIENT_LIST"), nullptr);
    xcb_get_property_reply_t* r = xcb_get_property_reply(c, xcb_get_property(c, 0, root, atom->atom, XCB_ATOM_WINDOW, 0, 1024), nullptr);
    const std::uint32_t n = r ? std::uint32_t(xcb_get_property_value_length(r) / 4) : 0;
    std::free(r);
    std::free(atom);
    return n;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(3, std::atoi(argv[1])) : 20;
    const int fileRuns = std::max(3, runs / 4);

    auto desktop = x11::X11Desktop::open();
    if (!desktop) {
        std::fprintf(stderr, "no X display\n");
        return 1;
    }
    x11::X11ScreenCapture capture(desktop->connection());
    ScreenCapturer capturer(capture, desktop->displays());
    auto& x = test::XDesktop::instance();
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(x.connection())).data;
    const int width = screen->width_in_pixels, height = screen->height_in_pixels;
    std::printf("screen: %dx%d pixels\n", width, height);

    // The desktop: background, then terminals full of text.
    paintBackground(x.connection(), x.root(), width, height);
    std::vector<pid_t> terminals;
    const std::uint32_t before = clientCount(x.connection(), x.root());
    for (int i = 0; i < 4; ++i) {
        const std::string geometry = "110x45+" + std::to_string(60 + i * width / 5) + "+" + std::to_string(40 + i * height / 8);
        terminals.push_back(spawn({"xterm", "-geometry", geometry, "-e", "sh", "-c", "ls -l /usr/include /usr/bin | head -300; sleep 100000"}));
    }
    x.waitUntil([&] { return clientCount(x.connection(), x.root()) >= before + 4; }, std::chrono::seconds(10));
    x.waitUntil([] { return false; }, std::chrono::milliseconds(500)); // let the terminals draw their text

    auto freezeOnce = [&] {
        const auto start = Clock::now();
        auto result = QCoro::waitFor(capturer.freezeDisplays());
        const auto took = Clock::now() - start;
        if (!std::holds_alternative<std::vector<FrozenDisplay>>(result)) {
            std::fprintf(stderr, "freeze failed: %s\n", qPrintable(std::get<CaptureError>(result).description()));
            std::exit(1);
        }
        return std::pair{ms(took), std::get<std::vector<FrozenDisplay>>(std::move(result))};
    };

    // Freezing: all displays, composited into MIT-SHM, read through MIT-SHM and made opaque
    // afterwards, and plain GetImage. The three ways alternate run by run, so that a busy
    // machine weighs on each alike.
    std::printf("freeze_composes_opaque: %s\n", capture.composesOpaque() ? "yes" : "no");
    {
        const char* names[] = {"freeze_shm", "freeze_shm_opaque_afterwards", "freeze_getimage"};
        std::vector<double> samples[3];
        for (int i = 0; i <= runs; ++i) {
            for (int way = 0; way < 3; ++way) {
                capture.setSharedMemoryEnabled(way != 2);
                capture.setCompositionEnabled(way == 0);
                const double took = freezeOnce().first;
                if (i > 0) // the first round warms up
                    samples[way].push_back(took);
            }
        }
        for (int way = 0; way < 3; ++way)
            report(names[way], samples[way]);
    }
    capture.setSharedMemoryEnabled(true);
    capture.setCompositionEnabled(true);

    // What copying a frozen image would cost, had the grab not handed over its buffer.
    {
        const auto frozen = freezeOnce().second;
        std::vector<double> samples;
        for (int i = 0; i < runs; ++i) {
            const auto start = Clock::now();
            QImage copy = frozen.front().image.image.copy();
            samples.push_back(ms(Clock::now() - start));
            if (copy.isNull())
                return 1;
        }
        report("copy_frozen_image", samples);
    }

    // Two monitors side by side: each grabbed on its own.
    {
        x.setMonitors({"*LEFT " + std::to_string(width / 2) + "x" + std::to_string(height) + "+0+0",
                       "RIGHT " + std::to_string(width - width / 2) + "x" + std::to_string(height) + "+" + std::to_string(width / 2) + "+0"});
        std::vector<double> samples;
        for (int i = 0; i < runs; ++i)
            samples.push_back(freezeOnce().first);
        report("freeze_two_monitors", samples);
        x.setMonitors({});
    }

    // One of our own windows on screen: it is hidden for this long, the repaint wait included.
    {
        const xcb_window_t own = xcb_generate_id(x.connection());
        const std::uint32_t values[] = {0x2060a0};
        xcb_create_window(x.connection(), XCB_COPY_FROM_PARENT, own, x.root(), 100, 100, 300, 200, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          screen->root_visual, XCB_CW_BACK_PIXEL, values);
        xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(x.connection(), xcb_intern_atom(x.connection(), 0, 11, "_NET_WM_PID"), nullptr);
        const std::uint32_t pid = std::uint32_t(getpid());
        xcb_change_property(x.connection(), XCB_PROP_MODE_REPLACE, own, atom->atom, XCB_ATOM_CARDINAL, 32, 1, &pid);
        std::free(atom);
        xcb_map_window(x.connection(), own);
        xcb_flush(x.connection());
        x.waitUntil([&] { return x.isManaged(own); });
        std::vector<double> samples;
        for (int i = 0; i < runs; ++i)
            samples.push_back(freezeOnce().first);
        report("freeze_with_own_window_hidden", samples);
        std::printf("own_window_repaint_wait: %lld ms\n", static_cast<long long>(capture.repaintDelay().count()));
        xcb_destroy_window(x.connection(), own);
        xcb_flush(x.connection());
        x.waitUntil([&] { return !x.isManaged(own); });
    }

    // Request to a saved PNG of the whole screen, beside the peers.
    QTemporaryDir folder;
    auto sizeOf = [](const QString& path) { return double(QFileInfo(path).size()) / 1e6; };
    {
        std::vector<double> samples;
        double size = 0;
        for (int i = 0; i < fileRuns; ++i) {
            const auto start = Clock::now();
            auto frozen = std::get<std::vector<FrozenDisplay>>(QCoro::waitFor(capturer.freezeDisplays()));
            const auto saved = saveImage(frozen.front().image.image, frozen.front().image.scale, folder.path());
            samples.push_back(ms(Clock::now() - start));
            if (!std::holds_alternative<QString>(saved))
                return 1;
            size = sizeOf(std::get<QString>(saved));
            QFile::remove(std::get<QString>(saved));
        }
        report("quandrel_capture_to_file", samples);
        std::printf("quandrel_file_size: %.2f MB\n", size);
    }
    struct Peer {
        const char* name;
        const char* program;
        std::function<std::vector<std::string>(const std::string&)> command;
    };
    const std::vector<Peer> peers = {
        {"scrot", "scrot", [](const std::string& f) { return std::vector<std::string>{"scrot", "-o", f}; }},
        {"maim", "maim", [](const std::string& f) { return std::vector<std::string>{"maim", f}; }},
        {"import", "import", [](const std::string& f) { return std::vector<std::string>{"import", "-window", "root", f}; }},
        {"flameshot", "flameshot", [](const std::string& f) { return std::vector<std::string>{"flameshot", "full", "-p", f}; }},
    };
    for (const Peer& peer : peers) {
        if (!available(peer.program)) {
            std::printf("%s_capture_to_file: not installed\n", peer.name);
            continue;
        }
        const std::string file = (folder.path() + "/" + peer.name + ".png").toStdString();
        std::vector<double> samples;
        for (int i = 0; i < fileRuns; ++i) {
            std::remove(file.c_str());
            const auto start = Clock::now();
            const bool ok = runToEnd(peer.command(file));
            samples.push_back(ms(Clock::now() - start));
            if (!ok) {
                std::printf("%s_capture_to_file: failed\n", peer.name);
                samples.clear();
                break;
            }
        }
        if (samples.empty())
            continue;
        report(std::string(peer.name) + "_capture_to_file", samples);
        std::printf("%s_file_size: %.2f MB\n", peer.name, sizeOf(QString::fromStdString(file)));
    }

    for (pid_t t : terminals)
        kill(t, SIGTERM);
    for (pid_t t : terminals)
        waitpid(t, nullptr, 0);
    return 0;
}
