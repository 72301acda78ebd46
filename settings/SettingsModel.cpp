#include "SettingsModel.h"

#include "HotKeyCenter.h"

#include <QCoreApplication>

#include <algorithm>
#include <set>

namespace quandrel {

namespace {

// The texts of both windows, translated in one context.
struct Text {
    Q_DECLARE_TR_FUNCTIONS(SettingsModel)
};

} // namespace

QString commandTitle(const Command& command, const QuandrelSettings& settings)
{
    return commandTitle(command, [&settings](const std::string& desktopId) -> std::optional<std::string> {
        const AppBinding* binding = findAppBinding(settings.appBindings, desktopId);
        return binding ? std::optional<std::string>(binding->name) : std::nullopt;
    });
}

QString conflictText(const Command& command, const QuandrelSettings& settings, const AppNameLookup& appName)
{
    const std::vector<HotKeyBinding> bindings = buildBindings(settings.windowShortcuts, settings.captureShortcuts, settings.appBindings);
    const auto own = std::find_if(bindings.begin(), bindings.end(), [&](const HotKeyBinding& b) { return b.action == command; });
    if (own == bindings.end())
        return {};
    const auto shared = sharedShortcuts(bindings);
    const auto users = shared.find(own->shortcut);
    if (users == shared.end())
        return {};
    QStringList names;
    for (const Command& other : users->second) {
        if (other == command)
            continue;
        // Apps by the name the desktop shows (the ID when not installed), not the stored one.
        names << commandTitle(other, appName);
    }
    return Text::tr("Also used for %1").arg(names.join(Text::tr(", ")));
}

std::vector<AppBinding> addApplications(std::vector<AppBinding> bindings, const std::vector<InstalledApplication>& chosen)
{
    for (const InstalledApplication& app : chosen) {
        if (app.desktopId.empty() || findAppBinding(bindings, app.desktopId))
            continue;
        bindings.push_back({app.desktopId, app.name.empty() ? app.desktopId : app.name, std::nullopt, FrontmostBehavior::hide});
    }
    return bindings;
}

bool needsOnboarding(const QuandrelSettings& settings, bool windowControlAllowed)
{
    return !(settings.hasCompletedOnboarding && windowControlAllowed);
}

QString onboardingButtonTitle(bool allGranted) { return allGranted ? Text::tr("Done") : Text::tr("Later"); }

namespace {

// What one command of a "Try it" line does, as the clause that follows its shortcut.
struct TryItPart {
    Command command;
    QString clause;
};

QString joinedWithAnd(const QStringList& items)
{
    if (items.size() <= 1)
        return items.join(QString());
    return Text::tr("%1 and %2").arg(QStringList(items.mid(0, items.size() - 1)).join(Text::tr(", ")), items.last());
}

// The parts whose shortcuts work, joined by `compose`, then the taken ones with where to change
// them; a line with none of either asks for shortcuts there.
TryItLine tryItLine(const std::vector<TryItPart>& parts, const QuandrelSettings& settings, const std::set<Command>& taken,
                    const KeyboardLayout* layout, SettingsTab tab, const QString& tabTitle,
                    const std::function<QString(const std::vector<std::pair<QString, const TryItPart*>>&)>& compose)
{
    const std::vector<HotKeyBinding> bindings = buildBindings(settings.windowShortcuts, settings.captureShortcuts, settings.appBindings);
    std::vector<std::pair<QString, const TryItPart*>> working;
    QStringList takenNames, unset;
    for (const TryItPart& part : parts) {
        const auto binding = std::find_if(bindings.begin(), bindings.end(), [&](const HotKeyBinding& b) { return b.action == part.command; });
        const QString title = commandTitle(part.command, settings);
        if (binding == bindings.end()) {
            unset << title;
            continue;
        }
        const QString shortcut = QString::fromStdString(displayText(binding->shortcut, layout));
        if (taken.contains(part.command))
            takenNames << QStringLiteral("%1 (%2)").arg(shortcut, title);
        else
            working.push_back({shortcut, &part});
    }
    const QString link = Text::tr("Settings → %1").arg(tabTitle);
    QStringList sentences;
    if (!working.empty())
        sentences << compose(working);
    if (!takenNames.isEmpty()) {
        sentences << (takenNames.size() == 1 ? Text::tr("%1 is taken by another program; choose another in %2.")
                                             : Text::tr("%1 are taken by another program; choose others in %2."))
                         .arg(joinedWithAnd(takenNames), link);
    } else if (working.empty()) {
        sentences << Text::tr("Give %1 a shortcut in %2.").arg(joinedWithAnd(unset), link);
    }
    const bool opens = !takenNames.isEmpty() || working.empty();
    if (!opens)
        return {sentences.join(QLatin1Char(' ')), QString(), SettingsTab::general};
    return {sentences.join(QLatin1Char(' ')), link, tab};
}

} // namespace

std::vector<TryItLine> tryItLines(const QuandrelSettings& settings, const std::set<Command>& taken, const KeyboardLayout* layout)
{
    const std::vector<TryItPart> halves = {
        {WindowCommand{WindowAction::leftHalf}, Text::tr("%1 snaps a window to the left half. Press again for ⅔ and ⅓.")},
        {WindowCommand{WindowAction::rightHalf}, Text::tr("%1 snaps a window to the right half. Press again for ⅔ and ⅓.")},
    };
    const auto snap = [](const std::vector<std::pair<QString, const TryItPart*>>& working) {
        if (working.size() == 2)
            return Text::tr("%1 and %2 snap a window to the left or right half. Press again for ⅔ and ⅓.")
                .arg(working[0].first, working[1].first);
        return working[0].second->clause.arg(working[0].first);
    };
    const std::vector<TryItPart> captures = {
        {CaptureCommand{CaptureMode::area, std::nullopt}, Text::tr("%1 captures an area")},
        {CaptureCommand{CaptureMode::fullScreen, std::nullopt}, Text::tr("%1 captures the whole screen")},
        {CaptureCommand{CaptureMode::text, std::nullopt}, Text::tr("%1 copies the text in an area")},
    };
    const auto capture = [](const std::vector<std::pair<QString, const TryItPart*>>& working) {
        if (working.size() == 3)
            return Text::tr("%1 captures an area, %2 the whole screen, %3 copies the text in an area.")
                .arg(working[0].first, working[1].first, working[2].first);
        QStringList clauses;
        for (const auto& [shortcut, part] : working)
            clauses << part->clause.arg(shortcut);
        return Text::tr("%1.").arg(joinedWithAnd(clauses));
    };
    const QString appsLink = Text::tr("Settings → %1").arg(Text::tr("Apps"));
    return {
        tryItLine(halves, settings, taken, layout, SettingsTab::windows, Text::tr("Windows"), snap),
        tryItLine(captures, settings, taken, layout, SettingsTab::screenshots, Text::tr("Screenshots"), capture),
        {Text::tr("Add app shortcuts in %1.").arg(appsLink), appsLink, SettingsTab::apps},
    };
}

std::optional<QString> systemTilingNote(const SystemTiling& tiling, const std::optional<TilingSettingsPage>& page)
{
    if (!tiling.soleSnapper.empty())
        return Text::tr("In this session, windows dragged to screen edges are tiled by %1 itself, so Quandrel leaves dragging "
                        "to it. Window shortcuts and layouts work as usual.")
            .arg(QString::fromStdString(tiling.soleSnapper));
    if (!tiling.edges && !tiling.top)
        return std::nullopt;
    QStringList parts;
    if (tiling.edges)
        parts << Text::tr("the left and right edges and corners");
    if (tiling.top)
        parts << Text::tr("the top edge");
    const QString where = page ? Text::tr("in the desktop's settings → %1")
                                     .arg(QCoreApplication::translate("TilingSettingsPage", page->title.c_str()))
                               : Text::tr("in your window manager's settings");
    return Text::tr("Your desktop already tiles windows dragged to %1, so Quandrel leaves those to it. To use Quandrel's "
                    "layouts and gaps there too, turn off tiling by dragging %2.")
        .arg(joinedWithAnd(parts), where);
}

QString windowManagerDragNote(const std::optional<TilingSettingsPage>& page)
{
    const QString where = page ? Text::tr(" (the desktop's settings → %1)")
                                     .arg(QCoreApplication::translate("TilingSettingsPage", page->title.c_str()))
                               : QString();
    return Text::tr("Dragging windows to screen edges is your desktop's own edge tiling here%1: Quandrel leaves it to the "
                    "desktop. Quandrel's layouts and gaps come with its shortcuts.")
        .arg(where);
}

QString tilingSettingsButtonTitle(const TilingSettingsPage& page)
{
    return Text::tr("Open %1 Settings…").arg(QCoreApplication::translate("TilingSettingsPage", page.title.c_str()));
}

PermissionText windowControlText()
{
    return {Text::tr("Window Control"), Text::tr("Lets Quandrel move and resize other apps' windows."),
            Text::tr("Needed to move and resize windows."),
            Text::tr("Needs an X11 session with a window manager that follows the EWMH standard (GNOME on Xorg, KDE Plasma "
                     "on X11, Xfce, openbox, …).")};
}

PermissionText screenReadingText()
{
    return {Text::tr("Screen Recording"), Text::tr("Lets Quandrel take screenshots. Images never leave your computer."),
            Text::tr("Needed to take screenshots."),
            Text::tr("Needs a session whose screen other programs may read (an X11 session).")};
}

} // namespace quandrel
