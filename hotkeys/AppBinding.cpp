#include "AppBinding.h"

#include <QCoreApplication>
#include <QJsonValue>

namespace quandrel {

namespace {
struct Names {
    std::string_view raw, label;
};
constexpr std::array<Names, 3> names = {{{"hide", QT_TRANSLATE_NOOP("FrontmostBehavior", "Hide it")},
                                          {"cycleWindows", QT_TRANSLATE_NOOP("FrontmostBehavior", "Cycle its windows")},
                                          {"nothing", QT_TRANSLATE_NOOP("FrontmostBehavior", "Do nothing")}}};
} // namespace

std::string_view rawName(FrontmostBehavior b) { return names[static_cast<std::size_t>(b)].raw; }
std::string_view label(FrontmostBehavior b) { return names[static_cast<std::size_t>(b)].label; }
QString displayLabel(FrontmostBehavior b) { return QCoreApplication::translate("FrontmostBehavior", label(b).data()); }

std::optional<FrontmostBehavior> frontmostBehaviorFromRawName(std::string_view raw)
{
    for (const FrontmostBehavior b : allFrontmostBehaviors) {
        if (rawName(b) == raw)
            return b;
    }
    return std::nullopt;
}

const AppBinding* findAppBinding(const std::vector<AppBinding>& bindings, const std::string& desktopId)
{
    for (const AppBinding& b : bindings) {
        if (b.desktopId == desktopId)
            return &b;
    }
    return nullptr;
}

QJsonObject toJson(const AppBinding& binding)
{
    QJsonObject o{
        {QStringLiteral("bundleID"), QString::fromStdString(binding.desktopId)},
        {QStringLiteral("name"), QString::fromStdString(binding.name)},
        {QStringLiteral("whenFrontmost"), QString::fromLatin1(rawName(binding.whenFrontmost).data(), qsizetype(rawName(binding.whenFrontmost).size()))},
    };
    if (binding.shortcut)
        o.insert(QStringLiteral("shortcut"), toJson(*binding.shortcut));
    return o;
}

std::optional<AppBinding> appBindingFromJson(const QJsonValue& value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject o = value.toObject();
    const QJsonValue id = o.value(QLatin1String("bundleID"));
    const QJsonValue name = o.value(QLatin1String("name"));
    const QJsonValue when = o.value(QLatin1String("whenFrontmost"));
    if (!id.isString() || !name.isString() || !when.isString())
        return std::nullopt;
    const auto behavior = frontmostBehaviorFromRawName(when.toString().toStdString());
    if (!behavior)
        return std::nullopt;
    AppBinding binding{id.toString().toStdString(), name.toString().toStdString(), std::nullopt, *behavior};
    if (o.contains(QLatin1String("shortcut"))) {
        const QJsonValue s = o.value(QLatin1String("shortcut"));
        if (!s.isNull()) {
            binding.shortcut = shortcutFromJson(s);
            if (!binding.shortcut)
                return std::nullopt;
        }
    }
    return binding;
}

} // namespace quandrel
