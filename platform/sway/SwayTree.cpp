#include "SwayTree.h"

#include "ScreenSpace.h"

#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>
#include <cstring>
#include <cmath>
#include <limits>

namespace quandrel::sway {

namespace {

double number(const QJsonObject& o, const char* key)
{
    const double v = o.value(QLatin1String(key)).toDouble(0);
    return std::isfinite(v) ? v : 0;
}

Rect rectOf(const QJsonValue& value)
{
    const QJsonObject o = value.toObject();
    return {number(o, "x"), number(o, "y"), std::max(0.0, number(o, "width")), std::max(0.0, number(o, "height"))};
}

std::string text(const QJsonObject& o, const char* key) { return o.value(QLatin1String(key)).toString().toStdString(); }

bool isView(const QJsonObject& node)
{
    const QString type = node.value(QLatin1String("type")).toString();
    if (type != QLatin1String("con") && type != QLatin1String("floating_con"))
        return false;
    // Split containers hold other containers; views hold a surface and name its client.
    return node.value(QLatin1String("nodes")).toArray().isEmpty() && node.value(QLatin1String("floating_nodes")).toArray().isEmpty()
        && (node.value(QLatin1String("pid")).isDouble() || node.value(QLatin1String("app_id")).isString()
            || node.value(QLatin1String("window_properties")).isObject());
}

struct Walk {
    std::vector<SwayWindow>& windows;
    int depthLimit = 256; // a tree deeper than this is not sway's

    void visit(const QJsonObject& node, const std::string& output, const std::string& workspace, const QString& parentLayout,
               bool floating, int depth)
    {
        if (depth > depthLimit)
            return;
        const QString type = node.value(QLatin1String("type")).toString();
        std::string here = output;
        std::string space = workspace;
        if (type == QLatin1String("output"))
            here = text(node, "name");
        else if (type == QLatin1String("workspace"))
            space = text(node, "name");

        if (isView(node)) {
            SwayWindow w;
            const double id = number(node, "id");
            if (id <= 0 || id > double(std::numeric_limits<std::uint32_t>::max()))
                return;
            w.id = WindowHandle(static_cast<std::uint64_t>(id));
            w.pid = static_cast<std::int32_t>(std::clamp(number(node, "pid"), 0.0, 2147483647.0));
            w.appId = text(node, "app_id");
            w.title = text(node, "name");
            const QJsonObject properties = node.value(QLatin1String("window_properties")).toObject();
            w.windowClass = text(properties, "class");
            w.windowInstance = text(properties, "instance");
            w.windowType = text(properties, "window_type");
            w.floating = floating || type == QLatin1String("floating_con");
            w.focused = node.value(QLatin1String("focused")).toBool(false);
            w.visible = node.value(QLatin1String("visible")).toBool(false);
            w.output = here;
            w.workspace = space;
            // sway's rect leaves out the title bar (deco_rect); the frame a person sees has
            // it on top, except in tabbed and stacked containers where the titles are shared.
            w.frame = rectOf(node.value(QLatin1String("rect")));
            const double title = rectOf(node.value(QLatin1String("deco_rect"))).height;
            if (title > 0 && (w.floating || (parentLayout != QLatin1String("tabbed") && parentLayout != QLatin1String("stacked")))) {
                w.frame.y -= title;
                w.frame.height += title;
            }
            windows.push_back(std::move(w));
            return;
        }

        // Children in focus order: the ids of `focus`, most recent first; any not listed
        // there follow in tree order.
        std::vector<QJsonObject> children;
        std::vector<bool> childFloating;
        for (const char* key : {"nodes", "floating_nodes"}) {
            for (const QJsonValue& child : node.value(QLatin1String(key)).toArray()) {
                if (!child.isObject())
                    continue;
                children.push_back(child.toObject());
                childFloating.push_back(floating || std::strcmp(key, "floating_nodes") == 0);
            }
        }
        const QJsonArray focus = node.value(QLatin1String("focus")).toArray();
        auto rank = [&focus](const QJsonObject& child) {
            const double id = child.value(QLatin1String("id")).toDouble(-1);
            for (qsizetype i = 0; i < focus.size(); ++i) {
                if (focus.at(i).toDouble(-2) == id)
                    return i;
            }
            return focus.size();
        };
        std::vector<std::size_t> order(children.size());
        for (std::size_t i = 0; i < order.size(); ++i)
            order[i] = i;
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return rank(children[a]) < rank(children[b]); });
        const QString layout = node.value(QLatin1String("layout")).toString();
        for (const std::size_t i : order)
            visit(children[i], here, space, layout, childFloating[i], depth + 1);
    }
};

} // namespace

std::optional<std::vector<SwayWindow>> windowsFromTree(const QJsonDocument& tree)
{
    if (!tree.isObject() || !tree.object().value(QLatin1String("nodes")).isArray())
        return std::nullopt;
    std::vector<SwayWindow> windows;
    Walk{windows}.visit(tree.object(), {}, {}, {}, false, 0);
    return windows;
}

std::optional<std::vector<Display>> displaysFromOutputs(const QJsonDocument& outputs, const QJsonDocument& workspaces)
{
    if (!outputs.isArray())
        return std::nullopt;
    struct Output {
        std::string name;
        Rect rect; // layout coordinates
        Rect usable;
        double scale;
    };
    std::vector<Output> found;
    for (const QJsonValue& value : outputs.array()) {
        const QJsonObject o = value.toObject();
        if (!o.value(QLatin1String("active")).toBool(false))
            continue;
        const Rect rect = rectOf(o.value(QLatin1String("rect")));
        if (rect.isEmpty())
            continue;
        const double scale = number(o, "scale");
        found.push_back({text(o, "name"), rect, rect, scale > 0 ? scale : 1});
    }
    if (workspaces.isArray()) {
        for (const QJsonValue& value : workspaces.array()) {
            const QJsonObject w = value.toObject();
            if (!w.value(QLatin1String("visible")).toBool(false))
                continue;
            const std::string output = text(w, "output");
            for (Output& o : found) {
                if (o.name != output)
                    continue;
                // Rect::intersected works for either direction of y.
                const Rect usable = rectOf(w.value(QLatin1String("rect"))).intersected(o.rect);
                if (!usable.isEmpty())
                    o.usable = usable;
            }
        }
    }
    // sway names no primary output.
    std::vector<Rect> layout;
    for (const Output& o : found)
        layout.push_back(o.rect);
    leadWith(found, pivotDisplay(layout));

    std::vector<Display> displays;
    if (found.empty())
        return displays;
    const ScreenSpace space(found.front().rect.height);
    for (const Output& o : found)
        displays.push_back({o.name, space.fromWindow(o.rect), space.fromWindow(o.usable), o.scale});
    return displays;
}

} // namespace quandrel::sway
