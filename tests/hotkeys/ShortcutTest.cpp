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

TEST_F(ShortcutTest, DisplayTextOrdersGlyphsAndNamesKeys)
{
    use("us");
    EXPECT_EQ(displayText({0, 0x1B00}, layout), "⌃⌥⇧⌘A");
    EXPECT_EQ(displayText({123, 0x1800}, layout), "⌃⌥←");
    EXPECT_EQ(displayText({19, 0x0300}, layout), "⇧⌘2");
    EXPECT_EQ(displayText({126, 0x1A00}, layout), "⌃⌥⇧↑");
    EXPECT_EQ(keyName(49, layout), "Space");
    EXPECT_EQ(keyName(109, layout), "F10");
    EXPECT_EQ(keyName(27, layout), "-");
    EXPECT_EQ(keyName(24, layout), "=");
    // A code with no physical key, and one whose key types nothing printable.
    EXPECT_EQ(keyName(52, layout), "Key 52");
    EXPECT_EQ(keyName(71, layout), "Key 71");
}

TEST_F(ShortcutTest, KeyNamesFollowTheLayoutButStoredCodesDoNot)
{
    use("de");
    // The key in the US "Y" position types Z on a German keyboard.
    EXPECT_EQ(keyName(16, layout), "Z");
    EXPECT_EQ(displayText({6, 0x1000}, layout), "⌃Y");
    use("fr");
    EXPECT_EQ(keyName(0, layout), "Q");
    layout = nullptr;
    EXPECT_EQ(keyName(0, layout), "Key 0");
    EXPECT_EQ(keyName(123, layout), "←");
}

TEST_F(ShortcutTest, KeyEventsNeedAModifierUnlessFunctionKey)
{
    const std::uint32_t xA = 38, xF5 = 71, xF19 = 197;
    EXPECT_FALSE(shortcutFromKeyEvent(xA, Qt::NoModifier));
    EXPECT_EQ(shortcutFromKeyEvent(xF5, Qt::NoModifier), (Shortcut{96, 0}));
    EXPECT_EQ(shortcutFromKeyEvent(xF19, Qt::NoModifier), (Shortcut{80, 0}));
    EXPECT_EQ(shortcutFromKeyEvent(xA, Qt::ShiftModifier), (Shortcut{0, 0x0200}));
    // Keypad state (Num Lock) is not a modifier of the shortcut.
    EXPECT_EQ(shortcutFromKeyEvent(xA, Qt::ShiftModifier | Qt::KeypadModifier), (Shortcut{0, 0x0200}));
    EXPECT_EQ(shortcutFromKeyEvent(113, Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier), (Shortcut{123, 0x1900}));
    EXPECT_FALSE(shortcutFromKeyEvent(0, Qt::ControlModifier));
    EXPECT_FALSE(shortcutFromKeyEvent(255, Qt::ControlModifier)); // no such key in the table
}

TEST_F(ShortcutTest, KeyTableRoundTrips)
{
    for (std::uint32_t code = 0; code < 128; ++code) {
        if (const auto x = xKeycodeForKey(code)) {
            EXPECT_EQ(virtualKeyForXKeycode(*x), code) << code;
        }
    }
    EXPECT_EQ(xKeycodeForKey(0), 38u);   // A
    EXPECT_EQ(xKeycodeForKey(123), 113u); // Left
    EXPECT_EQ(xKeycodeForKey(36), 36u);  // Return
}

TEST_F(ShortcutTest, MenuEquivalents)
{
    use("us");
    EXPECT_EQ(menuKeyEquivalent({18, 0x0300}, layout), QKeySequence(Qt::ShiftModifier | Qt::MetaModifier | Qt::Key_1));
    EXPECT_EQ(menuKeyEquivalent({123, 0x1800}, layout), QKeySequence(Qt::ControlModifier | Qt::AltModifier | Qt::Key_Left));
    EXPECT_EQ(menuKeyEquivalent({0, 0x1000}, layout), QKeySequence(Qt::ControlModifier | Qt::Key_A));
    EXPECT_FALSE(menuKeyEquivalent({96, 0}, layout));
    layout = nullptr;
    EXPECT_FALSE(menuKeyEquivalent({0, 0x1000}, layout)); // "Key 0" is no single character
}

TEST_F(ShortcutTest, DefaultTables)
{
    use("us");
    EXPECT_EQ(defaultWindowShortcuts().size(), 21u);
    EXPECT_EQ(defaultCaptureShortcuts().size(), 4u);
    EXPECT_FALSE(defaultWindowShortcuts().contains(WindowAction::almostMaximize));
    EXPECT_FALSE(defaultCaptureShortcuts().contains(CaptureMode::repeatArea));
    EXPECT_EQ(displayText(defaultWindowShortcuts().at(WindowAction::maximizeHeight), layout), "⌃⌥⇧↑");
    EXPECT_EQ(displayText(defaultWindowShortcuts().at(WindowAction::previousDisplay), layout), "⌃⌥⌘←");
    EXPECT_EQ(displayText(defaultWindowShortcuts().at(WindowAction::smaller), layout), "⌃⌥-");
    EXPECT_EQ(displayText(defaultCaptureShortcuts().at(CaptureMode::text), layout), "⇧⌘7");
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
    ASSERT_EQ(allCaptureModes.size(), 5u);
    EXPECT_EQ(rawName(allCaptureModes.front()), "area");
    EXPECT_EQ(rawName(allCaptureModes.back()), "repeatArea");
    EXPECT_EQ(title(CaptureMode::text), "Copy Text from Area (OCR)");
    EXPECT_EQ(symbolName(CaptureMode::window), "window");
    for (const CaptureMode m : allCaptureModes)
        EXPECT_EQ(captureModeFromRawName(rawName(m)), m);
    EXPECT_FALSE(captureModeFromRawName("Area"));
    EXPECT_FALSE(captureModeFromRawName("screen"));
}
