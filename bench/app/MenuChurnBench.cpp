// Memory of the running application's own objects while settings change and the tray menu
// opens again and again: the resident size after start, after 1,000 settings changes and after
// 600 menu openings. Runs offscreen against the in-memory desktop.

#include "AppController.h"
#include "BenchStats.h"
#include "FakeDesktop.h"
#include "TrayMenu.h"

#include <QApplication>
#include <QFile>
#include <QMenu>
#include <QTemporaryDir>

using namespace quandrel;

namespace {

double residentMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').front().toDouble() / 1024;
    }
    return 0;
}

struct NoCapture final : CaptureService {
    bool startCapture(CaptureMode, std::optional<AfterCapture>, int) override { return true; }
    void closeAllPins() override {}
};
struct NoSettingsWindow final : SettingsPresenter {
    void showSettings() override {}
};

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    FakeDesktop desktop;
    desktop.addDisplay({0, 0, 1440, 900}, {0, 0, 1440, 875});
    NoCapture capture;
    NoSettingsWindow settingsWindow;
    AppController controller(desktop.services(), std::make_unique<SettingsStore>(dir.filePath(QStringLiteral("settings.json"))),
                             AppServices{capture, settingsWindow, nullptr}, [](int, std::function<void()>) {});
    controller.start();
    TrayMenu tray(controller);
    QuandrelSettings settings = controller.store().settings();
    settings.appBindings.push_back({"xterm", "XTerm", Shortcut{7, 0x1800}, FrontmostBehavior::hide});
    controller.store().setSettings(settings);
    bench::print("menu_churn_rss_start", residentMiB(), "MiB", 1);

    for (int i = 0; i < 1000; ++i) {
        settings.gap = i % 2 ? 4 : 6;
        controller.store().setSettings(settings);
    }
    bench::print("menu_churn_rss_after_1000_settings_changes", residentMiB(), "MiB", 1);
    for (int i = 0; i < 600; ++i)
        Q_EMIT tray.menu()->aboutToShow();
    bench::print("menu_churn_rss_after_600_menu_openings", residentMiB(), "MiB", 1);
    bench::print("menu_churn_menu_objects", double(tray.menu()->findChildren<QObject*>().size()), "objects", 0);
    return 0;
}
