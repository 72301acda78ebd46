#pragma once

// What the tray menu shows, as plain data: titles, order, dividers, shortcuts and the
// command behind each item. The menu widget only draws it, so the menu's structure is tested
// without widgets.

#include "Command.h"
#include "QuandrelSettings.h"

#include <QKeySequence>
#include <QString>

#include <optional>
#include <set>
#include <vector>

namespace quandrel {

struct TrayMenuEntry {
    enum class Kind { item, divider, submenu };
    enum class Action { command, quit, grantPermissions, checkForUpdates };

    Kind kind = Kind::item;
    QString title;
    QString symbol;                       // a name of the symbol set; empty for none
    std::optional<Shortcut> shortcut;     // a global shortcut, shown beside the title
    std::optional<QKeySequence> ownKeys;  // one of Quandrel's own keys (Ctrl+, Ctrl+Q)
    bool shortcutTaken = false;           // another program holds the global shortcut
    Action action = Action::command;
    std::optional<Command> command;
    int delay = 0;                        // milliseconds between choosing and running
    bool enabled = true;
    std::vector<TrayMenuEntry> children;  // of a submenu

    bool operator==(const TrayMenuEntry&) const = default;
};

struct TrayMenuState {
    const QuandrelSettings& settings;
    const std::set<Command>& takenShortcuts; // commands whose hot keys another program holds
    bool hasPins = false;
    bool permissionsGranted = true; // false: something Quandrel needs is missing ("Grant Permissions…")
    bool canCheckForUpdates = false; // the updater is on and not asking the feed already
    QString updatedBy = {};          // "Updated by your package manager": shown instead of "Check for Updates…"
};

// Waits that let the menu close first: the previously focused window gets the focus back
// before a window command, and the menu is gone from the screen before a capture.
inline constexpr int windowCommandDelay = 150;
inline constexpr int captureCommandDelay = 200;

std::vector<TrayMenuEntry> trayMenuModel(const TrayMenuState& state);

} // namespace quandrel
