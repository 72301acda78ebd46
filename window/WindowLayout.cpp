#include "WindowLayout.h"

#include <array>
#include <cmath>
#include <limits>

namespace quandrel {

namespace {

constexpr double oneThird = 1.0 / 3.0;
// The largest gap, as a share of the visible frame's shorter side.
constexpr double largestGapShare = 1.0 / 8;
constexpr double twoThirds = 2.0 / 3.0;
constexpr std::array sizeCycle = {0.5, twoThirds, oneThird};
constexpr std::array firstThirdPositions = {0, 1, 2};
constexpr std::array lastThirdPositions = {2, 1, 0};

bool isLandscape(const Rect& r) { return r.width >= r.height; }

// Centres a w × h rectangle on the visible frame, each component rounded.
Rect centred(const Rect& visibleFrame, double w, double h)
{
    return rounded({visibleFrame.midX() - w / 2, visibleFrame.midY() - h / 2, w, h});
}

// Third p (0, 1 or 2) along the long side of the visible frame.
Rect third(int p, double span, const Rect& visibleFrame, double gap)
{
    if (isLandscape(visibleFrame))
        return tileFrame(p * oneThird, 0, span, 1, visibleFrame, gap);
    return tileFrame(0, p * oneThird, 1, span, visibleFrame, gap);
}

double clampFraction(double f)
{
    if (!(f > 0)) // also catches NaN
        return 0;
    return f > 1 ? 1 : f;
}

} // namespace

double usableGap(double gap, const Rect& visibleFrame)
{
    if (!(gap > 0)) // also catches NaN
        return 0;
    const double limit = std::max(0.0, std::min(visibleFrame.width, visibleFrame.height) * largestGapShare);
    return std::min(gap, std::floor(limit));
}

TileAnchor tileAnchor(WindowAction action, const Rect& tile, const Rect& visibleFrame)
{
    switch (action) {
    case WindowAction::almostMaximize:
    case WindowAction::center:
    case WindowAction::smaller:
    case WindowAction::larger:
        return {TileEdge::centre, TileEdge::centre};
    case WindowAction::maximizeHeight:
        return {}; // the window keeps its own x
    default:
        break;
    }
    // Screen space: y grows upwards, so the top border is maxY. A tile whose spaces to both
    // borders are no more than the largest gap spans the whole area and keeps its natural edge.
    auto pick = [](double leadingSpace, double trailingSpace, double span) {
        if (std::max(leadingSpace, trailingSpace) <= span * largestGapShare + 1)
            return TileEdge::leading;
        if (std::fabs(leadingSpace - trailingSpace) <= 1)
            return TileEdge::centre;
        return leadingSpace < trailingSpace ? TileEdge::leading : TileEdge::trailing;
    };
    return {pick(tile.minX() - visibleFrame.minX(), visibleFrame.maxX() - tile.maxX(), visibleFrame.width),
            pick(visibleFrame.maxY() - tile.maxY(), tile.minY() - visibleFrame.minY(), visibleFrame.height)};
}

Rect anchoredFrame(const Rect& tile, const Size& size, TileAnchor anchor)
{
    auto place = [](double lead, double tileSpan, double span, TileEdge edge) {
        switch (edge) {
        case TileEdge::leading:
            return lead;
        case TileEdge::centre:
            return lead + (tileSpan - span) / 2;
        case TileEdge::trailing:
            return lead + tileSpan - span;
        }
        return lead;
    };
    const double x = place(tile.minX(), tile.width, size.width, anchor.horizontal);
    // Vertically the leading edge is the top (maxY): place from the top downwards.
    const double fromTop = place(0, tile.height, size.height, anchor.vertical);
    const double y = tile.maxY() - fromTop - size.height;
    return rounded({x, y, size.width, size.height});
}

Rect tileFrame(double fx, double fy, double fw, double fh, const Rect& visibleFrame, double gap)
{
    gap = usableGap(gap, visibleFrame);
    const Rect area = visibleFrame.insetBy(gap, gap);
    double left = area.minX() + fx * area.width;
    double right = left + fw * area.width;
    double top = area.maxY() - fy * area.height;
    double bottom = top - fh * area.height;

    const double g = gap / 2;
    if (area.minX() + 0.5 < left)
        left += g;
    if (right < area.maxX() - 0.5)
        right -= g;
    if (area.minY() + 0.5 < bottom)
        bottom += g;
    if (top < area.maxY() - 0.5)
        top -= g;

    const double x = roundHalfAway(left);
    const double y = roundHalfAway(bottom);
    return {x, y, roundHalfAway(right) - x, roundHalfAway(top) - y};
}

std::optional<Rect> targetFrame(WindowAction action, int step, const Rect& visibleFrame, const Rect& windowFrame, double gap)
{
    const std::size_t index = static_cast<std::size_t>(step < 0 ? 0 : step) % 3;
    const double s = sizeCycle[index];
    const Rect& vf = visibleFrame;

    switch (action) {
    case WindowAction::leftHalf:
        return tileFrame(0, 0, s, 1, vf, gap);
    case WindowAction::rightHalf:
        return tileFrame(1 - s, 0, s, 1, vf, gap);
    case WindowAction::topHalf:
        return tileFrame(0, 0, 1, s, vf, gap);
    case WindowAction::bottomHalf:
        return tileFrame(0, 1 - s, 1, s, vf, gap);
    case WindowAction::topLeft:
        return tileFrame(0, 0, 0.5, 0.5, vf, gap);
    case WindowAction::topRight:
        return tileFrame(0.5, 0, 0.5, 0.5, vf, gap);
    case WindowAction::bottomLeft:
        return tileFrame(0, 0.5, 0.5, 0.5, vf, gap);
    case WindowAction::bottomRight:
        return tileFrame(0.5, 0.5, 0.5, 0.5, vf, gap);
    case WindowAction::firstThird:
        return third(firstThirdPositions[index], oneThird, vf, gap);
    case WindowAction::centerThird:
        return third(1, oneThird, vf, gap);
    case WindowAction::lastThird:
        return third(lastThirdPositions[index], oneThird, vf, gap);
    case WindowAction::firstTwoThirds:
        return third(0, twoThirds, vf, gap);
    case WindowAction::lastTwoThirds:
        return third(1, twoThirds, vf, gap);
    case WindowAction::maximize:
        return tileFrame(0, 0, 1, 1, vf, gap);
    case WindowAction::almostMaximize:
        return centred(vf, 0.9 * vf.width, 0.9 * vf.height);
    case WindowAction::center:
        return centred(vf, std::min(vf.width, windowFrame.width), std::min(vf.height, windowFrame.height));
    case WindowAction::maximizeHeight: {
        const double g = usableGap(gap, vf);
        const Rect area = vf.insetBy(g, g);
        return rounded({windowFrame.minX(), area.minY(), std::min(area.width, windowFrame.width), area.height});
    }
    case WindowAction::smaller:
        return resizedFrame(windowFrame, -30, vf);
    case WindowAction::larger:
        return resizedFrame(windowFrame, 30, vf);
    case WindowAction::restore:
    case WindowAction::nextDisplay:
    case WindowAction::previousDisplay:
        return std::nullopt;
    }
    return std::nullopt;
}

Rect resizedFrame(const Rect& windowFrame, double delta, const Rect& visibleFrame)
{
    const double w = std::min(visibleFrame.width, std::max(200.0, windowFrame.width + 2 * delta));
    const double h = std::min(visibleFrame.height, std::max(150.0, windowFrame.height + 2 * delta));
    double x = windowFrame.midX() - w / 2;
    double y = windowFrame.midY() - h / 2;
    x = std::min(std::max(x, visibleFrame.minX()), visibleFrame.maxX() - w);
    y = std::min(std::max(y, visibleFrame.minY()), visibleFrame.maxY() - h);
    return rounded({x, y, w, h});
}

Rect frameOnDisplay(const Rect& window, const Rect& source, const Rect& destination)
{
    const double fx = window.width < source.width ? (window.minX() - source.minX()) / (source.width - window.width) : 0;
    const double fy = window.height < source.height ? (window.minY() - source.minY()) / (source.height - window.height) : 0;
    const double w = std::min(window.width, destination.width);
    const double h = std::min(window.height, destination.height);
    return rounded({destination.minX() + clampFraction(fx) * (destination.width - w),
                    destination.minY() + clampFraction(fy) * (destination.height - h), w, h});
}

std::optional<std::size_t> screenIndex(const std::vector<Rect>& visibleFrames, const Rect& frame)
{
    if (visibleFrames.empty())
        return std::nullopt;

    std::size_t best = 0;
    double bestArea = 0;
    for (std::size_t i = 0; i < visibleFrames.size(); ++i) {
        const Rect overlap = visibleFrames[i].intersected(frame);
        const double area = overlap.width * overlap.height;
        if (area > bestArea) {
            bestArea = area;
            best = i;
        }
    }
    if (bestArea > 0)
        return best;
    if (visibleFrames.size() == 1)
        return 0;

    const double cx = frame.midX();
    const double cy = frame.midY();
    double bestDistance = std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < visibleFrames.size(); ++i) {
        const Rect& r = visibleFrames[i];
        const double dx = cx < r.minX() ? r.minX() - cx : (cx > r.maxX() ? cx - r.maxX() : 0);
        const double dy = cy < r.minY() ? r.minY() - cy : (cy > r.maxY() ? cy - r.maxY() : 0);
        const double distance = dx * dx + dy * dy;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    return best;
}

std::optional<Rect> adjacentVisibleFrame(WindowAction action, const std::vector<Rect>& visibleFrames, const Rect& current)
{
    const bool towardsLeft = action == WindowAction::leftHalf || action == WindowAction::firstThird;
    const bool towardsRight = action == WindowAction::rightHalf || action == WindowAction::lastThird;
    if (!towardsLeft && !towardsRight)
        return std::nullopt;

    std::optional<Rect> best;
    double bestDistance = 0;
    for (const Rect& r : visibleFrames) {
        const bool candidate = towardsLeft ? r.midX() < current.minX() + 1 : r.midX() > current.maxX() - 1;
        if (!candidate)
            continue;
        const double distance = std::fabs(r.midX() - current.midX());
        if (!best || distance < bestDistance) {
            best = r;
            bestDistance = distance;
        }
    }
    return best;
}

bool displayOrder(const Rect& a, const Rect& b)
{
    return a.minX() < b.minX() || (a.minX() == b.minX() && a.maxY() > b.maxY());
}

bool approximatelyEqual(const Rect& a, const Rect& b, double t)
{
    return std::fabs(a.minX() - b.minX()) <= t && std::fabs(a.minY() - b.minY()) <= t
        && std::fabs(a.width - b.width) <= t && std::fabs(a.height - b.height) <= t;
}

} // namespace quandrel
