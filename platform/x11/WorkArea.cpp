#include "WorkArea.h"

#include <algorithm>

namespace quandrel::x11 {

std::optional<Strut> strutFrom(const std::vector<std::uint32_t>& partial, const std::vector<std::uint32_t>& plain, Size root,
                               std::optional<Rect> panel)
{
    Strut s;
    if (partial.size() >= 12) {
        s = Strut{double(partial[0]), double(partial[1]), double(partial[2]), double(partial[3]),
                  double(partial[4]), double(partial[5]), double(partial[6]), double(partial[7]),
                  double(partial[8]), double(partial[9]), double(partial[10]), double(partial[11])};
    } else if (plain.size() >= 4) {
        s = Strut{double(plain[0]), double(plain[1]), double(plain[2]), double(plain[3]), 0, root.height - 1, 0, root.height - 1,
                  0, root.width - 1, 0, root.width - 1};
        s.wholeEdge = true;
        s.panel = panel;
    } else {
        return std::nullopt;
    }
    if (s.left <= 0 && s.right <= 0 && s.top <= 0 && s.bottom <= 0)
        return std::nullopt;
    return s;
}

namespace {

// Whether the band's range [start, end] reaches into the monitor's extent [min, max).
bool spans(double start, double end, double min, double max) { return start <= end && start < max && end >= min; }

// The monitor's edges less one strut.
void reserve(const Rect& a, const Strut& s, Size root, double& left, double& right, double& top, double& bottom)
{
    if (s.wholeEdge && s.panel) {
        // The panel's own monitors only; the width from the root's edge, else the monitor's.
        if (a.intersected(*s.panel).isEmpty())
            return;
        if (s.left > 0)
            left = std::max(left, s.left > a.minX() ? s.left : a.minX() + s.left);
        if (s.right > 0)
            right = std::min(right, root.width - s.right < a.maxX() ? root.width - s.right : a.maxX() - s.right);
        if (s.top > 0)
            top = std::max(top, s.top > a.minY() ? s.top : a.minY() + s.top);
        if (s.bottom > 0)
            bottom = std::min(bottom, root.height - s.bottom < a.maxY() ? root.height - s.bottom : a.maxY() - s.bottom);
        return;
    }
    if (s.left > 0 && a.minX() < s.left && spans(s.leftStart, s.leftEnd, a.minY(), a.maxY()))
        left = std::max(left, s.left);
    if (s.right > 0 && a.maxX() > root.width - s.right && spans(s.rightStart, s.rightEnd, a.minY(), a.maxY()))
        right = std::min(right, root.width - s.right);
    if (s.top > 0 && a.minY() < s.top && spans(s.topStart, s.topEnd, a.minX(), a.maxX()))
        top = std::max(top, s.top);
    if (s.bottom > 0 && a.maxY() > root.height - s.bottom && spans(s.bottomStart, s.bottomEnd, a.minX(), a.maxX()))
        bottom = std::min(bottom, root.height - s.bottom);
}

} // namespace

Rect visibleArea(const Rect& monitor, const std::vector<Strut>& struts, Size root, const std::vector<std::uint32_t>& workArea)
{
    const Rect& a = monitor;
    double left = a.minX(), right = a.maxX(), top = a.minY(), bottom = a.maxY();
    for (const Strut& s : struts)
        reserve(a, s, root, left, right, top, bottom);
    Rect visible{left, top, right - left, bottom - top};
    if (visible.isEmpty())
        visible = a;
    if (struts.empty() && workArea.size() >= 4) {
        const Rect w{double(workArea[0]), double(workArea[1]), double(workArea[2]), double(workArea[3])};
        const Rect clipped = visible.intersected(w);
        if (!clipped.isEmpty())
            visible = clipped;
    }
    return visible;
}

std::vector<Rect> visibleAreas(const std::vector<Rect>& monitors, const std::vector<Strut>& struts, Size root,
                               const std::vector<std::uint32_t>& workArea)
{
    const bool oneSize = std::all_of(monitors.begin(), monitors.end(), [&](const Rect& m) { return m.size() == monitors.front().size(); });
    const std::vector<std::uint32_t> none;
    std::vector<Rect> result;
    for (const Rect& m : monitors)
        result.push_back(visibleArea(m, struts, root, oneSize ? workArea : none));
    return result;
}

} // namespace quandrel::x11
