// Latency of a window command through the sway backend: from the request until sway has
// placed the window (its tree shows the new frame). The same placements done with swaymsg
// (one process per command, as a sway key binding would run it) are measured beside it, and
// the time until the client has drawn itself at the new size for both.
//
// Run in the private headless sway: tools/sway-desktop.sh -- sway_window_bench

#include "BenchStats.h"
#include "ScreenSpace.h"
#include "SwayDesktop.h"
#include "SwayTestSupport.h"
#include "WindowLayout.h"
#include "WindowManager.h"

#include <QLoggingCategory>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace quandrel;
using namespace quandrel::bench;

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 100;
    QLoggingCategory::setFilterRules(QStringLiteral("quandrel.windows.info=false\nquandrel.sway.info=false"));

    auto& sway = test::SwayTestDesktop::instance();
    sway.useStandardOutputs();
    auto desktop = sway::SwayDesktop::open();
    if (!desktop) {
        std::fprintf(stderr, "no sway\n");
        return 1;
    }
    test::SwayClient window;
    const std::string target = "[con_id=" + std::to_string(window.id()) + "] ";
    sway.run(target + "floating enable, resize set width 500 px height 400 px, move absolute position 200 px 150 px");
    window.settle();

    WindowManager manager(desktop->services());
    manager.gap = 8;
    const WindowAction actions[] = {WindowAction::leftHalf, WindowAction::rightHalf};
    std::vector<Rect> expected; // window space
    for (const WindowAction a : actions)
        expected.push_back(ScreenSpace(900).toWindow(*targetFrame(a, 0, {0, 0, 1440, 900}, {}, 8)));

    std::vector<double> quandrel;
    std::vector<double> quandrelDrawn;
    for (int i = 0; i < rounds; ++i) {
        const auto start = Clock::now();
        manager.perform(actions[i % 2]);
        quandrel.push_back(ms(Clock::now() - start));
        window.settle();
        quandrelDrawn.push_back(ms(Clock::now() - start));
        if (sway.outerFrame(window.id()) != expected[i % 2]) {
            std::fprintf(stderr, "window command %d did not land\n", i);
            return 1;
        }
    }

    std::vector<double> swaymsg;
    std::vector<double> swaymsgDrawn;
    for (int i = 0; i < rounds; ++i) {
        const Rect& f = expected[i % 2];
        const std::string command = "swaymsg -q '" + target + "resize set width " + std::to_string(int(f.width)) + " px height "
            + std::to_string(int(f.height)) + " px, move absolute position " + std::to_string(int(f.x)) + " px "
            + std::to_string(int(f.y)) + " px'";
        const auto start = Clock::now();
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "swaymsg failed\n");
            return 1;
        }
        swaymsg.push_back(ms(Clock::now() - start));
        window.settle();
        swaymsgDrawn.push_back(ms(Clock::now() - start));
        if (sway.outerFrame(window.id()) != f) {
            std::fprintf(stderr, "swaymsg placement %d did not land\n", i);
            return 1;
        }
    }

    printStats("sway_window_command", quandrel);
    printStats("sway_window_command_drawn", quandrelDrawn);
    printStats("swaymsg_placement", swaymsg);
    printStats("swaymsg_placement_drawn", swaymsgDrawn);
    print("sway_window_command_speedup", median(swaymsg) / std::max(1e-9, median(quandrel)), "x");
    return 0;
}
