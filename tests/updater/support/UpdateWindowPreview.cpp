// Shows the Software Update window in one state for a picture check, or (packaged) the
// settings window's Updates section of a copy the package manager updates:
//   updater-window-preview available|downloading|ready|packaged [dark] OUT.png
// The window is shown on the current display and the whole screen is written to OUT.png
// with ImageMagick's import once the window has been painted.

#include "DarkPalette.h"
#include "UpdateWindow.h"
#include "UpdatesSection.h"
#include "UpdaterFakes.h"
#include "UpdaterFixtures.h"

#include <QApplication>
#include <QDir>
#include <QGroupBox>
#include <QVBoxLayout>
#include <QProcess>
#include <QSettings>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTimer>

using namespace ostry;
using namespace ostry::test;

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3)
        return 2;
    const QString state = args[1];
    const bool dark = args.contains(QStringLiteral("dark"));
    const QString out = args.last();
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    if (dark) {
        QApplication::setPalette(quandrel::test::darkPalette());
    }

    QTemporaryDir dir;
    QDir().mkpath(dir.filePath(QStringLiteral("apps")));
    const QString bundle = makeBundle(dir.filePath(QStringLiteral("apps")), {QStringLiteral("1.0")});
    auto feed = std::make_shared<FakeFeed>();
    feed->answer = candidateFor(QStringLiteral("1.1"));
    feed->answer->notes = QStringLiteral(
        "## What's new\n\n* **Faster** window layouts on large displays\n* Screenshots keep their scale when pinned\n"
        "* A signed self-updater\n\n### Fixes\n\n1. Drag snapping no longer misses the top edge\n"
        "2. The thumbnail stays on the display it was taken on\n\n[Full release notes](https://example.invalid/1.1)");
    auto downloader = std::make_shared<FakeDownloader>();
    downloader->bundlePath = dir.filePath(QStringLiteral("download"));
    downloader->progressSteps = {0.42};
    downloader->gate.closed = state == QLatin1String("downloading");
    WindowPresenter presenter;
    UpdaterHooks hooks;
    hooks.isEnabled = state != QLatin1String("packaged");
    hooks.updatedBy = DistributionGuard::Reason::packageManager;
    hooks.schedule = [](int, std::function<void()>) {};
    UpdaterConfiguration configuration;
    configuration.bundle = AppBundle(bundle);
    Updater updater(configuration, std::make_unique<QSettings>(dir.filePath(QStringLiteral("u.ini")), QSettings::IniFormat),
                    UpdaterParts{feed, downloader, std::make_shared<FakeVerifier>(), std::make_shared<FakeInstaller>()}, presenter,
                    hooks, Schedule::onStart);
    std::unique_ptr<QWidget> section;
    if (state == QLatin1String("packaged")) {
        section = std::make_unique<QGroupBox>(QStringLiteral("Updates"));
        auto* layout = new QVBoxLayout(section.get());
        layout->addWidget(makeUpdatesSection(updater).release());
        section->resize(560, section->sizeHint().height());
        section->move(40, 40);
        section->show();
    } else {
        updater.beginCheckForUpdates(ostry::Initiator::user);
        if (state != QLatin1String("available"))
            updater.setAutomaticallyInstalls(state == QLatin1String("ready")), updater.installAndRelaunch();
    }
    if (state == QLatin1String("ready"))
        waitUntil([&] { return updater.state().kind == UpdateState::Kind::readyToInstall; });
    if (!section)
        presenter.show(updater);
    QTimer::singleShot(800, [&] {
        QProcess::execute(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"), out});
        app.quit();
    });
    return app.exec();
}
