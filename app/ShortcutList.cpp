#include "ShortcutList.h"

#include "HotKeyCenter.h"
#include "SettingsModel.h"

#include <QCoreApplication>
#include <QStringList>

#include <algorithm>

namespace quandrel {

QString shortcutListText(const QuandrelSettings& settings, const KeyboardLayout* layout)
{
    const std::vector<HotKeyBinding> bindings = buildBindings(settings.windowShortcuts, settings.captureShortcuts, settings.appBindings);
    if (bindings.empty())
        return QCoreApplication::translate("ShortcutList", "Shortcuts: none (Quandrel's settings give them).") + QLatin1Char('\n');
    std::vector<std::pair<QString, QString>> rows;
    qsizetype width = 0;
    for (const HotKeyBinding& binding : bindings) {
        rows.push_back({QString::fromStdString(displayText(binding.shortcut, layout)), commandTitle(binding.action, settings)});
        width = std::max(width, rows.back().first.size());
    }
    QString text = QCoreApplication::translate("ShortcutList", "Shortcuts (changed in Quandrel's settings):") + QLatin1Char('\n');
    for (const auto& [keys, title] : rows)
        text += QStringLiteral("  ") + keys.leftJustified(width + 2) + title + QLatin1Char('\n');
    return text;
}

} // namespace quandrel
