// Rendering checks by pixel probes on small images. Coordinates are image pixel space
// (origin bottom-left, y up); pixelAt reads the pixel containing a point.

#include "AnnotationRenderer.h"
#include "EditorGeometry.h"
#include "EditorTestSupport.h"
#include "TextMeasure.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace quandrel;
using Kind = Annotation::Kind;

namespace {

constexpr RGBA blue{0.0, 0.48, 1.0, 1.0};
constexpr RGBA yellow{1.0, 0.84, 0.04, 1.0};
constexpr RGBA red{1.0, 0.23, 0.19, 1.0};
const QColor white(255, 255, 255);

bool isBackground(const QColor& c) { return near(c, white, 8); }

// A source whose every pixel differs: red = column, green = row from the top, blue fixed.
QImage gradientImage(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb(x * 255 / (width - 1), y * 255 / (height - 1), 77));
    return image;
}

// Counts pixels of a rendered image inside `box` (image space) that pass `test`.
int countIn(const QImage& image, const QRectF& box, const std::function<bool(const QColor&)>& test)
{
    int count = 0;
    for (int y = int(box.top()); y < int(box.bottom()); ++y)
        for (int x = int(box.left()); x < int(box.right()); ++x)
            count += test(pixelAt(image, x + 0.5, y + 0.5));
    return count;
}

} // namespace

TEST(HighlightTest, MultipliesWithWhatIsBeneathAtFortyPercent)
{
    const struct {
        QColor under;
        RGBA color;
        QColor expected;
    } rows[] = {
        {white, blue, QColor(153, 202, 255)},              // 0.6 + 0.4 × component
        {QColor(0, 0, 0), yellow, QColor(0, 0, 0)},        // over black stays black
        {QColor(128, 128, 128), blue, QColor(77, 102, 128)},
        {white, RGBA{0.0, 0.48, 1.0, 0.1}, QColor(153, 202, 255)}, // the document's alpha is replaced
    };
    for (const auto& row : rows) {
        const QImage image = rendered(filledImage(20, 20, row.under), {Annotation::create(Kind::highlight(), {2, 2}, {18, 18}, row.color, 4)});
        EXPECT_PRED3(near, pixelAt(image, 10, 10), row.expected, 2) << row.under.name().toStdString();
        EXPECT_EQ(pixelAt(image, 1, 10), row.under); // the line width does not count
    }
}

TEST(PixelateTest, CellsStartAtTheAreasBottomLeftAndAverageTheSource)
{
    const QImage source = gradientImage(60, 40);
    // Area (3, 5, 25, 17); cell 10: the partial row of cells is at the top, 7 pixels high.
    const auto pixels = pixelatedRegion(source, QRectF(3, 5, 25, 17), 10);
    ASSERT_TRUE(pixels);
    ASSERT_EQ(pixels->size(), QSize(25, 17));
    const auto cellOf = [](int x, int rowFromTop) { return std::pair(x / 10, (16 - rowFromTop) / 10); };
    for (int y = 0; y < 17; ++y)
        for (int x = 0; x < 25; ++x)
            for (const auto& [nx, ny] : {std::pair(x + 1, y), std::pair(x, y + 1)}) {
                if (nx < 25 && ny < 17) {
                    ASSERT_EQ(pixels->pixel(x, y) == pixels->pixel(nx, ny), cellOf(x, y) == cellOf(nx, ny)) << x << "," << y;
                }
            }
    // The bottom-left cell: source x 3…12, source rows from the top 25…34.
    int sumRed = 0, sumGreen = 0;
    for (int y = 25; y <= 34; ++y)
        for (int x = 3; x <= 12; ++x) {
            sumRed += qRed(source.pixel(x, y));
            sumGreen += qGreen(source.pixel(x, y));
        }
    const QColor cell = pixels->pixelColor(0, 16);
    EXPECT_NEAR(cell.red(), sumRed / 100.0, 0.5);
    EXPECT_NEAR(cell.green(), sumGreen / 100.0, 0.5);
    EXPECT_EQ(cell.blue(), 77);
    EXPECT_EQ(cell.alpha(), 255);
    EXPECT_EQ(pixelatedRegion(source, QRectF(2.5, 3.5, 10, 10), 10)->size(), QSize(11, 11)); // rounds outwards
}

TEST(PixelateTest, DrawingCoversTheAreaFromTheCapturedImageOnly)
{
    const QImage source = gradientImage(60, 40);
    // Line width 4: cell max(12, 10) = 12.
    const QImage image = rendered(source, {Annotation::create(Kind::pixelate(), {40, 30}, {4, 6}, red, 4)});
    const auto pixels = pixelatedRegion(source, QRectF(4, 6, 36, 24), 12);
    ASSERT_TRUE(pixels);
    for (int y = 6; y < 30; ++y)
        for (int x = 4; x < 40; ++x)
            ASSERT_EQ(pixelAt(image, x + 0.5, y + 0.5), pixels->pixelColor(x - 4, 29 - y)) << x << "," << y;
    EXPECT_NE(pixelAt(image, 15.5, 6.5), pixelAt(image, 16.5, 6.5));
    EXPECT_EQ(pixelAt(image, 3.5, 10.5), pixelAt(source, 3.5, 10.5));
    EXPECT_EQ(pixelAt(image, 40.5, 10.5), pixelAt(source, 40.5, 10.5));

    // Annotations beneath are not what is pixelated.
    const Annotation under = Annotation::create(Kind::highlight(), {0, 0}, {40, 40}, {0, 0, 0, 1}, 1);
    const QImage over = rendered(filledImage(40, 40, white), {under, Annotation::create(Kind::pixelate(), {10, 10}, {30, 30}, red, 1)});
    EXPECT_EQ(pixelAt(over, 20, 20), white);
    EXPECT_PRED3(near, pixelAt(over, 5, 5), QColor(153, 153, 153), 1);
}

TEST(PixelateTest, AreasOutsideOrPartlyOutsideTheImage)
{
    const QImage source = gradientImage(20, 20);
    EXPECT_EQ(pixelatedRegion(source, QRectF(-3, 0, 3, 10), 10), std::nullopt);
    EXPECT_EQ(pixelatedRegion(source, QRectF(25, 25, 5, 5), 10), std::nullopt);
    const auto sliver = pixelatedRegion(source, QRectF(5.2, 5.2, 0.3, 0.3), 10); // one whole pixel
    ASSERT_TRUE(sliver);
    EXPECT_EQ(sliver->size(), QSize(1, 1));
    EXPECT_EQ(sliver->pixel(0, 0), source.pixel(5, 14));
    // Partly outside: the inside part is one cell, drawn stretched over the whole area.
    const auto inside = pixelatedRegion(source, QRectF(-5, -5, 15, 15), 10);
    ASSERT_TRUE(inside);
    EXPECT_EQ(inside->size(), QSize(10, 10));
    EXPECT_EQ(inside->pixel(0, 0), inside->pixel(9, 9));
    const QImage image = rendered(source, {Annotation::create(Kind::pixelate(), {-5, -5}, {10, 10}, red, 1)});
    EXPECT_EQ(pixelAt(image, 0.5, 0.5), inside->pixelColor(0, 0));
    EXPECT_EQ(pixelAt(image, 9.5, 9.5), inside->pixelColor(0, 0));
    EXPECT_EQ(pixelAt(image, 10.5, 10.5), pixelAt(source, 10.5, 10.5));
}

TEST(StrokeTest, ArrowsLinesAndOutlinesInkWhereTheyShould)
{
    const struct {
        const char* what;
        QSize size;
        Annotation annotation;
        std::vector<QPointF> inked, blank;
    } rows[] = {
        // Length 50, width 10: head 0.6 × 50 = 30 long, 27 wide; base at x = 30.
        {"short arrow", {80, 100}, Annotation::create(Kind::arrow(), {10, 50}, {60, 50}, blue, 10),
         {{32, 61}, {55.5, 50}, {20, 50}}, {{28, 61}, {31, 65}, {61, 50}, {20, 56}}},
        // Length 200, width 10: head min(120, 40) = 40, base at x = 170.
        {"long arrow", {240, 100}, Annotation::create(Kind::arrow(), {10, 50}, {210, 50}, blue, 10), {{172, 65}}, {{168, 65}}},
        // Up and right, width 6: head 24 long, wings 10.8 either side of (103, 103).
        {"diagonal arrow", {160, 160}, Annotation::create(Kind::arrow(), {20, 20}, {120, 120}, blue, 6),
         {{114, 114}, {97, 109}, {109, 97}, {60, 60}}, {{125, 125}, {103, 137}, {137, 103}, {60, 75}, {40, 140}}},
        {"zero-length arrow", {40, 40}, Annotation::create(Kind::arrow(), {20, 20}, {20, 20}, blue, 4), {}, {{10, 20}, {25, 20}, {30, 20}}},
        {"rectangle", {100, 100}, Annotation::create(Kind::rectangle(), {20, 20}, {80, 80}, blue, 6), {{20, 50}, {22.5, 50}},
         {{24, 50}, {50, 50}, {17.3, 17.3}}}, // round joins: the outer corner is cut
        {"ellipse", {100, 100}, Annotation::create(Kind::ellipse(), {20, 30}, {80, 70}, blue, 4), {{50, 70}, {20, 50}}, {{22, 32}}},
        {"round cap", {100, 40}, Annotation::create(Kind::line(), {20, 20}, {80, 20}, blue, 10), {{83, 20}}, {{84, 24.5}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const QImage image = rendered(filledImage(row.size.width(), row.size.height(), white), {row.annotation});
        for (const QPointF p : row.inked)
            EXPECT_PRED3(near, pixelAt(image, p.x(), p.y()), blue.toColor(), 8) << p.x() << "," << p.y();
        for (const QPointF p : row.blank)
            EXPECT_TRUE(isBackground(pixelAt(image, p.x(), p.y()))) << p.x() << "," << p.y();
    }
}

TEST(StepTest, TheNumberContrastsWithTheBadgeAndIsCentred)
{
    const QPointF centre(60, 60);
    const QRectF box(25, 25, 70, 70);
    const auto dark = [](const QColor& c) { return c.red() + c.green() + c.blue() < 120; };
    const auto light = [](const QColor& c) { return c.red() > 230 && c.green() > 230 && c.blue() > 230; };
    const QImage onYellow = rendered(filledImage(120, 120, QColor(128, 128, 128)), {Annotation::create(Kind::step(8), centre, centre, yellow, 10)});
    const QImage onRed = rendered(filledImage(120, 120, QColor(128, 128, 128)), {Annotation::create(Kind::step(8), centre, centre, red, 10)});
    EXPECT_GT(countIn(onYellow, box, dark), 40);
    EXPECT_EQ(countIn(onYellow, box, light), 0);
    EXPECT_GT(countIn(onRed, box, light), 40);
    EXPECT_EQ(countIn(onRed, box, dark), 0);

    // The ink of "0" is symmetric about the centre (its box includes the descent, so it sits a little high).
    const QImage zero = rendered(filledImage(120, 120, white), {Annotation::create(Kind::step(0), centre, centre, red, 10)});
    double sumX = 0, sumY = 0;
    int count = 0;
    for (int y = 30; y < 90; ++y)
        for (int x = 30; x < 90; ++x)
            if (light(pixelAt(zero, x + 0.5, y + 0.5)) && std::hypot(x + 0.5 - 60, y + 0.5 - 60) < 33) {
                sumX += x + 0.5;
                sumY += y + 0.5;
                ++count;
            }
    ASSERT_GT(count, 20);
    EXPECT_NEAR(sumX / count, 60, 1.5);
    EXPECT_NEAR(sumY / count, 60, 6);

    // Several digits grow the text, not the circle (radius 14 both times).
    for (const int number : {1, 888}) {
        const QImage image = rendered(filledImage(120, 120, white), {Annotation::create(Kind::step(number), centre, centre, blue, 4)});
        EXPECT_PRED3(near, pixelAt(image, 60, 72.5), blue.toColor(), 4) << number;
        EXPECT_FALSE(near(pixelAt(image, 60, 75.5), blue.toColor(), 40)) << number;
    }
}

TEST(StepTest, TheBadgeShadowIsBlurredAndFallsOffSmoothly)
{
    // Radius 28 (line width 8), blur 7: σ 3.5 device pixels, offset 1 pixel down.
    const QImage image = rendered(filledImage(120, 120, white), {Annotation::create(Kind::step(1), {60, 60}, {60, 60}, blue, 8)});
    const auto darkness = [&](double y) { return 255 - pixelAt(image, 60.5, y).red(); };
    // Darkest next to the bottom edge (y = 32), fading over several pixels.
    EXPECT_GT(darkness(31.5), darkness(29.5));
    EXPECT_GT(darkness(29.5), darkness(26.5));
    EXPECT_GT(darkness(26.5), 0);
    EXPECT_EQ(darkness(12.5), 0);
    EXPECT_LE(darkness(31.5), qRound(255 * 0.35));
    // The blur also reaches above the badge, though less than below it.
    EXPECT_GT(darkness(89.5), 0);
    EXPECT_LT(darkness(89.5), darkness(30.5));
}

TEST(TextTest, IsDrawnUprightInsideItsBoundsWithItsShadowFallingDownwards)
{
    // "T" has its bar at the top: in an upright T the upper part of the box holds more ink.
    const Annotation label = Annotation::create(Kind::text("T"), {20, 20}, {20, 20}, {0, 0, 0, 1}, 8); // font 40
    const QRectF box = label.bounds();
    const QImage image = rendered(filledImage(100, 100, white), {label});
    const auto ink = [](const QColor& c) { return c.red() <= 60; };
    const double third = box.height() / 6;
    const int upper = countIn(image, QRectF(box.left(), box.center().y() + third, box.width(), box.height()), ink);
    const int lower = countIn(image, QRectF(box.left(), box.top(), box.width(), box.height() / 2 - third), ink);
    EXPECT_GT(upper, 2 * lower);
    EXPECT_GT(lower, 0); // the stem
    EXPECT_EQ(countIn(image, QRectF(0, 0, 100, 100), ink), countIn(image, box.toAlignedRect(), ink)); // nothing outside

    // A blue "I" marks the glyph: just below its foot the shadow is darker than as far above its top.
    const QImage glyph = rendered(filledImage(120, 120, white), {Annotation::create(Kind::text("I"), {40, 30}, {40, 30}, {0, 0, 1, 1}, 8)});
    int bottom = -1, top = -1, left = 1000, right = -1;
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 120; ++x)
            if (const QColor c = pixelAt(glyph, x + 0.5, y + 0.5); c.blue() - c.red() > 200) {
                bottom = bottom < 0 ? y : bottom;
                top = y;
                left = std::min(left, x);
                right = std::max(right, x);
            }
    ASSERT_GT(top, bottom + 10);
    const auto row = [&](int y) {
        int sum = 0;
        for (int x = left; x <= right; ++x)
            sum += 255 - pixelAt(glyph, x + 0.5, y + 0.5).green();
        return sum;
    };
    EXPECT_GT(row(bottom - 3), 0);
    for (int x = left; x <= right; ++x) // at most the shadow's opacity
        EXPECT_LE(255 - pixelAt(glyph, x + 0.5, bottom - 2.5).green(), qRound(255 * 0.45) + 1) << x;
    EXPECT_GT(row(bottom - 3), 2 * row(top + 3));
}

TEST(TextTest, LinesAreStackedUnderTheFirst)
{
    const TextMetrics one = textMetrics(QStringLiteral("one"), 20, FontWeight::semibold);
    const TextMetrics two = textMetrics(QStringLiteral("one\nlonger line"), 20, FontWeight::semibold);
    EXPECT_NEAR(two.height - one.height, one.lineSpacing, 1e-9);
    EXPECT_GT(two.width, one.width);
    const Annotation text = Annotation::create(Kind::text(QStringLiteral("A\nB")), {20, 20}, {20, 20}, RGBA{0, 0, 0, 1}, 4);
    const QImage drawn = rendered(filledImage(200, 200, white), {text});
    const QRectF box = text.bounds();
    const auto ink = [](const QColor& c) { return qGray(c.rgb()) < 80; }; // not its soft shadow
    EXPECT_GT(countIn(drawn, QRectF(minX(box), box.center().y(), box.width(), box.height() / 2), ink), 0);
    EXPECT_GT(countIn(drawn, QRectF(minX(box), minY(box), box.width(), box.height() / 2), ink), 0);
}

TEST(RenderSceneTest, TheSourceIsUprightAndLaterAnnotationsAreOnTop)
{
    const QImage source = gradientImage(30, 20);
    EXPECT_EQ(rendered(source, {}).convertToFormat(QImage::Format_RGB32), source);
    const Annotation first = Annotation::create(Kind::rectangle(), {10, 10}, {30, 30}, blue, 6);
    const Annotation second = Annotation::create(Kind::line(), {0, 10}, {40, 10}, red, 6);
    EXPECT_PRED3(near, pixelAt(rendered(filledImage(40, 40, white), {first, second}), 20, 10), red.toColor(), 2);
    EXPECT_PRED3(near, pixelAt(rendered(filledImage(40, 40, white), {second, first}), 20, 10), blue.toColor(), 2);
}

TEST(FillTest, FilledShapesAreSolidAndHitInside)
{
    const QImage source = filledImage(200, 200, white);
    for (const Kind& kind : {Kind::rectangle(Kind::Fill::solid), Kind::ellipse(Kind::Fill::solid)}) {
        const Annotation shape = Annotation::create(kind, {40, 40}, {160, 160}, blue, 4);
        EXPECT_TRUE(near(pixelAt(rendered(source, {shape}), 100, 100), blue.toColor())) << int(kind.type());
        EXPECT_TRUE(shape.hitTest({100, 100}, 1));
        EXPECT_FALSE(Annotation::create(kind.withFill(Kind::Fill::outline), {40, 40}, {160, 160}, blue, 4).hitTest({100, 100}, 1));
    }
    EXPECT_EQ(Kind::line().withFill(Kind::Fill::solid), Kind::line());
}

TEST(FreehandTest, PenFollowsItsPointsAndMarkerIsTranslucentAndWide)
{
    const QImage source = filledImage(200, 200, white);
    const QList<QPointF> path{{20, 20}, {60, 100}, {100, 40}, {180, 160}};
    const Annotation pen = Annotation::freehand(Kind::Type::pen, path, blue, 4);
    EXPECT_EQ(pen.normalizedRect(), QRectF(20, 20, 160, 140));
    for (qsizetype i = 0; i < path.size(); ++i)
        EXPECT_NEAR(QLineF(pen.strokePoints()[i], path[i]).length(), 0, 1e-9);
    const QImage drawn = rendered(source, {pen});
    EXPECT_TRUE(near(pixelAt(drawn, 20, 20), blue.toColor(), 40)); // an end, under its round cap
    EXPECT_TRUE(isBackground(pixelAt(drawn, 150, 40)));
    EXPECT_TRUE(pen.hitTest({180, 160}, 1));
    EXPECT_FALSE(pen.hitTest({150, 40}, 1));
    // Moved and resized by a corner, the stroke goes along.
    EXPECT_NEAR(QLineF(pen.moved(10, 5).strokePoints()[1], QPointF(70, 105)).length(), 0, 1e-9);
    EXPECT_NEAR(QLineF(pen.resized(Annotation::Handle::cornerAt({180, 160}), {100, 90}).strokePoints()[3], QPointF(100, 90)).length(), 0, 1e-9);

    // Smoothed through the midpoints of its samples: from (20, 20) bent by (100, 100) to (140, 60).
    const QImage bend = rendered(source, {Annotation::freehand(Kind::Type::pen, {{20, 20}, {100, 100}, {180, 20}}, blue, 4)});
    EXPECT_TRUE(near(pixelAt(bend, 90, 70), blue.toColor(), 40));
    EXPECT_TRUE(isBackground(pixelAt(bend, 90, 59.5)));

    const QImage marked = rendered(source, {Annotation::freehand(Kind::Type::marker, {{20, 100}, {180, 100}}, yellow, 4)});
    EXPECT_FALSE(near(pixelAt(marked, 100, 100), yellow.toColor(), 20)); // translucent
    EXPECT_FALSE(isBackground(pixelAt(marked, 100, 100)));
    EXPECT_FALSE(isBackground(pixelAt(marked, 100, 105))); // three times the width
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
    const QImage flat = rendered(source, {Annotation::create(Kind::blur(), {50, 60}, {250, 240}, red, 2)});
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
    const QImage opaque = flat.convertToFormat(QImage::Format_RGB32);
    EXPECT_TRUE(opaque.copy(0, 0, 300, 50) == source.copy(0, 0, 300, 50));
    EXPECT_TRUE(opaque.copy(0, 0, 40, 300) == source.copy(0, 0, 40, 300));

    // The pixels at the area's edge take part: a white last column of the image shows through.
    QImage edge = filledImage(100, 40, QColor(0, 0, 0));
    for (int y = 0; y < 40; ++y)
        edge.setPixelColor(99, y, white);
    EXPECT_GT(pixelAt(rendered(edge, {Annotation::create(Kind::blur(), {50, 0}, {100, 40}, red, 2)}), 99.5, 20).red(), 20);
}
