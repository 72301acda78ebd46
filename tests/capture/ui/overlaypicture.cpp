// Opens the selection overlay on the displays as they are, for a person (or a screenshot) to
// look at, in the light palette or, with --dark, a dark one; in area mode, or with --window
// in window mode. It prints "READY" once the overlay is painted everywhere and holds the
// keyboard and pointer, then the choice ("AREA x y w h", "WINDOW id" or "NONE") when the
// overlay ends, and exits. With --adjust a dragged area is adjusted before it is taken.
//
//   quandrel-overlay-picture [--dark] [--window] [--adjust]

#include "DarkPalette.h"
#include "OverlaySelectionPresenter.h"
#include "ScreenCapturer.h"
#include "X11Desktop.h"
#include "X11EventPump.h"
#include "X11OwnWindows.h"

#include <QApplication>
#include <QCoroTask>
#include <QPalette>

#include <cstdio>

using namespace quandrel;

namespace {

QCoro::Task<> run(ScreenCapturer& capturer, OverlaySelectionPresenter& presenter, bool windowMode)
{
    auto frozen = co_await capturer.freezeDisplays();
    auto windows = co_await capturer.pickableWindows();
    if (!std::holds_alternative<std::vector<FrozenDisplay>>(frozen)) {
        std::printf("ERROR %s\n", qPrintable(std::get<CaptureError>(frozen).description()));
        QCoreApplication::exit(1);
        co_return;
    }
    auto pickable = std::holds_alternative<std::vector<PickableWindow>>(windows) ? std::get<std::vector<PickableWindow>>(windows)
                                                                                 : std::vector<PickableWindow>{};
    const auto result = co_await presenter.select(std::get<std::vector<FrozenDisplay>>(frozen), pickable, windowMode);
    if (const auto* error = std::get_if<CaptureError>(&result))
        std::printf("ERROR %s\n", qPrintable(error->description()));
    else if (const auto& selection = std::get<std::optional<CaptureSelection>>(result); !selection)
        std::printf("NONE\n");
    else if (const auto* area = std::get_if<AreaSelection>(&*selection))
        std::printf("AREA %g %g %g %g\n", area->rect.x, area->rect.y, area->rect.width, area->rect.height);
    else
        std::printf("WINDOW %u\n", unsigned(std::get<WindowSelection>(*selection).window.window.value()));
    std::fflush(stdout);
    QCoreApplication::exit(0);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments().mid(1);
    if (args.contains(QStringLiteral("--dark")))
        QApplication::setPalette(quandrel::test::darkPalette());
    auto desktop = x11::X11Desktop::open();
    if (!desktop)
        return 1;
    x11::X11EventPump pump(desktop->connection());
    PlatformServices services = desktop->services();
    ScreenCapturer capturer(*services.screen, *services.displays);
    const auto grabs = x11::X11OwnWindows::forQtWindows();
    OverlaySelectionPresenter presenter(*grabs, PanelScreens{[&] { return services.displays->displays(); }, {}});
    presenter.adjustBeforeCapturing = [adjust = args.contains(QStringLiteral("--adjust"))] { return adjust; };
    bool painted = false;
    const auto ready = [&] {
        if (painted && presenter.grabbed()) {
            std::printf("READY\n");
            std::fflush(stdout);
        }
    };
    QObject::connect(&presenter, &OverlaySelectionPresenter::painted, [&] {
        painted = true;
        ready();
    });
    QObject::connect(&presenter, &OverlaySelectionPresenter::grabbedInput, ready);
    auto task = run(capturer, presenter, args.contains(QStringLiteral("--window")));
    return app.exec();
}
