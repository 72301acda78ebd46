// The window-command table under load: with every core kept busy by other processes, each
// command runs as a quick press would, and the frame the window has when the command returns
// (what the next press reads) is compared with the table's. Reports the share of exact
// results; the goal is 100 %.
//
// Run on the private virtual desktop: tools/virtual-desktop.sh -- window_command_load_bench [rounds] [busy processes]

#include "BenchStats.h"
#include "WindowCommandTable.h"
#include "WindowManager.h"
#include "FrontmostApplication.h"
#include "X11Desktop.h"
#include "X11Windows.h"
#include "XTestSupport.h"

#include <QLoggingCategory>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace quandrel;
using namespace quandrel::bench;

namespace {

class SilentSound final : public SystemSound {
public:
    void beep() override { ++beeps; }
    int beeps = 0;
};

// Busy processes that end with the benchmark.
class Load {
public:
    explicit Load(int processes)
    {
        for (int i = 0; i < processes; ++i) {
            const pid_t pid = ::fork();
            if (pid == 0) {
                volatile int sink = 0; // as `while :; do :; done` does
                for (;;)
                    sink = sink + 1;
            }
            if (pid > 0)
                m_pids.push_back(pid);
        }
    }
    ~Load()
    {
        for (const pid_t pid : m_pids)
            ::kill(pid, SIGKILL);
        for (const pid_t pid : m_pids)
            ::waitpid(pid, nullptr, 0);
    }

private:
    std::vector<pid_t> m_pids;
};

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 10;
    const int busy = argc > 2 ? std::atoi(argv[2]) : 4 * int(std::thread::hardware_concurrency());
    QLoggingCategory::setFilterRules(QStringLiteral("quandrel.windows.info=false"));

    auto& x = test::XDesktop::instance();
    x.setMonitors({"*MAIN 1440x900+0+0", "SIDE 900x1440+1440+0"});
    auto desktop = x11::X11Desktop::open();
    if (!desktop) {
        std::fprintf(stderr, "no X display\n");
        return 1;
    }
    test::TestWindow window({"--geometry", "500x400+200+150"});
    x.activate(window.id());

    SilentSound sound;
    PlatformServices services = desktop->services();
    services.sound = &sound;

    int exact = 0;
    int total = 0;
    int exactRounds = 0;
    std::vector<double> latencies;
    {
        const Load load(busy);
        for (int round = 0; round < rounds; ++round) {
            desktop->windows().setFrame(window.id(), window.pid(), test::tableStartFrame);
            x.waitUntil([&] { return x.outerFrame(window.id()) == test::tableStartFrame; });
            WindowManager manager(services);
            manager.gap = test::tableGap;
            bool allExact = true;
            for (const test::TableRow& row : test::windowCommandTable()) {
                const auto start = Clock::now();
                manager.perform(row.action);
                latencies.push_back(ms(Clock::now() - start));
                const bool hit = x.outerFrame(window.id()) == row.frame;
                exact += hit ? 1 : 0;
                allExact = allExact && hit;
                ++total;
            }
            exactRounds += allExact ? 1 : 0;
        }
    }

    print("window_table_under_load_exact", total ? 100.0 * exact / total : 0, "%", 1);
    print("window_table_under_load_exact_rounds", rounds ? 100.0 * exactRounds / rounds : 0, "%", 1);
    print("window_table_under_load_busy_processes", busy, "count", 0);
    printStats("window_table_under_load_command", latencies);
    return 0;
}
