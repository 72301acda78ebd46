#include "Annotation.h"
#include "EditorTestSupport.h"
#include "TextMeasure.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace quandrel;
using Kind = Annotation::Kind;
using Handle = Annotation::Handle;

namespace {

constexpr RGBA red{1.0, 0.23, 0.19, 1.0};
constexpr double tolerance = 6;

Annotation shape(Kind kind, QPointF start, QPointF end, double lineWidth = 4)
{
    return Annotation::create(std::move(kind), start, end, red, lineWidth);
}

Annotation text(const QString& string, QPointF origin, double lineWidth = 4)
{
    return Annotation::create(Kind::text(string), origin, origin, red, lineWidth);
}

Annotation step(int number, QPointF centre, double lineWidth = 4)
{
    return Annotation::create(Kind::step(number), centre, centre, red, lineWidth);
}

} // namespace

// --- segment distance ------------------------------------------------------------------

TEST(SegmentDistanceTest, MeasuresToTheNearestPointOfTheSegment)
{
    EXPECT_DOUBLE_EQ(segmentDistance({5, 3}, {0, 0}, {10, 0}), 3);   // beside the middle
    EXPECT_DOUBLE_EQ(segmentDistance({-3, 4}, {0, 0}, {10, 0}), 5);  // beyond the start
    EXPECT_DOUBLE_EQ(segmentDistance({13, -4}, {0, 0}, {10, 0}), 5); // beyond the end
    EXPECT_DOUBLE_EQ(segmentDistance({0, 0}, {-10, 0}, {10, 20}), std::sqrt(50.0)); // to the line y = x + 10
}

TEST(SegmentDistanceTest, AZeroLengthSegmentIsItsPoint)
{
    EXPECT_DOUBLE_EQ(segmentDistance({3, 4}, {0, 0}, {0, 0}), 5);
    EXPECT_DOUBLE_EQ(segmentDistance({0, 0}, {0, 0}, {0, 0}), 0);
}

// --- hit testing -----------------------------------------------------------------------

TEST(HitTestTest, ARectangleIsHitOnlyInABandAroundItsOutline)
{
    // R = (100, 100, 200, 100); band from 6 outside to 6 + 4 inside each edge.
    const Annotation rect = shape(Kind::rectangle(), {300, 200}, {100, 100});
    EXPECT_FALSE(rect.hitTest({200, 150}, tolerance)); // the middle
    EXPECT_TRUE(rect.hitTest({100, 150}, tolerance));  // on the left edge
    EXPECT_TRUE(rect.hitTest({94, 150}, tolerance));   // 6 outside
    EXPECT_FALSE(rect.hitTest({93.9, 150}, tolerance));
    EXPECT_TRUE(rect.hitTest({109.9, 150}, tolerance)); // just under 10 inside
    EXPECT_FALSE(rect.hitTest({110, 150}, tolerance));  // the inner rectangle starts here
    EXPECT_FALSE(rect.hitTest({306, 150}, tolerance));  // the outer right edge is exclusive
    EXPECT_TRUE(rect.hitTest({305.9, 150}, tolerance));
    EXPECT_TRUE(rect.hitTest({200, 191}, tolerance)); // near the top edge
    EXPECT_FALSE(rect.hitTest({200, 189}, tolerance));
}

TEST(HitTestTest, AnEllipseUsesTheSameRectangularBand)
{
    const Annotation ellipse = shape(Kind::ellipse(), {100, 100}, {300, 200});
    EXPECT_FALSE(ellipse.hitTest({200, 150}, tolerance));
    // The corner of the bounding rectangle is far from the curve but inside the band.
    EXPECT_TRUE(ellipse.hitTest({101, 101}, tolerance));
}

TEST(HitTestTest, AThinRectangleIsHitAnywhereWithinItsGrownOutline)
{
    // 19 wide < 2 × (6 + 4): no inside to miss.
    const Annotation thin = shape(Kind::rectangle(), {100, 100}, {119, 300});
    EXPECT_TRUE(thin.hitTest({109.5, 200}, tolerance));
    EXPECT_FALSE(thin.hitTest({93.9, 200}, tolerance));
    // Exactly 2 × (6 + 4) wide leaves an inner rectangle of width 0, which contains nothing.
    const Annotation exact = shape(Kind::rectangle(), {100, 100}, {120, 300});
    EXPECT_TRUE(exact.hitTest({110, 200}, tolerance));
    // One pixel more and the middle misses.
    const Annotation wider = shape(Kind::rectangle(), {100, 100}, {121, 300});
    EXPECT_FALSE(wider.hitTest({110.5, 200}, tolerance));
    // A degenerate, zero-height rectangle is a line of band.
    const Annotation flat = shape(Kind::rectangle(), {100, 100}, {300, 100});
    EXPECT_TRUE(flat.hitTest({200, 100}, tolerance));
    EXPECT_TRUE(flat.hitTest({200, 94}, tolerance));
    EXPECT_FALSE(flat.hitTest({200, 106}, tolerance));
}

TEST(HitTestTest, HighlightAndPixelateAreHitInTheMiddle)
{
    for (const Kind& kind : {Kind::highlight(), Kind::pixelate()}) {
        const Annotation area = shape(kind, {100, 100}, {300, 200});
        EXPECT_TRUE(area.hitTest({200, 150}, tolerance));
        // bounds = R grown by the line width, then by the tolerance
        EXPECT_TRUE(area.hitTest({90, 150}, tolerance));
        EXPECT_FALSE(area.hitTest({89.9, 150}, tolerance));
    }
}

TEST(HitTestTest, LinesAndArrowsAreHitWithinToleranceAndHalfTheirWidth)
{
    for (const Kind& kind : {Kind::line(), Kind::arrow()}) {
        const Annotation line = shape(kind, {0, 0}, {100, 0}, 4);
        EXPECT_TRUE(line.hitTest({50, 8}, tolerance));
        EXPECT_FALSE(line.hitTest({50, 8.01}, tolerance));
        EXPECT_TRUE(line.hitTest({108, 0}, tolerance)); // beyond the end, on the axis
        EXPECT_FALSE(line.hitTest({108.01, 0}, tolerance));
    }
}

TEST(HitTestTest, AZeroLengthArrowIsHitAroundItsStart)
{
    const Annotation dot = shape(Kind::arrow(), {50, 50}, {50, 50}, 4);
    EXPECT_TRUE(dot.hitTest({58, 50}, tolerance));
    EXPECT_FALSE(dot.hitTest({58.01, 50}, tolerance));
    EXPECT_TRUE(dot.hitTest({50 + 5.6, 50 + 5.6}, tolerance)); // 7.92 away
    EXPECT_FALSE(dot.hitTest({50 + 5.7, 50 + 5.7}, tolerance)); // 8.06 away
}

TEST(HitTestTest, StepsAndTextAreHitWithinTheirBounds)
{
    const Annotation badge = step(1, {100, 100}, 2); // radius 12
    EXPECT_TRUE(badge.hitTest({100, 100}, tolerance));
    EXPECT_TRUE(badge.hitTest({117.9, 100}, tolerance));
    EXPECT_FALSE(badge.hitTest({118, 100}, tolerance));

    const Annotation label = text("Hello", {100, 100});
    const QRectF b = label.bounds();
    EXPECT_TRUE(label.hitTest(b.center(), tolerance));
    EXPECT_TRUE(label.hitTest({100 - 6, 100 - 6}, tolerance));
    EXPECT_FALSE(label.hitTest({100 - 6.1, 100}, tolerance));
    EXPECT_FALSE(label.hitTest({b.right() + 6, 100}, tolerance));
}

// --- bounds and handles ----------------------------------------------------------------

TEST(BoundsTest, ShapesAreTheirRectangleGrownByTheLineWidth)
{
    EXPECT_EQ(shape(Kind::arrow(), {50, 80}, {10, 20}, 4).bounds(), QRectF(6, 16, 48, 68));
    EXPECT_EQ(shape(Kind::highlight(), {10, 20}, {50, 80}, 8).bounds(), QRectF(2, 12, 56, 76));
}

TEST(BoundsTest, AStepWithASmallLineWidthStillHasRadiusTwelve)
{
    const Annotation badge = step(3, {100, 50}, 2);
    EXPECT_EQ(badge.stepRadius(), 12);
    EXPECT_EQ(badge.bounds(), QRectF(88, 38, 24, 24));
    const auto handles = badge.handles();
    ASSERT_EQ(handles.size(), 1);
    EXPECT_EQ(handles[0].handle, Handle::scale());
    EXPECT_EQ(handles[0].position, QPointF(112, 50));
    // A large line width grows the badge: radius 8 × 3.5 = 28.
    EXPECT_EQ(step(3, {100, 50}, 8).bounds(), QRectF(72, 22, 56, 56));
}

TEST(BoundsTest, TextIsItsMeasuredSizeRoundedUpFromItsOrigin)
{
    const Annotation label = text("Quandrel", {10.5, 20.25}, 4); // font size 20
    const QSizeF measured = measureText("Quandrel", 20, FontWeight::semibold);
    EXPECT_GT(measured.width(), 40);
    EXPECT_GT(measured.height(), 15);
    EXPECT_EQ(measured.width(), std::ceil(measured.width()));
    EXPECT_EQ(measured.height(), std::ceil(measured.height()));
    EXPECT_EQ(label.bounds(), QRectF(QPointF(10.5, 20.25), measured));
    const auto handles = label.handles();
    ASSERT_EQ(handles.size(), 1);
    EXPECT_EQ(handles[0].handle, Handle::scale());
    EXPECT_EQ(handles[0].position, QPointF(10.5 + measured.width(), 20.25 + measured.height()));
}

TEST(BoundsTest, TextBelowTheMinimumFontSizeIsMeasuredAtTwelve)
{
    EXPECT_EQ(text("Hi", {0, 0}, 1).bounds().size(), measureText("Hi", 12, FontWeight::semibold));
    EXPECT_EQ(text("Hi", {0, 0}, 2.4).bounds().size(), measureText("Hi", 12, FontWeight::semibold));
    EXPECT_LT(text("Hi", {0, 0}, 1).bounds().width(), text("Hi", {0, 0}, 8).bounds().width());
}

TEST(HandlesTest, CornersComeInTheirFixedOrderWithTheirPositions)
{
    // Drawn from the top right to the bottom left: the order is that of the normalised rectangle.
    const Annotation rect = shape(Kind::rectangle(), {100, 80}, {20, 10});
    const QList<Annotation::HandlePosition> expected = {
        {Handle::cornerAt({20, 10}), {20, 10}},
        {Handle::cornerAt({100, 10}), {100, 10}},
        {Handle::cornerAt({20, 80}), {20, 80}},
        {Handle::cornerAt({100, 80}), {100, 80}},
    };
    for (const Kind& kind : {Kind::rectangle(), Kind::ellipse(), Kind::highlight(), Kind::pixelate()}) {
        Annotation a = rect;
        a.kind = kind;
        EXPECT_EQ(a.handles(), expected);
    }
}

TEST(HandlesTest, LinesAndArrowsHaveStartThenEnd)
{
    const Annotation arrow = shape(Kind::arrow(), {100, 80}, {20, 10});
    const QList<Annotation::HandlePosition> expected = {{Handle::startPoint(), {100, 80}},
                                                        {Handle::endPoint(), {20, 10}}};
    EXPECT_EQ(arrow.handles(), expected);
}

TEST(HandlesTest, CornerHandlesAreEqualWhenTheirPointsAre)
{
    EXPECT_EQ(Handle::cornerAt({1, 2}), Handle::cornerAt({1, 2}));
    EXPECT_NE(Handle::cornerAt({1, 2}), Handle::cornerAt({1, 2.0000001}));
    EXPECT_NE(Handle::cornerAt({0, 0}), Handle::scale());
    EXPECT_NE(Handle::startPoint(), Handle::endPoint());
}

// --- resizing --------------------------------------------------------------------------

TEST(ResizeTest, DraggingACornerKeepsTheOppositeCornerFixed)
{
    const Annotation rect = shape(Kind::rectangle(), {20, 10}, {100, 80});
    struct Row {
        QPointF grabbed;
        QPointF fixed;
    };
    const Row rows[] = {{{20, 10}, {100, 80}}, {{100, 10}, {20, 80}}, {{20, 80}, {100, 10}}, {{100, 80}, {20, 10}}};
    for (const Row& row : rows) {
        const Annotation resized = rect.resized(Handle::cornerAt(row.grabbed), {60, 40});
        EXPECT_EQ(resized.start, row.fixed) << row.grabbed.x() << "," << row.grabbed.y();
        EXPECT_EQ(resized.end, QPointF(60, 40));
        EXPECT_EQ(resized.id, rect.id);
    }
    // The given annotation is unchanged.
    EXPECT_EQ(rect.start, QPointF(20, 10));
    EXPECT_EQ(rect.end, QPointF(100, 80));
}

TEST(ResizeTest, ACornerDraggedPastTheOppositeOneFlipsTheRectangle)
{
    const Annotation rect = shape(Kind::highlight(), {20, 10}, {100, 80});
    const Annotation flipped = rect.resized(Handle::cornerAt({20, 10}), {150, 120});
    EXPECT_EQ(flipped.normalizedRect(), QRectF(100, 80, 50, 40));
}

TEST(ResizeTest, StartAndEndHandlesMoveOnlyTheirPoint)
{
    const Annotation line = shape(Kind::line(), {0, 0}, {10, 10});
    EXPECT_EQ(line.resized(Handle::startPoint(), {5, -5}).start, QPointF(5, -5));
    EXPECT_EQ(line.resized(Handle::startPoint(), {5, -5}).end, QPointF(10, 10));
    EXPECT_EQ(line.resized(Handle::endPoint(), {7, 8}).start, QPointF(0, 0));
    EXPECT_EQ(line.resized(Handle::endPoint(), {7, 8}).end, QPointF(7, 8));
}

TEST(ResizeTest, ScalingAStepSetsItsRadiusWithAFloorOfEight)
{
    const Annotation badge = step(1, {100, 100}, 4);
    EXPECT_DOUBLE_EQ(badge.resized(Handle::scale(), {100, 100}).lineWidth, 8 / 3.5);
    EXPECT_DOUBLE_EQ(badge.resized(Handle::scale(), {103, 104}).lineWidth, 8 / 3.5); // 5 away
    EXPECT_DOUBLE_EQ(badge.resized(Handle::scale(), {130, 140}).lineWidth, 50 / 3.5);
    EXPECT_EQ(badge.resized(Handle::scale(), {130, 140}).start, QPointF(100, 100));
}

TEST(ResizeTest, ScalingTextFollowsTheHorizontalPointerWithFloors)
{
    const Annotation label = text("Quandrel", {100, 100}, 4); // font 20
    const double width = measureText("Quandrel", 20, FontWeight::semibold).width();
    // The handle dragged to twice the width doubles the font: 40 / 5 = 8.
    EXPECT_DOUBLE_EQ(label.resized(Handle::scale(), {100 + 2 * width, 500}).lineWidth, 8);
    // Only x matters.
    EXPECT_DOUBLE_EQ(label.resized(Handle::scale(), {100 + 2 * width, -500}).lineWidth, 8);
    // Left of the origin: factor 0.1, font max(2, 8) = 8.
    EXPECT_DOUBLE_EQ(label.resized(Handle::scale(), {50, 100}).lineWidth, 8.0 / 5);
    // A factor of 0.5 on a 20 font gives 10.
    EXPECT_DOUBLE_EQ(label.resized(Handle::scale(), {100 + width / 2, 100}).lineWidth, 2);
}

TEST(ResizeTest, ScalingSmallTextStartsFromTheFontInUse)
{
    // lineWidth 1 → f = 5, but the font in use is 12: doubling gives 24, line width 4.8.
    const Annotation label = text("Hi", {0, 0}, 1);
    const double width = measureText("Hi", 12, FontWeight::semibold).width();
    EXPECT_DOUBLE_EQ(label.resized(Handle::scale(), {2 * width, 0}).lineWidth, 24.0 / 5);
}

TEST(ResizeTest, ScalingEmptyTextUsesThePointerOffsetAsTheFactor)
{
    // An empty string measures 0 wide, so q is not divided: q = 2 doubles the font.
    const Annotation empty = text("", {0, 0}, 4);
    EXPECT_DOUBLE_EQ(empty.resized(Handle::scale(), {2, 0}).lineWidth, 8);
}

TEST(ResizeTest, TheScaleHandleLeavesOtherKindsUnchanged)
{
    const Annotation rect = shape(Kind::rectangle(), {0, 0}, {10, 10});
    EXPECT_EQ(rect.resized(Handle::scale(), {50, 50}), rect);
}

// --- moving and equality ---------------------------------------------------------------

TEST(MoveTest, MovesBothPointsAndKeepsEverythingElse)
{
    const Annotation arrow = shape(Kind::arrow(), {1, 2}, {3, 4}, 6);
    const Annotation moved = arrow.moved(10, -20);
    EXPECT_EQ(moved.start, QPointF(11, -18));
    EXPECT_EQ(moved.end, QPointF(13, -16));
    EXPECT_EQ(moved.id, arrow.id);
    EXPECT_EQ(moved.kind, arrow.kind);
    EXPECT_EQ(moved.color, arrow.color);
    EXPECT_EQ(moved.lineWidth, arrow.lineWidth);
    EXPECT_EQ(moved.moved(-10, 20), arrow);
}

TEST(AnnotationEqualityTest, ComparesEveryFieldExactly)
{
    const Annotation a = text("one", {1, 2});
    Annotation b = a;
    EXPECT_EQ(a, b);
    b.start.rx() += 1e-9; // QPointF's own == would call these equal
    EXPECT_NE(a, b);
    b = a;
    b.kind = Kind::text("two");
    EXPECT_NE(a, b);
    b = a;
    b.id = QUuid::createUuid();
    EXPECT_NE(a, b);
    EXPECT_NE(Kind::step(1), Kind::step(2));
    EXPECT_NE(Kind::text(""), Kind::arrow());
    EXPECT_NE(Annotation::create(Kind::line(), {}, {}, red, 1).id, Annotation::create(Kind::line(), {}, {}, red, 1).id);
}
