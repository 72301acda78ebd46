// Quandrel: a tray application for window layouts, app shortcuts and screenshots on X11.
//
//   quandrel                      starts Quandrel, or shows the running Quandrel's settings
//   quandrel --quit               ends the running Quandrel (as quandrel://quit does)
//   quandrel quandrel://…         hands the command URLs to the running Quandrel, starting
//                                 it first when none runs
//   quandrel --from-link URL…     the same for URLs of links opened elsewhere (the desktop
//                                 entry's scheme handler): a capture shows its overlay or
//                                 asks first
//   quandrel --edit FILE.png…     opens the annotation editor on image files (for developers)
//   quandrel --show-thumbnail FILE.png | --pin FILE.png
//                                 (for developers) shows the file as a thumbnail or a pin
//   quandrel --sway-bindings      prints the shortcuts as sway key bindings

#include "AppBundle.h"
#include "ColourScheme.h"
#include "DarkPalette.h"
#include "QuitSignals.h"
#include "AppController.h"
#include "CaptureCoordinator.h"
#include "CaptureWindows.h"
#include "OverlaySelectionPresenter.h"
#include "TesseractRecognizer.h"
#include "DeveloperEditor.h"
#include "DeveloperPanels.h"
#include "DesktopCatalog.h"
#include "DesktopFactory.h"
#include "Display.h"
#include "FloatingPanel.h"
#include "KeyboardLayout.h"
#include "OwnWindows.h"
#include "FreedesktopNotifier.h"
#include "SettingsWindows.h"
#include "Session.h"
#include "ShortcutList.h"
#include "SingleInstance.h"
#include "SwayBindings.h"
#include "SnapPreview.h"
#include "TrayMenu.h"
#include "UpdateWindow.h"
#include "UpdatesSection.h"
#include "FrontmostApplication.h"
#include "ImageExport.h"

#include "Translations.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSettings>
#include <optional>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <csignal>
#include <cstring>
#include <malloc.h>
#include <memory>
#include <unistd.h>
#include <vector>

using namespace quandrel;

namespace {

// The texts of the command line, in one context.
struct CommandLine {
    Q_DECLARE_TR_FUNCTIONS(CommandLine)
};

// One line on the terminal, after the program's name.
void say(const QString& message) { std::fprintf(stderr, "quandrel: %s\n", qUtf8Printable(message)); }

// Screenshots: the coordinator is made the first time anything needs it and then kept. The
// overlay's windows are made at start, so that the first capture does not wait for them.
class CaptureFeature final : public CaptureService {
public:
    CaptureFeature(PlatformServices platform, PanelScreens screens)
        : m_platform(platform)
        , m_capturer(*platform.screen, *platform.displays)
        , m_overlay(*platform.ownWindows, screens)
        , m_views(screens)
    {
        m_capturer.includePointer = [this] { return store && store->settings().includePointer; };
        m_overlay.adjustBeforeCapturing = [this] { return store && store->settings().adjustBeforeCapturing; };
    }

    bool startCapture(CaptureMode mode, std::optional<AfterCapture> then, int delaySeconds) override
    {
        return coordinator().startCapture(mode, then, delaySeconds);
    }
    void closeAllPins() override
    {
        if (m_coordinator)
            m_coordinator->closeAllPins();
    }
    bool hasPins() const override { return m_coordinator && m_coordinator->pinCount() > 0; }

    CaptureCoordinator& coordinator()
    {
        if (!m_coordinator) {
            m_coordinator = std::make_unique<CaptureCoordinator>(
                CaptureSettings{[this] { return store->settings().afterCapture; }, [this] { return store->screenshotsFolder(); }},
                CaptureCoordinator::Platform{m_capturer, *m_platform.windows, *m_platform.trust}, m_overlay, m_recognizer, m_views);
            m_coordinator->onPinsChanged = [this] {
                if (onPinsChanged)
                    onPinsChanged();
            };
        }
        return *m_coordinator;
    }
    CaptureWindows& views() { return m_views; }

    SettingsStore* store = nullptr;
    std::function<void()> onPinsChanged;

private:
    PlatformServices m_platform;
    ScreenCapturer m_capturer;
    OverlaySelectionPresenter m_overlay;
    TesseractRecognizer m_recognizer;
    CaptureWindows m_views;
    std::unique_ptr<CaptureCoordinator> m_coordinator;
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

// Hands the URLs to the running instance. Answers the exit status when this process is done
// (handed over, refused, or written without an answer), none when no instance runs.
std::optional<int> handOver(SingleInstance& instance, const QStringList& urls)
{
    QString answer;
    switch (instance.sendToRunningInstance(urls, &answer)) {
    case SingleInstance::Delivery::delivered:
        return 0;
    case SingleInstance::Delivery::refused:
        say(CommandLine::tr("the running Quandrel refused the command: %1").arg(answer));
        return 1;
    case SingleInstance::Delivery::busy:
        say(CommandLine::tr("the running Quandrel is too busy to take the command; nothing was sent."));
        return 1;
    case SingleInstance::Delivery::noAnswer:
        // Sending again could run the command twice once the instance recovers.
        say(CommandLine::tr("the running Quandrel took the command but did not answer within %1 seconds.")
                .arg(SingleInstance::answerTimeout / 1000));
        return 1;
    case SingleInstance::Delivery::noInstance:
        break;
    }
    return std::nullopt;
}

// The bundle AppRun started this process from (AppRun names it in APPDIR).
std::optional<ostry::AppBundle> launchedBundle()
{
    return qEnvironmentVariableIsEmpty("APPDIR") ? std::nullopt : ostry::AppBundle::running();
}

// Takes what AppRun set for this process alone out of the environment the programs it
// starts inherit. A TESSDATA_PREFIX of the caller's own is passed on as it came.
void forgetBundleEnvironment()
{
    const QString appDir = qEnvironmentVariable("APPDIR");
    if (appDir.isEmpty())
        return;
    if (qEnvironmentVariable("TESSDATA_PREFIX").startsWith(appDir + QLatin1Char('/')))
        qunsetenv("TESSDATA_PREFIX");
    qunsetenv("APPDIR");
}

// An update swapped a new copy of the bundle in after this process started (it was started
// around a relaunch): the new copy runs in its place, so the instance is always the newest.
// The instance lock is closed on exec.
void runReplacedCopyInstead(int argc, char** argv)
{
    const bool replacedBefore = qEnvironmentVariableIsSet("QUANDREL_STARTED_REPLACED_COPY");
    qunsetenv("QUANDREL_STARTED_REPLACED_COPY");
    const auto bundle = launchedBundle();
    if (replacedBefore || !bundle || !bundle->runsReplacedCopy())
        return;
    qputenv("QUANDREL_STARTED_REPLACED_COPY", "1");
    const QByteArray launcher = QFile::encodeName(bundle->launcherPath());
    std::vector<char*> arguments{const_cast<char*>(launcher.constData())};
    for (int i = 1; i < argc; ++i)
        arguments.push_back(argv[i]);
    arguments.push_back(nullptr);
    ::execv(launcher.constData(), arguments.data());
    say(CommandLine::tr("couldn't start the updated copy %1: %2")
            .arg(QString::fromLocal8Bit(launcher), QString::fromLocal8Bit(std::strerror(errno))));
    qunsetenv("QUANDREL_STARTED_REPLACED_COPY");
}

// What a launch asks of the running instance: its URLs, or, for a plain start (the
// application menu, a second click on the launcher), the settings window, so that the
// launch shows something.
QStringList messagesForRunningInstance(const QStringList& urls)
{
    return urls.isEmpty() ? QStringList{commandURL(OpenSettingsCommand{})} : urls;
}

// Whether the URLs end Quandrel: with none running there is nothing to start for them.
bool asksToQuit(const QStringList& urls)
{
    return std::any_of(urls.begin(), urls.end(), [](const QString& url) {
        const auto command = parseCommandURL(QUrl(url));
        return command && std::holds_alternative<QuitCommand>(*command);
    });
}

// Why Quandrel cannot run in this session; empty when it can.
QString sessionProblem() { return sessionStatement(SessionEnvironment::current()); }

} // namespace

int main(int argc, char** argv)
{
    QElapsedTimer startup;
    startup.start();
    // Screenshots are tens of megabytes each: they come from mmap and go back to the system
    // when freed. glibc's adaptive threshold would move them onto the heap after the first
    // one is freed, where the memory stays with the process.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);

    // The command line speaks the user's language too: an application object for the options,
    // the hand-over and their messages, which the widgets' own replaces once Quandrel runs.
    auto commandLine = std::make_unique<QCoreApplication>(argc, argv);
    installTranslations(*commandLine);

    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    parser.setApplicationDescription(CommandLine::tr("Window layouts, app shortcuts and screenshots for the X11 desktop."));
    parser.addPositionalArgument(QStringLiteral("url"), CommandLine::tr("quandrel:// command URLs for the running Quandrel."),
                                 QStringLiteral("[url…]"));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")}, CommandLine::tr("Shows this help."));
    const QCommandLineOption version(QStringLiteral("version"), CommandLine::tr("Shows the version."));
    const QCommandLineOption edit(QStringLiteral("edit"),
                                  CommandLine::tr("Opens the annotation editor on the image files given (for developers)."));
    const QCommandLineOption showThumbnail(QStringLiteral("show-thumbnail"),
                                           CommandLine::tr("Shows the PNG file as the thumbnail after a capture (for developers)."),
                                           CommandLine::tr("file"));
    const QCommandLineOption pin(QStringLiteral("pin"), CommandLine::tr("Pins the PNG file on the screen (for developers)."),
                                 CommandLine::tr("file"));
    parser.addOption(help);
    parser.addOption(version);
    parser.addOption(edit);
    parser.addOption(showThumbnail);
    parser.addOption(pin);
    const QCommandLineOption swayBindings(QStringLiteral("sway-bindings"), CommandLine::tr("Prints the shortcuts as sway key bindings."));
    parser.addOption(swayBindings);
    const QCommandLineOption fromLink(
        QStringLiteral("from-link"), CommandLine::tr("The URLs come from links opened elsewhere: a capture shows its overlay or asks first."));
    parser.addOption(fromLink);
    const QCommandLineOption quit(QStringLiteral("quit"), CommandLine::tr("Ends the running Quandrel (for desktops without a tray)."));
    parser.addOption(quit);
    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "quandrel: %s\n%s", qUtf8Printable(parser.errorText()), qUtf8Printable(parser.helpText()));
        return 2;
    }
    // A link carries nothing but its URL: no other option rides along with one.
    if (parser.isSet(fromLink) && parser.optionNames().size() > 1) {
        say(CommandLine::tr("--from-link takes quandrel:// URLs only"));
        return 2;
    }
    if (parser.isSet(help)) {
        QCoreApplication::setOrganizationName(QStringLiteral("Quandrel"));
        QCoreApplication::setApplicationName(QStringLiteral("Quandrel"));
        const SettingsStore store(SettingsStore::defaultPath());
        std::printf("%s\n%s", qUtf8Printable(parser.helpText()),
                    qUtf8Printable(shortcutListText(store.settings(), XkbKeyboardLayout::fromEnvironment().get())));
        return 0;
    }
    if (parser.isSet(version)) {
        const auto bundle = launchedBundle();
        const auto info = bundle ? bundle->info() : std::nullopt;
        std::printf("Quandrel %s\n", info && !info->version.isEmpty() ? qPrintable(info->version) : QUANDREL_VERSION);
        return 0;
    }
    if (parser.isSet(swayBindings)) {
        QCoreApplication::setOrganizationName(QStringLiteral("Quandrel"));
        QCoreApplication::setApplicationName(QStringLiteral("Quandrel"));
        const SettingsStore store(SettingsStore::defaultPath());
        const QuandrelSettings& s = store.settings();
        std::printf("%s", swayBindingsText(buildBindings(s.windowShortcuts, s.captureShortcuts, s.appBindings),
                                           *XkbKeyboardLayout::fromEnvironment()).c_str());
        return 0;
    }
    if (parser.isSet(edit)) {
        if (const QString problem = sessionProblem(); !problem.isEmpty()) {
            std::fprintf(stderr, "%s\n", qUtf8Printable(problem));
            return 1;
        }
        commandLine.reset();
        QApplication app(argc, argv);
        installTranslations(app);
        if (freedesktop::preferredColourScheme() == freedesktop::ColourScheme::dark)
            ui::useDarkPalette();
        const std::unique_ptr<Desktop> desktop = openDesktop(chooseBackend(SessionEnvironment::current()));
        return runDeveloperEditor(parser.positionalArguments(), desktop ? desktop->services().displays->displays() : std::vector<quandrel::Display>{});
    }
    QStringList urls = parser.positionalArguments();
    if (parser.isSet(quit)) {
        if (parser.optionNames().size() > 1 || !urls.isEmpty()) {
            say(CommandLine::tr("--quit takes no URLs or other options"));
            return 2;
        }
        urls = QStringList{commandURL(QuitCommand{})};
    }
    for (const QString& url : urls) {
        if (const auto problem = SingleInstance::checkURL(url)) {
            say(CommandLine::tr("refusing %1").arg(*problem));
            return 2;
        }
    }
    if (parser.isSet(fromLink)) {
        for (QString& url : urls)
            url = AppController::linkMessage(url);
    }
    urls += DeveloperPanels::messages(parser.values(showThumbnail), parser.values(pin));
    for (const QString& url : urls) {
        if (const auto problem = SingleInstance::checkURL(url)) {
            say(CommandLine::tr("refusing %1").arg(*problem));
            return 2;
        }
    }

    const SingleInstance::Location location = SingleInstance::defaultLocation();
    if (!location.error.isEmpty()) {
        std::fprintf(stderr, "%s\n", qUtf8Printable(location.error));
        return 1;
    }
    SingleInstance instance(location.socketPath);
    if (const auto status = handOver(instance, messagesForRunningInstance(urls)))
        return *status;
    if (asksToQuit(urls)) {
        say(CommandLine::tr("Quandrel is not running."));
        return 0;
    }
    if (!instance.acquire()) {
        // Another process is becoming the instance: hand over once it listens.
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 10000) {
            if (const auto status = handOver(instance, messagesForRunningInstance(urls)))
                return *status;
            ::usleep(50 * 1000);
        }
        say(CommandLine::tr("another Quandrel is starting but does not answer."));
        return 1;
    }
    runReplacedCopyInstead(argc, argv);
    // The bundle is read once, here; the programs Quandrel starts (apps, the file manager, the
    // browser) are not part of it and must not believe they are.
    const auto launched = launchedBundle();
    const auto runningBundle = ostry::AppBundle::running();
    forgetBundleEnvironment();

    if (const QString problem = sessionProblem(); !problem.isEmpty()) {
        std::fprintf(stderr, "%s\n", qUtf8Printable(problem));
        return 1;
    }
    QApplication::setOrganizationName(QStringLiteral("Quandrel"));
    QApplication::setApplicationName(QStringLiteral("Quandrel"));
    const auto launchedInfo = launched ? launched->info() : std::nullopt;
    QApplication::setApplicationVersion(launchedInfo && !launchedInfo->version.isEmpty() ? launchedInfo->version
                                                                                          : QStringLiteral(QUANDREL_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("quandrel"));
    commandLine.reset();
    QApplication app(argc, argv);
    installTranslations(app);
    if (freedesktop::preferredColourScheme() == freedesktop::ColourScheme::dark)
        ui::useDarkPalette();
    QApplication::setQuitOnLastWindowClosed(false);

    std::string whyNot;
    const std::unique_ptr<Desktop> desktop = openDesktop(chooseBackend(SessionEnvironment::current()), &whyNot);
    if (!desktop) {
        std::fprintf(stderr, "%s\n", whyNot.c_str());
        return 1;
    }
    const PlatformServices platform = desktop->services();
    ui::FloatingPanel::useOwnWindows(platform.ownWindows);
    useClipboardWriter(platform.clipboard);

    const PanelScreens screens{[&platform] { return platform.displays->displays(); }, {}};
    CaptureFeature capture(platform, screens);
    freedesktop::DesktopCatalog catalog;
    SettingsWindows settingsWindows(catalog);
    FreedesktopNotifier notifier;
    // Declared before the controller, whose updater presents through it.
    ostry::WindowPresenter updatePresenter(&notifier);
    AppServices services{capture, settingsWindows,
                         [platform]() -> std::unique_ptr<SnapPreviewSurface> {
                             return std::make_unique<SnapPreview>([platform] { return primaryScreenHeight(platform.displays->displays()); },
                                                                  [platform] { return platform.ownWindows->compositing(); });
                         },
                         &notifier};
    services.updates.presenter = &updatePresenter;
    services.updates.runningBundle = runningBundle;
    QObject scheduler;
    auto store = std::make_unique<SettingsStore>(SettingsStore::defaultPath(),
                                                 QFileInfo::exists(SettingsStore::defaultPath()) ? std::nullopt : legacySettingsDocument());
    capture.store = store.get();
    store->watchFile();
    AppController controller(platform, std::move(store), services, [&scheduler](int ms, std::function<void()> run) {
        QTimer::singleShot(ms, &scheduler, std::move(run));
    });
    settingsWindows.setContext(controller.settingsContext());
    settingsWindows.setUpdatesSection(
        [&controller](QWidget* parent) { return ostry::makeUpdatesSection(controller.updater(), parent).release(); });

    DeveloperPanels developerPanels([&capture](const CapturedImage& image) { capture.coordinator().showThumbnail(image); },
                                    [&capture](const CapturedImage& image) { capture.coordinator().pinImage(image); },
                                    [&capture](const QString& text, const QString& symbol) { capture.views().showToast(text, symbol); });
    auto handle = [&controller, &developerPanels](const QString& message) {
        // A link's URL is only ever a command URL, never a developer panel's message.
        if (const auto link = AppController::linkURL(message))
            return controller.handleURL(QUrl(*link), CommandOrigin::link);
        if (const auto shown = developerPanels.handle(message))
            return *shown;
        return controller.handleURL(QUrl(message));
    };
    if (!instance.listen(handle))
        qWarning("Quandrel could not open its command socket; command URLs from other programs will not reach it.");

    TrayMenu tray(controller, [&capture] { return capture.hasPins(); });
    capture.onPinsChanged = [&tray] { tray.rebuild(); };
    tray.showIcon();
    controller.start();
    if (!controller.permissions().windowControlAllowed())
        platform.trust->showTrustPrompt();
    for (const QString& url : urls)
        handle(url);

    QuitSignals quitSignals({SIGTERM, SIGINT, SIGHUP});
    QObject::connect(&quitSignals, &QuitSignals::received, [](int signal) { qInfo("Quitting on SIG%s.", sigabbrev_np(signal)); });
    qInfo("Quandrel is ready (%lld ms, %zu hot keys).", static_cast<long long>(startup.elapsed()), controller.hotKeys().registered().size());
    return app.exec();
}
