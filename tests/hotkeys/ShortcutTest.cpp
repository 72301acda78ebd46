#include "KeyboardLayout.h"
#include "Shortcut.h"

#include <QJsonDocument>
#include <gtest/gtest.h>

using namespace quandrel;

namespace {

// Shortcut texts name keys by a layout; each test chooses the one it needs.
class ShortcutTest : public ::testing::Test {
protected:
    void use(const std::string& name)
    {
        m_layout = XkbKeyboardLayout::fromNames(name);
        ASSERT_TRUE(m_layout) << name;
        layout = m_layout.get();
    }

    const KeyboardLayout* layout = nullptr;

private:
    std::unique_ptr<XkbKeyboardLayout> m_layout;
};

} // namespace

// The notation of every default shortcut, and of each modifier and each kind of key.
TEST_F(ShortcutTest, DisplayTextIsTheDesktopsNotation)
{
    use("us");
    constexpr std::uint32_t ctrl = modifier::control, alt = modifier::alt, shift = modifier::shift, super = modifier::super;
    const struct {
        Shortcut shortcut;
        const char* text;
    } rows[] = {
        // Modifiers always in the order Ctrl, Alt, Shift, Super, whatever their bits.
        {{0, ctrl}, "Ctrl+A"},
        {{0, alt}, "Alt+A"},
        {{0, shift}, "Shift+A"},
        {{0, super}, "Super+A"},
        {{0, super | shift | alt | ctrl}, "Ctrl+Alt+Shift+Super+A"},
        {{0, super | ctrl}, "Ctrl+Super+A"},
        {{0, shift | alt}, "Alt+Shift+A"},
        {{0, super | shift}, "Shift+Super+A"},
        // Keys named as the desktops name them.
        {{49, ctrl}, "Ctrl+Space"},
        {{53, shift}, "Shift+Escape"},
        {{117, ctrl}, "Ctrl+Delete"},
        {{48, alt}, "Alt+Tab"},
        {{116, ctrl}, "Ctrl+Page Up"},
        {{114, ctrl}, "Ctrl+Insert"},
        {{109, 0}, "F10"},
        {{linuxKeyBase + 99, 0}, "Print"},
        {{linuxKeyBase + 119, 0}, "Pause"},
        {{linuxKeyBase + 70, 0}, "Scroll Lock"},
        {{linuxKeyBase + 127, ctrl}, "Ctrl+Menu"},
        {{83, ctrl}, "Ctrl+Keypad 1"},
        {{76, ctrl}, "Ctrl+Keypad Enter"},
        {{linuxKeyBase + 164, 0}, "Play"},
        {{72, 0}, "Volume Up"},
        {{linuxKeyBase + 194, 0}, "F24"},
        // A key without a name of its own: the layout's symbol name, made readable.
        {{linuxKeyBase + 157, 0}, "My Computer"},
        {{linuxKeyBase + 226, 0}, "Audio Media"},
        // A code with no physical key.
        {{52, ctrl}, "Ctrl+Key 52"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(displayText(row.shortcut, layout), row.text) << row.text;

    const std::map<WindowAction, const char*> windows = {
        {WindowAction::leftHalf, "Ctrl+Alt+←"},        {WindowAction::rightHalf, "Ctrl+Alt+→"},
        {WindowAction::topHalf, "Ctrl+Alt+↑"},         {WindowAction::bottomHalf, "Ctrl+Alt+↓"},
        {WindowAction::topLeft, "Ctrl+Alt+U"},         {WindowAction::topRight, "Ctrl+Alt+I"},
        {WindowAction::bottomLeft, "Ctrl+Alt+J"},      {WindowAction::bottomRight, "Ctrl+Alt+K"},
        {WindowAction::firstThird, "Ctrl+Alt+D"},      {WindowAction::centerThird, "Ctrl+Alt+F"},
        {WindowAction::lastThird, "Ctrl+Alt+G"},       {WindowAction::firstTwoThirds, "Ctrl+Alt+E"},
        {WindowAction::lastTwoThirds, "Ctrl+Alt+T"},   {WindowAction::maximize, "Ctrl+Alt+Return"},
        {WindowAction::maximizeHeight, "Ctrl+Alt+Shift+↑"}, {WindowAction::center, "Ctrl+Alt+C"},
        {WindowAction::smaller, "Ctrl+Alt+-"},         {WindowAction::larger, "Ctrl+Alt+="},
        {WindowAction::restore, "Ctrl+Alt+Backspace"}, {WindowAction::nextDisplay, "Ctrl+Alt+Super+→"},
        {WindowAction::previousDisplay, "Ctrl+Alt+Super+←"},
    };
    ASSERT_EQ(windows.size(), defaultWindowShortcuts().size());
    for (const auto& [action, shortcut] : defaultWindowShortcuts())
        EXPECT_EQ(displayText(shortcut, layout), windows.at(action)) << rawName(action);
    const std::map<CaptureMode, const char*> captures = {{CaptureMode::area, "Shift+Super+2"}, {CaptureMode::fullScreen, "Shift+Super+1"},
                                                         {CaptureMode::window, "Shift+Super+6"}, {CaptureMode::text, "Shift+Super+7"}};
    ASSERT_EQ(captures.size(), defaultCaptureShortcuts().size());
    for (const auto& [mode, shortcut] : defaultCaptureShortcuts())
        EXPECT_EQ(displayText(shortcut, layout), captures.at(mode)) << rawName(mode);
}

TEST_F(ShortcutTest, KeyNamesFollowTheLayoutButStoredCodesDoNot)
{
    use("de");
    // The key in the US "Y" position types Z on a German keyboard.
    EXPECT_EQ(keyName(16, layout), "Z");
    EXPECT_EQ(displayText({6, 0x1000}, layout), "Ctrl+Y");
    use("fr");
    EXPECT_EQ(keyName(0, layout), "Q");
    layout = nullptr;
    EXPECT_EQ(keyName(0, layout), "Key 0");
    EXPECT_EQ(keyName(123, layout), "←");
    EXPECT_EQ(keyName(linuxKeyBase + 99, layout), "Print");
}

// A bare key is a shortcut only when it types nothing: F-keys, Print, Pause, Scroll Lock and
// the media and launcher keys. Everything else needs a modifier.
TEST_F(ShortcutTest, KeyEventsNeedAModifierUnlessTheKeyTypesNothing)
{
    const struct {
        std::uint32_t xKeycode;
        std::optional<std::uint32_t> alone; // the stored code when the bare key is a shortcut
        std::uint32_t withControl;
    } keys[] = {
        {38, std::nullopt, 0},                   // A
        {10, std::nullopt, 18},                  // 1
        {65, std::nullopt, 49},                  // Space
        {113, std::nullopt, 123},                // Left
        {118, std::nullopt, 114},                // Insert
        {135, std::nullopt, linuxKeyBase + 127}, // Menu
        {87, std::nullopt, 83},                  // Keypad 1
        {104, std::nullopt, 76},                 // Keypad Enter
        {187, std::nullopt, linuxKeyBase + 179}, // Keypad (, which types text
        {71, 96, 96},                            // F5
        {197, 80, 80},                           // F19
        {202, linuxKeyBase + 194, linuxKeyBase + 194}, // F24
        {107, linuxKeyBase + 99, linuxKeyBase + 99},   // Print
        {127, linuxKeyBase + 119, linuxKeyBase + 119}, // Pause
        {78, linuxKeyBase + 70, linuxKeyBase + 70},    // Scroll Lock
        {172, linuxKeyBase + 164, linuxKeyBase + 164}, // Play
        {121, 74, 74},                                 // Mute
        {148, linuxKeyBase + 140, linuxKeyBase + 140}, // Calculator
    };
    for (const auto& k : keys) {
        EXPECT_EQ(shortcutFromKeyEvent(k.xKeycode, Qt::NoModifier), k.alone ? std::optional<Shortcut>(Shortcut{*k.alone, 0}) : std::nullopt)
            << k.xKeycode;
        EXPECT_EQ(shortcutFromKeyEvent(k.xKeycode, Qt::ControlModifier), (Shortcut{k.withControl, modifier::control})) << k.xKeycode;
    }
    // Keypad state (Num Lock) is not a modifier of the shortcut.
    EXPECT_EQ(shortcutFromKeyEvent(38, Qt::ShiftModifier | Qt::KeypadModifier), (Shortcut{0, 0x0200}));
    EXPECT_EQ(shortcutFromKeyEvent(113, Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier), (Shortcut{123, 0x1900}));
    // No key, and the modifier keys themselves.
    for (const std::uint32_t none : {0u, 8u, 37u, 50u, 64u, 133u, 66u, 256u})
        EXPECT_FALSE(shortcutFromKeyEvent(none, Qt::ControlModifier)) << none;
}

// One stored code per key: every X keycode a key has maps to a code and back.
TEST_F(ShortcutTest, KeyTableRoundTrips)
{
    int keys = 0;
    for (std::uint32_t x = 0; x < 256; ++x) {
        if (const auto code = virtualKeyForXKeycode(x)) {
            EXPECT_EQ(xKeycodeForKey(*code), x) << x;
            ++keys;
        }
    }
    EXPECT_EQ(keys, 247 - 10); // the evdev codes 1–247 less the modifier and lock keys
    for (std::uint32_t code = 0; code < 128; ++code) {
        if (const auto x = xKeycodeForKey(code)) {
            EXPECT_EQ(virtualKeyForXKeycode(*x), code) << code;
        }
    }
    // A key of the classic table has its classic code alone.
    EXPECT_FALSE(xKeycodeForKey(linuxKeyBase + 105));
    EXPECT_EQ(xKeycodeForKey(0), 38u);   // A
    EXPECT_EQ(xKeycodeForKey(123), 113u); // Left
    EXPECT_EQ(xKeycodeForKey(36), 36u);  // Return
}

TEST_F(ShortcutTest, DefaultTables)
{
    EXPECT_EQ(defaultWindowShortcuts().size(), 21u);
    EXPECT_EQ(defaultCaptureShortcuts().size(), 4u);
    EXPECT_FALSE(defaultWindowShortcuts().contains(WindowAction::almostMaximize));
    EXPECT_FALSE(defaultCaptureShortcuts().contains(CaptureMode::repeatArea));
    // Every default is a distinct combination.
    std::set<Shortcut> seen;
    for (const auto& [a, s] : defaultWindowShortcuts())
        EXPECT_TRUE(seen.insert(s).second) << rawName(a);
    for (const auto& [m, s] : defaultCaptureShortcuts())
        EXPECT_TRUE(seen.insert(s).second) << rawName(m);
}

TEST_F(ShortcutTest, JsonNeedsBothMembers)
{
    const Shortcut s{123, 0x1800};
    EXPECT_EQ(shortcutFromJson(toJson(s)), s);
    auto parse = [](const char* json) { return shortcutFromJson(QJsonDocument::fromJson(json).object()); };
    EXPECT_FALSE(parse(R"({"keyCode": 1})"));
    EXPECT_FALSE(parse(R"({"modifiers": 1})"));
    EXPECT_FALSE(parse(R"({"keyCode": "1", "modifiers": 1})"));
    EXPECT_FALSE(parse(R"({"keyCode": -1, "modifiers": 1})"));
    EXPECT_FALSE(parse(R"({"keyCode": 1.5, "modifiers": 1})"));
    EXPECT_EQ(parse(R"({"keyCode": 4294967295, "modifiers": 0, "extra": true})"), (Shortcut{4294967295u, 0}));
}

TEST(CaptureModes, NamesAndOrder)
{
    ASSERT_EQ(allCaptureModes.size(), 6u);
    EXPECT_EQ(rawName(allCaptureModes.front()), "area");
    EXPECT_EQ(rawName(allCaptureModes.back()), "allDisplays");
    EXPECT_EQ(title(CaptureMode::text), "Copy Text from Area (OCR)");
    EXPECT_EQ(symbolName(CaptureMode::window), "window");
    for (const CaptureMode m : allCaptureModes)
        EXPECT_EQ(captureModeFromRawName(rawName(m)), m);
    EXPECT_FALSE(captureModeFromRawName("Area"));
    EXPECT_FALSE(captureModeFromRawName("screen"));
}
