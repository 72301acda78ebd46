#include "DesktopEntries.h"

#include <gio/gdesktopappinfo.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

namespace quandrel::freedesktop {

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

// Where a launched program's output goes, as a desktop launcher would send it: a stream into
// the systemd journal tagged with the program's entry ID when the journal runs, else nowhere.
// Answers -1 when not even /dev/null can be opened.
int outputStream(const std::string& identifier)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const char path[] = "/run/systemd/journal/stdout";
        std::memcpy(address.sun_path, path, sizeof path);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            ::shutdown(fd, SHUT_RD);
            // The journal's stream header: identifier, unit, priority (6 = info), no level
            // prefixes, no forwarding to syslog, kmsg or the console.
            const std::string header = identifier + "\n\n6\n0\n0\n0\n0\n";
            if (::write(fd, header.data(), header.size()) == ssize_t(header.size()))
                return fd;
        }
        ::close(fd);
    }
    return ::open("/dev/null", O_WRONLY | O_CLOEXEC);
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
    // The program's output does not belong in Quandrel's own log; its input is empty.
    const int input = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const int output = outputStream(id);
    GError* error = nullptr;
    const gboolean ok = g_desktop_app_info_launch_uris_as_manager_with_fds(info, nullptr, nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr, nullptr,
                                                                          nullptr, input, output, output, &error);
    if (error)
        g_error_free(error);
    for (const int fd : {input, output}) {
        if (fd >= 0)
            ::close(fd);
    }
    g_object_unref(info);
    return ok;
}

} // namespace quandrel::freedesktop
