#include "QuandrelSettings.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>


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


QByteArray encodeSettings(const QuandrelSettings& s, QJsonDocument::JsonFormat format)
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
        {QStringLiteral("includePointer"), s.includePointer},
        {QStringLiteral("adjustBeforeCapturing"), s.adjustBeforeCapturing},
        {QStringLiteral("hasCompletedOnboarding"), s.hasCompletedOnboarding},
    };
    if (s.saveFolderBookmark)
        o.insert(QStringLiteral("saveFolderBookmark"), QString::fromLatin1(s.saveFolderBookmark->toBase64()));
    return QJsonDocument(o).toJson(format);
}

SettingsDecoding decodeSettingsDocument(const QByteArray& json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError) {
        // Qt reports a byte offset; people read lines and columns.
        const QByteArray before = json.left(error.offset);
        const qsizetype line = before.count('\n') + 1;
        const qsizetype column = error.offset - (before.lastIndexOf('\n') + 1) + 1;
        return SettingsError{QStringLiteral("line %1, column %2: %3").arg(line).arg(column).arg(error.errorString())};
    }
    if (!document.isObject())
        return SettingsError{QStringLiteral("the document is not a JSON object")};
    const QJsonObject o = document.object();
    QuandrelSettings s;

    auto member = [&](const char* name) -> std::optional<QJsonValue> {
        const QJsonValue v = o.value(QLatin1String(name));
        if (v.isUndefined())
            return std::nullopt;
        return v;
    };
    auto refuse = [](const char* name, const char* expected) {
        return SettingsError{QStringLiteral("member \"%1\": %2").arg(QLatin1String(name), QLatin1String(expected))};
    };

    if (const auto v = member("windowShortcuts")) {
        auto map = decodeMap<WindowAction>(*v, [](const std::string& k) { return windowActionFromRawName(k); });
        if (!map)
            return refuse("windowShortcuts", "expected an object of window action names and shortcuts {\"keyCode\", \"modifiers\"}");
        s.windowShortcuts = std::move(*map);
    }
    if (const auto v = member("captureShortcuts")) {
        auto map = decodeMap<CaptureMode>(*v, [](const std::string& k) { return captureModeFromRawName(k); });
        if (!map)
            return refuse("captureShortcuts", "expected an object of capture mode names and shortcuts {\"keyCode\", \"modifiers\"}");
        s.captureShortcuts = std::move(*map);
    }
    if (const auto v = member("appBindings")) {
        if (!v->isArray())
            return refuse("appBindings", "expected an array");
        for (const QJsonValue& item : v->toArray()) {
            auto binding = appBindingFromJson(item);
            if (!binding)
                return refuse("appBindings", "expected objects with \"bundleID\", \"name\", \"whenFrontmost\" and an optional \"shortcut\"");
            s.appBindings.push_back(std::move(*binding));
        }
    }
    if (const auto v = member("gap")) {
        if (!v->isDouble())
            return refuse("gap", "expected a number");
        s.gap = v->toDouble();
    }
    if (const auto v = member("repeatBehavior")) {
        const auto b = v->isString() ? repeatBehaviorFromRawName(v->toString().toStdString()) : std::nullopt;
        if (!b)
            return refuse("repeatBehavior", "expected \"cycleSizes\", \"acrossDisplays\" or \"nothing\"");
        s.repeatBehavior = *b;
    }
    for (auto [name, field] : {std::pair{"dragToSnap", &s.dragToSnap}, std::pair{"restoreSizeOnDrag", &s.restoreSizeOnDrag},
                               std::pair{"hasCompletedOnboarding", &s.hasCompletedOnboarding},
                               std::pair{"includePointer", &s.includePointer},
                               std::pair{"adjustBeforeCapturing", &s.adjustBeforeCapturing}}) {
        if (const auto v = member(name)) {
            if (!v->isBool())
                return refuse(name, "expected true or false");
            *field = v->toBool();
        }
    }
    if (const auto v = member("afterCapture")) {
        const auto a = v->isString() ? afterCaptureFromRawName(v->toString().toStdString()) : std::nullopt;
        if (!a)
            return refuse("afterCapture", "expected \"copyAndThumbnail\", \"openEditor\", \"pin\", \"copyOnly\" or \"save\"");
        s.afterCapture = *a;
    }
    if (const auto v = member("saveFolderBookmark")) {
        if (!v->isString())
            return refuse("saveFolderBookmark", "expected a base64 string");
        const auto decoded = QByteArray::fromBase64Encoding(v->toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded)
            return refuse("saveFolderBookmark", "expected a base64 string");
        s.saveFolderBookmark = *decoded;
    }
    return s;
}

std::optional<QuandrelSettings> decodeSettings(const QByteArray& json)
{
    auto decoded = decodeSettingsDocument(json);
    if (auto* settings = std::get_if<QuandrelSettings>(&decoded))
        return std::move(*settings);
    return std::nullopt;
}

QString screenshotsFolder(const std::optional<QByteArray>& saveFolderBookmark)
{
    if (saveFolderBookmark && !saveFolderBookmark->isEmpty()) {
        const QString stored = QString::fromUtf8(*saveFolderBookmark);
        if (QDir::isAbsolutePath(stored) && QFileInfo(stored).isDir())
            return QDir::cleanPath(stored);
    }
    QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (pictures.isEmpty())
        pictures = QDir::homePath() + QStringLiteral("/Pictures");
    return QDir::cleanPath(pictures + QStringLiteral("/Quandrel"));
}

} // namespace quandrel
