#include "KWinWindows.h"

#include "KWinBridge.h"
#include "ScreenSpace.h"

#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonObject>
#include <QScreen>

#include <algorithm>
#include <cmath>
#include <unistd.h>

namespace quandrel::kwin {

namespace {

constexpr double coordinateLimit = 1 << 20;

QJsonObject op(const char* name) { return {{QStringLiteral("op"), QLatin1String(name)}}; }

Rect rectOf(const QJsonValue& v)
{
    const QJsonObject o = v.toObject();
    return {o.value(QLatin1String("x")).toDouble(), o.value(QLatin1String("y")).toDouble(), o.value(QLatin1String("width")).toDouble(),
            o.value(QLatin1String("height")).toDouble()};
}

std::string text(const QJsonObject& o, const char* key) { return o.value(QLatin1String(key)).toString().toStdString(); }

std::vector<ScreenInfo> qtScreens()
{
    std::vector<ScreenInfo> result;
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return result;
    for (const QScreen* s : QGuiApplication::screens()) {
        const QRect g = s->geometry();
        result.push_back({{double(g.x()), double(g.y()), double(g.width()), double(g.height())}, s->name().toStdString(), s->devicePixelRatio()});
    }
    return result;
}

} // namespace

int kwinCoordinate(double value)
{
    if (std::isnan(value))
        return 0;
    return static_cast<int>(std::lround(std::clamp(value, -coordinateLimit, coordinateLimit)));
}

int kwinSize(double value)
{
    if (std::isnan(value))
        return 1;
    return static_cast<int>(std::lround(std::clamp(value, 1.0, coordinateLimit)));
}

std::vector<Display> displaysFromOutputs(const QJsonValue& outputs, const std::vector<ScreenInfo>& screens)
{
    struct Output {
        std::string name;
        Rect frame;
        Rect usable;
        double scale;
    };
    std::vector<Output> found;
    for (const QJsonValue& value : outputs.toObject().value(QLatin1String("outputs")).toArray()) {
        const QJsonObject o = value.toObject();
        const Rect frame = rectOf(o.value(QLatin1String("frame")));
        if (frame.isEmpty())
            continue;
        Rect usable = rectOf(o.value(QLatin1String("area"))).intersected(frame);
        if (usable.isEmpty())
            usable = frame;
        std::string name = text(o, "name");
        double scale = o.value(QLatin1String("scale")).toDouble();
        for (const ScreenInfo& s : screens) {
            if (s.frame == frame) {
                if (name.empty())
                    name = s.name;
                if (!(scale > 0))
                    scale = s.scale;
            }
        }
        if (name.empty())
            name = "Display " + std::to_string(found.size() + 1);
        found.push_back({name, frame, usable, scale > 0 ? scale : 1});
    }
    // Wayland names no primary output.
    std::vector<Rect> layout;
    for (const Output& o : found)
        layout.push_back(o.frame);
    leadWith(found, pivotDisplay(layout));
    std::vector<Display> displays;
    if (found.empty())
        return displays;
    const ScreenSpace space(found.front().frame.height);
    for (const Output& o : found)
        displays.push_back({o.name, space.fromWindow(o.frame), space.fromWindow(o.usable), o.scale});
    return displays;
}

std::vector<Display> KWinWindows::displays()
{
    const auto outputs = m_bridge.call(op("outputs"));
    if (!outputs)
        return {};
    return displaysFromOutputs(*outputs, qtScreens());
}

WindowHandle KWinWindows::handleOf(const QString& uuid)
{
    const auto known = m_handles.find(uuid);
    if (known != m_handles.end())
        return known->second;
    const WindowHandle handle(m_nextHandle++);
    m_handles[uuid] = handle;
    m_uuids[handle] = uuid;
    return handle;
}

QString KWinWindows::uuidOf(WindowHandle handle) const
{
    const auto known = m_uuids.find(handle);
    return known == m_uuids.end() ? QString() : known->second;
}

std::vector<KWinWindow> KWinWindows::windows()
{
    const auto list = m_bridge.call(op("windows"));
    if (!list || !list->isArray()) {
        m_lastError = WindowAccessError::refused;
        return {};
    }
    m_lastError = WindowAccessError::none;
    std::vector<KWinWindow> result;
    for (const QJsonValue& value : list->toArray()) {
        const QJsonObject o = value.toObject();
        const QString uuid = o.value(QLatin1String("id")).toString();
        if (uuid.isEmpty())
            continue;
        result.push_back({handleOf(uuid), uuid, o.value(QLatin1String("pid")).toInt(), rectOf(o.value(QLatin1String("frame"))),
                          text(o, "resourceClass"), text(o, "resourceName"), text(o, "desktopFile"), text(o, "caption"),
                          o.value(QLatin1String("minimized")).toBool(), o.value(QLatin1String("normal")).toBool(),
                          o.value(QLatin1String("active")).toBool()});
    }
    return result;
}

std::optional<KWinWindow> KWinWindows::window(WindowHandle handle)
{
    if (uuidOf(handle).isEmpty())
        return std::nullopt;
    for (KWinWindow& w : windows()) {
        if (w.handle == handle)
            return std::move(w);
    }
    return std::nullopt;
}

std::optional<ClientWindow> KWinWindows::focusedWindow()
{
    for (const KWinWindow& w : windows()) {
        if (w.active)
            return ClientWindow{w.handle, w.pid};
    }
    return std::nullopt;
}

std::optional<Rect> KWinWindows::readFrame(WindowHandle window)
{
    if (const auto w = this->window(window))
        return w->frame;
    return std::nullopt;
}

void KWinWindows::setFrame(WindowHandle window, std::int32_t, const Rect& frame, FrameApplied applied)
{
    const QString uuid = uuidOf(window);
    if (uuid.isEmpty()) {
        if (applied)
            applied();
        return;
    }
    QJsonObject request = op("setFrame");
    request.insert(QStringLiteral("window"), uuid);
    request.insert(QStringLiteral("frame"), QJsonObject{{QStringLiteral("x"), kwinCoordinate(frame.x)},
                                                        {QStringLiteral("y"), kwinCoordinate(frame.y)},
                                                        {QStringLiteral("width"), kwinSize(frame.width)},
                                                        {QStringLiteral("height"), kwinSize(frame.height)}});
    m_bridge.send(std::move(request), [applied = std::move(applied)](const std::optional<QJsonValue>&) {
        if (applied)
            applied();
    });
}

std::optional<ClientWindow> KWinWindows::windowAtPoint(Point screenPoint)
{
    const Point p = ScreenSpace::of(displays()).toWindow(screenPoint);
    const pid_t own = ::getpid();
    for (const KWinWindow& w : windows()) {
        if (w.minimized)
            continue;
        if (p.x >= w.frame.minX() && p.x < w.frame.maxX() && p.y >= w.frame.minY() && p.y < w.frame.maxY()) {
            if (w.pid == own || !w.normal)
                return std::nullopt;
            return ClientWindow{w.handle, w.pid};
        }
    }
    return std::nullopt;
}

std::vector<ClientWindow> KWinWindows::windowsOfApplication(std::int32_t pid)
{
    std::vector<ClientWindow> result;
    for (const KWinWindow& w : windows()) {
        if (w.pid == pid && w.normal)
            result.push_back({w.handle, w.pid});
    }
    return result;
}

std::optional<bool> KWinWindows::isStandardWindow(WindowHandle window)
{
    if (const auto w = this->window(window))
        return w->normal;
    return std::nullopt;
}

std::optional<bool> KWinWindows::isMinimized(WindowHandle window)
{
    if (const auto w = this->window(window))
        return w->minimized;
    return std::nullopt;
}

std::optional<Point> KWinWindows::pointer()
{
    const auto at = m_bridge.call(op("pointer"));
    if (!at || !at->isObject())
        return std::nullopt;
    const QJsonObject o = at->toObject();
    return Point{o.value(QLatin1String("x")).toDouble(), o.value(QLatin1String("y")).toDouble()};
}

bool KWinWindows::setMinimized(WindowHandle window, bool minimized)
{
    const QString uuid = uuidOf(window);
    if (uuid.isEmpty())
        return false;
    QJsonObject request = op("minimize");
    request.insert(QStringLiteral("window"), uuid);
    request.insert(QStringLiteral("on"), minimized);
    const auto done = m_bridge.call(std::move(request));
    return done && done->toBool();
}

void KWinWindows::raise(WindowHandle window)
{
    const QString uuid = uuidOf(window);
    if (uuid.isEmpty())
        return;
    QJsonObject request = op("activate");
    request.insert(QStringLiteral("window"), uuid);
    m_bridge.call(std::move(request));
}

} // namespace quandrel::kwin
