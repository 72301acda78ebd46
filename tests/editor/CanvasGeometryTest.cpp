#include "CanvasGeometry.h"
#include "EditorTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace quandrel;
using Kind = Annotation::Kind;
using Handle = Annotation::Handle;

namespace {

constexpr RGBA red{1.0, 0.23, 0.19, 1.0};

void expectPoint(QPointF actual, QPointF expected, double tolerance = 0.05)
{
    EXPECT_NEAR(actual.x(), expected.x(), tolerance) << "x";
    EXPECT_NEAR(actual.y(), expected.y(), tolerance) << "y";
}

} // namespace

TEST(CanvasMapping, FitsTheImageWithItsMarginAndNeverAboveNaturalSize)
{
    // 400 × 300 pixels at scale 2 in a view of 440 × 340: the natural size (200 × 150
    // points) is smaller than the room, so it wins.
    const CanvasMapping natural(QSizeF(440, 340), QSize(400, 300), 2);
    EXPECT_DOUBLE_EQ(natural.scale(), 0.5);
    EXPECT_EQ(natural.imageRect(), QRectF(120, 95, 200, 150));

    // 3840 × 2160 at scale 1 in 1440 × 900: the width limits, (1440 − 40) / 3840.
    const CanvasMapping fitted(QSizeF(1440, 900), QSize(3840, 2160), 1);
    EXPECT_DOUBLE_EQ(fitted.scale(), 1400.0 / 3840);
    EXPECT_EQ(fitted.imageRect().left(), 20);
    EXPECT_EQ(fitted.imageRect().width(), 1400);
}

TEST(CanvasMapping, FlipsOnceBetweenWidgetAndImageSpace)
{
    // Image 400 × 300 at s = 1 in 440 × 340: the image's bottom-left pixel corner is widget
    // (20, 320); its top-left is (20, 20).
    const CanvasMapping map(QSizeF(440, 340), QSize(400, 300), 1);
    expectPoint(map.toImage({20, 320}), {0, 0});
    expectPoint(map.toImage({20, 20}), {0, 300});
    expectPoint(map.toWidget(QPointF(100, 40)), {120, 280});
    expectPoint(map.toImage(map.toWidget(QPointF(123.5, 77.25))), {123.5, 77.25}, 1e-9);
    EXPECT_EQ(map.toWidget(QRectF(10, 10, 50, 20)), QRectF(30, 290, 50, 20));
    // The painter transform agrees with the point mapping; points are clamped to the image.
    expectPoint(map.imageToWidget().map(QPointF(100, 40)), {120, 280}, 1e-9);
    expectPoint(map.toImage({-50, 500}), {0, 0});
    expectPoint(map.toImage({1000, -1000}), {400, 300});
}

TEST(CanvasMapping, DegenerateImagesAndViewsStayFinite)
{
    for (const auto& [view, pixels] : {std::pair{QSizeF(480, 300), QSize(1, 1)}, std::pair{QSizeF(480, 300), QSize(20000, 200)},
                                       std::pair{QSizeF(480, 300), QSize(16384, 16384)}, std::pair{QSizeF(480, 300), QSize(0, 0)},
                                       std::pair{QSizeF(10, 10), QSize(400, 300)}, std::pair{QSizeF(0, 0), QSize(400, 300)}}) {
        const CanvasMapping map(view, pixels, 1);
        SCOPED_TRACE(testing::Message() << pixels.width() << "x" << pixels.height() << " in " << view.width());
        EXPECT_GT(map.scale(), 0);
        EXPECT_TRUE(std::isfinite(map.scale()));
        const QPointF p = map.toImage({view.width() / 2, view.height() / 2});
        EXPECT_TRUE(std::isfinite(p.x()) && std::isfinite(p.y()));
        EXPECT_GE(p.x(), 0);
        EXPECT_LE(p.x(), std::max(pixels.width(), 0));
        EXPECT_GE(p.y(), 0);
        EXPECT_LE(p.y(), std::max(pixels.height(), 0));
    }
}

TEST(ShiftConstraint, SnapsLinesTo45DegreesAndMakesSquaresWithTheSignsOfTheDrag)
{
    expectPoint(constrain({100, 40}, {0, 0}, true), {107.70, 0});
    expectPoint(constrain({100, 80}, {0, 0}, true), {90.55, 90.55});
    expectPoint(constrain({-30, 31}, {0, 0}, true), {-30.50, 30.50}); // 134°: up and left
    expectPoint(constrain({50, 20}, {10, 10}, false), {50, 50});
    expectPoint(constrain({0, 20}, {10, 10}, false), {0, 20});
    expectPoint(constrain({10, 0}, {10, 10}, false), {20, 0}); // zero counts as positive
}

TEST(ShiftConstraint, AnchorsAreTheFixedEnds)
{
    const Annotation rect = Annotation::create(Kind::rectangle(), {10, 10}, {50, 20}, red, 4);
    EXPECT_EQ(anchor(Handle::cornerAt({10, 10}), rect), QPointF(50, 20));
    EXPECT_EQ(anchor(Handle::cornerAt({50, 10}), rect), QPointF(10, 20));
    const Annotation line = Annotation::create(Kind::line(), {1, 2}, {3, 4}, red, 4);
    EXPECT_EQ(anchor(Handle::startPoint(), line), QPointF(3, 4));
    EXPECT_EQ(anchor(Handle::endPoint(), line), QPointF(1, 2));
    EXPECT_FALSE(anchor(Handle::scale(), line));
}

TEST(HandleGrab, FirstHandleWithinTheRadiusInclusive)
{
    const Annotation rect = Annotation::create(Kind::rectangle(), {100, 100}, {200, 150}, red, 4);
    EXPECT_EQ(handleAt(rect, {91, 100}, 9), Handle::cornerAt({100, 100}));
    EXPECT_FALSE(handleAt(rect, {90.9, 100}, 9));
    EXPECT_EQ(handleAt(rect, {205, 155}, 9), Handle::cornerAt({200, 150}));
    // Two handles in reach: the first in handle order wins.
    const Annotation tiny = Annotation::create(Kind::line(), {0, 0}, {2, 0}, red, 1);
    EXPECT_EQ(handleAt(tiny, {1, 0}, 9), Handle::startPoint());
}

TEST(EditorWindowSize, FollowsTheMinimumsAndTheVisibleFrame)
{
    EXPECT_EQ(editorContentSize({800, 600}, 2, {1440, 900}), QSizeF(720, 420));
    EXPECT_EQ(editorContentSize({3000, 2000}, 1, {1440, 900}), QSizeF(1296, 810));
    EXPECT_EQ(editorContentSize({1000, 500}, 1, {1440, 900}), QSizeF(1040, 590));
    EXPECT_EQ(editorContentSize({1, 1}, 1, {1440, 900}), QSizeF(720, 420));
    EXPECT_EQ(editorContentSize({20000, 200}, 1, {1440, 900}), QSizeF(1296, 420));
    EXPECT_EQ(centredOrigin({720, 420}, QRectF(0, 0, 1440, 900)), QPointF(360, 240));
    EXPECT_EQ(centredOrigin({720, 420}, QRectF(1920, 30, 1280, 994)), QPointF(2200, 317));
}

TEST(CanvasZoom, TheImagePointUnderThePointerStaysUnderIt)
{
    // A 4K image fitted into 1440 × 900, then zoomed in and out around points inside it,
    // each step from the mapping the previous one made, as the wheel does.
    const QSize image(3840, 2160);
    const QSizeF view(1440, 900);
    const struct {
        QPointF pointer;
        double factor;
    } steps[] = {{{720, 450}, 1}, {{300, 200}, 4}, {{1100, 700}, 8}, {{500, 500}, 2}, {{720, 450}, 0.5}};
    CanvasMapping map(view, image, 1);
    for (const auto& step : steps) {
        const QPointF under = map.toImageUnclamped(step.pointer);
        const CanvasZoom zoom = zoomedAround(map, step.factor, step.pointer);
        map = CanvasMapping(view, image, 1, zoom);
        EXPECT_DOUBLE_EQ(map.zoomFactor(), step.factor);
        expectPoint(map.toWidget(under), step.pointer, 1.0); // within the whole-point rounding
    }
    // Scrolled past the image's edge, the image stops at the margin.
    const CanvasMapping far(view, image, 1, scrolled(map, CanvasZoom{4, map.centre()}, -1e6, -1e6));
    EXPECT_EQ(far.imageRect().topLeft(), QPointF(20, 20));
    // Zoomed to a little wider than the room between the margins, it follows its centre point
    // within the margins rather than being centred.
    EXPECT_EQ(CanvasMapping(view, QSize(1000, 500), 1, CanvasZoom{1.42, {0, 250}}).imageRect().left(), 20);
    // Zoomed out below the fit, the image is centred whatever the centre point says.
    const CanvasMapping small(view, image, 1, CanvasZoom{0.1, {0, 0}});
    expectPoint(small.imageRect().center(), {720, 450}, 0.5);
}
