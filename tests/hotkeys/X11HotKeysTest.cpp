// Global hot keys on a real X server: grabs, presses sent with xdotool (XTEST), lock
// modifiers, and conflicts with other X clients.

#include "GlobalHotKeys.h"
#include "HotKeyCenter.h"
#include "X11Connection.h"
#include "X11Desktop.h"
#include "X11HotKeys.h"
#include "X11KeyboardLayout.h"
#include "XTestSupport.h"

#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <chrono>

using namespace quandrel;
using quandrel::test::run;

namespace {

constexpr std::uint32_t left = 123, keyF = 3, keyG = 5;
constexpr std::uint32_t ctrlOpt = 0x1800;

// Another X client, to hold grabs of its own.
class OtherClient {
public:
    OtherClient()
        : m_c(xcb_connect(nullptr, nullptr))
        , m_root(xcb_setup_roots_iterator(xcb_get_setup(m_c)).data->root)
    {
    }
    ~OtherClient() { xcb_disconnect(m_c); }
    // Answers whether the server granted the grab.
    bool grab(std::uint8_t keycode, std::uint16_t modifiers)
    {
        xcb_generic_error_t* e = xcb_request_check(m_c, xcb_grab_key_checked(m_c, 1, m_root, modifiers, keycode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        std::free(e);
        return e == nullptr;
    }
    void ungrab(std::uint8_t keycode, std::uint16_t modifiers)
    {
        xcb_ungrab_key(m_c, keycode, m_root, modifiers);
        xcb_aux_sync();
    }

private:
    void xcb_aux_sync() { std::free(xcb_get_input_focus_reply(m_c, xcb_get_input_focus(m_c), nullptr)); }
    xcb_connection_t* m_c;
    xcb_window_t m_root;
};

constexpr std::uint16_t ctrlAlt = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;
constexpr std::uint8_t xF = 41, xG = 42;

class X11HotKeysTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        desktop = x11::X11Desktop::open();
        ASSERT_TRUE(desktop);
        hotKeys = static_cast<x11::X11HotKeys*>(desktop->services().hotKeys);
        hotKeys->onPressed = [this](std::uint32_t id) { presses.push_back(id); };
    }

    // Dispatches the connection's events until `count` presses arrived or the time is up.
    bool waitForPresses(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(2))
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (presses.size() < count && std::chrono::steady_clock::now() < deadline)
            desktop->connection().waitForEvent([](xcb_generic_event_t*) { return false; }, std::chrono::milliseconds(20));
        return presses.size() >= count;
    }

    // Lets every event that may still come arrive, so that "nothing happened" is meaningful.
    void settle() { desktop->connection().waitForEvent([](xcb_generic_event_t*) { return false; }, std::chrono::milliseconds(150)); }

    std::unique_ptr<x11::X11Desktop> desktop;
    x11::X11HotKeys* hotKeys = nullptr;
    std::vector<std::uint32_t> presses;
};

} // namespace

TEST_F(X11HotKeysTest, PressCallsBackOnceWhateverTheLocks)
{
    ASSERT_TRUE(hotKeys->registerHotKey(7, left, ctrlOpt));
    ASSERT_EQ(run("xdotool key ctrl+alt+Left"), 0);
    ASSERT_TRUE(waitForPresses(1));
    EXPECT_EQ(presses, (std::vector<std::uint32_t>{7}));

    // Num Lock and Caps Lock on: the press carries Mod2 and Lock and must still match.
    ASSERT_EQ(run("xdotool key Num_Lock Caps_Lock"), 0);
    ASSERT_EQ(run("xdotool key ctrl+alt+Left"), 0);
    EXPECT_TRUE(waitForPresses(2));
    ASSERT_EQ(run("xdotool key Num_Lock Caps_Lock"), 0);

    // Other modifiers do not match, and the key alone does not either.
    ASSERT_EQ(run("xdotool key ctrl+alt+shift+Left Left"), 0);
    settle();
    EXPECT_EQ(presses.size(), 2u);
}

// Keys outside the classic table are grabbed by their scan codes too, alone or with modifiers.
TEST_F(X11HotKeysTest, PrintPauseMenuKeypadAndMediaKeysAreGrabbed)
{
    const struct {
        std::uint32_t keyCode, modifiers;
        const char* keys;
    } rows[] = {
        {linuxKeyBase + 99, 0, "Print"},          {linuxKeyBase + 119, 0, "Pause"},
        {linuxKeyBase + 164, 0, "XF86AudioPlay"}, {linuxKeyBase + 127, 0x1000, "ctrl+Menu"},
        {83, ctrlOpt, "ctrl+alt+KP_End"},
    };
    std::uint32_t id = 20;
    for (const auto& row : rows)
        ASSERT_TRUE(hotKeys->registerHotKey(id++, row.keyCode, row.modifiers)) << row.keys;
    for (const auto& row : rows)
        ASSERT_EQ(run(std::string("xdotool key ") + row.keys), 0);
    ASSERT_TRUE(waitForPresses(5));
    EXPECT_EQ(presses, (std::vector<std::uint32_t>{20, 21, 22, 23, 24}));
}

TEST_F(X11HotKeysTest, HeldKeyFiresOnce)
{
    ASSERT_TRUE(hotKeys->registerHotKey(1, keyG, ctrlOpt));
    // Two presses without a release are what key repeat sends.
    ASSERT_EQ(run("xdotool keydown ctrl+alt+g keydown g keyup g keyup ctrl+alt"), 0);
    ASSERT_TRUE(waitForPresses(1));
    settle();
    EXPECT_EQ(presses.size(), 1u);
    ASSERT_EQ(run("xdotool key ctrl+alt+g"), 0);
    EXPECT_TRUE(waitForPresses(2));
}

TEST_F(X11HotKeysTest, CombinationHeldByAnotherClientFailsWithoutPartialGrabs)
{
    OtherClient other;
    // The other client holds only the Num Lock variant: our registration must fail as a
    // whole and leave none of its other variants grabbed.
    ASSERT_TRUE(other.grab(xF, ctrlAlt | XCB_MOD_MASK_2));
    EXPECT_FALSE(hotKeys->registerHotKey(1, keyF, ctrlOpt));
    OtherClient third;
    EXPECT_TRUE(third.grab(xF, ctrlAlt));
    EXPECT_TRUE(third.grab(xF, ctrlAlt | XCB_MOD_MASK_LOCK));
}

// A set is bound as a whole: it replaces what was bound before, and each id is answered with
// what became of it.
TEST_F(X11HotKeysTest, BindingASetAnswersEveryId)
{
    OtherClient other;
    ASSERT_TRUE(other.grab(xF, ctrlAlt));
    ASSERT_TRUE(hotKeys->registerHotKey(9, left, ctrlOpt));
    HotKeyStatuses statuses;
    hotKeys->bind({{.id = 1, .keyCode = keyG, .modifierMask = ctrlOpt}, {.id = 2, .keyCode = keyG, .modifierMask = ctrlOpt},
                   {.id = 3, .keyCode = keyF, .modifierMask = ctrlOpt}, {.id = 4, .keyCode = 0xFFFF, .modifierMask = ctrlOpt}},
                  [&](HotKeyStatuses answer) { statuses = std::move(answer); });
    EXPECT_EQ(statuses, (HotKeyStatuses{{1, HotKeyStatus::bound}, {2, HotKeyStatus::taken}, {3, HotKeyStatus::taken},
                                        {4, HotKeyStatus::unsupported}}));
    ASSERT_EQ(run("xdotool key ctrl+alt+Left ctrl+alt+g"), 0);
    ASSERT_TRUE(waitForPresses(1));
    EXPECT_EQ(presses, (std::vector<std::uint32_t>{1}));
}

TEST_F(X11HotKeysTest, UnregisteringReleasesEveryGrab)
{
    ASSERT_TRUE(hotKeys->registerHotKey(3, keyG, ctrlOpt));
    // The same combination under another id of ours is a conflict too.
    EXPECT_FALSE(hotKeys->registerHotKey(4, keyG, ctrlOpt));
    OtherClient other;
    EXPECT_FALSE(other.grab(xG, ctrlAlt));
    hotKeys->unregisterHotKey(3);
    for (const int locks : {0, int(XCB_MOD_MASK_LOCK), int(XCB_MOD_MASK_2), int(XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2)})
        EXPECT_TRUE(other.grab(xG, std::uint16_t(ctrlAlt | locks))) << locks;
}

TEST_F(X11HotKeysTest, GrabsFollowAChangedModifierMap)
{
    constexpr std::uint32_t superOpt = 0x0900; // Alt+Super
    ASSERT_TRUE(hotKeys->registerHotKey(5, keyG, superOpt));
    // Super moves from Mod4 to Mod3, as a keyboard configuration tool may do; the desktop
    // gets its usual map back whatever happens.
    struct Restore {
        ~Restore() { run("xmodmap -e 'remove mod3 = Super_L' -e 'add mod4 = Super_L'"); }
    } restore;
    ASSERT_EQ(run("xmodmap -e 'remove mod4 = Super_L' -e 'add mod3 = Super_L'"), 0);
    // The change reaches Quandrel as an event of its own; until it is handled a press finds
    // the old grab, so press until one arrives.
    bool pressed = false;
    for (int attempt = 0; attempt < 20 && !pressed; ++attempt) {
        ASSERT_EQ(run("xdotool key super+alt+g"), 0);
        pressed = waitForPresses(1, std::chrono::milliseconds(100));
    }
    EXPECT_TRUE(pressed);
}

TEST_F(X11HotKeysTest, DefaultBindingsRegisterThroughTheCenter)
{
    HotKeyCenter center(*hotKeys);
    std::vector<Command> actions;
    center.onPress = [&](const Command& a) { actions.push_back(a); };
    center.updateBindings(buildBindings(defaultWindowShortcuts(), defaultCaptureShortcuts(), {}));
    EXPECT_TRUE(center.failed().empty());
    EXPECT_EQ(center.registered().size(), 25u);

    ASSERT_EQ(run("xdotool key ctrl+alt+super+Right shift+super+2"), 0);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (actions.size() < 2 && std::chrono::steady_clock::now() < deadline)
        desktop->connection().waitForEvent([](xcb_generic_event_t*) { return false; }, std::chrono::milliseconds(20));
    EXPECT_EQ(actions, (std::vector<Command>{Command{WindowCommand{WindowAction::nextDisplay}}, Command{CaptureCommand{CaptureMode::area, std::nullopt}}}));
}

TEST_F(X11HotKeysTest, KeyNamesFollowTheServersLayout)
{
    struct Restore {
        ~Restore() { run("setxkbmap us"); }
    } restore;
    ASSERT_EQ(run("setxkbmap us"), 0);
    x11::ServerKeyboardLayout layout(desktop->connection());
    EXPECT_EQ(keyName(16, &layout), "Y");
    EXPECT_EQ(displayText({6, 0x1800}, &layout), "Ctrl+Alt+Z");
    // A key without a name of its own is named by the server's symbol for it.
    EXPECT_EQ(keyName(linuxKeyBase + 157, &layout), "My Computer");

    // Another layout chosen while Quandrel runs: the names change, the stored codes do not.
    ASSERT_EQ(run("setxkbmap de"), 0);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (keyName(16, &layout) != "Z" && std::chrono::steady_clock::now() < deadline)
        desktop->connection().waitForEvent([](xcb_generic_event_t*) { return false; }, std::chrono::milliseconds(20));
    EXPECT_EQ(keyName(16, &layout), "Z");
    EXPECT_EQ(displayText({6, 0x1800}, &layout), "Ctrl+Alt+Y");
    EXPECT_GT(layout.reloads(), 1);
}
