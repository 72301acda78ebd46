#include "AppLauncher.h"
#include "FakeDesktop.h"

#include <gtest/gtest.h>

using namespace quandrel;

namespace {

class AppLauncherTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        desktop.addDisplay({0, 0, 1440, 900}, {0, 0, 1440, 875});
        desktop.addApplication(10, "org.example.Editor");
        desktop.addApplication(20, "org.example.Terminal");
        terminal = desktop.addWindow(20, {0, 0, 400, 300});
        desktop.setFrontmost(20);
    }

    AppBinding binding(const std::string& id, FrontmostBehavior when = FrontmostBehavior::hide)
    {
        return {id, id, Shortcut{0, 0x1800}, when};
    }

    FakeDesktop desktop;
    AppLauncher launcher{desktop.services()};
    WindowHandle terminal;
};

} // namespace

TEST_F(AppLauncherTest, NotRunningIsLaunchedAndActive)
{
    desktop.addInstalledApplication("org.example.Viewer");
    launcher.activate(binding("org.example.Viewer"));
    EXPECT_EQ(desktop.launches, (std::vector<std::string>{"org.example.Viewer"}));
    EXPECT_EQ(desktop.frontmostApplication()->desktopId, "org.example.Viewer");
    EXPECT_EQ(desktop.beeps(), 0);
}

TEST_F(AppLauncherTest, BackgroundApplicationIsUnhiddenAndFronted)
{
    desktop.hide(10);
    launcher.activate(binding("org.example.Editor"));
    EXPECT_FALSE(desktop.application(10).hidden);
    EXPECT_EQ(desktop.frontmostApplication()->pid, 10);
}

TEST_F(AppLauncherTest, ActiveApplicationHidesThenComesBack)
{
    launcher.activate(binding("org.example.Terminal"));
    EXPECT_TRUE(desktop.application(20).hidden);
    EXPECT_TRUE(desktop.launches.empty());
    launcher.activate(binding("org.example.Terminal"));
    EXPECT_FALSE(desktop.application(20).hidden);
    EXPECT_EQ(desktop.frontmostApplication()->pid, 20);

    launcher.activate(binding("org.example.Terminal", FrontmostBehavior::nothing));
    EXPECT_FALSE(desktop.application(20).hidden);
    EXPECT_EQ(desktop.launches.size(), 1u);
}

TEST_F(AppLauncherTest, UnknownUninstalledOrFailingApplicationsBeep)
{
    launcher.activate(binding("org.example.Missing"));
    EXPECT_EQ(desktop.beeps(), 1);
    EXPECT_TRUE(desktop.launches.empty());

    desktop.application(10).launchFails = true;
    launcher.activate(binding("org.example.Editor"));
    EXPECT_EQ(desktop.beeps(), 2);

    desktop.application(10).installed = false;
    launcher.activate(binding("org.example.Editor"));
    EXPECT_EQ(desktop.beeps(), 3);
}

TEST_F(AppLauncherTest, CycleWindowsRaisesTheBackmostEligibleWindow)
{
    const WindowHandle second = desktop.addWindow(20, {50, 50, 400, 300});
    const WindowHandle third = desktop.addWindow(20, {100, 100, 400, 300});
    const WindowHandle minimized = desktop.addWindow(20, {150, 150, 400, 300});
    const WindowHandle dialog = desktop.addWindow(20, {200, 200, 200, 100});
    desktop.window(minimized).minimized = true;
    desktop.window(dialog).standard = false;
    desktop.raise(dialog);

    // Front to back: dialog, minimized, third, second, terminal. Each press raises the
    // backmost eligible window, so three presses visit all three.
    for (int press = 0; press < 3; ++press)
        launcher.activate(binding("org.example.Terminal", FrontmostBehavior::cycleWindows));
    EXPECT_EQ(desktop.raised, (std::vector<WindowHandle>{dialog, terminal, second, third}));
    EXPECT_TRUE(desktop.window(minimized).minimized);

    desktop.setTrusted(false);
    launcher.cycleWindows(20);
    EXPECT_EQ(desktop.trustPrompts(), 1);
}

TEST_F(AppLauncherTest, CycleNeedsTwoWindows)
{
    launcher.cycleWindows(20);
    EXPECT_EQ(desktop.raises(), 0);
}

TEST(AppBindingJson, RoundTripAndRequiredMembers)
{
    const AppBinding b{"org.gnome.TextEditor", "Text Editor", Shortcut{17, 0x0900}, FrontmostBehavior::cycleWindows};
    EXPECT_EQ(appBindingFromJson(toJson(b)), b);
    AppBinding none = b;
    none.shortcut.reset();
    EXPECT_FALSE(toJson(none).contains(QStringLiteral("shortcut")));
    EXPECT_EQ(appBindingFromJson(toJson(none)), none);

    for (const char* member : {"bundleID", "name", "whenFrontmost"}) {
        QJsonObject o = toJson(b);
        o.remove(QLatin1String(member));
        EXPECT_FALSE(appBindingFromJson(o)) << member;
    }
    QJsonObject badRaw = toJson(b);
    badRaw[QStringLiteral("whenFrontmost")] = QStringLiteral("Hide");
    EXPECT_FALSE(appBindingFromJson(badRaw));
    QJsonObject badShortcut = toJson(b);
    badShortcut[QStringLiteral("shortcut")] = QJsonObject{{QStringLiteral("keyCode"), 1}};
    EXPECT_FALSE(appBindingFromJson(badShortcut));
    EXPECT_EQ(label(FrontmostBehavior::cycleWindows), "Cycle its windows");
}

TEST_F(AppLauncherTest, AnApplicationRunningAsSeveralProcessesIsOneApplication)
{
    // A second terminal process, started later and now in front.
    desktop.addApplication(21, "org.example.Terminal");
    const WindowHandle newer = desktop.addWindow(21, {60, 60, 400, 300});
    desktop.raise(newer);
    desktop.setFrontmost(21);

    launcher.activate(binding("org.example.Terminal", FrontmostBehavior::cycleWindows));
    launcher.activate(binding("org.example.Terminal", FrontmostBehavior::cycleWindows));
    EXPECT_EQ(desktop.raised, (std::vector<WindowHandle>{newer, terminal, newer}));

    launcher.activate(binding("org.example.Terminal", FrontmostBehavior::hide));
    EXPECT_TRUE(desktop.application(20).hidden);
    EXPECT_TRUE(desktop.application(21).hidden);
    EXPECT_EQ(desktop.beeps(), 0);
}
