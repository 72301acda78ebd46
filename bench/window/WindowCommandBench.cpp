// Latency of a window command on a real X server and window manager: from the request until
// the window manager has given the window its final geometry. The same placements done with
// wmctrl (one process per command, as a shell binding would run it) are measured beside it.
//
// Run on the private virtual desktop: tools/virtual-desktop.sh -- window_command_bench

#include "BenchStats.h"
#include "WindowLayout.h"
#include "ScreenSpace.h"
#include "WindowManager.h"
#include "X11Desktop.h"
#include "XTestSupport.h"

#include <xcb/xcb.h>

#include <QLoggingCategory>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace quandrel;
using namespace quandrel::bench;

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 200;
    QLoggingCategory::setFilterRules(QStringLiteral("quandrel.windows.info=false"));

    auto& x = test::XDesktop::instance();
    x.setMonitors({"*MAIN 1440x900+0+0"});
    auto desktop = x11::X11Desktop::open();
    if (!desktop) {
        std::fprintf(stderr, "no X display\n");
        return 1;
    }
    test::TestWindow window({"--geometry", "500x400+200+150"});
    x.activate(window.id());

    WindowManager manager(desktop->services());
    manager.gap = 8;
    const WindowAction actions[] = {WindowAction::leftHalf, WindowAction::rightHalf};
    std::vector<Rect> expected; // outer frames in root coordinates
    for (const WindowAction a : actions)
        expected.push_back(ScreenSpace(900).toWindow(*targetFrame(a, 0, {0, 0, 1440, 900}, {}, 8)));

    std::vector<double> quandrel;
    for (int i = 0; i < rounds; ++i) {
        const auto start = Clock::now();
        manager.perform(actions[i % 2]);
        quandrel.push_back(ms(Clock::now() - start));
        if (x.outerFrame(window.id()) != expected[i % 2]) {
            std::fprintf(stderr, "window command %d did not land\n", i);
            return 1;
        }
    }

    // wmctrl takes the client size; the decorations are the window's frame extents.
    const Rect outer = x.outerFrame(window.id());
    const Rect client = x.clientGeometry(window.id());
    const double decorationWidth = outer.width - client.width;
    const double decorationHeight = outer.height - client.height;
    std::vector<double> wmctrl;
    for (int i = 0; i < rounds; ++i) {
        const Rect& f = expected[i % 2];
        char command[160];
        std::snprintf(command, sizeof command, "wmctrl -r :ACTIVE: -e 0,%d,%d,%d,%d", int(f.x), int(f.y),
                      int(f.width - decorationWidth), int(f.height - decorationHeight));
        const auto start = Clock::now();
        test::run(command);
        const bool landed = x.waitUntil([&] { return x.outerFrame(window.id()) == f; }, std::chrono::seconds(2));
        wmctrl.push_back(ms(Clock::now() - start));
        if (!landed) {
            std::fprintf(stderr, "wmctrl command %d did not land\n", i);
            return 1;
        }
    }

    // The floor every tool pays: one _NET_MOVERESIZE_WINDOW message straight to the window
    // manager, timed until the frame has landed.
    std::vector<double> floor;
    xcb_connection_t* c = x.connection();
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, 22, "_NET_MOVERESIZE_WINDOW"), nullptr);
    for (int i = 0; i < rounds; ++i) {
        const Rect& f = expected[i % 2];
        xcb_client_message_event_t e{};
        e.response_type = XCB_CLIENT_MESSAGE;
        e.format = 32;
        e.window = window.id();
        e.type = atom->atom;
        e.data.data32[0] = XCB_GRAVITY_NORTH_WEST | (1 << 8) | (1 << 9) | (2 << 12); // x, y; from a pager
        e.data.data32[1] = std::uint32_t(f.x);
        e.data.data32[2] = std::uint32_t(f.y);
        const auto start = Clock::now();
        xcb_send_event(c, 0, x.root(), XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY, reinterpret_cast<const char*>(&e));
        xcb_flush(c);
        x.waitUntil([&] { return x.outerFrame(window.id()) == f; }, std::chrono::seconds(2));
        floor.push_back(ms(Clock::now() - start));
    }
    std::free(atom);

    const Stats q = stats(quandrel);
    const Stats w = stats(wmctrl);
    std::printf("window_command_median: %.3f ms\n", q.median);
    std::printf("window_command_p95: %.3f ms\n", q.p95);
    std::printf("wmctrl_command_median: %.3f ms\n", w.median);
    std::printf("wmctrl_command_p95: %.3f ms\n", w.p95);
    std::printf("window_command_speedup_vs_wmctrl: %.1f x\n", w.median / q.median);
    std::printf("window_manager_move_floor_median: %.3f ms\n", stats(floor).median);
    x.setMonitors({});
    return 0;
}
