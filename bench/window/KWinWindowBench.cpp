// Latency of a window command through the KWin backend: from the request until KWin reports
// the frame applied (the client has taken the size). Beside it, in the same run, the same
// placements as a KWin script sent the way a shell binding would: qdbus loads, starts and
// unloads a one-shot script (one process per call), until KWin shows the frame.
//
// Run in the private headless KWin: tools/kwin-desktop.sh --size 1440x900 -- kwin_window_bench

#include "BenchStats.h"
#include "KWinDesktop.h"
#include "KWinTestSupport.h"
#include "ScreenSpace.h"
#include "WindowLayout.h"
#include "WindowManager.h"

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QLoggingCategory>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

using namespace quandrel;
using namespace quandrel::bench;

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "wayland");
    QGuiApplication app(argc, argv);
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 50;
    QLoggingCategory::setFilterRules(QStringLiteral("quandrel.windows.info=false\nquandrel.kwin.info=false"));

    auto& kwin = test::KWinTestDesktop::instance();
    kwin.useStandardOutputs();
    auto desktop = kwin::KWinDesktop::open();
    if (!desktop) {
        std::fprintf(stderr, "no KWin\n");
        return 1;
    }
    test::KWinClient window;
    kwin.place(window.pid(), {200, 150, 500, 400});

    WindowManager manager(desktop->services());
    manager.gap = 8;
    const WindowAction actions[] = {WindowAction::leftHalf, WindowAction::rightHalf};
    std::vector<Rect> expected; // window space
    for (const WindowAction a : actions)
        expected.push_back(ScreenSpace(900).toWindow(*targetFrame(a, 0, {0, 0, 1440, 900}, {}, 8)));

    std::vector<double> quandrel;
    for (int i = 0; i < rounds; ++i) {
        const auto start = Clock::now();
        manager.perform(actions[i % 2]);
        while (manager.isInFlight())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        quandrel.push_back(ms(Clock::now() - start));
        if (window.frame() != expected[i % 2]) {
            std::fprintf(stderr, "window command %d did not land\n", i);
            return 1;
        }
    }

    std::vector<double> qdbus;
    std::vector<double> qdbusLanded;
    const std::string script = "/tmp/quandrel-kwin-bench-" + std::to_string(::getpid()) + ".js";
    for (int i = 0; i < rounds; ++i) {
        const Rect& f = expected[i % 2];
        QFile file(QString::fromStdString(script));
        file.open(QIODevice::WriteOnly);
        file.write(QStringLiteral("var all = workspace.clientList(); for (var i = 0; i < all.length; ++i) if (all[i].pid === %1) "
                                  "all[i].frameGeometry = {x: %2, y: %3, width: %4, height: %5};\n")
                       .arg(window.pid())
                       .arg(f.x)
                       .arg(f.y)
                       .arg(f.width)
                       .arg(f.height)
                       .toUtf8());
        file.close();
        const std::string command = "qdbus org.kde.KWin /Scripting org.kde.kwin.Scripting.loadScript " + script
            + " bench >/dev/null && qdbus org.kde.KWin /Scripting org.kde.kwin.Scripting.start >/dev/null"
              " && qdbus org.kde.KWin /Scripting org.kde.kwin.Scripting.unloadScript bench >/dev/null";
        const auto start = Clock::now();
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "qdbus failed\n");
            return 1;
        }
        qdbus.push_back(ms(Clock::now() - start));
        if (!kwin.waitUntil([&] { return window.frame() == f; })) {
            std::fprintf(stderr, "qdbus placement %d did not land\n", i);
            return 1;
        }
        qdbusLanded.push_back(ms(Clock::now() - start));
    }
    std::remove(script.c_str());

    printStats("kwin_window_command_applied", quandrel);
    printStats("qdbus_script_commands", qdbus);
    printStats("qdbus_script_landed", qdbusLanded);
    return 0;
}
