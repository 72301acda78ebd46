#include "ScreenSpace.h"

#include <gtest/gtest.h>

using namespace quandrel;

namespace {

// Two displays: a 1440 × 900 primary and a 1080 × 1920 portrait display to its right whose top
// is 300 points above the primary's top, so its window-space y is negative.
const std::vector<Display> displays{
    {"primary", {0, 0, 1440, 900}, {0, 0, 1440, 875}, 1},
    {"portrait", {1440, -720, 1080, 1920}, {1440, -720, 1080, 1920}, 1},
};

TEST(ScreenSpace, ConvertsRectanglesBothWays)
{
    const ScreenSpace space = ScreenSpace::of(displays);
    EXPECT_EQ(space.primaryHeight(), 900);
    struct Row {
        Rect screen;
        Rect window;
    };
    const Row rows[] = {
        {{0, 0, 1440, 900}, {0, 0, 1440, 900}},         // the primary display itself
        {{0, 450, 720, 450}, {0, 0, 720, 450}},         // its top-left quarter
        {{0, 0, 720, 450}, {0, 450, 720, 450}},         // its bottom-left quarter
        {{1440, -720, 1080, 1920}, {1440, -300, 1080, 1920}}, // the portrait display
        {{10, 20, 0, 0}, {10, 880, 0, 0}},              // an empty rectangle keeps its corner
    };
    for (const Row& row : rows) {
        EXPECT_EQ(space.toWindow(row.screen), row.window) << toString(row.screen);
        EXPECT_EQ(space.fromWindow(row.window), row.screen) << toString(row.window);
        EXPECT_EQ(space.fromWindow(space.toWindow(row.screen)), row.screen);
    }
    EXPECT_EQ(ScreenSpace::of({}).primaryHeight(), 0);
    // Points follow the same flip.
    EXPECT_EQ(space.fromWindow(Point{5, 0}), (Point{5, 900}));
    EXPECT_EQ(space.fromWindow(Point{5, 899}), (Point{5, 1}));
    EXPECT_EQ(space.toWindow(Point{5, -100}), (Point{5, 1000}));
}

// A pointer on a pixel row or column belongs to exactly one display, in either space: the
// left and top edges belong to a rectangle, the right and bottom edges to the neighbour.
TEST(ScreenSpace, ContainmentMatchesPixelsInBothSpaces)
{
    const ScreenSpace space = ScreenSpace::of(displays);
    const Rect primary = displays[0].frame;
    const Rect portrait = displays[1].frame;
    struct Row {
        Point windowPixel; // the pointer as the X server reports it
        bool onPrimary;
        bool onPortrait;
    };
    const Row rows[] = {
        {{0, 0}, true, false},        // top-left pixel of the primary
        {{1439, 899}, true, false},   // its bottom-right pixel
        {{1440, 0}, false, true},     // first column of the portrait display
        {{1439, 900}, false, false},  // just below the primary
        {{2519, -300}, false, true},  // top-right pixel of the portrait display
        {{2519, 1619}, false, true},  // its bottom-right pixel
        {{2520, 0}, false, false},    // right of everything
        {{1500, -301}, false, false}, // above the portrait display
    };
    for (const Row& row : rows) {
        const Point p = space.fromWindow(row.windowPixel);
        EXPECT_EQ(containsPoint(primary, p), row.onPrimary) << toString(row.windowPixel);
        EXPECT_EQ(containsPoint(portrait, p), row.onPortrait) << toString(row.windowPixel);
    }
    EXPECT_FALSE(containsPoint({10, 10, 0, 5}, {10, 12}));
}

} // namespace

// Every backend leads its display list with the same display: the named primary, else the
// one at the layout's origin, else the topmost, then leftmost.
TEST(PivotDisplay, PrimaryElseOriginElseTopLeft)
{
    struct Row {
        std::vector<Rect> frames;
        std::optional<std::size_t> primary;
        std::size_t expected;
    };
    const Rect a{1920, 0, 1280, 1024}, origin{0, 0, 1920, 1080}, below{0, 1080, 1920, 1080}, left{-1280, 200, 1280, 1024};
    for (const Row& row : std::vector<Row>{
             {{a, origin}, 0, 0},
             {{a, origin}, std::nullopt, 1},
             {{below, left, a}, std::nullopt, 2}, // none at the origin: the topmost
             {{below, a}, std::nullopt, 1},
             {{a, origin}, 7, 1}, // a primary index out of range is no primary
             {{}, std::nullopt, 0},
         }) {
        EXPECT_EQ(pivotDisplay(row.frames, row.primary), row.expected);
    }
    std::vector<int> list{1, 2, 3, 4};
    leadWith(list, 2);
    EXPECT_EQ(list, (std::vector<int>{3, 1, 2, 4}));
}
