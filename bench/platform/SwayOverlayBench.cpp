// The capture shortcut on a headless sway with two outputs, the second turned: from running
// the command a sway binding runs (`quandrel quandrel://capture/area`, handed to the running
// Quandrel) until sway shows the overlay's window on both outputs (a window maps with its
// first painted frame), then Escape through the seat's keyboard until the overlay is gone.
// Run it through tools/sway-desktop.sh.

#include "BenchStats.h"
#include "SwayTestSupport.h"

#include <QJsonObject>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace quandrel;

namespace {

bool overlayShown(test::SwayTestDesktop& sway)
{
    std::set<QString> outputs;
    for (const QJsonObject& w : sway.windowsTitled("Quandrel selection"))
        if (w.value(QLatin1String("fullscreen_mode")).toInt() == 1)
            outputs.insert(w.value(QLatin1String("output")).toString());
    return outputs.size() == 2;
}

} // namespace

int main()
{
    namespace fs = std::filesystem;
    auto& sway = test::SwayTestDesktop::instance();
    sway.useStandardOutputs();
    const fs::path config = fs::temp_directory_path() / ("quandrel-overlay-bench-" + std::to_string(getpid()));
    fs::create_directories(config / "Quandrel");
    std::ofstream(config / "Quandrel" / "settings.json") << R"({"hasCompletedOnboarding": true})";
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);

    test::SwayClient window; // something on the screen besides the background
    test::SwayInput input;
    pid_t app = -1;
    char* argv[] = {const_cast<char*>(QUANDREL_EXECUTABLE), nullptr};
    if (posix_spawn(&app, QUANDREL_EXECUTABLE, nullptr, nullptr, argv, environ) != 0)
        return 1;
    const std::string command = std::string(QUANDREL_EXECUTABLE) + " quandrel://capture/area 2>/dev/null";
    constexpr int rounds = 20;
    std::vector<double> shown;
    int failures = 0;
    for (int i = 0; i < rounds + 2; ++i) {
        const auto start = bench::Clock::now();
        // The first hand-over waits until Quandrel is up.
        const int status = std::system(command.c_str());
        const bool up = status == 0 && sway.waitUntil([&] { return overlayShown(sway); }, std::chrono::seconds(10));
        const auto end = bench::Clock::now();
        input.key("Escape");
        sway.waitUntil([&] { return sway.windowsTitled("Quandrel selection").empty(); });
        if (!up) {
            if (++failures == 3)
                break; // the overlay does not come: no figure
            continue;
        }
        if (i >= 2)
            shown.push_back(bench::ms(end - start));
    }
    kill(app, SIGTERM);
    waitpid(app, nullptr, 0);
    fs::remove_all(config);
    bench::printStats("sway_url_to_overlay_shown_two_outputs", shown);
    bench::print("sway_overlay_failures", failures, "count", 0);
    return failures == 0 ? 0 : 1;
}
