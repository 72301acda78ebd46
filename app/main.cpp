// Quandrel: a tray application for window layouts, app shortcuts and screenshots on X11.
//
//   quandrel                      starts Quandrel (or does nothing when it already runs)
//   quandrel quandrel://…         hands the command URLs to the running Quandrel, starting
//                                 it first when none runs
//   quandrel --edit FILE.png…     opens the annotation editor on image files (for developers)

#include "AppController.h"
#include "DeveloperEditor.h"
#include "SingleInstance.h"
#include "SnapPreview.h"
#include "TrayMenu.h"
#include "Workspace.h"
#include "X11Connection.h"
#include "X11Desktop.h"
#include "X11EventPump.h"
#include "X11KeyboardLayout.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QSettings>
#include <QTimer>
#include <QUrl>

#include <cstdio>

using namespace quandrel;

namespace {

// Follows edits of the settings file made by other programs (another Quandrel, a script,
// a text editor). The file is replaced on every save, so the watch is renewed each time.
void watchSettingsFile(QSettings& domain, SettingsStore& store, QObject* owner)
{
    auto* watcher = new QFileSystemWatcher(owner);
    const QString file = domain.fileName();
    const QString folder = QFileInfo(file).absolutePath();
    QDir().mkpath(folder);
    watcher->addPath(folder);
    if (QFileInfo::exists(file))
        watcher->addPath(file);
    auto changed = [watcher, file, &store] {
        if (QFileInfo::exists(file) && !watcher->files().contains(file))
            watcher->addPath(file);
        store.reload();
    };
    QObject::connect(watcher, &QFileSystemWatcher::fileChanged, owner, changed);
    QObject::connect(watcher, &QFileSystemWatcher::directoryChanged, owner, changed);
}

// Screenshots are not wired into the application yet: their commands beep.
class UnwiredCapture final : public CaptureService {
public:
    explicit UnwiredCapture(SystemSound& sound) : m_sound(sound) {}
    void startCapture(CaptureMode, std::optional<AfterCapture>) override { m_sound.beep(); }
    void closeAllPins() override {}

private:
    SystemSound& m_sound;
};

// Until the settings window exists, Settings… opens the settings file itself.
class SettingsFileOpener final : public SettingsPresenter {
public:
    explicit SettingsFileOpener(QSettings& domain) : m_domain(domain) {}
    void showSettings() override { QDesktopServices::openUrl(QUrl::fromLocalFile(m_domain.fileName())); }

private:
    QSettings& m_domain;
};

} // namespace

int main(int argc, char** argv)
{
    QElapsedTimer startup;
    startup.start();
    QApplication::setOrganizationName(QStringLiteral("Quandrel"));
    QApplication::setApplicationName(QStringLiteral("Quandrel"));
    QApplication::setDesktopFileName(QStringLiteral("quandrel"));
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    if (argc > 1 && QApplication::arguments().at(1) == QStringLiteral("--edit"))
        return runDeveloperEditor(QApplication::arguments().mid(2));

    QStringList urls = QApplication::arguments().mid(1);

    SingleInstance instance(SingleInstance::defaultSocketPath());
    if (instance.sendToRunningInstance(urls)) {
        if (urls.isEmpty())
            std::fprintf(stderr, "Quandrel is already running.\n");
        return 0;
    }

    auto desktop = x11::X11Desktop::open();
    if (!desktop) {
        std::fprintf(stderr, "Quandrel needs an X11 display.\n");
        return 1;
    }
    x11::X11EventPump pump(desktop->connection());
    x11::ServerKeyboardLayout layout(desktop->connection());

    QSettings domain;
    UnwiredCapture capture(*desktop->services().sound);
    SettingsFileOpener settingsOpener(domain);
    x11::X11Desktop* d = desktop.get();
    AppServices services{capture, settingsOpener, [d]() -> std::unique_ptr<SnapPreviewSurface> {
                             return std::make_unique<SnapPreview>([d] { return primaryScreenHeight(d->displays()); },
                                                                  [d] { return d->hasCompositingManager(); });
                         }};
    QObject scheduler;
    AppController controller(desktop->services(), domain, services, [&scheduler](int ms, std::function<void()> run) {
        QTimer::singleShot(ms, &scheduler, std::move(run));
    });
    watchSettingsFile(domain, controller.store(), &controller);

    if (!instance.listen()) {
        // Another instance won the race to start: hand over and leave.
        if (instance.sendToRunningInstance(urls))
            return 0;
        qWarning("Quandrel could not open its command socket; command URLs from other programs will not reach it.");
    }
    QObject::connect(&instance, &SingleInstance::urlReceived, &controller, [&controller](const QString& url) { controller.handleURL(QUrl(url)); });

    TrayMenu tray(controller);
    controller.start();
    if (!controller.permissions().windowControlAllowed())
        desktop->showTrustPrompt();
    for (const QString& url : urls)
        controller.handleURL(QUrl(url));

    qInfo("Quandrel is ready (%lld ms, %zu hot keys).", static_cast<long long>(startup.elapsed()), controller.hotKeys().registered().size());
    return app.exec();
}
