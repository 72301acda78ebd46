// Rendering checks by pixel probes on small images. Coordinates are image pixel space
// (origin bottom-left, y up); pixelAt reads the pixel containing a point.

#include "AnnotationRenderer.h"
#include "EditorGeometry.h"
#include "EditorTestSupport.h"
#include "TextMeasure.h"

#include <QPainter>
#include <gtest/gtest.h>

#include <cmath>

using namespace quandrel;
using Kind = Annotation::Kind;

namespace {

constexpr RGBA blue{0.0, 0.48, 1.0, 1.0};
constexpr RGBA yellow{1.0, 0.84, 0.04, 1.0};
constexpr RGBA red{1.0, 0.23, 0.19, 1.0};

QColor white() { return QColor(255, 255, 255); }
QColor black() { return QColor(0, 0, 0); }

bool isBackground(const QColor& c) { return near(c, white(), 8); }

// A source whose every pixel differs: red = column, green = row from the top, blue fixed.
QImage gradientImage(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb(x * 255 / (width - 1), y * 255 / (height - 1), 77));
    return image;
}

} // namespace

TEST(ImageSpaceTest, TheOriginIsTheBottomLeftPixel)
{
    const QImage source = filledImage(20, 10, white());
    const Annotation mark = Annotation::create(Kind::highlight(), {0, 0}, {2, 2}, {0, 0, 0, 1}, 1);
    const QImage image = rendered(source, {mark});
    EXPECT_NE(image.pixelColor(0, 9), white()); // bottom-left in QImage rows
    EXPECT_EQ(image.pixelColor(0, 0), white());
    EXPECT_EQ(image.pixelColor(19, 9), white());
}

// --- highlight -------------------------------------------------------------------------

TEST(HighlightTest, OverWhiteShowsTheColourAtFortyPercent)
{
    const QImage image = rendered(filledImage(20, 20, white()),
                                  {Annotation::create(Kind::highlight(), {2, 2}, {18, 18}, blue, 4)});
    // 0.6 + 0.4 × component
    const QColor expected(qRound(255 * 0.6), qRound(255 * (0.6 + 0.4 * 0.48)), 255);
    EXPECT_PRED3(near, pixelAt(image, 10, 10), expected, 2);
    EXPECT_EQ(pixelAt(image, 1, 10), white()); // outside the rectangle: the line width does not count
}

TEST(HighlightTest, OverBlackStaysBlack)
{
    const QImage image = rendered(filledImage(20, 20, black()),
                                  {Annotation::create(Kind::highlight(), {2, 2}, {18, 18}, yellow, 4)});
    EXPECT_PRED3(near, pixelAt(image, 10, 10), black(), 1);
}

TEST(HighlightTest, MultipliesWithWhatIsBeneath)
{
    // Grey 50 % beneath a blue highlight: red channel 0.5 × 0.6 = 0.3.
    const QImage image = rendered(filledImage(20, 20, QColor(128, 128, 128)),
                                  {Annotation::create(Kind::highlight(), {0, 0}, {20, 20}, blue, 4)});
    EXPECT_PRED3(near, pixelAt(image, 10, 10), QColor(77, 102, 128), 2);
}

TEST(HighlightTest, TheDocumentAlphaIsReplacedNotMultiplied)
{
    const RGBA faint{0.0, 0.48, 1.0, 0.1};
    const QImage image = rendered(filledImage(20, 20, white()),
                                  {Annotation::create(Kind::highlight(), {0, 0}, {20, 20}, faint, 4)});
    EXPECT_PRED3(near, pixelAt(image, 10, 10), QColor(153, 202, 255), 2);
}

// --- pixelate --------------------------------------------------------------------------

TEST(PixelateTest, TheCellGridStartsAtTheAreasBottomLeftCorner)
{
    const QImage source = gradientImage(60, 40);
    // Area (3, 5, 25, 17); cell 10: columns from x = 3, rows from y = 5 upwards, so the
    // partial row of cells is at the top, 7 pixels high.
    const auto pixels = pixelatedRegion(source, QRectF(3, 5, 25, 17), 10);
    ASSERT_TRUE(pixels);
    ASSERT_EQ(pixels->size(), QSize(25, 17));
    const auto cellOf = [](int x, int rowFromTop) { return std::pair(x / 10, (16 - rowFromTop) / 10); };
    for (int y = 0; y < 17; ++y) {
        for (int x = 0; x < 25; ++x) {
            for (const auto& [nx, ny] : {std::pair(x + 1, y), std::pair(x, y + 1)}) {
                if (nx >= 25 || ny >= 17)
                    continue;
                const bool sameCell = cellOf(x, y) == cellOf(nx, ny);
                EXPECT_EQ(pixels->pixel(x, y) == pixels->pixel(nx, ny), sameCell)
                    << "pixels (" << x << "," << y << ") and (" << nx << "," << ny << ")";
            }
        }
    }
}

TEST(PixelateTest, EachCellIsTheAverageOfTheSourcePixelsItCovers)
{
    const QImage source = gradientImage(60, 40);
    const auto pixels = pixelatedRegion(source, QRectF(3, 5, 25, 17), 10);
    ASSERT_TRUE(pixels);
    // The bottom-left cell: area columns 0…9 (source x 3…12), area rows from the bottom 0…9
    // (source rows from the top 40 − 5 − 10 = 25 … 34).
    int red = 0, green = 0;
    for (int y = 25; y <= 34; ++y)
        for (int x = 3; x <= 12; ++x) {
            red += qRed(source.pixel(x, y));
            green += qGreen(source.pixel(x, y));
        }
    const QColor cell = pixels->pixelColor(0, 16);
    EXPECT_NEAR(cell.red(), red / 100.0, 0.5);
    EXPECT_NEAR(cell.green(), green / 100.0, 0.5);
    EXPECT_EQ(cell.blue(), 77);
    EXPECT_EQ(cell.alpha(), 255);
}

TEST(PixelateTest, DrawingCoversTheAreaAndLeavesTheRestAlone)
{
    const QImage source = gradientImage(60, 40);
    // Line width 4: cell max(12, 10) = 12.
    const Annotation area = Annotation::create(Kind::pixelate(), {40, 30}, {4, 6}, red, 4);
    const QImage image = rendered(source, {area});
    const auto pixels = pixelatedRegion(source, QRectF(4, 6, 36, 24), 12);
    ASSERT_TRUE(pixels);
    for (int y = 6; y < 30; ++y)
        for (int x = 4; x < 40; ++x)
            ASSERT_EQ(pixelAt(image, x + 0.5, y + 0.5), pixels->pixelColor(x - 4, 29 - y)) << x << "," << y;
    // Uniform within the first 12 × 12 cell, different in the next one.
    EXPECT_EQ(pixelAt(image, 4.5, 6.5), pixelAt(image, 15.5, 17.5));
    EXPECT_NE(pixelAt(image, 15.5, 6.5), pixelAt(image, 16.5, 6.5));
    EXPECT_NE(pixelAt(image, 4.5, 17.5), pixelAt(image, 4.5, 18.5));
    EXPECT_EQ(pixelAt(image, 3.5, 10.5), pixelAt(source, 3.5, 10.5));
    EXPECT_EQ(pixelAt(image, 40.5, 10.5), pixelAt(source, 40.5, 10.5));
}

TEST(PixelateTest, ReadsTheCapturedImageNotTheAnnotationsBeneath)
{
    const QImage source = filledImage(40, 40, white());
    const Annotation under = Annotation::create(Kind::highlight(), {0, 0}, {40, 40}, {0, 0, 0, 1}, 1);
    const Annotation area = Annotation::create(Kind::pixelate(), {10, 10}, {30, 30}, red, 1);
    const QImage image = rendered(source, {under, area});
    EXPECT_EQ(pixelAt(image, 20, 20), white());
    EXPECT_PRED3(near, pixelAt(image, 5, 5), QColor(153, 153, 153), 1); // the highlight beneath
}

TEST(PixelateTest, AnAreaOutsideTheImageGivesNothing)
{
    const QImage source = gradientImage(20, 20);
    EXPECT_EQ(pixelatedRegion(source, QRectF(-3, 0, 3, 10), 10), std::nullopt);
    EXPECT_EQ(pixelatedRegion(source, QRectF(25, 25, 5, 5), 10), std::nullopt);
    // A sliver rounds outwards to one whole pixel.
    const auto sliver = pixelatedRegion(source, QRectF(5.2, 5.2, 0.3, 0.3), 10);
    ASSERT_TRUE(sliver);
    EXPECT_EQ(sliver->size(), QSize(1, 1));
    EXPECT_EQ(sliver->pixel(0, 0), source.pixel(5, 14));
}

TEST(PixelateTest, AnAreaPartlyOutsidePixelatesTheInsideIntoTheWholeRectangle)
{
    const QImage source = gradientImage(20, 20);
    const auto inside = pixelatedRegion(source, QRectF(-5, -5, 15, 15), 10);
    ASSERT_TRUE(inside);
    EXPECT_EQ(inside->size(), QSize(10, 10));
    // One cell: the whole 10 × 10 inside part is one colour, the average of those pixels.
    EXPECT_EQ(inside->pixel(0, 0), inside->pixel(9, 9));
    // Drawn stretched into (−5, −5, 15, 15): the visible part (0…10) is that one colour.
    const Annotation area = Annotation::create(Kind::pixelate(), {-5, -5}, {10, 10}, red, 1);
    const QImage image = rendered(source, {area});
    EXPECT_EQ(pixelAt(image, 0.5, 0.5), inside->pixelColor(0, 0));
    EXPECT_EQ(pixelAt(image, 9.5, 9.5), inside->pixelColor(0, 0));
    EXPECT_EQ(pixelAt(image, 10.5, 10.5), pixelAt(source, 10.5, 10.5));
}

TEST(PixelateTest, FractionalAreasRoundOutwards)
{
    const QImage source = gradientImage(30, 30);
    const auto pixels = pixelatedRegion(source, QRectF(2.5, 3.5, 10, 10), 10);
    ASSERT_TRUE(pixels);
    EXPECT_EQ(pixels->size(), QSize(11, 11)); // (2, 3) to (13, 14)
}

// --- arrow -----------------------------------------------------------------------------

TEST(ArrowTest, AShortArrowsHeadIsSixTenthsOfItsLength)
{
    // Length 50, line width 10: max(40, 12) = 40 would overshoot; H = 0.6 × 50 = 30,
    // W = 27. Tip (60, 50), base at x = 30, shaft ends at x = 36 (radius 5 round cap).
    const QImage image = rendered(filledImage(80, 100, white()),
                                  {Annotation::create(Kind::arrow(), {10, 50}, {60, 50}, blue, 10)});
    const QColor ink = blue.toColor();
    EXPECT_PRED3(near, pixelAt(image, 32, 61), ink, 8);   // inside the head, outside the shaft
    EXPECT_PRED3(near, pixelAt(image, 55.5, 50), ink, 8); // near the tip, past the shaft
    EXPECT_TRUE(isBackground(pixelAt(image, 28, 61)));    // before the base: a longer head would cover it
    EXPECT_TRUE(isBackground(pixelAt(image, 31, 65)));    // beyond the half width of 13.5
    EXPECT_TRUE(isBackground(pixelAt(image, 61, 50)));    // nothing beyond the tip
    EXPECT_PRED3(near, pixelAt(image, 20, 50), ink, 8);   // the shaft
    EXPECT_TRUE(isBackground(pixelAt(image, 20, 56)));
}

TEST(ArrowTest, ALongArrowsHeadIsCappedByTheLineWidth)
{
    // Length 200, line width 10: H = min(120, 40) = 40, W = 36; base at x = 170.
    const QImage image = rendered(filledImage(240, 100, white()),
                                  {Annotation::create(Kind::arrow(), {10, 50}, {210, 50}, blue, 10)});
    EXPECT_PRED3(near, pixelAt(image, 172, 65), blue.toColor(), 8);
    EXPECT_TRUE(isBackground(pixelAt(image, 168, 65)));
}

TEST(ArrowTest, ADiagonalArrowPointsAtItsEnd)
{
    // From (20, 20) up and right to (120, 120), line width 6: H = 24, W = 21.6. Along the
    // axis d = (1, 1)/√2 the base centre lies at (103.0, 103.0); the wings reach 10.8 either
    // side of it along (−1, 1)/√2. Any mirrored direction puts the head elsewhere.
    const QImage image = rendered(filledImage(160, 160, white()),
                                  {Annotation::create(Kind::arrow(), {20, 20}, {120, 120}, blue, 6)});
    const QColor ink = blue.toColor();
    EXPECT_PRED3(near, pixelAt(image, 114, 114), ink, 8);    // inside the head near the tip
    EXPECT_PRED3(near, pixelAt(image, 97, 109), ink, 8);     // its upper-left wing
    EXPECT_PRED3(near, pixelAt(image, 109, 97), ink, 8);     // its lower-right wing
    EXPECT_PRED3(near, pixelAt(image, 60, 60), ink, 8);      // the shaft
    EXPECT_TRUE(isBackground(pixelAt(image, 125, 125)));     // beyond the tip
    EXPECT_TRUE(isBackground(pixelAt(image, 103, 137)));     // where a head flipped in y would be
    EXPECT_TRUE(isBackground(pixelAt(image, 137, 103)));
    EXPECT_TRUE(isBackground(pixelAt(image, 60, 75)));       // beside the shaft
    EXPECT_TRUE(isBackground(pixelAt(image, 40, 140)));
}

TEST(ArrowTest, AZeroLengthArrowDrawsAtMostADot)
{
    const QImage image = rendered(filledImage(40, 40, white()),
                                  {Annotation::create(Kind::arrow(), {20, 20}, {20, 20}, blue, 4)});
    for (double x : {10.0, 25.0, 30.0})
        EXPECT_TRUE(isBackground(pixelAt(image, x, 20)));
}

// --- strokes ---------------------------------------------------------------------------

TEST(StrokeTest, RectanglesAreOutlinedWithTheirLineWidth)
{
    const QImage image = rendered(filledImage(100, 100, white()),
                                  {Annotation::create(Kind::rectangle(), {20, 20}, {80, 80}, blue, 6)});
    EXPECT_PRED3(near, pixelAt(image, 20, 50), blue.toColor(), 2);
    EXPECT_PRED3(near, pixelAt(image, 22.5, 50), blue.toColor(), 2); // within half the width
    EXPECT_TRUE(isBackground(pixelAt(image, 24, 50)));
    EXPECT_TRUE(isBackground(pixelAt(image, 50, 50)));
    // Round joins: the outer corner is cut, not square (a mitred corner would be blue here).
    EXPECT_GT(pixelAt(image, 17.3, 17.3).red(), 200);
}

TEST(StrokeTest, EllipsesAreInscribedInTheirRectangle)
{
    const QImage image = rendered(filledImage(100, 100, white()),
                                  {Annotation::create(Kind::ellipse(), {20, 30}, {80, 70}, blue, 4)});
    EXPECT_PRED3(near, pixelAt(image, 50, 70), blue.toColor(), 2);
    EXPECT_PRED3(near, pixelAt(image, 20, 50), blue.toColor(), 2);
    EXPECT_TRUE(isBackground(pixelAt(image, 22, 32)));
}

TEST(StrokeTest, LinesHaveRoundCaps)
{
    const QImage image = rendered(filledImage(100, 40, white()),
                                  {Annotation::create(Kind::line(), {20, 20}, {80, 20}, blue, 10)});
    EXPECT_PRED3(near, pixelAt(image, 83, 20), blue.toColor(), 8);  // the cap's middle
    EXPECT_TRUE(isBackground(pixelAt(image, 84, 24.5)));            // the cap's corner is round
}

// --- step badges -----------------------------------------------------------------------

namespace {

struct InkCount {
    int dark = 0;
    int light = 0;
};

InkCount countInk(const QImage& image, QPointF centre, double radius)
{
    InkCount count;
    for (int y = int(centre.y() - radius); y < int(centre.y() + radius); ++y)
        for (int x = int(centre.x() - radius); x < int(centre.x() + radius); ++x) {
            if (std::hypot(x + 0.5 - centre.x(), y + 0.5 - centre.y()) > radius - 2)
                continue;
            const QColor c = pixelAt(image, x + 0.5, y + 0.5);
            if (c.red() + c.green() + c.blue() < 120)
                ++count.dark;
            if (c.red() > 230 && c.green() > 230 && c.blue() > 230)
                ++count.light;
        }
    return count;
}

} // namespace

TEST(StepTest, AYellowBadgeGetsABlackNumber)
{
    const QPointF centre(60, 60);
    const QImage image = rendered(filledImage(120, 120, QColor(128, 128, 128)),
                                  {Annotation::create(Kind::step(8), centre, centre, yellow, 10)});
    const InkCount ink = countInk(image, centre, 35);
    EXPECT_GT(ink.dark, 40);
    EXPECT_EQ(ink.light, 0);
}

TEST(StepTest, ARedBadgeGetsAWhiteNumber)
{
    const QPointF centre(60, 60);
    const QImage image = rendered(filledImage(120, 120, QColor(128, 128, 128)),
                                  {Annotation::create(Kind::step(8), centre, centre, red, 10)});
    const InkCount ink = countInk(image, centre, 35);
    EXPECT_GT(ink.light, 40);
    EXPECT_EQ(ink.dark, 0);
}

TEST(StepTest, TheNumberIsCentredOnTheBadge)
{
    const QPointF centre(60, 60);
    const QImage image = rendered(filledImage(120, 120, white()),
                                  {Annotation::create(Kind::step(0), centre, centre, red, 10)});
    // The ink of "0" is symmetric: as much left as right, as much above as below, within
    // a pixel or two of the centre.
    double sumX = 0, sumY = 0;
    int count = 0;
    for (int y = 30; y < 90; ++y)
        for (int x = 30; x < 90; ++x) {
            const QColor c = pixelAt(image, x + 0.5, y + 0.5);
            if (c.red() > 230 && c.green() > 230 && c.blue() > 230 && std::hypot(x + 0.5 - 60, y + 0.5 - 60) < 33) {
                sumX += x + 0.5;
                sumY += y + 0.5;
                ++count;
            }
        }
    ASSERT_GT(count, 20);
    EXPECT_NEAR(sumX / count, 60, 1.5);
    // The text box includes the descent below the digits, so their ink sits a little high.
    EXPECT_NEAR(sumY / count, 60, 6);
}

TEST(StepTest, SeveralDigitsGrowTheTextNotTheCircle)
{
    const QPointF centre(60, 60);
    const QImage one = rendered(filledImage(120, 120, white()),
                                {Annotation::create(Kind::step(1), centre, centre, blue, 4)});
    const QImage many = rendered(filledImage(120, 120, white()),
                                 {Annotation::create(Kind::step(888), centre, centre, blue, 4)});
    // Radius 14 both times: the badge's edge is at the same place.
    for (const QImage* image : {&one, &many}) {
        EXPECT_PRED3(near, pixelAt(*image, 60, 60 + 12.5), blue.toColor(), 4);
        EXPECT_FALSE(near(pixelAt(*image, 60, 60 + 15.5), blue.toColor(), 40));
    }
}

TEST(StepTest, TheBadgeShadowIsBlurredAndFallsOffSmoothly)
{
    // Radius 28 (line width 8), blur 7: σ 3.5 device pixels, offset 1 pixel down.
    const QPointF centre(60, 60);
    const QImage image = rendered(filledImage(120, 120, white()),
                                  {Annotation::create(Kind::step(1), centre, centre, blue, 8)});
    const auto darkness = [&](double y) { return 255 - pixelAt(image, 60.5, y).red(); };
    const double bottom = 60 - 28;
    // Below the badge the shadow is darkest next to the edge and fades over several pixels;
    // a hard offset copy would darken one pixel row and nothing beyond.
    const int d1 = darkness(bottom - 0.5);
    const int d3 = darkness(bottom - 2.5);
    const int d6 = darkness(bottom - 5.5);
    const int d20 = darkness(bottom - 19.5);
    EXPECT_GT(d1, d3);
    EXPECT_GT(d3, d6);
    EXPECT_GT(d6, 0);
    EXPECT_EQ(d20, 0);
    EXPECT_LE(d1, qRound(255 * 0.35));
    // The blur also reaches above the badge, though less than below it.
    const int above = 255 - pixelAt(image, 60.5, 60 + 28 + 1.5).red();
    EXPECT_GT(above, 0);
    EXPECT_LT(above, darkness(bottom - 1.5));
}

// --- text ------------------------------------------------------------------------------

TEST(TextTest, IsDrawnUprightInsideItsBounds)
{
    // "T" has its bar at the top: in an upright T the upper part of the box holds more ink.
    const Annotation label = Annotation::create(Kind::text("T"), {20, 20}, {20, 20}, {0, 0, 0, 1}, 8); // font 40
    const QRectF box = label.bounds();
    const QImage image = rendered(filledImage(100, 100, white()), {label});
    int upper = 0, lower = 0, outside = 0;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x) {
            const QColor c = pixelAt(image, x + 0.5, y + 0.5);
            if (c.red() > 60)
                continue;
            const bool inBox = box.contains(QPointF(x + 0.5, y + 0.5));
            if (!inBox)
                ++outside;
            else if (y + 0.5 > box.center().y() + box.height() / 6)
                ++upper;
            else if (y + 0.5 < box.center().y() - box.height() / 6)
                ++lower;
        }
    EXPECT_GT(upper, 2 * lower);
    EXPECT_GT(lower, 0); // the stem
    EXPECT_EQ(outside, 0);
}

TEST(TextTest, HasASoftShadowBelow)
{
    // Font 40: shadow offset 2 pixels down, blur 5. A white "I" on white shows only its shadow.
    const Annotation label = Annotation::create(Kind::text("I"), {40, 30}, {40, 30}, {1, 1, 1, 1}, 8);
    const QImage image = rendered(filledImage(120, 120, white()), {label});
    const TextMetrics m = textMetrics("I", 40, FontWeight::semibold);
    int shadowed = 0, darkest = 0;
    for (int y = 20; y < 100; ++y)
        for (int x = 30; x < 80; ++x) {
            const int d = 255 - pixelAt(image, x + 0.5, y + 0.5).red();
            if (d > 0)
                ++shadowed;
            darkest = std::max(darkest, d);
        }
    EXPECT_GT(shadowed, 50);
    EXPECT_LE(darkest, qRound(255 * 0.45) + 1);
    // The shadow reaches below the baseline of the glyph, which has no descender.
    EXPECT_GT(255 - pixelAt(image, 40 + m.width / 2, 30 + m.descent - 2.5).red(), 0);
}

TEST(TextTest, TheShadowFallsDownwards)
{
    // Font 40: the shadow is offset 2 pixels down. A pure blue "I" marks where the glyph's
    // ink is; just below its foot the shadow is darker than as far above its top.
    const Annotation label = Annotation::create(Kind::text("I"), {40, 30}, {40, 30}, {0, 0, 1, 1}, 8);
    const QImage image = rendered(filledImage(120, 120, white()), {label});
    const auto isGlyph = [](const QColor& c) { return c.blue() - c.red() > 200; };
    int bottom = -1, top = -1, left = 1000, right = -1;
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 120; ++x) {
            if (!isGlyph(pixelAt(image, x + 0.5, y + 0.5)))
                continue;
            bottom = bottom < 0 ? y : bottom;
            top = y;
            left = std::min(left, x);
            right = std::max(right, x);
        }
    ASSERT_GE(bottom, 0) << "no glyph drawn";
    ASSERT_GT(top, bottom + 10);
    const auto darkness = [&](int y) {
        int sum = 0;
        for (int x = left; x <= right; ++x)
            sum += 255 - pixelAt(image, x + 0.5, y + 0.5).green();
        return sum;
    };
    const int below = darkness(bottom - 3), above = darkness(top + 3);
    EXPECT_GT(below, 0);
    EXPECT_GT(below, 2 * above) << "below " << below << ", above " << above;
}

TEST(TextTest, MeasuresTheSameWayItIsHitAndDrawn)
{
    const QSizeF small = measureText("Quandrel", 12, FontWeight::semibold);
    const QSizeF large = measureText("Quandrel", 48, FontWeight::semibold);
    EXPECT_NEAR(large.width() / small.width(), 4, 0.35);
    EXPECT_GT(measureText("Quandrel", 24, FontWeight::bold).width(), measureText("Quandrel", 24, FontWeight::semibold).width() - 1);
    EXPECT_EQ(measureText("", 24, FontWeight::semibold).width(), 0);
}

// --- the scene -------------------------------------------------------------------------

TEST(RenderSceneTest, LaterAnnotationsAreDrawnOnTop)
{
    const Annotation first = Annotation::create(Kind::rectangle(), {10, 10}, {30, 30}, blue, 6);
    const Annotation second = Annotation::create(Kind::line(), {0, 10}, {40, 10}, red, 6);
    EXPECT_PRED3(near, pixelAt(rendered(filledImage(40, 40, white()), {first, second}), 20, 10), red.toColor(), 2);
    EXPECT_PRED3(near, pixelAt(rendered(filledImage(40, 40, white()), {second, first}), 20, 10), blue.toColor(), 2);
}

TEST(RenderSceneTest, DrawsTheSourceImageUpright)
{
    const QImage source = gradientImage(30, 20);
    const QImage image = rendered(source, {});
    EXPECT_EQ(image.convertToFormat(QImage::Format_RGB32), source);
}

TEST(FillTest, FilledShapesAreSolidAndHitInside)
{
    const QImage source = filledImage(200, 200, white());
    for (const Kind& kind : {Kind::rectangle(Kind::Fill::solid), Kind::ellipse(Kind::Fill::solid)}) {
        const Annotation shape = Annotation::create(kind, {40, 40}, {160, 160}, blue, 4);
        const QImage image = rendered(source, {shape});
        EXPECT_TRUE(near(pixelAt(image, 100, 100), blue.toColor())) << int(kind.type());
        EXPECT_TRUE(shape.hitTest({100, 100}, 1));
        EXPECT_FALSE(Annotation::create(kind.withFill(Kind::Fill::outline), {40, 40}, {160, 160}, blue, 4).hitTest({100, 100}, 1));
    }
    // Kinds without a fill ignore it.
    EXPECT_EQ(Kind::line().withFill(Kind::Fill::solid), Kind::line());
}

TEST(FreehandTest, PenFollowsItsPointsAndMarkerIsTranslucentAndWide)
{
    const QImage source = filledImage(200, 200, white());
    const QList<QPointF> path{{20, 20}, {60, 100}, {100, 40}, {180, 160}};
    const Annotation pen = Annotation::freehand(Kind::Type::pen, path, blue, 4);
    EXPECT_EQ(pen.normalizedRect(), QRectF(20, 20, 160, 140));
    for (qsizetype i = 0; i < path.size(); ++i)
        EXPECT_NEAR(QLineF(pen.strokePoints()[i], path[i]).length(), 0, 1e-9);
    const QImage drawn = rendered(source, {pen});
    EXPECT_TRUE(near(pixelAt(drawn, 20, 20), blue.toColor(), 40));   // an end, under its round cap
    EXPECT_TRUE(isBackground(pixelAt(drawn, 150, 40)));              // off the path
    EXPECT_TRUE(pen.hitTest({180, 160}, 1));
    EXPECT_FALSE(pen.hitTest({150, 40}, 1));

    // Moved and resized by a corner, the stroke goes along.
    const Annotation moved = pen.moved(10, 5);
    EXPECT_NEAR(QLineF(moved.strokePoints()[1], QPointF(70, 105)).length(), 0, 1e-9);
    const Annotation halved = pen.resized(Annotation::Handle::cornerAt({180, 160}), {100, 90});
    EXPECT_NEAR(QLineF(halved.strokePoints()[3], QPointF(100, 90)).length(), 0, 1e-9);

    const Annotation marker = Annotation::freehand(Kind::Type::marker, {{20, 100}, {180, 100}}, yellow, 4);
    const QColor over = pixelAt(rendered(source, {marker}), 100, 100);
    EXPECT_FALSE(near(over, yellow.toColor(), 20)); // translucent, not the colour itself
    EXPECT_FALSE(isBackground(over));
    EXPECT_FALSE(isBackground(pixelAt(rendered(source, {marker}), 100, 105))); // three times the width
}

TEST(BlurTest, TheFlattenedAreaKeepsNoOriginalRow)
{
    // Noise: every pixel unpredictable from its neighbours, the hardest case for a blur.
    QImage source(300, 300, QImage::Format_RGB32);
    quint32 seed = 12345;
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < source.width(); ++x) {
            seed = seed * 1664525u + 1013904223u;
            source.setPixel(x, y, qRgb(int(seed >> 24), int((seed >> 16) & 255), int((seed >> 8) & 255)));
        }
    const Annotation blur = Annotation::create(Kind::blur(), {50, 60}, {250, 240}, red, 2);
    const QImage flat = rendered(source, {blur});
    // Inside: each pixel moved far from its original, on average, and no row is left as it was.
    double difference = 0;
    int rowsKept = 0;
    for (int y = 300 - 240; y < 300 - 60; ++y) {
        int same = 0;
        for (int x = 50; x < 250; ++x) {
            const QRgb a = source.pixel(x, y), b = flat.pixel(x, y);
            difference += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b));
            same += a == b;
        }
        rowsKept += same == 200;
    }
    EXPECT_GT(difference / (200.0 * 180 * 3), 40);
    EXPECT_EQ(rowsKept, 0);
    // Outside it, nothing changes.
    const QImage opaque = flat.convertToFormat(QImage::Format_RGB32);
    EXPECT_TRUE(opaque.copy(0, 0, 300, 50) == source.copy(0, 0, 300, 50));
    EXPECT_TRUE(opaque.copy(0, 0, 40, 300) == source.copy(0, 0, 40, 300));
}

TEST(TextTest, LinesAreStackedUnderTheFirst)
{
    const TextMetrics one = textMetrics(QStringLiteral("one"), 20, FontWeight::semibold);
    const TextMetrics two = textMetrics(QStringLiteral("one\nlonger line"), 20, FontWeight::semibold);
    EXPECT_NEAR(two.height - one.height, one.lineSpacing, 1e-9);
    EXPECT_GT(two.width, one.width);
    const Annotation text = Annotation::create(Kind::text(QStringLiteral("A\nB")), {20, 20}, {20, 20}, RGBA{0, 0, 0, 1}, 4);
    const QImage drawn = rendered(filledImage(200, 200, white()), {text});
    // Ink in the upper and in the lower line's half of the box.
    const QRectF box = text.bounds();
    const auto inkIn = [&](double y0, double y1) {
        for (double y = y0; y < y1; ++y)
            for (double x = minX(box); x < maxX(box); ++x)
                if (qGray(pixelAt(drawn, x, y).rgb()) < 80) // ink, not its soft shadow
                    return true;
        return false;
    };
    EXPECT_TRUE(inkIn(box.center().y(), maxY(box)));
    EXPECT_TRUE(inkIn(minY(box), box.center().y()));
}
