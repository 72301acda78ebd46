#include "AppController.h"
#include "FakeDesktop.h"

#include <QCoreApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace quandrel;

namespace {

class AppControllerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        desktop.addDisplay({0, 0, 1440, 900}, {0, 0, 1440, 875});
        desktop.addApplication(42, "org.example.Editor");
        window = desktop.addWindow(42, {100, 100, 600, 400});
        desktop.setFrontmost(42);
        controller = std::make_unique<AppController>(desktop.services(), domain);
    }

    QTemporaryDir dir;
    QSettings domain{dir.filePath(QStringLiteral("q.conf")), QSettings::IniFormat};
    FakeDesktop desktop;
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

    EXPECT_EQ(controller->failedActions(), (std::set<HotKeyAction>{HotKeyAction::window(WindowAction::leftHalf)}));
    EXPECT_EQ(failureSignals, 1);
    EXPECT_EQ(controller->windows().gap, 8);
    EXPECT_EQ(controller->windows().repeatBehavior, RepeatBehavior::nothing);
    EXPECT_FALSE(desktop.press({123, 0x1800})); // the old combination is gone
    EXPECT_TRUE(desktop.press({1, 0x1800}));
    EXPECT_EQ(desktop.screenFrame(window), (Rect{724, 8, 708, 859}));
    EXPECT_EQ(controller->hotKeys().nextID(), 51u);
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
    std::vector<std::pair<CaptureMode, std::optional<AfterCapture>>> captures;
    int settingsOpened = 0;
    controller->handleURL(QUrl(QStringLiteral("quandrel://window/LEFTHALF")));
    EXPECT_EQ(desktop.screenFrame(window), (Rect{0, 0, 720, 875}));

    controller->handleURL(QUrl(QStringLiteral("quandrel://capture/area")));
    EXPECT_EQ(desktop.beeps(), 1); // no capture yet
    controller->captureStarter = [&](CaptureMode m, std::optional<AfterCapture> a) { captures.push_back({m, a}); };
    controller->settingsOpener = [&] { ++settingsOpened; };
    controller->handleURL(QUrl(QStringLiteral("quandrel://capture/area?then=EDIT")));
    controller->handleURL(QUrl(QStringLiteral("quandrel://settings/anything")));
    ASSERT_EQ(captures.size(), 1u);
    EXPECT_EQ(captures[0].second, AfterCapture::openEditor);
    EXPECT_EQ(settingsOpened, 1);

    controller->handleURL(QUrl(QStringLiteral("quandrel://window/sideways")));
    controller->handleURL(QUrl(QStringLiteral("quandrel://app/")));
    controller->handleURL(QUrl(QStringLiteral("quandrel://app/org.example.Missing")));
    EXPECT_EQ(desktop.beeps(), 4);
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

    // A press for a binding that has gone does nothing.
    controller->perform(HotKeyAction::app("org.example.Gone"));
    EXPECT_EQ(desktop.beeps(), 0);
}

TEST_F(AppControllerTest, PermissionPollEndsOnceBothAreGranted)
{
    int argc = 0;
    QCoreApplication app(argc, nullptr);
    desktop.setTrusted(false);
    desktop.setScreenRecordingAllowed(false);
    AppController c(desktop.services(), domain);
    EXPECT_FALSE(c.accessibilityTrusted());
    int changes = 0;
    QObject::connect(&c, &AppController::permissionsChanged, [&] { ++changes; });
    c.startPermissionPoll();
    EXPECT_TRUE(c.isPollingPermissions());

    desktop.setTrusted(true);
    desktop.setScreenRecordingAllowed(true);
    QTimer::singleShot(2500, &app, &QCoreApplication::quit);
    QObject::connect(&c, &AppController::permissionsChanged, &app, &QCoreApplication::quit);
    app.exec();
    EXPECT_TRUE(c.accessibilityTrusted());
    EXPECT_TRUE(c.screenRecordingAllowed());
    EXPECT_EQ(changes, 1);
    EXPECT_FALSE(c.isPollingPermissions());
}
