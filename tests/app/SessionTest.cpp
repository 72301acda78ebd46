// Which backend a session gets, what Quandrel says where it has none, and the sway key
// bindings it prints for the shortcuts.

#include "Command.h"
#include "KeyCodes.h"
#include "KeyboardLayout.h"
#include "Session.h"
#include "Shortcut.h"
#include "SwayBindings.h"

#include <gtest/gtest.h>

using namespace quandrel;

TEST(SessionDetection, EachSessionGetsItsBackend)
{
    // X11 session.
    EXPECT_EQ(chooseBackend({.display = ":0", .sessionType = "x11"}), SessionBackend::x11);
    // sway with Xwayland: DISPLAY names Xwayland, which cannot reach Wayland windows.
    EXPECT_EQ(chooseBackend({.display = ":1", .waylandDisplay = "wayland-1", .swaySocket = "/run/sway.sock"}), SessionBackend::sway);
    // sway started without a WAYLAND_DISPLAY of the caller's (from a tty script).
    EXPECT_EQ(chooseBackend({.swaySocket = "/run/sway.sock", .sessionType = "wayland"}), SessionBackend::sway);
    // Plasma on Wayland, with or without Xwayland.
    EXPECT_EQ(chooseBackend({.display = ":0", .waylandDisplay = "wayland-0", .sessionType = "wayland", .currentDesktop = "KDE"}), SessionBackend::kwin);
    EXPECT_EQ(chooseBackend({.sessionType = "wayland", .currentDesktop = "foo:kde"}), SessionBackend::kwin);
    EXPECT_EQ(chooseBackend({.display = ":0", .sessionType = "x11", .currentDesktop = "KDE"}), SessionBackend::x11);
    // GNOME on Wayland, with or without Xwayland, also as a flavour of GNOME; GNOME on Xorg is X11.
    EXPECT_EQ(chooseBackend({.display = ":0", .waylandDisplay = "wayland-0", .sessionType = "wayland", .currentDesktop = "GNOME"}),
              SessionBackend::gnome);
    EXPECT_EQ(chooseBackend({.waylandDisplay = "wayland-0", .currentDesktop = "ubuntu:GNOME"}), SessionBackend::gnome);
    EXPECT_EQ(chooseBackend({.display = ":0", .sessionType = "x11", .currentDesktop = "GNOME"}), SessionBackend::x11);
    // Other Wayland sessions.
    EXPECT_EQ(chooseBackend({.display = ":0", .waylandDisplay = "wayland-0", .sessionType = "wayland", .currentDesktop = "XFCE"}),
              SessionBackend::none);
    EXPECT_EQ(chooseBackend({.sessionType = "wayland"}), SessionBackend::none);
    // A private X desktop started from a Wayland session's terminal: DISPLAY only.
    EXPECT_EQ(chooseBackend({.display = ":5", .sessionType = "wayland"}), SessionBackend::x11);
    EXPECT_EQ(chooseBackend({}), SessionBackend::none);

    // QUANDREL_SESSION overrides, but only with what it needs.
    EXPECT_EQ(chooseBackend({.display = ":1", .waylandDisplay = "wayland-1", .swaySocket = "/s", .forced = "X11"}), SessionBackend::x11);
    EXPECT_EQ(chooseBackend({.display = ":0", .swaySocket = "/s", .forced = "sway"}), SessionBackend::sway);
    EXPECT_EQ(chooseBackend({.display = ":0", .forced = "sway"}), SessionBackend::none);
    EXPECT_EQ(chooseBackend({.swaySocket = "/s", .forced = "x11"}), SessionBackend::none);
    EXPECT_EQ(chooseBackend({.display = ":0", .forced = "gnome"}), SessionBackend::gnome);
    EXPECT_EQ(chooseBackend({.display = ":0", .forced = "kwin"}), SessionBackend::kwin);
}

TEST(SessionDetection, SessionsWithoutABackendAreToldPlainly)
{
    EXPECT_TRUE(sessionStatement({.display = ":0"}).isEmpty());
    EXPECT_TRUE(sessionStatement({.waylandDisplay = "wayland-1", .swaySocket = "/s"}).isEmpty());
    const QString wayland = sessionStatement({.waylandDisplay = "wayland-0", .sessionType = "wayland"});
    EXPECT_TRUE(wayland.contains("Wayland session"));
    EXPECT_TRUE(wayland.contains("sway"));
    EXPECT_TRUE(wayland.contains("X11"));
    EXPECT_TRUE(sessionStatement({}).contains("DISPLAY"));
    EXPECT_TRUE(sessionStatement({.display = ":0", .forced = "sway"}).contains("SWAYSOCK"));
}

TEST(CommandURLs, EveryCommandReadsBackAsItself)
{
    std::vector<Command> commands;
    for (const WindowAction action : allWindowActions)
        commands.emplace_back(std::in_place_type<WindowCommand>, action);
    for (const CaptureMode mode : allCaptureModes) {
        commands.emplace_back(std::in_place_type<CaptureCommand>, mode, std::nullopt);
        for (const AfterCapture then : allAfterCaptures)
            commands.emplace_back(std::in_place_type<CaptureCommand>, mode, then);
    }
    commands.emplace_back(AppCommand{"org.gnome.TextEditor"});
    commands.emplace_back(AppCommand{"odd id?with#signs and spaces"});
    commands.emplace_back(OpenSettingsCommand{});
    commands.emplace_back(ClosePinsCommand{});
    for (const Command& command : commands) {
        const QString url = commandURL(command);
        EXPECT_EQ(parseCommandURL(QUrl(url)), command) << url.toStdString();
    }
    EXPECT_EQ(commandURL(WindowCommand{WindowAction::leftHalf}), "quandrel://window/leftHalf");
}

TEST(SwayBindings, ShortcutsBecomeBindsymLinesRunningTheirURLs)
{
    const auto us = XkbKeyboardLayout::fromNames("us");
    ASSERT_TRUE(us);
    const Shortcut superShift1{0x12 /* 1 */, modifier::super | modifier::shift};
    std::vector<HotKeyBinding> bindings;
    bindings.push_back({defaultWindowShortcuts().at(WindowAction::leftHalf), WindowCommand{WindowAction::leftHalf}});
    bindings.push_back({defaultWindowShortcuts().at(WindowAction::nextDisplay), WindowCommand{WindowAction::nextDisplay}});
    bindings.push_back({superShift1, AppCommand{"org.gnome.TextEditor"}});
    // The same combination again, a key without a name, and a screenshot.
    bindings.push_back({superShift1, AppCommand{"xterm"}});
    bindings.push_back({Shortcut{0xffff, modifier::super}, AppCommand{"xterm"}});
    bindings.push_back({defaultCaptureShortcuts().at(CaptureMode::area), CaptureCommand{CaptureMode::area, std::nullopt}});
    const std::string text = swayBindingsText(bindings, *us);
    EXPECT_NE(text.find("\nbindsym Ctrl+Mod1+Left exec quandrel quandrel://window/leftHalf\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nbindsym Mod4+Ctrl+Mod1+Right exec quandrel quandrel://window/nextDisplay\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nbindsym Mod4+Shift+1 exec quandrel quandrel://app/org.gnome.TextEditor\n"), std::string::npos) << text;
    EXPECT_NE(text.find("# (Mod4+Shift+1 is bound above) bindsym Mod4+Shift+1 exec quandrel quandrel://app/xterm"), std::string::npos);
    EXPECT_NE(text.find("# (key code 65535 has no name in this layout)"), std::string::npos);
    EXPECT_NE(text.find("\nbindsym Mod4+Shift+2 exec quandrel quandrel://capture/area\n"), std::string::npos) << text;
    // Every line is a comment, a binding or a rule for Quandrel's windows: the file loads as it is.
    std::size_t bindsyms = 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at);
        const std::string line = text.substr(at, end - at);
        EXPECT_TRUE(line.rfind("# ", 0) == 0 || line.rfind("bindsym ", 0) == 0 || line.rfind("for_window [app_id=", 0) == 0
                    || line.rfind("no_focus [app_id=", 0) == 0)
            << line;
        bindsyms += line.rfind("bindsym ", 0) == 0;
        at = end + 1;
    }
    EXPECT_EQ(bindsyms, 4u);

    // Keys follow the layout's symbols, as sway's bindsym matches them.
    const auto de = XkbKeyboardLayout::fromNames("de");
    ASSERT_TRUE(de);
    EXPECT_EQ(swayKeyCombination(Shortcut{0x10 /* the key of Y on a US keyboard */, modifier::control}, *de), "Ctrl+z");
    EXPECT_EQ(swayKeyCombination(Shortcut{0x10, modifier::control}, *us), "Ctrl+y");
}
