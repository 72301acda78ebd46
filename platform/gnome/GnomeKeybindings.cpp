#include "GnomeKeybindings.h"

#include "GnomeDesktop.h"

#include <gio/gio.h>

#include <algorithm>
#include <cctype>
#include <set>

namespace quandrel::gnome {

namespace {

const char* const mediaKeys = "org.gnome.settings-daemon.plugins.media-keys";
const char* const customKeybinding = "org.gnome.settings-daemon.plugins.media-keys.custom-keybinding";
const std::string customPath = "/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/";
const std::string ownPrefix = customPath + "quandrel-";
// The desktop's own shortcuts, which an entry of Quandrel's would clash with.
const char* const desktopSchemas[] = {"org.gnome.desktop.wm.keybindings", "org.gnome.shell.keybindings", "org.gnome.mutter.keybindings",
                                      "org.gnome.mutter.wayland.keybindings", mediaKeys};

bool isOwn(const std::string& path) { return path.rfind(ownPrefix, 0) == 0; }

bool schemaInstalled(const char* id)
{
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    GSettingsSchema* schema = source ? g_settings_schema_source_lookup(source, id, TRUE) : nullptr;
    if (schema)
        g_settings_schema_unref(schema);
    return schema != nullptr;
}

GSettings* settingsOf(const char* schema, GSettingsBackend* backend, const std::string& path = {})
{
    if (path.empty())
        return backend ? g_settings_new_with_backend(schema, backend) : g_settings_new(schema);
    return backend ? g_settings_new_with_backend_and_path(schema, backend, path.c_str()) : g_settings_new_with_path(schema, path.c_str());
}

std::vector<std::string> strings(GSettings* settings, const char* key)
{
    std::vector<std::string> result;
    gchar** list = g_settings_get_strv(settings, key);
    for (gchar** item = list; *item; ++item)
        result.emplace_back(*item);
    g_strfreev(list);
    return result;
}

void setStrings(GSettings* settings, const char* key, const std::vector<std::string>& values)
{
    std::vector<const gchar*> list;
    for (const std::string& v : values)
        list.push_back(v.c_str());
    list.push_back(nullptr);
    g_settings_set_strv(settings, key, list.data());
}

// Every accelerator the desktop's own shortcuts and the person's custom ones use now.
std::set<std::string> takenAccelerators(GSettingsBackend* backend, const std::vector<std::string>& customs)
{
    std::set<std::string> taken;
    const auto add = [&taken](const std::string& accelerator) {
        if (auto normal = normalAccelerator(accelerator); !normal.empty())
            taken.insert(std::move(normal));
    };
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    for (const char* id : desktopSchemas) {
        GSettingsSchema* schema = source ? g_settings_schema_source_lookup(source, id, TRUE) : nullptr;
        if (!schema)
            continue;
        GSettings* settings = settingsOf(id, backend);
        gchar** keys = g_settings_schema_list_keys(schema);
        for (gchar** key = keys; *key; ++key) {
            GVariant* value = g_settings_get_value(settings, *key);
            if (g_variant_is_of_type(value, G_VARIANT_TYPE_STRING))
                add(g_variant_get_string(value, nullptr));
            else if (g_variant_is_of_type(value, G_VARIANT_TYPE_STRING_ARRAY)) {
                const gchar** list = g_variant_get_strv(value, nullptr);
                for (const gchar** item = list; *item; ++item)
                    add(*item);
                g_free(list);
            }
            g_variant_unref(value);
        }
        g_strfreev(keys);
        g_object_unref(settings);
        g_settings_schema_unref(schema);
    }
    for (const std::string& path : customs) {
        if (isOwn(path))
            continue;
        GSettings* entry = settingsOf(customKeybinding, backend, path);
        gchar* binding = g_settings_get_string(entry, "binding");
        add(binding);
        g_free(binding);
        g_object_unref(entry);
    }
    return taken;
}

void clearEntry(GSettingsBackend* backend, const std::string& path)
{
    GSettings* entry = settingsOf(customKeybinding, backend, path);
    for (const char* key : {"name", "command", "binding"})
        g_settings_reset(entry, key);
    g_object_unref(entry);
}

std::string quoted(const std::string& text)
{
    gchar* q = g_shell_quote(text.c_str());
    std::string result(q);
    g_free(q);
    return result;
}

} // namespace

std::string normalAccelerator(const std::string& accelerator)
{
    std::set<std::string> modifiers;
    std::string key;
    for (std::size_t i = 0; i < accelerator.size();) {
        if (accelerator[i] == '<') {
            const auto end = accelerator.find('>', i);
            if (end == std::string::npos)
                return {};
            std::string name = accelerator.substr(i + 1, end - i - 1);
            std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return char(std::tolower(c)); });
            if (name == "ctrl" || name == "primary" || name == "control")
                name = "control";
            else if (name == "mod1")
                name = "alt";
            else if (name == "mod4")
                name = "super";
            modifiers.insert(name);
            i = end + 1;
        } else {
            key += char(std::tolower(static_cast<unsigned char>(accelerator[i++])));
        }
    }
    key.erase(std::remove_if(key.begin(), key.end(), [](unsigned char c) { return std::isspace(c); }), key.end());
    if (key.empty())
        return {};
    std::string normal;
    for (const std::string& m : modifiers)
        normal += m + "+";
    return normal + "|" + key;
}

GnomeKeybindings::GnomeKeybindings(std::string program, GSettingsBackend* backend)
    : m_program(std::move(program))
    , m_backend(backend ? static_cast<GSettingsBackend*>(g_object_ref(backend)) : nullptr)
{
}

GnomeKeybindings::~GnomeKeybindings()
{
    if (m_backend)
        g_object_unref(m_backend);
}

std::vector<std::string> GnomeKeybindings::entries() const
{
    std::vector<std::string> own;
    if (!schemaInstalled(mediaKeys))
        return own;
    GSettings* keys = settingsOf(mediaKeys, m_backend);
    for (const std::string& path : strings(keys, "custom-keybindings"))
        if (isOwn(path))
            own.push_back(path);
    g_object_unref(keys);
    return own;
}

bool GnomeKeybindings::write(const std::vector<HotKeyRequest>& set, HotKeyStatuses& statuses)
{
    if (!schemaInstalled(mediaKeys) || !schemaInstalled(customKeybinding)) {
        for (const HotKeyRequest& request : set)
            statuses[request.id] = HotKeyStatus::unsupported;
        return false;
    }
    GSettings* keys = settingsOf(mediaKeys, m_backend);
    std::vector<std::string> list;
    for (const std::string& path : strings(keys, "custom-keybindings")) {
        if (isOwn(path))
            clearEntry(m_backend, path);
        else
            list.push_back(path);
    }
    std::set<std::string> taken = takenAccelerators(m_backend, list);
    int written = 0;
    for (const HotKeyRequest& request : set) {
        const std::string accelerator = acceleratorOf(request);
        const std::string normal = normalAccelerator(accelerator);
        if (normal.empty() || request.commandURL.empty()) {
            statuses[request.id] = HotKeyStatus::unsupported;
            continue;
        }
        if (!taken.insert(normal).second) {
            statuses[request.id] = HotKeyStatus::taken;
            continue;
        }
        const std::string path = ownPrefix + std::to_string(written++) + "/";
        GSettings* entry = settingsOf(customKeybinding, m_backend, path);
        g_settings_set_string(entry, "name", ("Quandrel: " + request.commandURL).c_str());
        g_settings_set_string(entry, "command", (quoted(m_program) + " " + quoted(request.commandURL)).c_str());
        g_settings_set_string(entry, "binding", accelerator.c_str());
        g_object_unref(entry);
        list.push_back(path);
        statuses[request.id] = HotKeyStatus::boundByUser;
    }
    setStrings(keys, "custom-keybindings", list);
    g_object_unref(keys);
    g_settings_sync();
    return true;
}

void GnomeKeybindings::removeAll()
{
    if (!schemaInstalled(mediaKeys) || !schemaInstalled(customKeybinding))
        return;
    GSettings* keys = settingsOf(mediaKeys, m_backend);
    std::vector<std::string> list;
    bool changed = false;
    for (const std::string& path : strings(keys, "custom-keybindings")) {
        if (isOwn(path)) {
            clearEntry(m_backend, path);
            changed = true;
        } else {
            list.push_back(path);
        }
    }
    if (changed)
        setStrings(keys, "custom-keybindings", list);
    g_object_unref(keys);
    g_settings_sync();
}

} // namespace quandrel::gnome
