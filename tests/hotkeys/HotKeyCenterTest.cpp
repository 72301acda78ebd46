#include "AppLauncher.h"
#include "FakeDesktop.h"
#include "HotKeyCenter.h"

#include <gtest/gtest.h>

using namespace quandrel;

namespace {

std::vector<HotKeyBinding> defaults()
{
    return buildBindings(defaultWindowShortcuts(), defaultCaptureShortcuts(), {});
}

const Command rightHalf = WindowCommand{WindowAction::rightHalf}, leftHalf = WindowCommand{WindowAction::leftHalf};

// The center and the launcher on the in-memory desktop: one display, an editor and a
// terminal (in front, one window).
class HotKeysTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        desktop.addDisplay({0, 0, 1440, 900}, {0, 0, 1440, 875});
        desktop.addApplication(10, "org.example.Editor");
        desktop.addApplication(20, "org.example.Terminal");
        terminal = desktop.addWindow(20, {0, 0, 400, 300});
        desktop.setFrontmost(20);
        center.onPress = [&](const Command& c) { pressed.push_back(c); };
    }
    void activate(const std::string& id, FrontmostBehavior when = FrontmostBehavior::hide)
    {
        launcher.activate({id, id, Shortcut{0, 0x1800}, when});
    }

    FakeDesktop desktop;
    HotKeyCenter center{desktop};
    AppLauncher launcher{desktop.services()};
    std::vector<Command> pressed;
    WindowHandle terminal;
};

} // namespace

TEST_F(HotKeysTest, DefaultsRegisterAndPressesReachOnlyCurrentRegistrations)
{
    center.updateBindings(defaults());
    ASSERT_EQ(center.registered().size(), 25u);
    EXPECT_EQ(center.registered().at(1), leftHalf);
    EXPECT_EQ(center.registered().at(15), Command{WindowCommand{WindowAction::maximizeHeight}}); // almostMaximize has none
    EXPECT_EQ(center.registered().at(22), (Command{CaptureCommand{CaptureMode::area, std::nullopt}}));
    EXPECT_TRUE(desktop.press({124, 0x1800}));
    EXPECT_TRUE(desktop.press({19, 0x0300}));
    EXPECT_EQ(pressed, (std::vector<Command>{rightHalf, CaptureCommand{CaptureMode::area, std::nullopt}}));

    // Registering again uses new ids: a stale one does nothing.
    center.registerAll();
    EXPECT_EQ(center.registered().begin()->first, 26u);
    EXPECT_EQ(desktop.grabbedHotKeys().size(), 25u);
    desktop.onPressed(3);
    EXPECT_EQ(pressed.size(), 2u);
    // The callback may register again while it handles a press.
    center.onPress = [&](const Command& c) {
        pressed.push_back(c);
        center.registerAll();
    };
    EXPECT_TRUE(desktop.press({124, 0x1800}));
    EXPECT_EQ(pressed.size(), 3u);
    EXPECT_EQ(center.registered().size(), 25u);
    center.unregisterAll();
    EXPECT_FALSE(desktop.press({124, 0x1800}));
    EXPECT_TRUE(desktop.grabbedHotKeys().empty());
}

TEST_F(HotKeysTest, TakenAndDuplicateShortcutsFail)
{
    desktop.takeByOtherProgram({123, 0x1800});
    AppBinding editor{"org.example.Editor", "Editor", Shortcut{124, 0x1800}, FrontmostBehavior::hide};
    AppBinding noShortcut{"org.example.Other", "Other", std::nullopt, FrontmostBehavior::hide};
    const auto bindings = buildBindings(defaultWindowShortcuts(), {}, {editor, noShortcut});
    EXPECT_EQ(bindings.size(), 22u);
    center.updateBindings(bindings);
    EXPECT_EQ(center.failed(), (std::set<Command>{leftHalf, Command{AppCommand{"org.example.Editor"}}}));
    const auto shared = sharedShortcuts(bindings);
    ASSERT_EQ(shared.size(), 1u);
    EXPECT_EQ(shared.begin()->second, (std::vector<Command>{rightHalf, Command{AppCommand{"org.example.Editor"}}}));

    // Unregistering keeps the failures; registering again starts from scratch.
    center.unregisterAll();
    EXPECT_EQ(center.failed().size(), 2u);
    center.setBindings({});
    center.registerAll();
    EXPECT_TRUE(center.failed().empty());
}

TEST_F(HotKeysTest, SuspensionDefersRegistration)
{
    center.updateBindings(defaults());
    center.suspend();
    EXPECT_TRUE(center.registered().empty());
    EXPECT_TRUE(desktop.grabbedHotKeys().empty());
    auto changed = defaults();
    changed.front().shortcut = {0, 0x1800};
    center.updateBindings(changed);
    EXPECT_TRUE(desktop.grabbedHotKeys().empty());

    center.resume();
    EXPECT_EQ(center.registered().size(), 25u);
    EXPECT_TRUE(desktop.press({0, 0x1800}));
    EXPECT_FALSE(desktop.press({123, 0x1800}));
    const auto next = center.nextID();
    center.resume(); // not suspended: nothing new
    EXPECT_EQ(center.nextID(), next);
}

// A desktop that answers later (over D-Bus): the statuses come with the answer, an answer to a
// set a newer registration replaced is dropped, and each request names its key and command.
TEST_F(HotKeysTest, LaterAnswersCountOnlyForTheLatestSet)
{
    desktop.defersHotKeyAnswers = true;
    desktop.takeByOtherProgram({123, 0x1800});
    int answers = 0;
    center.onStatusChanged = [&] { ++answers; };
    center.updateBindings(defaults());
    EXPECT_FALSE(center.answered());
    EXPECT_TRUE(center.failed().empty());
    EXPECT_EQ(desktop.lastHotKeySet().front().commandURL, "quandrel://window/leftHalf");

    auto changed = defaults();
    changed.front().shortcut = {0, 0x1800};
    center.updateBindings(changed); // replaces the unanswered set
    desktop.answerHotKeys();
    EXPECT_EQ(answers, 1);
    EXPECT_TRUE(center.answered());
    EXPECT_TRUE(center.failed().empty());
    EXPECT_EQ(center.statuses().at(leftHalf), HotKeyStatus::bound);
    EXPECT_TRUE(desktop.press({0, 0x1800}));

    center.updateBindings(defaults());
    desktop.answerHotKeys();
    EXPECT_EQ(center.failed(), (std::set<Command>{leftHalf}));
}

TEST_F(HotKeysTest, LaunchFrontHideAndBeep)
{
    desktop.addInstalledApplication("org.example.Viewer");
    activate("org.example.Viewer"); // not running: launched and in front
    EXPECT_EQ(desktop.launches, (std::vector<std::string>{"org.example.Viewer"}));
    EXPECT_EQ(desktop.frontmostApplication()->desktopId, "org.example.Viewer");

    desktop.hide(10);
    activate("org.example.Editor"); // in the background: unhidden and fronted
    EXPECT_FALSE(desktop.application(10).hidden);
    EXPECT_EQ(desktop.frontmostApplication()->pid, 10);

    desktop.setFrontmost(20);
    const auto launched = desktop.launches.size();
    activate("org.example.Terminal"); // in front: hidden, then back
    EXPECT_TRUE(desktop.application(20).hidden);
    EXPECT_EQ(desktop.launches.size(), launched);
    activate("org.example.Terminal");
    EXPECT_FALSE(desktop.application(20).hidden);
    EXPECT_EQ(desktop.frontmostApplication()->pid, 20);
    const auto launches = desktop.launches.size();
    activate("org.example.Terminal", FrontmostBehavior::nothing);
    EXPECT_FALSE(desktop.application(20).hidden);
    EXPECT_EQ(desktop.launches.size(), launches);
    EXPECT_EQ(desktop.beeps(), 0);

    activate("org.example.Missing");
    EXPECT_EQ(desktop.beeps(), 1);
    desktop.application(10).launchFails = true;
    activate("org.example.Editor");
    EXPECT_EQ(desktop.beeps(), 2);
    desktop.application(10).installed = false;
    activate("org.example.Editor");
    EXPECT_EQ(desktop.beeps(), 3);
}

TEST_F(HotKeysTest, CycleWindowsRaisesTheBackmostEligibleWindow)
{
    launcher.cycleWindows(20); // one window: nothing to cycle
    EXPECT_EQ(desktop.raises(), 0);
    const WindowHandle second = desktop.addWindow(20, {50, 50, 400, 300});
    const WindowHandle third = desktop.addWindow(20, {100, 100, 400, 300});
    const WindowHandle minimized = desktop.addWindow(20, {150, 150, 400, 300});
    const WindowHandle dialog = desktop.addWindow(20, {200, 200, 200, 100});
    desktop.window(minimized).minimized = true;
    desktop.window(dialog).standard = false;
    desktop.raise(dialog);
    // Front to back: dialog, minimized, third, second, terminal; three presses visit all three.
    for (int press = 0; press < 3; ++press)
        activate("org.example.Terminal", FrontmostBehavior::cycleWindows);
    EXPECT_EQ(desktop.raised, (std::vector<WindowHandle>{dialog, terminal, second, third}));
    EXPECT_TRUE(desktop.window(minimized).minimized);
    desktop.setTrusted(false);
    launcher.cycleWindows(20);
    EXPECT_EQ(desktop.trustPrompts(), 1);
}

TEST_F(HotKeysTest, AnApplicationRunningAsSeveralProcessesIsOneApplication)
{
    desktop.addApplication(21, "org.example.Terminal"); // started later, now in front
    const WindowHandle newer = desktop.addWindow(21, {60, 60, 400, 300});
    desktop.raise(newer);
    desktop.setFrontmost(21);
    activate("org.example.Terminal", FrontmostBehavior::cycleWindows);
    activate("org.example.Terminal", FrontmostBehavior::cycleWindows);
    EXPECT_EQ(desktop.raised, (std::vector<WindowHandle>{newer, terminal, newer}));
    activate("org.example.Terminal");
    EXPECT_TRUE(desktop.application(20).hidden);
    EXPECT_TRUE(desktop.application(21).hidden);
    EXPECT_EQ(desktop.beeps(), 0);
}

TEST(AppBindingJson, RoundTripAndRequiredMembers)
{
    const AppBinding b{"org.gnome.TextEditor", "Text Editor", Shortcut{17, 0x0900}, FrontmostBehavior::cycleWindows};
    EXPECT_EQ(appBindingFromJson(toJson(b)), b);
    AppBinding none = b;
    none.shortcut.reset();
    EXPECT_FALSE(toJson(none).contains(QStringLiteral("shortcut")));
    EXPECT_EQ(appBindingFromJson(toJson(none)), none);
    const std::pair<const char*, QJsonValue> bad[] = {{"bundleID", {}}, {"name", {}}, {"whenFrontmost", {}},
                                                      {"whenFrontmost", QStringLiteral("Hide")},
                                                      {"shortcut", QJsonObject{{QStringLiteral("keyCode"), 1}}}};
    for (const auto& [member, value] : bad) {
        QJsonObject o = toJson(b);
        if (value.isUndefined() || value.isNull())
            o.remove(QLatin1String(member));
        else
            o[QLatin1String(member)] = value;
        EXPECT_FALSE(appBindingFromJson(o)) << member;
    }
}
