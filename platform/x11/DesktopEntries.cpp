#include "DesktopEntries.h"

#include <gio/gdesktopappinfo.h>

namespace quandrel::x11 {

namespace {

GDesktopAppInfo* lookup(const std::string& id)
{
    if (id.empty() || id.find('/') != std::string::npos)
        return nullptr;
    return g_desktop_app_info_new((id + ".desktop").c_str());
}

std::string baseName(const char* path)
{
    if (!path)
        return {};
    std::string s(path);
    const auto slash = s.rfind('/');
    return slash == std::string::npos ? s : s.substr(slash + 1);
}

} // namespace

std::optional<DesktopEntry> findDesktopEntry(const std::string& id)
{
    GDesktopAppInfo* info = lookup(id);
    if (!info)
        return std::nullopt;
    DesktopEntry entry;
    entry.id = id;
    if (const char* name = g_app_info_get_name(G_APP_INFO(info)))
        entry.name = name;
    if (const char* wmClass = g_desktop_app_info_get_startup_wm_class(info))
        entry.startupWMClass = wmClass;
    entry.executable = baseName(g_app_info_get_executable(G_APP_INFO(info)));
    g_object_unref(info);
    return entry;
}

bool launchDesktopEntry(const std::string& id)
{
    GDesktopAppInfo* info = lookup(id);
    if (!info)
        return false;
    GError* error = nullptr;
    const gboolean ok = g_app_info_launch(G_APP_INFO(info), nullptr, nullptr, &error);
    if (error)
        g_error_free(error);
    g_object_unref(info);
    return ok;
}

} // namespace quandrel::x11
