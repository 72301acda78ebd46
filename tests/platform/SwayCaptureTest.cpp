// Screen copies on a real sway (headless, two outputs, the second turned or scaled): a window
// of known colour at a known place is found there, in the orientation and size the user sees.

#include "ScreenFreezer.h"
#include "SwayDesktop.h"
#include "SwayTestSupport.h"
#include "WlrScreencopy.h"

#include <QCoroTask>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

using namespace quandrel;
using quandrel::test::SwayClient;
using quandrel::test::SwayTestDesktop;

namespace {

constexpr std::uint32_t windowColour = 0xff306090; // quandrel-waylandwindow's fill

std::uint32_t pixelAt(const PixelBuffer& image, int x, int y)
{
    std::uint32_t pixel;
    std::memcpy(&pixel, image.data + y * image.bytesPerLine + x * 4, 4);
    return pixel;
}

} // namespace

// The second output turned or scaled: a window of known colour near its top left is found
// in its image where the user sees it, and grim (-s 1, layout pixels) sees the same pixels.
TEST(SwayCaptureTest, EveryOutputIsFrozenWithItsWindowsWhereTheUserSeesThem)
{
    SwayTestDesktop& sway = SwayTestDesktop::instance();
    auto desktop = sway::SwayDesktop::open();
    ASSERT_TRUE(desktop);
    struct Case {
        const char* output; // how HEADLESS-2 (1440 × 900 pixels) is set
        Size size;          // its size in the layout
    };
    const Case cases[] = {
        {"transform 90 scale 1", {900, 1440}},
        {"transform normal scale 2", {720, 450}},
    };
    QTemporaryDir folder;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.output);
        sway.run(std::string("output HEADLESS-1 mode 1440x900 position 0 0 transform normal scale 1, "
                             "output HEADLESS-2 mode 1440x900 position 1440 0 ") + c.output + ", focus output HEADLESS-1");
        SwayClient client;
        sway.run("[con_id=" + std::to_string(client.id()) + "] floating enable, border none, resize set width 300 px height 200 px, "
                 "move absolute position 1540 px 100 px");
        ASSERT_TRUE(client.settle());

        const FreezeRequest request{{{0, 0, 1440, 900}, {1440, 0, c.size.width, c.size.height}}, true};
        auto result = QCoro::waitFor(desktop->services().screen->freeze(request));
        ASSERT_TRUE(std::holds_alternative<FrozenScreens>(result)) << std::get<GrabFailure>(result).message;
        const auto& frozen = std::get<FrozenScreens>(result);
        ASSERT_EQ(frozen.images.size(), 2u);
        EXPECT_EQ(frozen.images[0].width, 1440);
        EXPECT_EQ(frozen.images[0].height, 900);
        const PixelBuffer& second = frozen.images[1];
        ASSERT_EQ(second.width, int(c.size.width));
        ASSERT_EQ(second.height, int(c.size.height));

        const QString grimFile = folder.filePath(QStringLiteral("grim.png"));
        ASSERT_EQ(std::system(("grim -s 1 -o HEADLESS-2 '" + grimFile.toStdString() + "'").c_str()), 0);
        const QImage grim(grimFile);
        ASSERT_EQ(grim.size(), QSize(int(c.size.width), int(c.size.height)));
        const int w = int(c.size.width), h = int(c.size.height);
        // The window's corners are inside, the places a wrong turn, flip or scale would put it are not.
        for (const auto& [x, y] : {std::pair{102, 102}, {397, 102}, {102, 297}, {397, 297}}) {
            EXPECT_EQ(pixelAt(second, x, y), windowColour) << x << "," << y;
            EXPECT_EQ(grim.pixel(x, y), windowColour) << "grim " << x << "," << y;
        }
        for (const auto& [x, y] : {std::pair{w - 50, 150}, {150, h - 30}, {w - 50, h - 30}, {98, 98}, {410, 310}}) {
            EXPECT_NE(pixelAt(second, x, y), windowColour) << x << "," << y;
            EXPECT_EQ(pixelAt(second, x, y), grim.pixel(x, y)) << "as grim sees it, " << x << "," << y;
        }

        ASSERT_TRUE(frozen.windows);
        const auto found = std::find_if(frozen.windows->begin(), frozen.windows->end(),
                                        [&](const ScreenWindow& sw) { return sw.handle == client.handle(); });
        ASSERT_NE(found, frozen.windows->end());
        EXPECT_EQ(found->frame, (Rect{1540, 100, 300, 200}));
    }
    sway.useStandardOutputs();
}

// Every wl_output transform on a 3 × 2 buffer: which buffer pixel lands at the turned image's
// top-left and top-right.
TEST(SwayCaptureTest, BuffersAreTurnedFlippedAndScaledAsTheOutputSays)
{
    const std::uint32_t pixels[] = {0, 1, 2, 3, 4, 5}; // rows: 0 1 2 / 3 4 5
    struct Case {
        int transform;
        bool yInverted;
        Size size;
        std::vector<std::uint32_t> topRow;
    };
    const Case cases[] = {
        {0, false, {3, 2}, {0, 1, 2}},
        {1, false, {2, 3}, {3, 0}},
        {2, false, {3, 2}, {5, 4, 3}},
        {3, false, {2, 3}, {2, 5}},
        {4, false, {3, 2}, {2, 1, 0}},
        {5, false, {2, 3}, {5, 2}},
        {6, false, {3, 2}, {3, 4, 5}},
        {7, false, {2, 3}, {0, 3}},
        {0, true, {3, 2}, {3, 4, 5}},
        {0, false, {6, 4}, {0, 0, 1, 1, 2, 2}}, // an output of scale 0.5
    };
    for (const Case& c : cases) {
        const wlroots::OutputBuffer buffer{3, 2, 12, reinterpret_cast<const std::uint8_t*>(pixels), false, c.transform, c.yInverted};
        const PixelBuffer image = wlroots::orientedImage(buffer, c.size);
        ASSERT_EQ(image.width, int(c.size.width));
        for (std::size_t x = 0; x < c.topRow.size(); ++x)
            EXPECT_EQ(pixelAt(image, int(x), 0), 0xff000000u | c.topRow[x]) << "transform " << c.transform << " x " << x;
    }
}
