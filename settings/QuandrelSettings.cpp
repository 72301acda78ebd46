#include "QuandrelSettings.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>


namespace quandrel {

namespace {

QString qstr(std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

template <typename Key>
QJsonObject encodeMap(const std::map<Key, Shortcut>& map)
{
    QJsonObject o;
    for (const auto& [key, shortcut] : map)
        o.insert(qstr(rawName(key)), toJson(shortcut));
    return o;
}

template <typename Key, typename Parse>
std::optional<std::map<Key, Shortcut>> decodeMap(const QJsonValue& value, Parse parse)
{
    if (!value.isObject())
        return std::nullopt;
    std::map<Key, Shortcut> map;
    const QJsonObject o = value.toObject();
    for (auto it = o.begin(); it != o.end(); ++it) {
        const auto key = parse(it.key().toStdString());
        const auto shortcut = shortcutFromJson(it.value());
        if (!key || !shortcut)
            return std::nullopt;
        map[*key] = *shortcut;
    }
    return map;
}

} // namespace


QByteArray encodeSettings(const QuandrelSettings& s)
{
    QJsonArray bindings;
    for (const AppBinding& b : s.appBindings)
        bindings.append(toJson(b));
    QJsonObject o{
        {QStringLiteral("windowShortcuts"), encodeMap(s.windowShortcuts)},
        {QStringLiteral("captureShortcuts"), encodeMap(s.captureShortcuts)},
        {QStringLiteral("appBindings"), bindings},
        {QStringLiteral("gap"), s.gap},
        {QStringLiteral("repeatBehavior"), qstr(rawName(s.repeatBehavior))},
        {QStringLiteral("dragToSnap"), s.dragToSnap},
        {QStringLiteral("restoreSizeOnDrag"), s.restoreSizeOnDrag},
        {QStringLiteral("afterCapture"), qstr(rawName(s.afterCapture))},
        {QStringLiteral("hasCompletedOnboarding"), s.hasCompletedOnboarding},
    };
    if (s.saveFolderBookmark)
        o.insert(QStringLiteral("saveFolderBookmark"), QString::fromLatin1(s.saveFolderBookmark->toBase64()));
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

std::optional<QuandrelSettings> decodeSettings(const QByteArray& json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject o = document.object();
    QuandrelSettings s;

    auto member = [&](const char* name) -> std::optional<QJsonValue> {
        const QJsonValue v = o.value(QLatin1String(name));
        if (v.isUndefined())
            return std::nullopt;
        return v;
    };

    if (const auto v = member("windowShortcuts")) {
        auto map = decodeMap<WindowAction>(*v, [](const std::string& k) { return windowActionFromRawName(k); });
        if (!map)
            return std::nullopt;
        s.windowShortcuts = std::move(*map);
    }
    if (const auto v = member("captureShortcuts")) {
        auto map = decodeMap<CaptureMode>(*v, [](const std::string& k) { return captureModeFromRawName(k); });
        if (!map)
            return std::nullopt;
        s.captureShortcuts = std::move(*map);
    }
    if (const auto v = member("appBindings")) {
        if (!v->isArray())
            return std::nullopt;
        for (const QJsonValue& item : v->toArray()) {
            auto binding = appBindingFromJson(item);
            if (!binding)
                return std::nullopt;
            s.appBindings.push_back(std::move(*binding));
        }
    }
    if (const auto v = member("gap")) {
        if (!v->isDouble())
            return std::nullopt;
        s.gap = v->toDouble();
    }
    if (const auto v = member("repeatBehavior")) {
        const auto b = v->isString() ? repeatBehaviorFromRawName(v->toString().toStdString()) : std::nullopt;
        if (!b)
            return std::nullopt;
        s.repeatBehavior = *b;
    }
    for (auto [name, field] : {std::pair{"dragToSnap", &s.dragToSnap}, std::pair{"restoreSizeOnDrag", &s.restoreSizeOnDrag},
                               std::pair{"hasCompletedOnboarding", &s.hasCompletedOnboarding}}) {
        if (const auto v = member(name)) {
            if (!v->isBool())
                return std::nullopt;
            *field = v->toBool();
        }
    }
    if (const auto v = member("afterCapture")) {
        const auto a = v->isString() ? afterCaptureFromRawName(v->toString().toStdString()) : std::nullopt;
        if (!a)
            return std::nullopt;
        s.afterCapture = *a;
    }
    if (const auto v = member("saveFolderBookmark")) {
        if (!v->isString())
            return std::nullopt;
        const auto decoded = QByteArray::fromBase64Encoding(v->toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded)
            return std::nullopt;
        s.saveFolderBookmark = *decoded;
    }
    return s;
}

} // namespace quandrel
