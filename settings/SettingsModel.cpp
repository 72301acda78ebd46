#include "SettingsModel.h"

#include "HotKeyCenter.h"

#include <set>

namespace quandrel {

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
    return QStringLiteral("Also used for ") + names.join(QStringLiteral(", "));
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

QString onboardingButtonTitle(bool allGranted) { return allGranted ? QStringLiteral("Done") : QStringLiteral("Later"); }

QStringList tryItLines(const KeyboardLayout* layout)
{
    const auto window = [layout](WindowAction a) { return QString::fromStdString(displayText(defaultWindowShortcuts().at(a), layout)); };
    const auto capture = [layout](CaptureMode m) { return QString::fromStdString(displayText(defaultCaptureShortcuts().at(m), layout)); };
    return {
        QStringLiteral("%1 and %2 snap a window to the left or right half. Press again for ⅔ and ⅓.")
            .arg(window(WindowAction::leftHalf), window(WindowAction::rightHalf)),
        QStringLiteral("%1 captures an area, %2 the whole screen, %3 copies the text in an area.")
            .arg(capture(CaptureMode::area), capture(CaptureMode::fullScreen), capture(CaptureMode::text)),
        QStringLiteral("Add app shortcuts in Settings → Apps."),
    };
}

std::optional<QString> systemTilingNote(const SystemTiling& tiling, const std::optional<TilingSettingsPage>& page)
{
    if (!tiling.edges && !tiling.top)
        return std::nullopt;
    QStringList parts;
    if (tiling.edges)
        parts << QStringLiteral("the left and right edges and corners");
    if (tiling.top)
        parts << QStringLiteral("the top edge");
    const QString where = page ? QStringLiteral("in the desktop's settings → %1").arg(QString::fromStdString(page->title))
                               : QStringLiteral("in your window manager's settings");
    return QStringLiteral("Your desktop already tiles windows dragged to %1, so Quandrel leaves those to it. To use Quandrel's "
                          "layouts and gaps there too, turn off tiling by dragging %2.")
        .arg(parts.join(QStringLiteral(" and ")), where);
}

QString tilingSettingsButtonTitle(const TilingSettingsPage& page)
{
    return QStringLiteral("Open %1 Settings…").arg(QString::fromStdString(page.title));
}

PermissionText windowControlText()
{
    return {QStringLiteral("Window Control"), QStringLiteral("Lets Quandrel move and resize other apps' windows."),
            QStringLiteral("Needed to move and resize windows."),
            QStringLiteral("Needs an X11 session with a window manager that follows the EWMH standard (GNOME on Xorg, KDE Plasma "
                           "on X11, Xfce, openbox, …).")};
}

PermissionText screenReadingText()
{
    return {QStringLiteral("Screen Recording"), QStringLiteral("Lets Quandrel take screenshots. Images never leave your computer."),
            QStringLiteral("Needed to take screenshots."),
            QStringLiteral("Needs a session whose screen other programs may read (an X11 session).")};
}

} // namespace quandrel
