// Opening the settings window: the first time in a fresh process (widgets, style, fonts and
// symbols made), and again after it was closed; and the resident memory once it was opened
// and closed, against before it was ever made.
//
// Run on the private virtual desktop: tools/virtual-desktop.sh -- settings_window_bench

#include "AppController.h"
#include "BenchStats.h"
#include "FakeDesktop.h"
#include "SettingsWindow.h"
#include "SettingsWindows.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QProcess>
#include <QTemporaryDir>
#include <QWindow>

#include <malloc.h>

using namespace quandrel;
using namespace quandrel::bench;

namespace {

// A figure of /proc/self/status: "VmRSS" (resident, the library code it touched included) or
// "RssAnon" (the process's own memory).
double statusMiB(const QByteArray& field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return -1;
}

double residentMiB() { return statusMiB("VmRSS"); }

struct Catalog final : ApplicationCatalog {
    std::vector<InstalledApplication> installedApplications() override { return {}; }
    std::optional<InstalledApplication> findApplication(const std::string&) override { return std::nullopt; }
};

struct NoCapture final : CaptureService {
    bool startCapture(CaptureMode, std::optional<AfterCapture>, int) override { return true; }
    void closeAllPins() override {}
};

// Until the window is on the screen and painted.
void waitUntilShown(QWidget* window)
{
    while (!window->windowHandle() || !window->windowHandle()->isExposed())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QCoreApplication::processEvents();
}

struct Setup {
    Setup()
    {
        desktop.addDisplay({0, 0, 1440, 900}, {0, 0, 1440, 875});
        QuandrelSettings settings;
        settings.hasCompletedOnboarding = true;
        settings.appBindings = {{"xterm", "XTerm", Shortcut{7, 0x1800}, FrontmostBehavior::hide},
                                {"org.gnome.TextEditor", "Text Editor", std::nullopt, FrontmostBehavior::cycleWindows}};
        auto store = std::make_unique<SettingsStore>(dir.filePath(QStringLiteral("settings.json")));
        store->setSettings(settings);
        controller = std::make_unique<AppController>(desktop.services(), std::move(store), AppServices{capture, windows, nullptr},
                                                     [](int, std::function<void()>) {});
        windows.setContext(controller->settingsContext());
        controller->start();
    }
    QTemporaryDir dir;
    FakeDesktop desktop;
    NoCapture capture;
    Catalog catalog;
    SettingsWindows windows{catalog};
    std::unique_ptr<AppController> controller;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.contains(QStringLiteral("--first"))) {
        Setup setup;
        const auto start = Clock::now();
        setup.windows.showSettings();
        waitUntilShown(setup.windows.settingsWindow());
        std::printf("%f\n", ms(Clock::now() - start));
        return 0;
    }

    // The first opening, each in a fresh process.
    std::vector<double> first;
    for (int i = 0; i < 7; ++i) {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--first")});
        child.waitForFinished(30000);
        bool ok = false;
        const double value = child.readAllStandardOutput().trimmed().toDouble(&ok);
        if (ok)
            first.push_back(value);
    }
    printStats("settings_window_first_open", first);

    Setup setup;
    // The running application has drawn widgets before (its tray menu): fonts, the style and
    // the connection's image buffers exist already. A small window stands in for that.
    {
        QWidget warm;
        auto* label = new QLabel(QStringLiteral("Quandrel"), &warm);
        label->move(10, 10);
        auto* button = new QPushButton(QStringLiteral("Settings…"), &warm);
        button->move(10, 40);
        warm.resize(200, 120);
        warm.show();
        waitUntilShown(&warm);
    }
    QCoreApplication::processEvents();
    malloc_trim(0);
    const double before = residentMiB();
    const double ownBefore = statusMiB("RssAnon");
    setup.windows.showSettings();
    waitUntilShown(setup.windows.settingsWindow());
    std::vector<double> again;
    for (int i = 0; i < 30; ++i) {
        setup.windows.settingsWindow()->close();
        QCoreApplication::processEvents();
        const auto start = Clock::now();
        setup.windows.showSettings();
        waitUntilShown(setup.windows.settingsWindow());
        again.push_back(ms(Clock::now() - start));
    }
    printStats("settings_window_reopen", again);
    setup.windows.settingsWindow()->close();
    for (int i = 0; i < 10; ++i)
        QCoreApplication::processEvents();
    malloc_trim(0);
    const double after = residentMiB();
    const double ownAfter = statusMiB("RssAnon");
    print("resident_before_settings_window", before, "MiB");
    print("resident_after_settings_window_closed", after, "MiB");
    print("resident_growth_settings_window", after - before, "MiB");
    print("own_memory_growth_settings_window", ownAfter - ownBefore, "MiB");

    // Opening and closing it again costs nothing more: the window is kept, nothing piles up.
    for (int i = 0; i < 20; ++i) {
        setup.windows.showSettings();
        waitUntilShown(setup.windows.settingsWindow());
        setup.windows.settingsWindow()->close();
        for (int j = 0; j < 5; ++j)
            QCoreApplication::processEvents();
    }
    malloc_trim(0);
    print("resident_growth_after_20_more_openings", residentMiB() - after, "MiB");
    return 0;
}
