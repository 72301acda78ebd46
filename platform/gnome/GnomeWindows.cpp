#include "GnomeWindows.h"

#include "ScreenSpace.h"

#include <QGuiApplication>
#include <QScreen>

#include <unistd.h>

namespace quandrel::gnome {

std::vector<Display> displaysOf(const std::vector<ShellDisplay>& monitors)
{
    std::vector<Rect> layout;
    std::optional<std::size_t> primary;
    for (std::size_t i = 0; i < monitors.size(); ++i) {
        layout.push_back(monitors[i].frame);
        if (monitors[i].primary)
            primary = i;
    }
    std::vector<ShellDisplay> ordered = monitors;
    leadWith(ordered, pivotDisplay(layout, primary));
    std::vector<Display> displays;
    if (ordered.empty())
        return displays;
    const ScreenSpace space(ordered.front().frame.height);
    int index = 0;
    for (const ShellDisplay& m : ordered)
        displays.push_back({"monitor-" + std::to_string(index++), space.fromWindow(m.frame), space.fromWindow(m.workArea), m.scale});
    return displays;
}

std::vector<Display> GnomeDisplays::displays()
{
    if (m_shell.state() == ShellState::ready) {
        const auto focus = m_shell.focus();
        return focus ? displaysOf(focus->displays) : std::vector<Display>{};
    }
    // Without the extension, the outputs as the compositor shows them to Quandrel's own windows
    // (logical pixels); they have no work areas then.
    std::vector<ShellDisplay> monitors;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect g = screen->geometry();
        const Rect frame{double(g.x()), double(g.y()), double(g.width()), double(g.height())};
        monitors.push_back({screen == QGuiApplication::primaryScreen(), frame, frame, screen->devicePixelRatio()});
    }
    return displaysOf(monitors);
}

std::vector<ShellWindow> GnomeWindows::windows()
{
    auto windows = m_shell.windows();
    m_lastError = windows ? WindowAccessError::none : WindowAccessError::refused;
    return windows ? std::move(*windows) : std::vector<ShellWindow>{};
}

std::optional<ShellWindow> GnomeWindows::window(WindowHandle handle)
{
    if (auto known = m_shell.knownWindow(handle.value()))
        return known;
    for (ShellWindow& w : windows()) {
        if (w.id == handle.value())
            return std::move(w);
    }
    return std::nullopt;
}

std::optional<ShellWindow> GnomeWindows::focused()
{
    auto focus = m_shell.focus();
    m_lastError = focus ? WindowAccessError::none : WindowAccessError::refused;
    return focus ? std::move(focus->focused) : std::nullopt;
}

std::optional<ClientWindow> GnomeWindows::focusedWindow()
{
    if (const auto w = focused())
        return ClientWindow{w->id, w->pid};
    return std::nullopt;
}

std::optional<Rect> GnomeWindows::readFrame(WindowHandle window)
{
    if (const auto w = this->window(window))
        return w->frame;
    return std::nullopt;
}

void GnomeWindows::setFrame(WindowHandle window, std::int32_t, const Rect& frame, FrameApplied applied)
{
    m_shell.place(window.value(), frame, [applied = std::move(applied)](std::optional<ShellWindow>) {
        if (applied)
            applied();
    });
}

std::optional<ClientWindow> GnomeWindows::windowAtPoint(Point screenPoint)
{
    const Point p = ScreenSpace::of(m_displays.displays()).toWindow(screenPoint);
    const pid_t own = ::getpid();
    for (const ShellWindow& w : windows()) {
        if (!w.visible)
            continue;
        if (p.x >= w.frame.minX() && p.x < w.frame.maxX() && p.y >= w.frame.minY() && p.y < w.frame.maxY()) {
            if (w.pid == own || !w.normal)
                return std::nullopt;
            return ClientWindow{w.id, w.pid};
        }
    }
    return std::nullopt;
}

std::vector<ClientWindow> GnomeWindows::windowsOfApplication(std::int32_t pid)
{
    std::vector<ClientWindow> result;
    for (const ShellWindow& w : windows()) {
        if (w.pid == pid)
            result.push_back({w.id, w.pid});
    }
    return result;
}

std::optional<bool> GnomeWindows::isStandardWindow(WindowHandle window)
{
    if (const auto w = this->window(window))
        return w->normal;
    return std::nullopt;
}

std::optional<bool> GnomeWindows::isMinimized(WindowHandle window)
{
    if (const auto w = this->window(window))
        return w->minimized;
    return std::nullopt;
}

void GnomeWindows::raise(WindowHandle window) { m_shell.activate(window.value()); }

void GnomeWindows::minimizeWindow(WindowHandle window) { m_shell.minimize(window.value()); }

} // namespace quandrel::gnome
