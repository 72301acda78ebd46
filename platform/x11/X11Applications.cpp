#include "X11Applications.h"

#include "DesktopEntries.h"
#include "X11Connection.h"
#include "X11Properties.h"
#include "X11Windows.h"

#include <xcb/xcb_ewmh.h>
#include <xcb/xcb_icccm.h>

#include <algorithm>
#include <climits>
#include <strings.h>
#include <unistd.h>

namespace quandrel::x11 {
using freedesktop::DesktopEntry;
using freedesktop::findDesktopEntry;
using freedesktop::launchDesktopEntry;

X11Applications::X11Applications(X11Connection& connection, WindowAccess& windows)
    : m_connection(connection)
    , m_windows(windows)
{
}

std::optional<RunningApplication> X11Applications::frontmostApplication()
{
    const auto window = m_windows.focusedWindow();
    if (!window)
        return std::nullopt;
    xcb_connection_t* c = m_connection.xcb();
    RunningApplication app{window->pid, {}, true};

    // The desktop-entry ID, as far as the window tells it: GTK applications publish their
    // application ID; otherwise the WM_CLASS instance names the program.
    auto idCookie = requestProperty(c, xid(window->handle), m_connection.atom(Atom::GTK_APPLICATION_ID), 256);
    auto classCookie = xcb_icccm_get_wm_class_unchecked(c, xid(window->handle));
    app.desktopId = text(c, idCookie);
    xcb_icccm_get_wm_class_reply_t wmClass;
    if (xcb_icccm_get_wm_class_reply(c, classCookie, &wmClass, nullptr)) {
        if (app.desktopId.empty() && wmClass.instance_name)
            app.desktopId = wmClass.instance_name;
        xcb_icccm_get_wm_class_reply_wipe(&wmClass);
    }
    return app;
}

std::vector<std::uint32_t> X11Applications::windowsOfDesktopEntry(const std::string& desktopId)
{
    // A window belongs to the entry when its GTK application ID is the entry's ID, its
    // WM_CLASS (instance or class, any case) matches the entry's ID, the last component of a
    // reverse-DNS ID ("org.xfce.mousepad" → "mousepad"), its StartupWMClass or the name of the
    // program it runs, or (for a window without a class) its process runs the entry's
    // program. Client-list order: oldest first.
    xcb_connection_t* c = m_connection.xcb();
    xcb_ewmh_connection_t* ewmh = m_connection.ewmh();
    const auto entry = findDesktopEntry(desktopId);
    const auto dot = desktopId.rfind('.');
    const std::string shortId = dot == std::string::npos ? std::string() : desktopId.substr(dot + 1);
    const std::vector<xcb_window_t> clients = clientList(m_connection);

    struct Cookies {
        xcb_get_property_cookie_t gtkId, wmClass;
        xcb_get_property_cookie_t pid;
    };
    std::vector<Cookies> cookies;
    for (const xcb_window_t w : clients) {
        cookies.push_back({requestProperty(c, w, m_connection.atom(Atom::GTK_APPLICATION_ID), 256),
                           xcb_icccm_get_wm_class_unchecked(c, w), requestProperty(c, w, ewmh->_NET_WM_PID, 1)});
    }
    auto same = [](const std::string& a, const std::string& b) { return !a.empty() && !b.empty() && strcasecmp(a.c_str(), b.c_str()) == 0; };

    std::vector<xcb_window_t> result;
    for (std::size_t i = 0; i < clients.size(); ++i) {
        const std::string gtkId = text(c, cookies[i].gtkId);
        std::string instance, wmClass;
        xcb_icccm_get_wm_class_reply_t classReply;
        if (xcb_icccm_get_wm_class_reply(c, cookies[i].wmClass, &classReply, nullptr)) {
            instance = classReply.instance_name ? classReply.instance_name : std::string();
            wmClass = classReply.class_name ? classReply.class_name : std::string();
            xcb_icccm_get_wm_class_reply_wipe(&classReply);
        }
        const auto pid = cardinals(c, cookies[i].pid);

        auto classIs = [&](const std::string& name) { return same(instance, name) || same(wmClass, name); };
        bool matches = gtkId == desktopId || classIs(desktopId) || classIs(shortId);
        if (!matches && entry)
            matches = classIs(entry->startupWMClass) || classIs(entry->executable);
        // The program is a last resort for windows that name no class: many programs share
        // one interpreter or launcher binary.
        if (!matches && entry && !entry->executable.empty() && !pid.empty() && instance.empty() && wmClass.empty()) {
            char target[PATH_MAX];
            const std::string link = "/proc/" + std::to_string(pid.front()) + "/exe";
            const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
            if (n > 0) {
                std::string path(target, std::size_t(n));
                matches = path.substr(path.rfind('/') + 1) == entry->executable;
            }
        }
        if (matches)
            result.push_back(clients[i]);
    }
    return result;
}

std::vector<RunningApplication> X11Applications::runningApplications(const std::string& desktopId)
{
    // An iconified window may stay the active one for a moment; it is not in front.
    auto active = m_windows.focusedWindow();
    if (active && m_windows.isMinimized(active->handle).value_or(false))
        active.reset();
    std::vector<RunningApplication> result;
    for (const xcb_window_t w : windowsOfDesktopEntry(desktopId)) {
        const std::int32_t pid = pidOf(m_connection, w);
        if (pid <= 0)
            continue;
        const bool isActive = active && active->pid == pid;
        const auto known = std::find_if(result.begin(), result.end(), [&](const auto& r) { return r.pid == pid; });
        if (known == result.end())
            result.push_back({pid, desktopId, isActive});
    }
    return result;
}

bool X11Applications::isInstalled(const std::string& desktopId) { return findDesktopEntry(desktopId).has_value(); }

void X11Applications::hide(std::int32_t pid)
{
    // ICCCM: a request to the window manager to iconify the window.
    for (const xcb_window_t w : clientList(m_connection)) {
        if (pidOf(m_connection, w) != pid)
            continue;
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = w;
        event.type = m_connection.atom(Atom::WM_CHANGE_STATE);
        event.data.data32[0] = XCB_ICCCM_WM_STATE_ICONIC;
        xcb_send_event(m_connection.xcb(), 0, m_connection.root(),
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY, reinterpret_cast<const char*>(&event));
    }
    m_connection.flush();
}

void X11Applications::unhide(std::int32_t pid)
{
    // Activating an iconified window brings it back; the newest one ends up in front.
    for (const xcb_window_t w : clientList(m_connection)) {
        if (pidOf(m_connection, w) == pid && m_windows.isMinimized(handleOf(w)).value_or(false))
            m_windows.raise(handleOf(w));
    }
}

void X11Applications::openAndActivate(const std::string& desktopId, std::function<void(bool ok)> done)
{
    const auto windows = windowsOfDesktopEntry(desktopId);
    if (!windows.empty()) {
        m_windows.raise(handleOf(windows.back()));
        if (done)
            done(true);
        return;
    }
    const bool ok = launchDesktopEntry(desktopId);
    if (done)
        done(ok);
}

} // namespace quandrel::x11
