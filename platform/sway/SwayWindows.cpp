#include "SwayWindows.h"

#include "Display.h"
#include "ScreenSpace.h"
#include "SwayIpc.h"

#include <QLoggingCategory>

#include <algorithm>
#include <cmath>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcSway, "quandrel.sway", QtInfoMsg)

namespace quandrel::sway {

namespace {
// Far beyond any layout, well within sway's int parsing.
constexpr double coordinateLimit = 1 << 20;

// xdg-shell toplevels are application windows; Xwayland windows say what they are.
bool isStandard(const SwayWindow& w) { return w.windowType.empty() || w.windowType == "normal" || w.windowType == "unknown"; }
} // namespace

int swayCoordinate(double value)
{
    if (std::isnan(value))
        return 0;
    return static_cast<int>(std::lround(std::clamp(value, -coordinateLimit, coordinateLimit)));
}

int swaySize(double value)
{
    if (std::isnan(value))
        return 1;
    return static_cast<int>(std::lround(std::clamp(value, 1.0, coordinateLimit)));
}

SwayWindows::SwayWindows(SwayIpc& ipc, DisplayProvider& displays)
    : m_ipc(ipc)
    , m_displays(displays)
{
}

std::vector<SwayWindow> SwayWindows::windows()
{
    const IpcReply reply = m_ipc.request(MessageType::getTree);
    auto windows = reply ? windowsFromTree(reply.document) : std::nullopt;
    if (!windows) {
        qCWarning(lcSway, "Cannot read sway's windows: %s %s", describe(reply ? IpcError::badJson : reply.error), reply.detail.c_str());
        m_lastError = WindowAccessError::refused;
        return {};
    }
    m_lastError = WindowAccessError::none;
    return std::move(*windows);
}

std::optional<SwayWindow> SwayWindows::window(WindowHandle handle)
{
    for (SwayWindow& w : windows()) {
        if (w.id == handle)
            return std::move(w);
    }
    return std::nullopt;
}

bool SwayWindows::command(WindowHandle window, const QString& commands)
{
    const IpcReply reply = m_ipc.run(QStringLiteral("[con_id=%1] %2").arg(window.value()).arg(commands));
    if (!reply)
        qCWarning(lcSway, "sway did not run \"%s\" on window %llu: %s %s", qUtf8Printable(commands),
                  static_cast<unsigned long long>(window.value()), describe(reply.error),
                  reply.detail.c_str());
    return bool(reply);
}

std::optional<ClientWindow> SwayWindows::focusedWindow()
{
    for (const SwayWindow& w : windows()) {
        if (w.focused)
            return ClientWindow{w.id, w.pid};
    }
    return std::nullopt;
}

std::optional<Rect> SwayWindows::readFrame(WindowHandle window)
{
    if (const auto w = this->window(window))
        return w->frame;
    return std::nullopt;
}

void SwayWindows::setFrame(WindowHandle window, std::int32_t pid, const Rect& frame, FrameApplied applied)
{
    place(window, pid, frame);
    if (applied)
        applied();
}

void SwayWindows::place(WindowHandle window, std::int32_t, const Rect& frame)
{
    const auto w = this->window(window);
    if (!w)
        return;
    // One command, so the client is asked for one size only: a floating window takes the size
    // its client last committed, and a configure for an intermediate size (sway's own floating
    // size) could be answered after ours and undo it.
    const bool tiled = !w->floating && !w->inScratchpad();
    const QString place = QStringLiteral("resize set width %1 px height %2 px, move absolute position %3 px %4 px")
                              .arg(swaySize(frame.width))
                              .arg(swaySize(frame.height))
                              .arg(swayCoordinate(frame.x))
                              .arg(swayCoordinate(frame.y));
    // The container's size and position are its outer frame, title bar included; sway applies
    // both before it answers, and the tree shows them from then on.
    if (command(window, tiled ? QStringLiteral("floating enable, ") + place : place) && tiled)
        m_floated[window] = w->workspace;
}

void SwayWindows::restoreFrame(WindowHandle window, std::int32_t pid, const Rect& frame, FrameApplied applied)
{
    if (const auto floated = m_floated.find(window); floated != m_floated.end()) {
        QString workspace = QString::fromStdString(floated->second);
        m_floated.erase(floated);
        if (const auto w = this->window(window); w && w->floating) {
            workspace.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('"'), QLatin1String("\\\""));
            // Back into the layout of the workspace it was taken from, even when it was moved
            // to another display meanwhile, with the focus it had.
            command(window, workspace.isEmpty() ? QStringLiteral("floating disable")
                                                : QStringLiteral("floating disable, move container to workspace \"%1\", focus").arg(workspace));
            if (applied)
                applied();
            return;
        }
    }
    setFrame(window, pid, frame, std::move(applied));
}

std::optional<ClientWindow> SwayWindows::windowAtPoint(Point screenPoint)
{
    const Point p = ScreenSpace::of(m_displays.displays()).toWindow(screenPoint);
    const std::vector<SwayWindow> all = windows();
    const pid_t own = ::getpid();
    // Floating windows lie above the tiled ones.
    for (const bool floating : {true, false}) {
        for (const SwayWindow& w : all) {
            if (w.floating != floating || !w.visible || w.inScratchpad())
                continue;
            if (p.x >= w.frame.minX() && p.x < w.frame.maxX() && p.y >= w.frame.minY() && p.y < w.frame.maxY()) {
                if (w.pid == own || !isStandard(w))
                    return std::nullopt;
                return ClientWindow{w.id, w.pid};
            }
        }
    }
    return std::nullopt;
}

std::vector<ClientWindow> SwayWindows::windowsOfApplication(std::int32_t pid)
{
    std::vector<ClientWindow> result;
    for (const SwayWindow& w : windows()) {
        if (w.pid == pid)
            result.push_back({w.id, w.pid});
    }
    return result;
}

std::optional<bool> SwayWindows::isStandardWindow(WindowHandle window)
{
    const auto w = this->window(window);
    if (!w)
        return std::nullopt;
    return isStandard(*w);
}

std::optional<bool> SwayWindows::isMinimized(WindowHandle window)
{
    if (const auto w = this->window(window))
        return w->inScratchpad();
    return std::nullopt;
}

void SwayWindows::raise(WindowHandle window)
{
    const auto w = this->window(window);
    if (!w)
        return;
    if (w->inScratchpad())
        command(window, QStringLiteral("scratchpad show"));
    command(window, QStringLiteral("focus"));
}

} // namespace quandrel::sway
