// GNOME Shell (headless, 1440 × 900 and 900 × 1440) with the Quandrel extension: a window
// command through the extension until the client has taken its frame, beside the Shell's own
// move_resize_frame run from a trivial script (Eval) and polled until the frame shows; and a
// full-screen capture of both displays written as a PNG file, beside the Shell's own
// screenshot call writing a PNG file. Run it through tools/gnome-desktop.sh --testing.

#include "BenchStats.h"
#include "GnomeDesktop.h"
#include "GnomeShell.h"
#include "GnomeTestSupport.h"
#include "PngEncoder.h"
#include "ScreenFreezer.h"
#include "WindowManager.h"

#include <QCoroTask>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

using namespace quandrel;

namespace {

// Runs the event loop until `done` holds, woken by each event (a D-Bus answer) rather than
// polled, so the time measured is the answer's; false after ten seconds.
bool runUntil(const std::function<bool()>& done)
{
    QTimer bound;
    bound.setSingleShot(true);
    bound.start(10000);
    while (!done()) {
        if (!bound.isActive())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    auto& shell = test::GnomeTestDesktop::instance();
    gnome::GnomeDesktop desktop(std::make_unique<gnome::GnomeShell>());
    if (desktop.shell().state() != gnome::ShellState::ready) {
        std::fprintf(stderr, "%s\n", desktop.shell().problem().c_str());
        return 1;
    }
    test::GnomeClient client;
    constexpr int rounds = 30;

    WindowManager manager(desktop.services());
    std::vector<double> commands, own;
    for (int i = 0; i < rounds + 2; ++i) {
        const auto start = bench::Clock::now();
        manager.perform(i % 2 ? WindowAction::leftHalf : WindowAction::rightHalf);
        if (!runUntil([&] { return !manager.isInFlight(); })) {
            std::fprintf(stderr, "a window command did not complete\n");
            return 1;
        }
        if (i >= 2)
            commands.push_back(bench::ms(bench::Clock::now() - start));
    }
    for (int i = 0; i < rounds + 2; ++i) {
        const Rect target = i % 2 ? Rect{0, 0, 720, 900} : Rect{720, 0, 720, 900};
        const auto start = bench::Clock::now();
        shell.eval(QStringLiteral("global.display.focus_window.move_resize_frame(true, %1, %2, %3, %4)")
                       .arg(int(target.x))
                       .arg(int(target.y))
                       .arg(int(target.width))
                       .arg(int(target.height)));
        if (!shell.waitUntil([&] { return shell.frame(client.id()) == target; })) {
            std::fprintf(stderr, "the Shell did not place the window\n");
            return 1;
        }
        if (i >= 2)
            own.push_back(bench::ms(bench::Clock::now() - start));
    }
    bench::printStats("gnome_window_command_through_extension", commands);
    bench::printStats("gnome_shell_move_resize_frame_from_script", own);

    const FreezeRequest request{{{0, 0, 1440, 900}, {1440, 0, 900, 1440}}, true};
    QTemporaryDir folder;
    std::vector<double> freezes, files, shellShots;
    for (int i = 0; i < rounds + 2; ++i) {
        const auto start = bench::Clock::now();
        auto result = QCoro::waitFor(desktop.services().screen->freeze(request));
        const auto frozen = bench::Clock::now();
        if (!std::holds_alternative<FrozenScreens>(result)) {
            std::fprintf(stderr, "freeze failed: %s\n", std::get<GrabFailure>(result).message.c_str());
            return 1;
        }
        // The whole screen as one image, as a full-screen capture of both displays saves it.
        const auto& images = std::get<FrozenScreens>(result).images;
        QImage screen(2340, 1440, QImage::Format_RGB32);
        screen.fill(Qt::black);
        {
            QPainter painter(&screen);
            painter.drawImage(0, 0, QImage(images[0].data, images[0].width, images[0].height, images[0].bytesPerLine, QImage::Format_RGB32));
            painter.drawImage(1440, 0, QImage(images[1].data, images[1].width, images[1].height, images[1].bytesPerLine, QImage::Format_RGB32));
        }
        const auto png = encodePng(screen);
        QFile file(folder.filePath(QStringLiteral("quandrel.png")));
        if (!png || !file.open(QIODevice::WriteOnly) || file.write(*png) != png->size())
            return 1;
        file.close();
        const auto written = bench::Clock::now();

        QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.gnome.Shell.Screenshot"), QStringLiteral("/org/gnome/Shell/Screenshot"),
                                                           QStringLiteral("org.gnome.Shell.Screenshot"), QStringLiteral("Screenshot"));
        call << false << false << folder.filePath(QStringLiteral("shell.png"));
        const auto shellStart = bench::Clock::now();
        const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 10000);
        const auto shellEnd = bench::Clock::now();
        if (i < 2)
            continue; // warm-up
        freezes.push_back(bench::ms(frozen - start));
        files.push_back(bench::ms(written - start));
        if (reply.type() == QDBusMessage::ReplyMessage)
            shellShots.push_back(bench::ms(shellEnd - shellStart));
    }
    bench::printStats("gnome_freeze_two_displays", freezes);
    bench::printStats("gnome_full_screen_to_png_file", files);
    if (!shellShots.empty())
        bench::printStats("gnome_shell_screenshot_to_png_file", shellShots);
    else
        std::printf("gnome_shell_screenshot: refused\n");
    return 0;
}
