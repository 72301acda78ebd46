#include "AppController.h"
#include "FakeDesktop.h"
#include "KeyboardLayout.h"

#include <QTemporaryDir>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace quandrel;

namespace {

struct RecordingCapture final : CaptureService {
    std::vector<std::pair<CaptureMode, std::optional<AfterCapture>>> captures;
    int pinClosings = 0;
    bool refuses = false; // as while another capture runs
    std::vector<int> delays;
    bool startCapture(CaptureMode mode, std::optional<AfterCapture> then, int delaySeconds) override
    {
        if (!refuses) {
            captures.push_back({mode, then});
            delays.push_back(delaySeconds);
        }
        return !refuses;
    }
    void closeAllPins() override { ++pinClosings; }
};

struct RecordingNotifier final : DesktopNotifier {
    std::vector<std::pair<QString, QString>> shown;
    std::vector<std::function<void()>> questions; // the confirm action of each question asked
    bool serviceRuns = true;
    std::uint32_t notify(const QString& summary, const QString& body, std::uint32_t) override
    {
        shown.push_back({summary, body});
        return std::uint32_t(shown.size());
    }
    std::uint32_t ask(const QString& summary, const QString& body, const QString&, std::function<void()> onConfirm) override
    {
        if (!serviceRuns)
            return 0;
        questions.push_back(std::move(onConfirm));
        return notify(summary, body, 0);
    }
};

struct RecordingSettings final : SettingsPresenter {
    int shown = 0;
    void showSettings() override { ++shown; }
};

// Delayed work waits here until a test runs it.
struct ManualScheduler {
    std::vector<std::pair<int, std::function<void()>>> pending;
    Scheduler function()
    {
        return [this](int ms, std::function<void()> run) { pending.emplace_back(ms, std::move(run)); };
    }
    // Runs what is due now, answering how many ran.
    int runPending()
    {
        auto due = std::move(pending);
        pending.clear();
        for (auto& [ms, run] : due)
            run();
        return int(due.size());
    }
};

class AppControllerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        desktop.keyboardLayout = layout.get();
        desktop.addDisplay({0, 0, 1440, 900}, {0, 0, 1440, 875});
        desktop.addApplication(42, "org.example.Editor");
        window = desktop.addWindow(42, {100, 100, 600, 400});
        desktop.setFrontmost(42);
        controller = makeController();
    }

    std::unique_ptr<AppController> makeController()
    {
        return std::make_unique<AppController>(desktop.services(), std::make_unique<SettingsStore>(dir.filePath(QStringLiteral("settings.json"))), AppServices{capture, settingsWindow, nullptr, &notifier},
                                               scheduler.function());
    }

    QTemporaryDir dir;
    const std::unique_ptr<XkbKeyboardLayout> layout = XkbKeyboardLayout::fromNames("us");
    FakeDesktop desktop;
    RecordingCapture capture;
    RecordingSettings settingsWindow;
    RecordingNotifier notifier;
    ManualScheduler scheduler;
    WindowHandle window = 0;
    std::unique_ptr<AppController> controller;
};

} // namespace

TEST_F(AppControllerTest, StartRegistersTheSettingsAndPressesRunActions)
{
    controller->start();
    EXPECT_EQ(desktop.grabbedHotKeys().size(), 25u);
    EXPECT_TRUE(desktop.press({123, 0x1800}));
    EXPECT_EQ(desktop.screenFrame(window), (Rect{0, 0, 720, 875}));
}

TEST_F(AppControllerTest, ChangingASettingReregistersAndRefreshesFailures)
{
    controller->start();
    desktop.takeByOtherProgram({0, 0x1800});
    int failureSignals = 0;
    QObject::connect(controller.get(), &AppController::failedActionsChanged, [&] { ++failureSignals; });

    QuandrelSettings next = controller->store().settings();
    next.windowShortcuts[WindowAction::leftHalf] = {0, 0x1800};
    next.windowShortcuts[WindowAction::rightHalf] = {1, 0x1800};
    next.gap = 8;
    next.repeatBehavior = RepeatBehavior::nothing;
    controller->store().setSettings(next);

    EXPECT_EQ(controller->failedActions(), (std::set<Command>{Command{WindowCommand{WindowAction::leftHalf}}}));
    EXPECT_EQ(failureSignals, 1);
    EXPECT_EQ(controller->windows().gap, 8);
    EXPECT_EQ(controller->windows().repeatBehavior, RepeatBehavior::nothing);
    EXPECT_FALSE(desktop.press({123, 0x1800})); // the old combination is gone
    EXPECT_TRUE(desktop.press({1, 0x1800}));
    EXPECT_EQ(desktop.screenFrame(window), (Rect{724, 8, 708, 859}));
    EXPECT_EQ(controller->hotKeys().nextID(), 51u);
}

// A gap being dragged applies at once and grabs no hot key again.
TEST_F(AppControllerTest, AChangeThatLeavesTheShortcutsRegistersNothingAgain)
{
    controller->start();
    const std::uint32_t next = controller->hotKeys().nextID();
    QuandrelSettings changed = controller->store().settings();
    changed.gap = 12;
    controller->store().setSettings(changed, SettingsStore::Saving::afterQuietTime);
    EXPECT_EQ(controller->windows().gap, 12);
    EXPECT_EQ(controller->hotKeys().nextID(), next);
    EXPECT_TRUE(desktop.press({123, 0x1800}));
}

TEST_F(AppControllerTest, NegativeGapsAreTreatedAsNone)
{
    controller->start();
    QuandrelSettings next = controller->store().settings();
    next.gap = -20;
    controller->store().setSettings(next);
    EXPECT_EQ(controller->windows().gap, 0);
}

TEST_F(AppControllerTest, URLsRunCommandsAndBeepOtherwise)
{
    controller->start();
    controller->handleURL(QUrl(QStringLiteral("quandrel://window/LEFTHALF")));
    EXPECT_EQ(desktop.screenFrame(window), (Rect{0, 0, 720, 875}));

    controller->handleURL(QUrl(QStringLiteral("quandrel://capture/area")));
    controller->handleURL(QUrl(QStringLiteral("quandrel://capture/area?then=EDIT")));
    controller->handleURL(QUrl(QStringLiteral("quandrel://settings/anything")));
    controller->handleURL(QUrl(QStringLiteral("quandrel://pins/close")));
    ASSERT_EQ(capture.captures.size(), 2u);
    EXPECT_EQ(capture.captures[0].second, std::nullopt);
    EXPECT_EQ(capture.captures[1].second, AfterCapture::openEditor);
    EXPECT_EQ(settingsWindow.shown, 1);
    EXPECT_EQ(capture.pinClosings, 1);
    EXPECT_EQ(desktop.beeps(), 0);

    controller->handleURL(QUrl(QStringLiteral("quandrel://window/sideways")));
    controller->handleURL(QUrl(QStringLiteral("quandrel://app/")));
    controller->handleURL(QUrl(QStringLiteral("quandrel://app/org.example.Missing")));
    EXPECT_EQ(desktop.beeps(), 3);
}

TEST_F(AppControllerTest, TheAnswerSaysWhetherTheCommandDidWhatItNames)
{
    controller->start();
    desktop.addInstalledApplication("org.example.Viewer");
    struct Row {
        const char* url;
        bool done;
        std::function<void()> before;
    };
    const Row rows[] = {
        {"quandrel://window/leftHalf", true, {}},
        {"quandrel://window/sideways", false, {}},
        {"quandrel://window/leftHalf", false, [&] { desktop.setTrusted(false); }},
        {"quandrel://app/org.example.Viewer", true, {}},
        {"quandrel://app/org.example.Missing", false, {}},
        {"quandrel://app/", false, {}},
        {"quandrel://capture/area", true, {}},
        {"quandrel://capture/area", false, [&] { capture.refuses = true; }},
        {"quandrel://settings", true, {}},
        {"quandrel://pins/close", true, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.url);
        desktop.setTrusted(true);
        capture.refuses = false;
        if (row.before)
            row.before();
        EXPECT_EQ(controller->handleURL(QUrl(QString::fromLatin1(row.url))), row.done);
    }
}

TEST_F(AppControllerTest, ALinksCaptureShowsTheOverlayOrAsksFirst)
{
    controller->start();
    struct Row {
        const char* url;
        bool asks; // else it starts at once: its overlay is what the person sees first
    };
    const Row rows[] = {
        {"quandrel://capture/fullScreen?then=save", true},
        {"quandrel://capture/repeatArea?then=copy", true},
        {"quandrel://capture/area?then=save", false},
        {"quandrel://capture/window", false},
        {"quandrel://capture/text", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.url);
        capture.captures.clear();
        notifier.questions.clear();
        EXPECT_TRUE(controller->handleURL(QUrl(QString::fromLatin1(row.url)), CommandOrigin::link));
        EXPECT_EQ(capture.captures.size(), row.asks ? 0u : 1u);
        EXPECT_EQ(notifier.questions.size(), row.asks ? 1u : 0u);
        if (row.asks) {
            notifier.questions[0]();
            EXPECT_EQ(capture.captures.size(), 1u) << "taken once confirmed";
        }
    }
    // Without a notification service nothing is taken.
    notifier.serviceRuns = false;
    capture.captures.clear();
    EXPECT_FALSE(controller->handleURL(QUrl(QStringLiteral("quandrel://capture/fullScreen")), CommandOrigin::link));
    EXPECT_TRUE(capture.captures.empty());
    // Commands typed by the person, shortcuts and the menu keep taking it at once; a link's
    // window command runs as it is.
    EXPECT_TRUE(controller->handleURL(QUrl(QStringLiteral("quandrel://capture/fullScreen"))));
    EXPECT_EQ(capture.captures.size(), 1u);
    EXPECT_TRUE(controller->handleURL(QUrl(QStringLiteral("quandrel://window/leftHalf")), CommandOrigin::link));
    EXPECT_EQ(desktop.screenFrame(window), (Rect{0, 0, 720, 875}));

    // A link's message is told apart from the person's, and nothing else is mistaken for one.
    EXPECT_EQ(AppController::linkURL(AppController::linkMessage("quandrel://capture/area")), "quandrel://capture/area");
    EXPECT_EQ(AppController::linkURL("quandrel://capture/area"), std::nullopt);
    EXPECT_EQ(AppController::linkURL("--pin=/tmp/x.png"), std::nullopt);
}

TEST_F(AppControllerTest, AppCommandsUseBindingsOrATemporaryOne)
{
    controller->start();
    desktop.addInstalledApplication("org.example.Viewer");
    controller->handleURL(QUrl(QStringLiteral("quandrel://app/org.example.Viewer")));
    EXPECT_EQ(desktop.launches, (std::vector<std::string>{"org.example.Viewer"}));
    EXPECT_TRUE(controller->store().settings().appBindings.empty());

    // The frontmost application is hidden by its temporary binding.
    controller->handleURL(QUrl(QStringLiteral("quandrel://app/org.example.Viewer")));
    EXPECT_EQ(desktop.frontmostApplication(), std::nullopt);

    // A stored binding's behaviour wins.
    QuandrelSettings next = controller->store().settings();
    next.appBindings.push_back({"org.example.Editor", "Editor", Shortcut{14, 0x1000}, FrontmostBehavior::nothing});
    controller->store().setSettings(next);
    desktop.setFrontmost(42);
    controller->handleURL(QUrl(QStringLiteral("quandrel://app/org.example.Editor")));
    EXPECT_EQ(desktop.frontmostApplication()->pid, 42);
    EXPECT_TRUE(desktop.press({14, 0x1000}));
    EXPECT_EQ(desktop.frontmostApplication()->pid, 42);

    // A press for a binding that has gone, of an application that is not installed, beeps.
    controller->perform(Command{AppCommand{"org.example.Gone"}});
    EXPECT_EQ(desktop.beeps(), 1);
}

TEST_F(AppControllerTest, PermissionPollEndsOnceBothAreGranted)
{
    desktop.setTrusted(false);
    desktop.setScreenRecordingAllowed(false);
    auto c = makeController();
    PermissionMonitor& permissions = c->permissions();
    EXPECT_FALSE(permissions.windowControlAllowed());
    int changes = 0;
    QObject::connect(&permissions, &PermissionMonitor::changed, [&] { ++changes; });
    permissions.startPolling();
    EXPECT_TRUE(permissions.isPolling());
    ASSERT_EQ(scheduler.pending.size(), 1u);
    EXPECT_EQ(scheduler.pending[0].first, PermissionMonitor::pollInterval);

    // Nothing changed: the poll goes on without announcing anything.
    EXPECT_EQ(scheduler.runPending(), 1);
    EXPECT_EQ(changes, 0);
    EXPECT_TRUE(permissions.isPolling());

    // Granting one is announced; the poll waits for the other.
    desktop.setTrusted(true);
    scheduler.runPending();
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(permissions.isPolling());

    desktop.setScreenRecordingAllowed(true);
    scheduler.runPending();
    EXPECT_TRUE(permissions.windowControlAllowed());
    EXPECT_TRUE(permissions.screenReadingAllowed());
    EXPECT_EQ(changes, 2);
    EXPECT_FALSE(permissions.isPolling());
    EXPECT_TRUE(scheduler.pending.empty());

    // Restarting a poll drops the older chain: only one re-read per interval.
    desktop.setTrusted(false);
    permissions.startPolling();
    permissions.startPolling();
    EXPECT_EQ(scheduler.runPending(), 2);
    EXPECT_EQ(scheduler.pending.size(), 1u);
}

// Taken shortcuts are logged at every start, but named in a notification only when the set
// differs from the one named before: the state file beside the settings remembers it.
TEST_F(AppControllerTest, TakenShortcutsAreNotifiedOncePerChangeOfTheTakenSet)
{
    static QStringList log;
    const auto keepLog = [](QtMsgType, const QMessageLogContext& context, const QString& message) {
        if (QLatin1String(context.category) == QLatin1String("quandrel.hotkeys"))
            log << message;
    };
    const auto restart = [&] {
        controller.reset();
        log.clear();
        notifier.shown.clear();
        controller = makeController();
        const auto previous = qInstallMessageHandler(keepLog);
        controller->start();
        qInstallMessageHandler(previous);
    };
    const QString statePath = dir.filePath(QStringLiteral("state.json"));
    desktop.takeByOtherProgram({123, 0x1800}); // Ctrl+Alt+←
    desktop.takeByOtherProgram({124, 0x1800}); // Ctrl+Alt+→
    restart();
    EXPECT_EQ(controller->failedActions(), (std::set<Command>{WindowCommand{WindowAction::leftHalf}, WindowCommand{WindowAction::rightHalf}}));
    ASSERT_EQ(log.size(), 2);
    EXPECT_TRUE(log[0].contains(QStringLiteral("Ctrl+Alt+← for Left Half is held by another program"))) << log[0].toStdString();
    ASSERT_EQ(notifier.shown.size(), 1u);
    EXPECT_EQ(notifier.shown[0].second.toStdString(), "Another program holds Ctrl+Alt+← (Left Half), Ctrl+Alt+→ (Right Half). "
                                                      "Choose other shortcuts in Quandrel's settings.");
    EXPECT_TRUE(QFileInfo::exists(statePath));

    // The same set at the next start: logged, not notified.
    restart();
    EXPECT_EQ(log.size(), 2);
    EXPECT_TRUE(notifier.shown.empty());

    // One more taken: only that one is named. One freed: nothing to say, but remembered, so
    // that it is named again when it is taken again.
    desktop.takeByOtherProgram({22, 0x0300}); // Shift+Super+6
    restart();
    ASSERT_EQ(notifier.shown.size(), 1u);
    EXPECT_EQ(notifier.shown[0].second.toStdString(), "Another program holds Shift+Super+6 (Capture Window). Choose other shortcuts in "
                                                      "Quandrel's settings.");
    desktop.releaseByOtherProgram({124, 0x1800});
    restart();
    EXPECT_TRUE(notifier.shown.empty());
    desktop.takeByOtherProgram({124, 0x1800});
    restart();
    ASSERT_EQ(notifier.shown.size(), 1u);
    EXPECT_TRUE(notifier.shown[0].second.contains(QStringLiteral("Ctrl+Alt+→ (Right Half)")));
    EXPECT_FALSE(notifier.shown[0].second.contains(QStringLiteral("Left Half")));

    // A later change that meets another taken shortcut is logged, shown in the settings
    // window, and remembered, so the next start says nothing about it.
    desktop.takeByOtherProgram({0, 0x1800});
    notifier.shown.clear();
    QuandrelSettings next = controller->store().settings();
    next.windowShortcuts[WindowAction::center] = {0, 0x1800};
    const auto previous = qInstallMessageHandler(keepLog);
    controller->store().setSettings(next);
    qInstallMessageHandler(previous);
    EXPECT_TRUE(log.last().contains(QStringLiteral("Ctrl+Alt+A for Center"))) << log.last().toStdString();
    EXPECT_TRUE(notifier.shown.empty());
    restart();
    EXPECT_TRUE(notifier.shown.empty());

    // A state file that cannot be read counts as empty: the taken set is named again, and the
    // file is written anew. One that cannot be written is told about again at the next start.
    for (const QByteArray& garbage : {QByteArray("{\"notifiedTakenShortcuts\": 7"), QByteArray("[1, 2]"),
                                      QByteArray(R"({"notifiedTakenShortcuts": [{"command": 3}, "x"], "other": true})")}) {
        QFile file(statePath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(garbage);
        file.close();
        restart();
        EXPECT_EQ(notifier.shown.size(), 1u) << garbage.toStdString();
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll().contains("\"other\": true"), garbage.contains("other")) << "members it does not know are kept";
        file.close();
        restart();
        EXPECT_TRUE(notifier.shown.empty()) << garbage.toStdString();
    }
    ASSERT_TRUE(QFile::remove(statePath));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("state.json")));
    restart();
    EXPECT_EQ(notifier.shown.size(), 1u);
    restart();
    EXPECT_EQ(notifier.shown.size(), 1u);
}

// Where the desktop answers later, the taken shortcuts are marked and named once the answer
// comes, as they are at once on X11.
TEST_F(AppControllerTest, TakenShortcutsAreReportedWhenALateAnswerComes)
{
    desktop.defersHotKeyAnswers = true;
    desktop.takeByOtherProgram({123, 0x1800});
    int failureSignals = 0;
    QObject::connect(controller.get(), &AppController::failedActionsChanged, [&] { ++failureSignals; });
    controller->start();
    EXPECT_TRUE(controller->failedActions().empty());
    EXPECT_TRUE(notifier.shown.empty());
    desktop.answerHotKeys();
    EXPECT_EQ(controller->failedActions(), (std::set<Command>{Command{WindowCommand{WindowAction::leftHalf}}}));
    EXPECT_EQ(failureSignals, 1);
    ASSERT_EQ(notifier.shown.size(), 1u);
    EXPECT_TRUE(notifier.shown[0].second.contains(QStringLiteral("(Left Half)")));
}
