// The strut and work-area arithmetic of the X11 displays, as a table.

#include "WorkArea.h"

#include <gtest/gtest.h>

#include <limits>

using namespace quandrel;
using namespace quandrel::x11;

namespace {

using Values = std::vector<std::uint32_t>;

// Two 1440 × 900 monitors side by side and a 1080 × 1920 portrait one to their right, in
// root coordinates: the root window is 3960 × 1920.
const Size root{3960, 1920};
const Rect left{0, 0, 1440, 900};
const Rect right{1440, 0, 1440, 900};
const Rect portrait{2880, 0, 1080, 1920};

Strut partial(const Values& v) { return *strutFrom(v, {}, root); }
Strut plain(const Values& v, std::optional<Rect> panel = std::nullopt) { return *strutFrom({}, v, root, panel); }

TEST(WorkArea, StrutsComeFromThePartialPropertyElseThePlainOne)
{
    EXPECT_EQ(strutFrom({}, {}, root), std::nullopt);
    EXPECT_EQ(strutFrom({1, 2, 3}, {1, 2}, root), std::nullopt); // too short to mean anything
    EXPECT_EQ(strutFrom({}, {0, 0, 0, 0}, root), std::nullopt); // a hidden panel reserves nothing
    const Strut p = partial({0, 0, 0, 30, 0, 0, 0, 0, 0, 0, 0, 1439});
    EXPECT_EQ(p.bottom, 30);
    EXPECT_EQ(p.bottomEnd, 1439);
    // Partial wins; a plain strut covers each edge's whole length.
    EXPECT_EQ(*strutFrom({0, 0, 0, 30, 0, 0, 0, 0, 0, 0, 0, 1439}, {40, 0, 0, 0}, root), p);
    const Strut full = plain({40, 0, 0, 0});
    EXPECT_EQ(full.left, 40);
    EXPECT_EQ(full.leftStart, 0);
    EXPECT_EQ(full.leftEnd, 1919);
    EXPECT_EQ(full.bottomEnd, 3959);
}

TEST(WorkArea, StrutsShrinkTheMonitorsTheyReach)
{
    struct Row {
        const char* what;
        Rect monitor;
        std::vector<Strut> struts;
        Values workArea;
        Rect visible;
    };
    const Row rows[] = {
        {"no struts, no work area", left, {}, {}, left},
        {"a left panel", left, {plain({48, 0, 0, 0})}, {}, {48, 0, 1392, 900}},
        {"a left panel leaves the other monitor alone", right, {plain({48, 0, 0, 0})}, {}, right},
        {"a top bar across the whole root", right, {plain({0, 0, 28, 0})}, {}, {1440, 28, 1440, 872}},
        {"a right dock reaches only the rightmost monitor", portrait, {plain({0, 64, 0, 0})}, {}, {2880, 0, 1016, 1920}},
        {"a right dock misses a monitor away from the root's right edge", right, {plain({0, 64, 0, 0})}, {}, right},
        // A bottom strut is measured from the root's bottom edge: 1920 - 1050 = 870 is inside
        // the 900-high monitors, so the panel at the foot of the tall monitor reaches into them.
        {"a plain bottom strut from the tall monitor reaches the short ones", left, {plain({0, 0, 0, 1050})}, {}, {0, 0, 1440, 870}},
        {"a partial bottom panel on the portrait monitor only", left,
         {partial({0, 0, 0, 40, 0, 0, 0, 0, 0, 0, 2880, 3959})}, {}, left},
        {"the same panel on the portrait monitor", portrait,
         {partial({0, 0, 0, 40, 0, 0, 0, 0, 0, 0, 2880, 3959})}, {}, {2880, 0, 1080, 1880}},
        {"a partial top bar spanning only the left monitor", left,
         {partial({0, 0, 30, 0, 0, 0, 0, 0, 0, 1439, 0, 0})}, {}, {0, 30, 1440, 870}},
        {"the same bar leaves the right monitor alone", right,
         {partial({0, 0, 30, 0, 0, 0, 0, 0, 0, 1439, 0, 0})}, {}, right},
        {"a bar starting where the left monitor ends leaves it alone", left,
         {partial({0, 0, 30, 0, 0, 0, 0, 0, 1440, 2879, 0, 0})}, {}, left},
        {"a partial right strut along the portrait monitor's lower half only", portrait,
         {Strut{}, partial({0, 50, 0, 0, 0, 0, 1000, 1919, 0, 0, 0, 0})}, {},
         {2880, 0, 1030, 1920}},
        {"struts on every edge at once", left,
         {plain({10, 0, 0, 0}), plain({0, 0, 20, 0}), partial({0, 0, 0, 1040, 0, 0, 0, 0, 0, 0, 0, 1439})}, {},
         {10, 20, 1430, 860}},
        // A plain strut of a panel whose place is known: only the panel's own monitors, the
        // width from the root's edge where that reaches into the monitor, else from the
        // monitor's own edge.
        {"a panel's plain bottom strut from the root's edge, on its own monitor", left,
         {plain({0, 0, 0, 1050}, Rect{0, 870, 1440, 30})}, {}, {0, 0, 1440, 870}},
        {"the same panel leaves the portrait monitor alone", portrait,
         {plain({0, 0, 0, 1050}, Rect{0, 870, 1440, 30})}, {}, portrait},
        {"a panel's plain bottom strut from its monitor's edge", left,
         {plain({0, 0, 0, 26}, Rect{0, 874, 1440, 26})}, {}, {0, 0, 1440, 874}},
        {"the same panel leaves the portrait monitor alone", portrait,
         {plain({0, 0, 0, 26}, Rect{0, 874, 1440, 26})}, {}, portrait},
        {"a panel across two monitors", right,
         {plain({0, 0, 24, 0}, Rect{0, 0, 2880, 24})}, {}, {1440, 24, 1440, 876}},
        {"a panel's plain left strut on the monitor away from the root's edge", right,
         {plain({1488, 0, 0, 0}, Rect{1440, 0, 48, 900})}, {}, {1488, 0, 1392, 900}},
        {"a panel's plain right strut counted from the monitor's edge", right,
         {plain({0, 64, 0, 0}, Rect{2816, 0, 64, 900})}, {}, {1440, 0, 1376, 900}},
        {"the work area counts where no strut was declared", left, {}, {0, 24, 3960, 1896}, {0, 24, 1440, 876}},
        {"the work area is ignored beside struts", left, {plain({0, 0, 28, 0})}, {0, 100, 3960, 1820}, {0, 28, 1440, 872}},
        {"a work area that misses the monitor is ignored", left, {}, {2880, 0, 1080, 1920}, left},
        {"a work area too short to read is ignored", left, {}, {0, 24, 3960}, left},
        // Absurd values: nothing may vanish because of one broken client.
        {"a strut wider than the monitor", left, {plain({5000, 0, 0, 0})}, {}, left},
        {"a strut of the largest cardinal", right, {plain({0, 0, std::numeric_limits<std::uint32_t>::max(), 0})}, {}, right},
        {"a bottom strut taller than the root", left, {plain({0, 0, 0, 4000})}, {}, left},
        {"a range that ends before it starts", left, {partial({0, 0, 30, 0, 0, 0, 0, 0, 1439, 0, 0, 0})}, {}, left},
        {"an absurd work area", left, {}, {4000000000u, 4000000000u, 10, 10}, left},
    };
    for (const Row& row : rows)
        EXPECT_EQ(visibleArea(row.monitor, row.struts, root, row.workArea), row.visible) << row.what;
}

TEST(WorkArea, TheWorkAreaCountsOnlyOnMonitorsOfOneSize)
{
    // The part every monitor has, as icewm publishes it for a 1440 × 900 and a portrait monitor.
    EXPECT_EQ(visibleAreas({left, portrait}, {}, root, {0, 0, 2520, 874}), (std::vector<Rect>{left, portrait}));
    EXPECT_EQ(visibleAreas({left, right}, {}, root, {0, 0, 2880, 874}), (std::vector<Rect>{{0, 0, 1440, 874}, {1440, 0, 1440, 874}}));
    EXPECT_EQ(visibleAreas({portrait}, {}, root, {2880, 30, 1080, 1890}), (std::vector<Rect>{{2880, 30, 1080, 1890}}));
}

} // namespace
