#include "SystemTilingRules.h"

#include <gio/gio.h>

#include <QCoreApplication>
#include <QSettings>
#include <QStandardPaths>

namespace quandrel::freedesktop {

namespace {

// GNOME's setting, read only when its schema is installed (GSettings aborts otherwise).
std::optional<bool> mutterEdgeTiling()
{
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    if (!source)
        return std::nullopt;
    GSettingsSchema* schema = g_settings_schema_source_lookup(source, "org.gnome.mutter", TRUE);
    if (!schema)
        return std::nullopt;
    std::optional<bool> value;
    if (g_settings_schema_has_key(schema, "edge-tiling")) {
        GSettings* settings = g_settings_new_full(schema, nullptr, nullptr);
        value = g_settings_get_boolean(settings, "edge-tiling");
        g_object_unref(settings);
    }
    g_settings_schema_unref(schema);
    return value;
}

} // namespace

SystemTiling systemTilingOf(const std::string& name)
{
    if (name == "GNOME Shell" || name == "Mutter" || name.rfind("Mutter ", 0) == 0) {
        const bool on = mutterEdgeTiling().value_or(false);
        return {on, on};
    }
    if (name == "KWin") {
        const QString file = QStandardPaths::locate(QStandardPaths::GenericConfigLocation, QStringLiteral("kwinrc"));
        if (file.isEmpty())
            return {true, true}; // KWin's defaults
        QSettings kwin(file, QSettings::IniFormat);
        kwin.beginGroup(QStringLiteral("Windows"));
        return {kwin.value(QStringLiteral("ElectricBorderTiling"), true).toBool(),
                kwin.value(QStringLiteral("ElectricBorderMaximize"), true).toBool()};
    }
    return {};
}

std::optional<TilingSettingsPage> tilingSettingsPageOf(const std::string& name,
                                                       const std::function<std::string(const std::string&)>& findProgram)
{
    const auto with = [&](const std::string& program) { return !findProgram(program).empty(); };
    if (name == "GNOME Shell" || name == "Mutter" || name.rfind("Mutter ", 0) == 0) {
        if (with("gnome-control-center"))
            return TilingSettingsPage{QT_TRANSLATE_NOOP("TilingSettingsPage", "Multitasking"), "gnome-control-center", {"multitasking"}};
        return std::nullopt;
    }
    if (name == "KWin") {
        for (const char* shell : {"kcmshell6", "kcmshell5"}) {
            if (with(shell))
                return TilingSettingsPage{QT_TRANSLATE_NOOP("TilingSettingsPage", "Screen Edges"), shell, {"kcm_kwinscreenedges"}};
        }
        if (with("systemsettings"))
            return TilingSettingsPage{QT_TRANSLATE_NOOP("TilingSettingsPage", "Screen Edges"), "systemsettings", {"kcm_kwinscreenedges"}};
    }
    return std::nullopt;
}

std::optional<TilingSettingsPage> tilingSettingsPageOf(const std::string& name)
{
    return tilingSettingsPageOf(name, [](const std::string& program) {
        return QStandardPaths::findExecutable(QString::fromStdString(program)).toStdString();
    });
}

} // namespace quandrel::freedesktop
