// Full-screen capture on a headless KWin with two 1920 × 1080 outputs side by side: the
// freeze of both outputs through ScreenShot2, and that freeze written as a PNG file. Run it
// through tools/kwin-desktop.sh (its default output size).

#include "BenchStats.h"
#include "KWinDesktop.h"
#include "KWinTestSupport.h"
#include "PngEncoder.h"
#include "ScreenFreezer.h"

#include <QCoroTask>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <cstdio>

using namespace quandrel;

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "wayland");
    QGuiApplication app(argc, argv);
    test::KWinClient client; // something on the screen besides the background
    auto desktop = kwin::KWinDesktop::open();
    if (!desktop) {
        std::fprintf(stderr, "no KWin\n");
        return 1;
    }
    const FreezeRequest request{{{0, 0, 1920, 1080}, {1920, 0, 1920, 1080}}, true};
    QTemporaryDir folder;
    constexpr int rounds = 20;
    std::vector<double> freezes, files;
    for (int i = 0; i < rounds + 2; ++i) {
        const auto start = bench::Clock::now();
        auto result = QCoro::waitFor(desktop->services().screen->freeze(request));
        const auto frozen = bench::Clock::now();
        if (!std::holds_alternative<FrozenScreens>(result)) {
            std::fprintf(stderr, "freeze failed: %s\n", std::get<GrabFailure>(result).message.c_str());
            return 1;
        }
        const auto& images = std::get<FrozenScreens>(result).images;
        QImage screen(3840, 1080, QImage::Format_RGB32);
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
        if (i < 2)
            continue; // warm-up
        freezes.push_back(bench::ms(frozen - start));
        files.push_back(bench::ms(written - start));
    }
    bench::printStats("kwin_freeze_two_1080p_outputs", freezes);
    bench::printStats("kwin_full_screen_to_png_file", files);
    return 0;
}
