#include "TrayMenuModel.h"

#include <QCoreApplication>

namespace quandrel {

namespace {

const std::vector<std::vector<WindowAction>> windowGroups = {
    {WindowAction::leftHalf, WindowAction::rightHalf, WindowAction::topHalf, WindowAction::bottomHalf},
    {WindowAction::topLeft, WindowAction::topRight, WindowAction::bottomLeft, WindowAction::bottomRight},
    {WindowAction::firstThird, WindowAction::centerThird, WindowAction::lastThird, WindowAction::firstTwoThirds, WindowAction::lastTwoThirds},
    {WindowAction::maximize, WindowAction::almostMaximize, WindowAction::maximizeHeight, WindowAction::center, WindowAction::smaller,
     WindowAction::larger, WindowAction::restore},
    {WindowAction::nextDisplay, WindowAction::previousDisplay},
};

QString qstr(std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

template <typename Key>
std::optional<Shortcut> shortcutOf(const std::map<Key, Shortcut>& map, Key key)
{
    const auto it = map.find(key);
    return it == map.end() ? std::nullopt : std::optional<Shortcut>(it->second);
}

TrayMenuEntry divider()
{
    TrayMenuEntry entry;
    entry.kind = TrayMenuEntry::Kind::divider;
    return entry;
}

TrayMenuEntry submenu(QString title)
{
    TrayMenuEntry entry;
    entry.kind = TrayMenuEntry::Kind::submenu;
    entry.title = std::move(title);
    return entry;
}

TrayMenuEntry commandItem(const TrayMenuState& state, QString title, Command command, std::optional<Shortcut> shortcut, int delay)
{
    TrayMenuEntry entry;
    entry.title = std::move(title);
    entry.shortcut = shortcut;
    entry.shortcutTaken = shortcut && state.takenShortcuts.contains(command);
    entry.command = std::move(command);
    entry.delay = delay;
    return entry;
}

} // namespace

std::vector<TrayMenuEntry> trayMenuModel(const TrayMenuState& state)
{
    const QuandrelSettings& settings = state.settings;
    std::vector<TrayMenuEntry> menu;

    TrayMenuEntry window = submenu(QCoreApplication::translate("TrayMenu", "Window"));
    for (const auto& group : windowGroups) {
        if (!window.children.empty())
            window.children.push_back(divider());
        for (const WindowAction a : group)
            window.children.push_back(commandItem(state, displayTitle(a), WindowCommand{a}, shortcutOf(settings.windowShortcuts, a), windowCommandDelay));
    }
    menu.push_back(std::move(window));

    menu.push_back(divider());
    for (const CaptureMode m : allCaptureModes) {
        TrayMenuEntry item = commandItem(state, displayTitle(m), CaptureCommand{m, std::nullopt}, shortcutOf(settings.captureShortcuts, m),
                                         captureCommandDelay);
        item.symbol = qstr(symbolName(m));
        menu.push_back(std::move(item));
        if (m == CaptureMode::fullScreen) {
            TrayMenuEntry later = commandItem(state, QCoreApplication::translate("TrayMenu", "Capture Screen in 5 s"),
                                              CaptureCommand{m, std::nullopt, 5}, std::nullopt, captureCommandDelay);
            later.symbol = QStringLiteral("timer");
            menu.push_back(std::move(later));
        }
    }
    if (state.hasPins)
        menu.push_back(commandItem(state, QCoreApplication::translate("TrayMenu", "Close All Pins"), ClosePinsCommand{}, std::nullopt, 0));

    if (!settings.appBindings.empty()) {
        menu.push_back(divider());
        TrayMenuEntry apps = submenu(QCoreApplication::translate("TrayMenu", "Apps"));
        for (const AppBinding& binding : settings.appBindings)
            apps.children.push_back(commandItem(state, QString::fromStdString(binding.name), AppCommand{binding.desktopId}, binding.shortcut, 0));
        menu.push_back(std::move(apps));
    }

    menu.push_back(divider());
    if (!state.permissionsGranted) {
        TrayMenuEntry grant;
        grant.title = QCoreApplication::translate("TrayMenu", "Grant Permissions…");
        grant.action = TrayMenuEntry::Action::grantPermissions;
        menu.push_back(std::move(grant));
    }
    TrayMenuEntry settingsItem = commandItem(state, QCoreApplication::translate("TrayMenu", "Settings…"), OpenSettingsCommand{}, std::nullopt, 0);
    settingsItem.ownKeys = QKeySequence(Qt::ControlModifier | Qt::Key_Comma);
    menu.push_back(std::move(settingsItem));
    TrayMenuEntry updates;
    updates.title = state.updatedBy.isEmpty() ? QCoreApplication::translate("TrayMenu", "Check for Updates…") : state.updatedBy;
    updates.action = TrayMenuEntry::Action::checkForUpdates;
    updates.enabled = state.canCheckForUpdates && state.updatedBy.isEmpty();
    menu.push_back(std::move(updates));

    menu.push_back(divider());
    TrayMenuEntry quit;
    quit.title = QCoreApplication::translate("TrayMenu", "Quit Quandrel");
    quit.ownKeys = QKeySequence(Qt::ControlModifier | Qt::Key_Q);
    quit.action = TrayMenuEntry::Action::quit;
    menu.push_back(std::move(quit));
    return menu;
}

} // namespace quandrel
