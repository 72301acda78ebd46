#include "FakeDesktop.h"
#include "HotKeyCenter.h"

#include <gtest/gtest.h>

using namespace quandrel;

namespace {

std::vector<HotKeyBinding> defaults()
{
    return buildBindings(defaultWindowShortcuts(), defaultCaptureShortcuts(), {});
}

} // namespace

TEST(HotKeyCenter, DefaultsUseIdsOneToTwentyFiveThenTwentySixToFifty)
{
    FakeDesktop desktop;
    HotKeyCenter center(desktop);
    center.updateBindings(defaults());
    ASSERT_EQ(center.registered().size(), 25u);
    EXPECT_EQ(center.registered().begin()->first, 1u);
    EXPECT_EQ(center.registered().at(1), Command{WindowCommand{WindowAction::leftHalf}});
    EXPECT_EQ(center.registered().at(14), Command{WindowCommand{WindowAction::maximize}});
    EXPECT_EQ(center.registered().at(15), Command{WindowCommand{WindowAction::maximizeHeight}}); // almostMaximize has none
    EXPECT_EQ(center.registered().at(21), Command{WindowCommand{WindowAction::previousDisplay}});
    EXPECT_EQ(center.registered().at(22), (Command{CaptureCommand{CaptureMode::area, std::nullopt}}));
    EXPECT_EQ(center.registered().at(25), (Command{CaptureCommand{CaptureMode::text, std::nullopt}}));

    center.registerAll();
    EXPECT_EQ(center.registered().begin()->first, 26u);
    EXPECT_EQ(center.registered().rbegin()->first, 50u);
    EXPECT_EQ(desktop.grabbedHotKeys().size(), 25u);
    EXPECT_EQ(center.nextID(), 51u);
}

TEST(HotKeyCenter, PressesReachOnPressOnlyForCurrentRegistrations)
{
    FakeDesktop desktop;
    HotKeyCenter center(desktop);
    std::vector<Command> pressed;
    center.onPress = [&](const Command& a) { pressed.push_back(a); };
    center.updateBindings(defaults());

    EXPECT_TRUE(desktop.press({124, 0x1800}));
    EXPECT_TRUE(desktop.press({19, 0x0300}));
    ASSERT_EQ(pressed.size(), 2u);
    EXPECT_EQ(pressed[0], Command{WindowCommand{WindowAction::rightHalf}});
    EXPECT_EQ(pressed[1], (Command{CaptureCommand{CaptureMode::area, std::nullopt}}));

    // A stale id (from before a re-registration) does nothing.
    center.registerAll();
    desktop.onPressed(3);
    EXPECT_EQ(pressed.size(), 2u);
    EXPECT_TRUE(desktop.press({124, 0x1800}));
    EXPECT_EQ(pressed.size(), 3u);
    center.unregisterAll();
    EXPECT_FALSE(desktop.press({124, 0x1800}));
    EXPECT_TRUE(desktop.grabbedHotKeys().empty());
}

TEST(HotKeyCenter, TakenAndDuplicateShortcutsFail)
{
    FakeDesktop desktop;
    desktop.takeByOtherProgram({123, 0x1800});
    HotKeyCenter center(desktop);
    AppBinding editor{"org.example.Editor", "Editor", Shortcut{124, 0x1800}, FrontmostBehavior::hide};
    AppBinding noShortcut{"org.example.Other", "Other", std::nullopt, FrontmostBehavior::hide};
    const auto bindings = buildBindings(defaultWindowShortcuts(), {}, {editor, noShortcut});
    EXPECT_EQ(bindings.size(), 22u);
    center.updateBindings(bindings);

    EXPECT_EQ(center.failed(), (std::set<Command>{Command{WindowCommand{WindowAction::leftHalf}}, Command{AppCommand{"org.example.Editor"}}}));
    const auto shared = sharedShortcuts(bindings);
    ASSERT_EQ(shared.size(), 1u);
    EXPECT_EQ(shared.begin()->second, (std::vector<Command>{Command{WindowCommand{WindowAction::rightHalf}}, Command{AppCommand{"org.example.Editor"}}}));

    // Unregistering keeps the failures; registering again starts from scratch.
    center.unregisterAll();
    EXPECT_EQ(center.failed().size(), 2u);
    center.setBindings({});
    center.registerAll();
    EXPECT_TRUE(center.failed().empty());
}

TEST(HotKeyCenter, SuspensionDefersRegistration)
{
    FakeDesktop desktop;
    HotKeyCenter center(desktop);
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
    // Resuming when not suspended registers nothing new.
    const auto next = center.nextID();
    center.resume();
    EXPECT_EQ(center.nextID(), next);
}

TEST(HotKeyCenter, CallbackMayReregisterWhileHandlingAPress)
{
    FakeDesktop desktop;
    HotKeyCenter center(desktop);
    int presses = 0;
    center.onPress = [&](const Command&) {
        ++presses;
        center.registerAll();
    };
    center.updateBindings(defaults());
    EXPECT_TRUE(desktop.press({124, 0x1800}));
    EXPECT_EQ(presses, 1);
    EXPECT_EQ(center.registered().size(), 25u);
}

// A desktop that answers later (over D-Bus): the statuses come with the answer, an answer to a
// set a newer registration replaced is dropped, and each request names its key and command.
TEST(HotKeyCenter, LaterAnswersCountOnlyForTheLatestSet)
{
    FakeDesktop desktop;
    desktop.defersHotKeyAnswers = true;
    desktop.takeByOtherProgram({123, 0x1800});
    HotKeyCenter center(desktop);
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
    EXPECT_EQ(center.statuses().at(Command{WindowCommand{WindowAction::leftHalf}}), HotKeyStatus::bound);
    EXPECT_TRUE(desktop.press({0, 0x1800}));

    center.updateBindings(defaults());
    desktop.answerHotKeys();
    EXPECT_EQ(center.failed(), (std::set<Command>{Command{WindowCommand{WindowAction::leftHalf}}}));
}
