#include "RGBA.h"

#include <gtest/gtest.h>

#include <unordered_set>

using namespace quandrel;

TEST(RGBATest, PaletteIsTheSevenColoursInToolbarOrder)
{
    const RGBA expected[] = {{1.0, 0.23, 0.19, 1.0}, {1.0, 0.58, 0.0, 1.0}, {1.0, 0.84, 0.04, 1.0}, {0.2, 0.78, 0.35, 1.0},
                             {0.0, 0.48, 1.0, 1.0},  {0.0, 0.0, 0.0, 1.0},  {1.0, 1.0, 1.0, 1.0}};
    ASSERT_EQ(editorPalette.size(), std::size(expected));
    for (size_t i = 0; i < editorPalette.size(); ++i)
        EXPECT_EQ(editorPalette[i], expected[i]) << "swatch " << i;
}

TEST(RGBATest, EqualityIsExact)
{
    const RGBA red{1.0, 0.23, 0.19, 1.0};
    EXPECT_EQ(red, (RGBA{1.0, 0.23, 0.19, 1.0}));
    EXPECT_NE(red, (RGBA{1.0, 0.23 + 1e-12, 0.19, 1.0}));
    EXPECT_NE(red, (RGBA{1.0, 0.23, 0.19, 0.999}));
}

TEST(RGBATest, EqualColoursHashEqually)
{
    std::unordered_set<RGBA> set(editorPalette.begin(), editorPalette.end());
    EXPECT_EQ(set.size(), 7u);
    EXPECT_TRUE(set.contains(RGBA{0.0, 0.48, 1.0, 1.0}));
    EXPECT_EQ(qHash(editorPalette[2]), qHash(RGBA{1.0, 0.84, 0.04, 1.0}));
}

TEST(RGBATest, ConvertsColoursOfEveryModelToSRGB)
{
    EXPECT_EQ(RGBA::fromColor(QColor(255, 0, 0)), (RGBA{1, 0, 0, 1}));
    EXPECT_EQ(RGBA::fromColor(QColor(0, 0, 255, 0)), (RGBA{0, 0, 1, 0}));
    // Pure green given as HSV comes out as sRGB components.
    const RGBA green = RGBA::fromColor(QColor::fromHsvF(1.0f / 3, 1, 1));
    EXPECT_NEAR(green.red, 0, 1e-4);
    EXPECT_NEAR(green.green, 1, 1e-4);
    EXPECT_NEAR(green.blue, 0, 1e-4);
    const RGBA cyan = RGBA::fromColor(QColor::fromCmykF(1, 0, 0, 0));
    EXPECT_NEAR(cyan.red, 0, 1e-4);
    EXPECT_NEAR(cyan.green, 1, 1e-4);
    EXPECT_NEAR(cyan.blue, 1, 1e-4);
}

TEST(RGBATest, AColourWithoutAnSRGBFormGivesTheSystemRed)
{
    EXPECT_EQ(RGBA::fromColor(QColor()), systemRed);
    EXPECT_EQ(systemRed, (RGBA{1.0, 0.23, 0.19, 1.0}));
}

TEST(RGBATest, ExtendedRangeComponentsStayWithinZeroAndOne)
{
    const RGBA clamped = RGBA::fromColor(QColor::fromRgbF(1.5f, -0.25f, 0.5f, 1.0f));
    EXPECT_GE(clamped.red, 0.0);
    EXPECT_LE(clamped.red, 1.0);
    EXPECT_GE(clamped.green, 0.0);
    EXPECT_LE(clamped.green, 1.0);
}

TEST(RGBATest, RoundTripsThroughQColorForEightBitValues)
{
    for (const RGBA& swatch : editorPalette) {
        const QColor color = swatch.toColor();
        EXPECT_EQ(color.red(), qRound(swatch.red * 255));
        EXPECT_EQ(color.green(), qRound(swatch.green * 255));
        EXPECT_EQ(color.blue(), qRound(swatch.blue * 255));
    }
    EXPECT_EQ(RGBA::fromColor(RGBA{1, 0, 1, 1}.toColor()), (RGBA{1, 0, 1, 1}));
}

TEST(RGBATest, LuminanceWeighsTheChannels)
{
    EXPECT_NEAR((RGBA{1.0, 0.84, 0.04, 1.0}).luminance(), 0.79664, 1e-9);
    EXPECT_NEAR((RGBA{1.0, 0.23, 0.19, 1.0}).luminance(), 0.45567, 1e-9);
}
