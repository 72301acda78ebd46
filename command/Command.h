#pragma once

// One command Quandrel carries out, whoever asks for it: a hot key, the tray menu, or another
// program through a quandrel:// URL:
//
//   quandrel://window/<action>        quandrel://capture/<mode>[?then=editor|edit|pin|copy|save|thumbnail][&delay=1…10]
//   quandrel://app/<desktop id>       quandrel://settings        quandrel://pins/close
//   quandrel://quit

#include "AfterCapture.h"
#include "CaptureMode.h"
#include "WindowAction.h"

#include <QUrl>

#include <compare>
#include <functional>
#include <optional>
#include <string>
#include <variant>

namespace quandrel {

struct WindowCommand {
    WindowAction action = WindowAction::leftHalf;
    auto operator<=>(const WindowCommand&) const = default;
};

struct CaptureCommand {
    CaptureMode mode = CaptureMode::area;
    std::optional<AfterCapture> then; // none: the after-capture choice of the settings
    int delaySeconds = 0;             // 0: at once; else 1 to maxDelaySeconds
    static constexpr int maxDelaySeconds = 10;
    auto operator<=>(const CaptureCommand&) const = default;
};

struct AppCommand {
    std::string desktopId;
    auto operator<=>(const AppCommand&) const = default;
};

struct OpenSettingsCommand {
    auto operator<=>(const OpenSettingsCommand&) const = default;
};

struct ClosePinsCommand {
    auto operator<=>(const ClosePinsCommand&) const = default;
};

// Ends Quandrel, as "Quit Quandrel" in the tray menu does (for desktops without a tray).
struct QuitCommand {
    auto operator<=>(const QuitCommand&) const = default;
};

using Command = std::variant<WindowCommand, CaptureCommand, AppCommand, OpenSettingsCommand, ClosePinsCommand, QuitCommand>;

// "window(leftHalf)", "capture(area)", "app(org.gnome.TextEditor)", "settings", "pins(close)", "quit".
std::string describe(const Command& command);

// The command a URL names; none for anything else (another scheme, an unknown host or
// argument).
std::optional<Command> parseCommandURL(const QUrl& url);

// The URL that names the command; parseCommandURL reads it back as the same command.
QString commandURL(const Command& command);

// The name the desktop or the settings give an application; none when it has none there.
using AppNameLookup = std::function<std::optional<std::string>(const std::string& desktopId)>;

// The title a command has in menus and messages: "Left Half", "Capture Area", "Settings…",
// "Close All Pins"; an app command is named by `appName`, else by its desktop ID.
QString commandTitle(const Command& command, const AppNameLookup& appName = {});

// The value of a capture URL's "then" item.
std::optional<AfterCapture> afterCaptureFromThen(const QString& value);

} // namespace quandrel
