#include "ColourScheme.h"

#include <gio/gio.h>

#include <QByteArray>
#include <QtGlobal>

namespace quandrel::freedesktop {

namespace {

// GNOME's setting, read only when its schema has the key (GSettings aborts otherwise).
std::optional<ColourScheme> gnomeColourScheme()
{
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    if (!source)
        return std::nullopt;
    GSettingsSchema* schema = g_settings_schema_source_lookup(source, "org.gnome.desktop.interface", TRUE);
    if (!schema)
        return std::nullopt;
    std::optional<ColourScheme> scheme;
    if (g_settings_schema_has_key(schema, "color-scheme")) {
        GSettings* settings = g_settings_new_full(schema, nullptr, nullptr);
        gchar* value = g_settings_get_string(settings, "color-scheme");
        if (g_strcmp0(value, "prefer-dark") == 0)
            scheme = ColourScheme::dark;
        else if (g_strcmp0(value, "prefer-light") == 0)
            scheme = ColourScheme::light;
        g_free(value);
        g_object_unref(settings);
    }
    g_settings_schema_unref(schema);
    return scheme;
}

} // namespace

std::optional<ColourScheme> preferredColourScheme()
{
    const QByteArray asked = qgetenv("QUANDREL_COLOR_SCHEME").trimmed().toLower();
    if (asked == "dark")
        return ColourScheme::dark;
    if (asked == "light")
        return ColourScheme::light;
    return gnomeColourScheme();
}

} // namespace quandrel::freedesktop
