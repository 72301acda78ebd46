// Full-screen capture on a headless sway with two 1920 × 1080 outputs, the second turned:
// the freeze of both outputs (screencopy, turned, placed), that freeze written as a PNG file,
// and grim writing the same screen to a PNG file in the same run. Run it through
// tools/sway-desktop.sh.

#include "BenchStats.h"
#include "PngEncoder.h"
#include "ScreenFreezer.h"
#include "SwayDesktop.h"
#include "SwayTestSupport.h"

#include <QCoroTask>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

using namespace quandrel;

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    auto& sway = test::SwayTestDesktop::instance();
    sway.run("output HEADLESS-1 mode 1920x1080 position 0 0 transform normal, output HEADLESS-2 mode 1920x1080 position 1920 0 transform 90");
    test::SwayClient client; // something on the screen besides the background
    auto desktop = sway::SwayDesktop::open();
    if (!desktop) {
        std::fprintf(stderr, "no sway\n");
        return 1;
    }
    const FreezeRequest request{{{0, 0, 1920, 1080}, {1920, 0, 1080, 1920}}, true};
    QTemporaryDir folder;
    constexpr int rounds = 30;
    std::vector<double> freezes, files, grims;
    for (int i = 0; i < rounds + 2; ++i) {
        const auto start = bench::Clock::now();
        auto result = QCoro::waitFor(desktop->services().screen->freeze(request));
        const auto frozen = bench::Clock::now();
        if (!std::holds_alternative<FrozenScreens>(result)) {
            std::fprintf(stderr, "freeze failed: %s\n", std::get<GrabFailure>(result).message.c_str());
            return 1;
        }
        // The whole screen as one image, as a full-screen capture saves it.
        const auto& images = std::get<FrozenScreens>(result).images;
        QImage screen(3000, 1920, QImage::Format_RGB32);
        screen.fill(Qt::black);
        {
            QPainter painter(&screen);
            painter.drawImage(0, 0, QImage(images[0].data, images[0].width, images[0].height, images[0].bytesPerLine, QImage::Format_RGB32));
            painter.drawImage(1920, 0, QImage(images[1].data, images[1].width, images[1].height, images[1].bytesPerLine, QImage::Format_RGB32));
        }
        const auto png = encodePng(screen);
        QFile file(folder.filePath(QStringLiteral("quandrel.png")));
        if (!png || !file.open(QIODevice::WriteOnly) || file.write(*png) != png->size())
            return 1;
        file.close();
        const auto written = bench::Clock::now();

        QProcess grim;
        const auto grimStart = bench::Clock::now();
        grim.start(QStringLiteral("grim"), {folder.filePath(QStringLiteral("grim.png"))});
        const bool grimRan = grim.waitForFinished(10000) && grim.exitCode() == 0;
        const auto grimEnd = bench::Clock::now();
        if (i < 2)
            continue; // warm-up
        freezes.push_back(bench::ms(frozen - start));
        files.push_back(bench::ms(written - start));
        if (grimRan)
            grims.push_back(bench::ms(grimEnd - grimStart));
    }
    bench::printStats("sway_freeze_two_1080p_outputs", freezes);
    bench::printStats("sway_full_screen_to_png_file", files);
    if (!grims.empty())
        bench::printStats("grim_full_screen_to_png_file", grims);
    else
        std::printf("grim: not installed\n");
    return 0;
}
