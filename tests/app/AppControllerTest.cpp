#include "AppFixture.h"
#include "KeyboardLayout.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace quandrel;

namespace {

class AppControllerTest : public ::testing::Test, protected test::AppFixture {
protected:
    void SetUp() override
    {
        desktop.keyboardLayout = layout.get();
        desktop.addApplication(42, "org.example.Editor");
        window = desktop.addWindow(42, {100, 100, 600, 400});
        desktop.setFrontmost(42);
        controller = makeController();
    }

    const std::unique_ptr<XkbKeyboardLayout> layout = XkbKeyboardLayout::fromNames("us");
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

    next.gap = -20; // treated as none
    controller->store().setSettings(next);
    EXPECT_EQ(controller->windows().gap, 0);
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

TEST_F(AppControllerTest, URLsRunTheirCommandsAndAnswerWhetherTheyDidWhatTheyName)
{
    controller->start();
    desktop.addInstalledApplication("org.example.Viewer");
    struct Row {
        const char* url;
        bool done;
        std::function<void()> before = {};
        int beeps = 0; // -1: not counted
    };
    const Row rows[] = {
        {"quandrel://window/LEFTHALF", true},
        {"quandrel://window/sideways", false, {}, 1},
        {"quandrel://window/leftHalf", false, [&] { desktop.setTrusted(false); }, -1},
        {"quandrel://app/org.example.Viewer", true},
        {"quandrel://app/org.example.Missing", false, {}, 1},
        {"quandrel://app/", false, {}, 1},
        {"quandrel://capture/area", true},
        {"quandrel://capture/area?then=EDIT", true},
        {"quandrel://capture/area", false, [&] { capture.refuses = true; }, -1},
        {"quandrel://settings/anything", true},
        {"quandrel://pins/close", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.url);
        desktop.setTrusted(true);
        capture.refuses = false;
        if (row.before)
            row.before();
        const int beeps = desktop.beeps();
        EXPECT_EQ(controller->handleURL(QUrl(QString::fromLatin1(row.url))), row.done);
        if (row.beeps >= 0) {
            EXPECT_EQ(desktop.beeps() - beeps, row.beeps);
        }
    }
    EXPECT_EQ(desktop.screenFrame(window), (Rect{0, 0, 720, 875}));
    ASSERT_EQ(capture.captures.size(), 2u);
    EXPECT_EQ(capture.captures[0].second, std::nullopt);
    EXPECT_EQ(capture.captures[1].second, AfterCapture::openEditor);
    EXPECT_EQ(settingsWindow.shown, 1);
    EXPECT_EQ(capture.pinClosings, 1);
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
    // Nothing changed: the poll goes on, once per interval, without announcing anything.
    clock.advance(PermissionMonitor::pollInterval - 1);
    EXPECT_EQ(clock.pending(), 1);
    clock.advance(1);
    EXPECT_EQ(clock.pending(), 1);
    EXPECT_EQ(changes, 0);
    EXPECT_TRUE(permissions.isPolling());

    // Granting one is announced; the poll waits for the other.
    desktop.setTrusted(true);
    clock.advance(PermissionMonitor::pollInterval);
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(permissions.isPolling());

    desktop.setScreenRecordingAllowed(true);
    clock.advance(PermissionMonitor::pollInterval);
    EXPECT_TRUE(permissions.windowControlAllowed());
    EXPECT_TRUE(permissions.screenReadingAllowed());
    EXPECT_EQ(changes, 2);
    EXPECT_FALSE(permissions.isPolling());
    EXPECT_EQ(clock.pending(), 0);

    // Restarting a poll drops the older chain: only one re-read per interval.
    desktop.setTrusted(false);
    permissions.startPolling();
    permissions.startPolling();
    clock.advance(PermissionMonitor::pollInterval);
    EXPECT_EQ(clock.pending(), 1);
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
    const QString statePath = dir.filePath(QStringLiteral("config/state.json"));
    desktop.takeByOtherProgram({123, 0x1800}); // Ctrl+Alt+←
    desktop.takeByOtherProgram({124, 0x1800}); // Ctrl+Alt+→
    restart();
    EXPECT_EQ(controller->failedActions(), (std::set<Command>{WindowCommand{WindowAction::leftHalf}, WindowCommand{WindowAction::rightHalf}}));
    ASSERT_EQ(log.size(), 2);
    EXPECT_TRUE(log[0].contains(QStringLiteral("Ctrl+Alt+← for Left Half is held by another program"))) << log[0].toStdString();
    ASSERT_EQ(notifier.shown.size(), 1u);
    EXPECT_EQ(notifier.body(0).toStdString(), "Another program holds Ctrl+Alt+← (Left Half), Ctrl+Alt+→ (Right Half). "
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
    EXPECT_EQ(notifier.body(0).toStdString(), "Another program holds Shift+Super+6 (Capture Window). Choose other shortcuts in "
                                                      "Quandrel's settings.");
    desktop.releaseByOtherProgram({124, 0x1800});
    restart();
    EXPECT_TRUE(notifier.shown.empty());
    desktop.takeByOtherProgram({124, 0x1800});
    restart();
    ASSERT_EQ(notifier.shown.size(), 1u);
    EXPECT_TRUE(notifier.body(0).contains(QStringLiteral("Ctrl+Alt+→ (Right Half)")));
    EXPECT_FALSE(notifier.body(0).contains(QStringLiteral("Left Half")));

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
    ASSERT_TRUE(QDir(dir.filePath(QStringLiteral("config"))).mkdir(QStringLiteral("state.json")));
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
    EXPECT_TRUE(notifier.body(0).contains(QStringLiteral("(Left Half)")));
}
