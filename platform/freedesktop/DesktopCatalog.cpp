#include "DesktopCatalog.h"

#include <gio/gdesktopappinfo.h>

#include <algorithm>

namespace quandrel::freedesktop {

namespace {

std::string withoutSuffix(const char* id)
{
    std::string s = id ? id : "";
    constexpr std::string_view suffix = ".desktop";
    if (s.size() > suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0)
        s.resize(s.size() - suffix.size());
    return s;
}

InstalledApplication describe(GAppInfo* info)
{
    InstalledApplication app;
    app.desktopId = withoutSuffix(g_app_info_get_id(info));
    if (const char* name = g_app_info_get_display_name(info))
        app.name = name;
    if (GIcon* icon = g_app_info_get_icon(info)) {
        // A themed icon names itself; a file icon is its path.
        if (G_IS_THEMED_ICON(icon)) {
            const gchar* const* names = g_themed_icon_get_names(G_THEMED_ICON(icon));
            if (names && names[0])
                app.icon = names[0];
        } else if (G_IS_FILE_ICON(icon)) {
            if (gchar* path = g_file_get_path(g_file_icon_get_file(G_FILE_ICON(icon)))) {
                app.icon = path;
                g_free(path);
            }
        }
    }
    return app;
}

} // namespace

std::vector<InstalledApplication> DesktopCatalog::installedApplications()
{
    std::vector<InstalledApplication> apps;
    GList* all = g_app_info_get_all();
    for (GList* item = all; item; item = item->next) {
        auto* info = G_APP_INFO(item->data);
        if (g_app_info_should_show(info) && g_app_info_get_id(info))
            apps.push_back(describe(info));
    }
    g_list_free_full(all, g_object_unref);
    std::stable_sort(apps.begin(), apps.end(), [](const auto& a, const auto& b) {
        const int byName = g_utf8_collate(a.name.c_str(), b.name.c_str());
        return byName != 0 ? byName < 0 : a.desktopId < b.desktopId;
    });
    return apps;
}

std::optional<InstalledApplication> DesktopCatalog::findApplication(const std::string& desktopId)
{
    if (desktopId.empty() || desktopId.find('/') != std::string::npos)
        return std::nullopt;
    GDesktopAppInfo* info = g_desktop_app_info_new((desktopId + ".desktop").c_str());
    if (!info)
        return std::nullopt;
    InstalledApplication app = describe(G_APP_INFO(info));
    app.desktopId = desktopId;
    g_object_unref(info);
    return app;
}

} // namespace quandrel::freedesktop
