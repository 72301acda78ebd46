#include "WindowLayout.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace quandrel;

namespace {

const Rect landscape{0, 0, 1440, 875};
const Rect portrait{0, 0, 1080, 1895};
const Rect anyWindow{100, 100, 500, 400};

struct Row {
    WindowAction action;
    int step;
    Rect visible;
    double gap;
    Rect expected;
};

// Each row's frame must also stay inside the gap-inset visible frame.
const Row rows[] = {
    {WindowAction::leftHalf, 0, landscape, 8, {8, 8, 708, 859}},
    {WindowAction::rightHalf, 0, landscape, 8, {724, 8, 708, 859}},
    {WindowAction::leftHalf, 1, landscape, 8, {8, 8, 945, 859}},
    {WindowAction::leftHalf, 2, landscape, 8, {8, 8, 471, 859}},
    {WindowAction::leftHalf, 3, landscape, 8, {8, 8, 708, 859}},
    {WindowAction::rightHalf, 1, landscape, 8, {487, 8, 945, 859}},
    {WindowAction::firstThird, 0, landscape, 8, {8, 8, 471, 859}},
    {WindowAction::firstThird, 1, landscape, 8, {487, 8, 466, 859}},
    {WindowAction::firstThird, 2, landscape, 8, {961, 8, 471, 859}},
    {WindowAction::lastThird, 0, landscape, 8, {961, 8, 471, 859}},
    {WindowAction::lastThird, 1, landscape, 8, {487, 8, 466, 859}},
    {WindowAction::lastThird, 2, landscape, 8, {8, 8, 471, 859}},
    {WindowAction::centerThird, 5, landscape, 8, {487, 8, 466, 859}},
    {WindowAction::topLeft, 0, landscape, 8, {8, 442, 708, 425}},
    {WindowAction::topLeft, 2, landscape, 8, {8, 442, 708, 425}},
    {WindowAction::bottomRight, 0, landscape, 8, {724, 8, 708, 426}},
    {WindowAction::maximize, 0, landscape, 8, {8, 8, 1424, 859}},
    {WindowAction::leftHalf, 0, landscape, 0, {0, 0, 720, 875}},
    {WindowAction::firstThird, 0, portrait, 8, {8, 1265, 1064, 622}},
    {WindowAction::firstThird, 1, portrait, 8, {8, 638, 1064, 619}},
    {WindowAction::firstThird, 2, portrait, 8, {8, 8, 1064, 622}},
    {WindowAction::firstTwoThirds, 0, portrait, 8, {8, 638, 1064, 1249}},
    {WindowAction::lastTwoThirds, 0, portrait, 8, {8, 8, 1064, 1249}},
    {WindowAction::firstTwoThirds, 0, landscape, 8, {8, 8, 945, 859}},
    // A square visible frame counts as landscape: thirds are columns.
    {WindowAction::centerThird, 0, Rect{0, 0, 900, 900}, 0, {300, 0, 300, 900}},
    // Displays away from the origin, e.g. a second monitor to the left and lower.
    {WindowAction::rightHalf, 0, Rect{-1440, -300, 1440, 900}, 8, {-716, -292, 708, 884}},
};

} // namespace

TEST(WindowLayout, TargetFramesMatchTheTable)
{
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(rawName(row.action)) + " step " + std::to_string(row.step));
        const auto frame = targetFrame(row.action, row.step, row.visible, anyWindow, row.gap);
        ASSERT_TRUE(frame);
        EXPECT_EQ(*frame, row.expected) << toString(*frame);
        const Rect area = row.visible.insetBy(row.gap, row.gap);
        EXPECT_GE(frame->minX(), area.minX());
        EXPECT_LE(frame->maxX(), area.maxX());
        EXPECT_GE(frame->minY(), area.minY());
        EXPECT_LE(frame->maxY(), area.maxY());
    }
}

TEST(WindowLayout, NeighbouringTilesAreExactlyOneGapApart)
{
    for (const double gap : {0.0, 5.0, 8.0, 13.0}) {
        for (const Rect& visible : {landscape, Rect{37, 11, 1921, 1043}, Rect{0, 0, 1081, 1917}}) {
            const Rect left = *targetFrame(WindowAction::leftHalf, 0, visible, anyWindow, gap);
            const Rect right = *targetFrame(WindowAction::rightHalf, 0, visible, anyWindow, gap);
            const Rect top = *targetFrame(WindowAction::topHalf, 0, visible, anyWindow, gap);
            const Rect bottom = *targetFrame(WindowAction::bottomHalf, 0, visible, anyWindow, gap);
            // Rounding edges (not sizes) keeps the distance within one point of the gap.
            EXPECT_NEAR(right.minX() - left.maxX(), gap, 1);
            EXPECT_NEAR(top.minY() - bottom.maxY(), gap, 1);
            const Rect t0 = *targetFrame(WindowAction::firstThird, 0, visible, anyWindow, gap);
            const Rect t1 = *targetFrame(WindowAction::firstThird, 1, visible, anyWindow, gap);
            const Rect t2 = *targetFrame(WindowAction::firstThird, 2, visible, anyWindow, gap);
            if (visible.width >= visible.height) {
                EXPECT_NEAR(t1.minX() - t0.maxX(), gap, 1);
                EXPECT_NEAR(t2.minX() - t1.maxX(), gap, 1);
            } else {
                EXPECT_NEAR(t0.minY() - t1.maxY(), gap, 1);
                EXPECT_NEAR(t1.minY() - t2.maxY(), gap, 1);
            }
            EXPECT_TRUE(t0.intersected(t1).isEmpty() && t1.intersected(t2).isEmpty());
        }
    }
}

TEST(WindowLayout, SingleFrames)
{
    for (const WindowAction a : allWindowActions) {
        const bool none = a == WindowAction::restore || a == WindowAction::nextDisplay || a == WindowAction::previousDisplay;
        EXPECT_EQ(!targetFrame(a, 0, landscape, anyWindow, 8), none) << rawName(a);
        EXPECT_EQ(windowActionFromRawName(rawName(a)), a);
    }
    EXPECT_FALSE(windowActionFromRawName("LeftHalf"));
    EXPECT_EQ(repeatBehaviorFromRawName("acrossDisplays"), RepeatBehavior::acrossDisplays);
    EXPECT_FALSE(repeatBehaviorFromRawName("Nothing"));
    const struct {
        WindowAction action;
        Rect window, expected;
    } rows[] = {
        {WindowAction::almostMaximize, anyWindow, {72, 44, 1296, 788}},
        {WindowAction::center, {-50, -50, 3000, 2000}, landscape}, // larger than the display: the visible frame
        {WindowAction::center, {0, 0, 501, 401}, {470, 237, 501, 401}},
        {WindowAction::maximizeHeight, {-300, 40, 2000, 100}, {-300, 8, 1424, 859}}, // keeps x even outside
        {WindowAction::larger, {1340, 775, 100, 100}, {1240, 715, 200, 160}},         // clamped into the frame
    };
    for (const auto& row : rows)
        EXPECT_EQ(*targetFrame(row.action, 0, landscape, row.window, 8), row.expected) << rawName(row.action);
    EXPECT_EQ(resizedFrame({100, 100, 220, 160}, -30, landscape), (Rect{110, 105, 200, 150})); // the smallest size
    EXPECT_EQ(resizedFrame(landscape, 30, landscape), landscape);
    EXPECT_EQ(resizedFrame({0, 0, 400, 300}, 30, landscape), (Rect{0, 0, 460, 360}));
    const Rect a{10, 10, 100, 100}; // approximately equal: inclusive at four points
    EXPECT_TRUE(approximatelyEqual(a, {14, 10, 100, 100}, 4));
    EXPECT_TRUE(approximatelyEqual(a, {10, 6, 104, 96}, 4));
    EXPECT_FALSE(approximatelyEqual(a, {14.5, 10, 100, 100}, 4));
    EXPECT_FALSE(approximatelyEqual(a, {10, 10, 100, 104.5}, 4));
}

TEST(WindowLayout, Displays)
{
    const Rect source{0, 0, 1440, 875}, destination{1440, 0, 1920, 1055};
    EXPECT_EQ(frameOnDisplay({940, 100, 500, 400}, source, destination), (Rect{2860, 138, 500, 400})); // flush right stays
    EXPECT_EQ(frameOnDisplay({0, 0, 1440, 875}, source, destination).minX(), 1440);
    EXPECT_EQ(frameOnDisplay({0, 0, 1440, 875}, destination, source), (Rect{0, 0, 1440, 875})); // shrunk to fit
    EXPECT_EQ(frameOnDisplay({-900, 5000, 500, 400}, source, destination), (Rect{1440, 655, 500, 400})); // fractions clamp

    const std::vector<Rect> frames{source, destination};
    EXPECT_FALSE(screenIndex({}, anyWindow));
    EXPECT_EQ(screenIndex(frames, {1000, 100, 600, 400}), 0u);
    EXPECT_EQ(screenIndex(frames, {1300, 100, 600, 400}), 1u);
    EXPECT_EQ(screenIndex(frames, {1240, 100, 400, 400}), 0u); // equal overlap: the earlier display
    EXPECT_EQ(screenIndex(frames, {100, 880, 300, 10}), 0u);   // in no display: the nearest
    EXPECT_EQ(screenIndex(frames, {3500, 2000, 100, 100}), 1u);
    EXPECT_EQ(screenIndex({landscape}, {5000, 5000, 10, 10}), 0u);

    const Rect left{-1440, 0, 1440, 900}, middle{0, 0, 1440, 875}, farRight{2880, 0, 1440, 900}, right{1440, 0, 1440, 900};
    const std::vector<Rect> row{middle, farRight, left, right};
    EXPECT_EQ(adjacentVisibleFrame(WindowAction::leftHalf, row, middle), left);
    EXPECT_EQ(adjacentVisibleFrame(WindowAction::firstThird, row, middle), left);
    EXPECT_EQ(adjacentVisibleFrame(WindowAction::rightHalf, row, middle), right);
    EXPECT_EQ(adjacentVisibleFrame(WindowAction::lastThird, row, middle), right);
    EXPECT_FALSE(adjacentVisibleFrame(WindowAction::leftHalf, row, left));
    EXPECT_FALSE(adjacentVisibleFrame(WindowAction::topHalf, row, middle));
    EXPECT_TRUE(displayOrder(left, middle));
    EXPECT_FALSE(displayOrder(middle, left));
    EXPECT_TRUE(displayOrder({0, 900, 100, 100}, {0, 0, 100, 100})); // same left edge: the upper one first
    EXPECT_FALSE(displayOrder(middle, middle));
}

TEST(WindowLayout, ExtremeGapsAreClampedToWhatTheFrameAllows)
{
    // Negative and non-numeric gaps count as none; huge ones as an eighth of the short side.
    EXPECT_EQ(*targetFrame(WindowAction::leftHalf, 0, landscape, anyWindow, -20), (Rect{0, 0, 720, 875}));
    EXPECT_EQ(*targetFrame(WindowAction::leftHalf, 0, landscape, anyWindow, std::nan("")), (Rect{0, 0, 720, 875}));
    const double most = usableGap(1e9, landscape);
    EXPECT_EQ(most, 109);
    for (const double gap : {500.0, 1e308, std::numeric_limits<double>::infinity()}) {
        for (const WindowAction action : {WindowAction::leftHalf, WindowAction::centerThird, WindowAction::bottomRight,
                                          WindowAction::maximize, WindowAction::maximizeHeight}) {
            const Rect r = *targetFrame(action, 0, landscape, anyWindow, gap);
            EXPECT_EQ(r, *targetFrame(action, 0, landscape, anyWindow, most)) << rawName(action) << " gap " << gap;
            EXPECT_GE(r.width, 100) << rawName(action);
            EXPECT_GE(r.height, 100) << rawName(action);
            EXPECT_TRUE(landscape.intersected(r) == r) << rawName(action) << " " << toString(r);
        }
    }
    // Everyday gaps are untouched.
    EXPECT_EQ(usableGap(30, landscape), 30);
}

TEST(WindowLayout, SmallerWindowsKeepTheTilesOuterEdges)
{
    const Size small{300, 200};
    auto place = [&](WindowAction action, int step = 0) {
        const Rect tile = *targetFrame(action, step, landscape, anyWindow, 8);
        return anchoredFrame(tile, small, tileAnchor(action, tile, landscape));
    };
    // Screen space, y up: the top edge of the area is 875 - 8 = 867.
    EXPECT_EQ(place(WindowAction::leftHalf), (Rect{8, 667, 300, 200}));
    EXPECT_EQ(place(WindowAction::rightHalf), (Rect{1132, 667, 300, 200}));
    EXPECT_EQ(place(WindowAction::rightHalf, 1), (Rect{1132, 667, 300, 200}));
    EXPECT_EQ(place(WindowAction::bottomHalf), (Rect{8, 8, 300, 200}));
    EXPECT_EQ(place(WindowAction::topHalf), (Rect{8, 667, 300, 200}));
    EXPECT_EQ(place(WindowAction::bottomRight), (Rect{1132, 8, 300, 200}));
    EXPECT_EQ(place(WindowAction::lastThird), (Rect{1132, 667, 300, 200}));
    EXPECT_EQ(place(WindowAction::maximize), (Rect{8, 667, 300, 200}));
    // A middle third and the centred actions keep their centre.
    const Rect middle = *targetFrame(WindowAction::centerThird, 0, landscape, anyWindow, 8);
    EXPECT_EQ(place(WindowAction::centerThird).midX(), middle.midX());
    EXPECT_EQ(tileAnchor(WindowAction::almostMaximize, middle, landscape), (TileAnchor{TileEdge::centre, TileEdge::centre}));
    // A portrait display's bottom third keeps the bottom edge.
    const Rect lastRow = *targetFrame(WindowAction::lastThird, 0, portrait, anyWindow, 8);
    EXPECT_EQ(anchoredFrame(lastRow, small, tileAnchor(WindowAction::lastThird, lastRow, portrait)).minY(), 8);
}
