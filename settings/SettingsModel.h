#pragma once

// What the settings and welcome windows show and change, without widgets: the warning of a
// shortcut shared by several commands, adding applications, when the welcome window appears
// and what it says, the note about the desktop's own edge tiling, and the permission rows.

#include "ApplicationCatalog.h"
#include "Command.h"
#include "QuandrelSettings.h"
#include "SystemTiling.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <set>
#include <vector>

namespace quandrel {

class KeyboardLayout;

// A command's title with an app named as its binding in the settings names it.
QString commandTitle(const Command& command, const QuandrelSettings& settings);

// "Also used for " and the other commands with the same shortcut in the settings, in
// hot-key order; empty when the command's shortcut is its own (or it has none).
QString conflictText(const Command& command, const QuandrelSettings& settings, const AppNameLookup& appName);

// The bindings after adding the chosen applications in their order: one already bound (or
// chosen twice) is skipped; new ones have no shortcut and hide the app when it is in front.
std::vector<AppBinding> addApplications(std::vector<AppBinding> bindings, const std::vector<InstalledApplication>& chosen);

// The welcome window appears at start until onboarding is done, and again at every start
// while Quandrel cannot control windows.
bool needsOnboarding(const QuandrelSettings& settings, bool windowControlAllowed);
// "Done" when everything Quandrel needs is there, else "Later".
QString onboardingButtonTitle(bool allGranted);

// The settings window's tabs, in their order.
enum class SettingsTab { general, windows, apps, screenshots };

// One "Try it" line of the welcome window. `link` is the part of the text that opens `tab`
// ("Settings → Windows"); empty (and the tab the first) when the line opens nothing.
struct TryItLine {
    QString text;
    QString link;
    SettingsTab tab = SettingsTab::general;
    bool operator==(const TryItLine&) const = default;
};
// The "Try it" lines: the halves, the captures and the apps. They name the shortcuts that
// work, as this keyboard layout names them; those another program holds (`taken`) are named
// as taken, with the tab where they are changed.
std::vector<TryItLine> tryItLines(const QuandrelSettings& settings, const std::set<Command>& taken, const KeyboardLayout* layout);

// The note about the edges the desktop tiles itself; none when it tiles none.
std::optional<QString> systemTilingNote(const SystemTiling& tiling, const std::optional<TilingSettingsPage>& page);
// The note where dragging to edges is the window manager's alone.
QString windowManagerDragNote(const std::optional<TilingSettingsPage>& page);
// The button that opens the desktop's page: "Open Multitasking Settings…".
QString tilingSettingsButtonTitle(const TilingSettingsPage& page);

// One thing Quandrel needs from the desktop, as the two windows show it.
struct PermissionText {
    QString title;
    QString onboardingDetail;
    QString settingsDetail;
    QString missing; // what is wrong while it is not there
};
PermissionText windowControlText();
PermissionText screenReadingText();

} // namespace quandrel
