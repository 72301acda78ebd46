// Latency from a key press (XTEST) to the hot-key callback, and the same key bound in sxhkd
// to a trivial command (time until the command runs), measured in one run.
//
// Run on the private virtual desktop: tools/virtual-desktop.sh -- hotkey_bench [presses]

#include "BenchStats.h"
#include "GlobalHotKeys.h"
#include "X11Connection.h"
#include "X11Desktop.h"
#include "X11HotKeys.h"

#include <xcb/xtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

using namespace quandrel;
using Clock = std::chrono::steady_clock;

using quandrel::bench::ms;

namespace {

constexpr std::uint8_t xControl = 37, xAlt = 64, xF = 41, xG = 42;

struct Input {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    ~Input() { xcb_disconnect(c); }
    void key(std::uint8_t type, std::uint8_t keycode) { xcb_test_fake_input(c, type, keycode, XCB_CURRENT_TIME, root, 0, 0, 0); }
    void sync() { std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr)); }
    void down(std::uint8_t k) { key(XCB_KEY_PRESS, k); }
    void up(std::uint8_t k) { key(XCB_KEY_RELEASE, k); }
};

void report(const char* name, const std::vector<double>& v) { bench::printStats(name, v, 3); }


} // namespace

int main(int argc, char** argv)
{
    const int presses = argc > 1 ? std::atoi(argv[1]) : 500;
    auto desktop = x11::X11Desktop::open();
    if (!desktop) {
        std::fprintf(stderr, "no X display\n");
        return 1;
    }
    Input input;

    // Quandrel: Control+Alt+F.
    auto& hotKeys = static_cast<x11::X11HotKeys&>(*desktop->services().hotKeys);
    int fired = 0;
    hotKeys.onPressed = [&](std::uint32_t) { ++fired; };
    if (!hotKeys.registerHotKey(1, 3, 0x1800)) {
        std::fprintf(stderr, "cannot grab Control+Alt+F\n");
        return 1;
    }
    std::vector<double> ours;
    input.down(xControl);
    input.down(xAlt);
    input.sync();
    for (int i = 0; i < presses; ++i) {
        const int before = fired;
        const auto start = Clock::now();
        input.down(xF);
        xcb_flush(input.c);
        while (fired == before) {
            pollfd pfd{desktop->connection().fileDescriptor(), POLLIN, 0};
            poll(&pfd, 1, 100);
            desktop->connection().dispatchPending();
        }
        ours.push_back(ms(Clock::now() - start));
        input.up(xF);
        input.sync();
    }
    input.up(xAlt);
    input.up(xControl);
    input.sync();
    hotKeys.unregisterHotKey(1);
    report("hotkey_press_to_callback", ours);

    // sxhkd: Control+Alt+G runs a command that writes one byte into a FIFO.
    char dir[] = "/tmp/quandrel-sxhkd-XXXXXX";
    if (!mkdtemp(dir))
        return 1;
    const std::string fifo = std::string(dir) + "/fifo";
    const std::string config = std::string(dir) + "/sxhkdrc";
    mkfifo(fifo.c_str(), 0600);
    std::ofstream(config) << "ctrl + alt + g\n    printf x > " << fifo << "\n";
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    const int keepOpen = open(fifo.c_str(), O_WRONLY | O_NONBLOCK); // no hang-up between commands
    pid_t sxhkd = -1;
    const char* args[] = {"sxhkd", "-c", config.c_str(), nullptr};
    if (posix_spawnp(&sxhkd, "sxhkd", nullptr, nullptr, const_cast<char* const*>(args), environ) != 0) {
        std::fprintf(stderr, "sxhkd is not installed\n");
        return 1;
    }
    // sxhkd is ready once its grab makes ours fail.
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (hotKeys.registerHotKey(2, 5, 0x1800)) {
        hotKeys.unregisterHotKey(2);
        if (Clock::now() > deadline) {
            std::fprintf(stderr, "sxhkd did not grab its key\n");
            kill(sxhkd, SIGTERM);
            return 1;
        }
        usleep(10000);
    }
    std::vector<double> theirs;
    input.down(xControl);
    input.down(xAlt);
    input.sync();
    for (int i = 0; i < presses; ++i) {
        const auto start = Clock::now();
        input.down(xG);
        xcb_flush(input.c);
        pollfd pfd{reader, POLLIN, 0};
        if (poll(&pfd, 1, 2000) <= 0) {
            std::fprintf(stderr, "sxhkd did not run its command\n");
            break;
        }
        theirs.push_back(ms(Clock::now() - start));
        char byte;
        while (read(reader, &byte, 1) > 0) {
        }
        input.up(xG);
        input.sync();
    }
    input.up(xAlt);
    input.up(xControl);
    input.sync();
    kill(sxhkd, SIGTERM);
    waitpid(sxhkd, nullptr, 0);
    close(reader);
    close(keepOpen);
    unlink(fifo.c_str());
    unlink(config.c_str());
    rmdir(dir);
    if (!theirs.empty())
        report("sxhkd_press_to_command", theirs);
    return 0;
}
