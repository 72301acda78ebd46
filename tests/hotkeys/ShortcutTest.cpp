#include "KeyboardLayout.h"
#include "Shortcut.h"

#include <QJsonDocument>
#include <gtest/gtest.h>

using namespace quandrel;

// The notation of each modifier and each kind of key, as the desktops write them.
TEST(Shortcut, DisplayTextIsTheDesktopsNotation)
{
    const auto us = XkbKeyboardLayout::fromNames("us");
    ASSERT_TRUE(us);
    constexpr std::uint32_t ctrl = modifier::control, alt = modifier::alt, shift = modifier::shift, super = modifier::super;
    const struct {
        Shortcut shortcut;
        const char* text;
    } rows[] = {
        // Modifiers always in the order Ctrl, Alt, Shift, Super, whatever their bits.
        {{0, ctrl}, "Ctrl+A"}, {{0, alt}, "Alt+A"}, {{0, shift}, "Shift+A"}, {{0, super}, "Super+A"},
        {{0, super | shift | alt | ctrl}, "Ctrl+Alt+Shift+Super+A"}, {{0, super | ctrl}, "Ctrl+Super+A"},
        {{0, shift | alt}, "Alt+Shift+A"}, {{0, super | shift}, "Shift+Super+A"},
        {{49, ctrl}, "Ctrl+Space"}, {{53, shift}, "Shift+Escape"}, {{117, ctrl}, "Ctrl+Delete"}, {{48, alt}, "Alt+Tab"},
        {{116, ctrl}, "Ctrl+Page Up"}, {{114, ctrl}, "Ctrl+Insert"}, {{109, 0}, "F10"}, {{linuxKeyBase + 99, 0}, "Print"},
        {{linuxKeyBase + 119, 0}, "Pause"}, {{linuxKeyBase + 70, 0}, "Scroll Lock"}, {{linuxKeyBase + 127, ctrl}, "Ctrl+Menu"},
        {{83, ctrl}, "Ctrl+Keypad 1"}, {{76, ctrl}, "Ctrl+Keypad Enter"}, {{linuxKeyBase + 164, 0}, "Play"},
        {{72, 0}, "Volume Up"}, {{linuxKeyBase + 194, 0}, "F24"}, {{123, ctrl | alt}, "Ctrl+Alt+←"}, {{124, ctrl}, "Ctrl+→"},
        {{126, ctrl}, "Ctrl+↑"}, {{125, ctrl}, "Ctrl+↓"}, {{36, ctrl}, "Ctrl+Return"}, {{51, ctrl}, "Ctrl+Backspace"},
        {{27, ctrl}, "Ctrl+-"}, {{24, ctrl}, "Ctrl+="}, {{19, shift | super}, "Shift+Super+2"}, {{32, ctrl}, "Ctrl+U"},
        {{8, ctrl}, "Ctrl+C"}, {{2, ctrl}, "Ctrl+D"}, {{17, ctrl}, "Ctrl+T"}, {{40, ctrl}, "Ctrl+K"}, {{26, ctrl}, "Ctrl+7"},
        // A key without a name of its own: the layout's symbol name, made readable.
        {{linuxKeyBase + 157, 0}, "My Computer"}, {{linuxKeyBase + 226, 0}, "Audio Media"},
        {{52, ctrl}, "Ctrl+Key 52"}, // a code with no physical key
    };
    for (const auto& row : rows)
        EXPECT_EQ(displayText(row.shortcut, us.get()), row.text) << row.text;

    // Names follow the layout; the stored codes do not.
    const auto de = XkbKeyboardLayout::fromNames("de");
    EXPECT_EQ(keyName(16, de.get()), "Z"); // the US "Y" position
    EXPECT_EQ(displayText({6, 0x1000}, de.get()), "Ctrl+Y");
    EXPECT_EQ(keyName(0, XkbKeyboardLayout::fromNames("fr").get()), "Q");
    EXPECT_EQ(keyName(0, nullptr), "Key 0");
    EXPECT_EQ(keyName(123, nullptr), "←");
    EXPECT_EQ(keyName(linuxKeyBase + 99, nullptr), "Print");
}

// A bare key is a shortcut only when it types nothing: F-keys, Print, Pause, Scroll Lock and
// the media and launcher keys. Everything else needs a modifier.
TEST(Shortcut, KeyEventsNeedAModifierUnlessTheKeyTypesNothing)
{
    const struct {
        std::uint32_t xKeycode;
        std::optional<std::uint32_t> alone; // the stored code when the bare key is a shortcut
        std::uint32_t withControl;
    } keys[] = {
        {38, {}, 0}, {10, {}, 18}, {65, {}, 49}, {113, {}, 123}, {118, {}, 114}, {135, {}, linuxKeyBase + 127}, {87, {}, 83},
        {104, {}, 76}, {187, {}, linuxKeyBase + 179}, // A, 1, Space, Left, Insert, Menu, Keypad 1, Keypad Enter, Keypad (
        {71, 96, 96}, {197, 80, 80}, {202, linuxKeyBase + 194, linuxKeyBase + 194}, {107, linuxKeyBase + 99, linuxKeyBase + 99},
        {127, linuxKeyBase + 119, linuxKeyBase + 119}, {78, linuxKeyBase + 70, linuxKeyBase + 70},
        {172, linuxKeyBase + 164, linuxKeyBase + 164}, {121, 74, 74}, {148, linuxKeyBase + 140, linuxKeyBase + 140},
        {136, linuxKeyBase + 128, linuxKeyBase + 128}, // Stop, the first of the launcher and media keys
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
TEST(Shortcut, KeyTableRoundTrips)
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
    EXPECT_FALSE(xKeycodeForKey(linuxKeyBase + 105)); // a key of the classic table has its classic code alone
    EXPECT_EQ(xKeycodeForKey(0), 38u);
    EXPECT_EQ(xKeycodeForKey(123), 113u);
}

TEST(Shortcut, DefaultsAreDistinctAndJsonNeedsBothMembers)
{
    std::set<Shortcut> seen;
    for (const auto& [a, s] : defaultWindowShortcuts())
        EXPECT_TRUE(seen.insert(s).second) << rawName(a);
    for (const auto& [m, s] : defaultCaptureShortcuts())
        EXPECT_TRUE(seen.insert(s).second) << rawName(m);
    EXPECT_FALSE(defaultWindowShortcuts().contains(WindowAction::almostMaximize));

    const Shortcut s{123, 0x1800};
    EXPECT_EQ(shortcutFromJson(toJson(s)), s);
    auto parse = [](const char* json) { return shortcutFromJson(QJsonDocument::fromJson(json).object()); };
    for (const char* bad : {R"({"keyCode": 1})", R"({"modifiers": 1})", R"({"keyCode": "1", "modifiers": 1})",
                            R"({"keyCode": -1, "modifiers": 1})", R"({"keyCode": 1.5, "modifiers": 1})"})
        EXPECT_FALSE(parse(bad)) << bad;
    EXPECT_EQ(parse(R"({"keyCode": 4294967295, "modifiers": 0, "extra": true})"), (Shortcut{4294967295u, 0}));

    for (const CaptureMode m : allCaptureModes)
        EXPECT_EQ(captureModeFromRawName(rawName(m)), m);
    EXPECT_FALSE(captureModeFromRawName("Area"));
}
