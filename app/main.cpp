// Quandrel: a tray application for window layouts, app shortcuts and screenshots on X11.
//
//   quandrel                      starts Quandrel (or does nothing when it already runs)
//   quandrel quandrel://…         hands the command URLs to the running Quandrel, starting
//                                 it first when none runs

#include "AppController.h"
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
#include <QSettings>
#include <optional>
#include <QTimer>
#include <QUrl>

#include <cstdio>

using namespace quandrel;

namespace {

// Screenshots are not wired into the application yet: their commands beep.
class UnwiredCapture final : public CaptureService {
public:
    explicit UnwiredCapture(SystemSound& sound) : m_sound(sound) {}
    void startCapture(CaptureMode, std::optional<AfterCapture>) override { m_sound.beep(); }
    void closeAllPins() override {}

private:
    SystemSound& m_sound;
};

// Until the settings window exists, Settings… opens the settings file itself, writing the
// current settings first when there is no file yet.
class SettingsFileOpener final : public SettingsPresenter {
public:
    void showSettings() override
    {
        if (!store || !store->ensureFileExists())
            return;
        QDesktopServices::openUrl(QUrl::fromLocalFile(store->path()));
    }
    SettingsStore* store = nullptr;
};

// The settings document an earlier Quandrel kept under the key "settings" of its INI file.
std::optional<QByteArray> legacySettingsDocument()
{
    QSettings domain;
    const QVariant stored = domain.value(QStringLiteral("settings"));
    if (!stored.isValid())
        return std::nullopt;
    return stored.typeId() == QMetaType::QByteArray ? stored.toByteArray() : stored.toString().toUtf8();
}

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

    UnwiredCapture capture(*desktop->services().sound);
    SettingsFileOpener settingsOpener;
    x11::X11Desktop* d = desktop.get();
    AppServices services{capture, settingsOpener, [d]() -> std::unique_ptr<SnapPreviewSurface> {
                             return std::make_unique<SnapPreview>([d] { return primaryScreenHeight(d->displays()); },
                                                                  [d] { return d->hasCompositingManager(); });
                         }};
    QObject scheduler;
    auto store = std::make_unique<SettingsStore>(SettingsStore::defaultPath(),
                                                 QFileInfo::exists(SettingsStore::defaultPath()) ? std::nullopt : legacySettingsDocument());
    settingsOpener.store = store.get();
    store->watchFile();
    AppController controller(desktop->services(), std::move(store), services, [&scheduler](int ms, std::function<void()> run) {
        QTimer::singleShot(ms, &scheduler, std::move(run));
    });

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
