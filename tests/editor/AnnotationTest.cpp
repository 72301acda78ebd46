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

Annotation shape(Kind kind, QPointF start, QPointF end, double lineWidth = 4)
{
    return Annotation::create(std::move(kind), start, end, red, lineWidth);
}
Annotation text(const QString& string, QPointF origin, double lineWidth = 4) { return shape(Kind::text(string), origin, origin, lineWidth); }
Annotation step(int number, QPointF centre, double lineWidth = 4) { return shape(Kind::step(number), centre, centre, lineWidth); }

} // namespace

TEST(SegmentDistanceTest, MeasuresToTheNearestPointOfTheSegment)
{
    EXPECT_DOUBLE_EQ(segmentDistance({5, 3}, {0, 0}, {10, 0}), 3);
    EXPECT_DOUBLE_EQ(segmentDistance({-3, 4}, {0, 0}, {10, 0}), 5);
    EXPECT_DOUBLE_EQ(segmentDistance({13, -4}, {0, 0}, {10, 0}), 5);
    EXPECT_DOUBLE_EQ(segmentDistance({0, 0}, {-10, 0}, {10, 20}), std::sqrt(50.0));
    EXPECT_DOUBLE_EQ(segmentDistance({3, 4}, {0, 0}, {0, 0}), 5);
}

TEST(HitTestTest, EachKindIsHitWhereItIsDrawn)
{
    // Tolerance 6. Outlines are hit in a band from 6 outside to 6 + line width inside.
    const Annotation rect = shape(Kind::rectangle(), {300, 200}, {100, 100});
    const Annotation ellipse = shape(Kind::ellipse(), {100, 100}, {300, 200});
    const Annotation thin = shape(Kind::rectangle(), {100, 100}, {119, 300});  // no inside to miss
    const Annotation exact = shape(Kind::rectangle(), {100, 100}, {120, 300}); // an inside of width 0
    const Annotation wider = shape(Kind::rectangle(), {100, 100}, {121, 300});
    const Annotation flat = shape(Kind::rectangle(), {100, 100}, {300, 100});
    const Annotation highlight = shape(Kind::highlight(), {100, 100}, {300, 200});
    const Annotation pixelate = shape(Kind::pixelate(), {100, 100}, {300, 200});
    const Annotation line = shape(Kind::line(), {0, 0}, {100, 0});
    const Annotation arrow = shape(Kind::arrow(), {0, 0}, {100, 0});
    const Annotation dot = shape(Kind::arrow(), {50, 50}, {50, 50});
    const Annotation badge = step(1, {100, 100}, 2); // radius 12
    const Annotation label = text("Hello", {100, 100});
    const struct {
        const char* what;
        const Annotation& annotation;
        QPointF point;
        bool hit;
    } rows[] = {
        {"rect middle", rect, {200, 150}, false},     {"rect edge", rect, {100, 150}, true},
        {"rect 6 outside", rect, {94, 150}, true},    {"rect beyond", rect, {93.9, 150}, false},
        {"rect inner", rect, {109.9, 150}, true},     {"rect inside", rect, {110, 150}, false},
        {"rect right", rect, {306, 150}, false},      {"rect right in", rect, {305.9, 150}, true},
        {"rect top", rect, {200, 191}, true},         {"rect below top", rect, {200, 189}, false},
        {"ellipse middle", ellipse, {200, 150}, false}, {"ellipse corner", ellipse, {101, 101}, true},
        {"thin middle", thin, {109.5, 200}, true},    {"thin outside", thin, {93.9, 200}, false},
        {"exact middle", exact, {110, 200}, true},    {"wider middle", wider, {110.5, 200}, false},
        {"flat on", flat, {200, 100}, true},          {"flat below", flat, {200, 94}, true},
        {"flat above", flat, {200, 106}, false},
        {"highlight middle", highlight, {200, 150}, true}, {"highlight grown", highlight, {90, 150}, true},
        {"highlight beyond", highlight, {89.9, 150}, false}, {"pixelate middle", pixelate, {200, 150}, true},
        {"pixelate beyond", pixelate, {89.9, 150}, false},
        {"line side", line, {50, 8}, true},           {"line side out", line, {50, 8.01}, false},
        {"line end", line, {108, 0}, true},           {"line end out", line, {108.01, 0}, false},
        {"arrow side", arrow, {50, 8}, true},         {"arrow end out", arrow, {108.01, 0}, false},
        {"dot", dot, {58, 50}, true},                 {"dot out", dot, {58.01, 50}, false},
        {"dot diagonal", dot, {55.6, 55.6}, true},    {"dot diagonal out", dot, {55.7, 55.7}, false},
        {"badge centre", badge, {100, 100}, true},    {"badge edge", badge, {117.9, 100}, true},
        {"badge out", badge, {118, 100}, false},      {"text centre", label, label.bounds().center(), true},
        {"text corner", label, {94, 94}, true},       {"text left", label, {93.9, 100}, false},
        {"text right", label, {label.bounds().right() + 6, 100}, false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.annotation.hitTest(row.point, 6), row.hit) << row.what;
}

TEST(BoundsTest, ShapesStepsAndText)
{
    EXPECT_EQ(shape(Kind::arrow(), {50, 80}, {10, 20}, 4).bounds(), QRectF(6, 16, 48, 68));
    EXPECT_EQ(shape(Kind::highlight(), {10, 20}, {50, 80}, 8).bounds(), QRectF(2, 12, 56, 76));
    // A step's radius is at least 12, else 3.5 line widths.
    const Annotation badge = step(3, {100, 50}, 2);
    EXPECT_EQ(badge.bounds(), QRectF(88, 38, 24, 24));
    EXPECT_EQ(badge.handles(), (QList<Annotation::HandlePosition>{{Handle::scale(), {112, 50}}}));
    EXPECT_EQ(step(3, {100, 50}, 8).bounds(), QRectF(72, 22, 56, 56));

    const Annotation label = text("Quandrel", {10.5, 20.25}, 4); // font size 20
    const QSizeF measured = measureText("Quandrel", 20, FontWeight::semibold);
    EXPECT_GT(measured.width(), 40);
    EXPECT_EQ(measured.width(), std::ceil(measured.width()));
    EXPECT_EQ(measured.height(), std::ceil(measured.height()));
    EXPECT_EQ(label.bounds(), QRectF(QPointF(10.5, 20.25), measured));
    EXPECT_EQ(label.handles(), (QList<Annotation::HandlePosition>{{Handle::scale(), QPointF(10.5, 20.25) + QPointF(measured.width(), measured.height())}}));
    // Below the minimum font size text is measured at 12.
    EXPECT_EQ(text("Hi", {0, 0}, 2.4).bounds().size(), measureText("Hi", 12, FontWeight::semibold));
    EXPECT_LT(text("Hi", {0, 0}, 1).bounds().width(), text("Hi", {0, 0}, 8).bounds().width());
    EXPECT_NEAR(measureText("Quandrel", 48, FontWeight::semibold).width() / measureText("Quandrel", 12, FontWeight::semibold).width(), 4, 0.35);
    EXPECT_EQ(measureText("", 24, FontWeight::semibold).width(), 0);
}

TEST(HandlesTest, CornersInTheirFixedOrderAndLineEnds)
{
    // Drawn from the top right to the bottom left: the order is that of the normalised rectangle.
    const QList<Annotation::HandlePosition> corners = {{Handle::cornerAt({20, 10}), {20, 10}}, {Handle::cornerAt({100, 10}), {100, 10}},
                                                       {Handle::cornerAt({20, 80}), {20, 80}}, {Handle::cornerAt({100, 80}), {100, 80}}};
    for (const Kind& kind : {Kind::rectangle(), Kind::ellipse(), Kind::highlight(), Kind::pixelate()})
        EXPECT_EQ(shape(kind, {100, 80}, {20, 10}).handles(), corners);
    EXPECT_EQ(shape(Kind::arrow(), {100, 80}, {20, 10}).handles(),
              (QList<Annotation::HandlePosition>{{Handle::startPoint(), {100, 80}}, {Handle::endPoint(), {20, 10}}}));
    EXPECT_NE(Handle::cornerAt({1, 2}), Handle::cornerAt({1, 2.0000001}));
    EXPECT_NE(Handle::cornerAt({0, 0}), Handle::scale());
}

TEST(ResizeTest, CornersAndEndsMoveOnlyWhatWasGrabbed)
{
    const Annotation rect = shape(Kind::rectangle(), {20, 10}, {100, 80});
    const std::pair<QPointF, QPointF> rows[] = {{{20, 10}, {100, 80}}, {{100, 10}, {20, 80}}, {{20, 80}, {100, 10}}, {{100, 80}, {20, 10}}};
    for (const auto& [grabbed, fixed] : rows) {
        const Annotation resized = rect.resized(Handle::cornerAt(grabbed), {60, 40});
        EXPECT_EQ(resized.start, fixed) << grabbed.x() << "," << grabbed.y();
        EXPECT_EQ(resized.end, QPointF(60, 40));
        EXPECT_EQ(resized.id, rect.id);
    }
    EXPECT_EQ(rect.start, QPointF(20, 10)); // the given annotation is unchanged
    EXPECT_EQ(rect.resized(Handle::cornerAt({20, 10}), {150, 120}).normalizedRect(), QRectF(100, 80, 50, 40)); // flipped
    EXPECT_EQ(rect.resized(Handle::scale(), {50, 50}), rect);

    const Annotation line = shape(Kind::line(), {0, 0}, {10, 10});
    EXPECT_EQ(line.resized(Handle::startPoint(), {5, -5}).start, QPointF(5, -5));
    EXPECT_EQ(line.resized(Handle::startPoint(), {5, -5}).end, QPointF(10, 10));
    EXPECT_EQ(line.resized(Handle::endPoint(), {7, 8}).start, QPointF(0, 0));
    EXPECT_EQ(line.resized(Handle::endPoint(), {7, 8}).end, QPointF(7, 8));
}

TEST(ResizeTest, ScalingStepsAndText)
{
    // A step's radius follows the pointer with a floor of 8.
    const Annotation badge = step(1, {100, 100}, 4);
    EXPECT_DOUBLE_EQ(badge.resized(Handle::scale(), {103, 104}).lineWidth, 8 / 3.5);
    EXPECT_DOUBLE_EQ(badge.resized(Handle::scale(), {130, 140}).lineWidth, 50 / 3.5);
    EXPECT_EQ(badge.resized(Handle::scale(), {130, 140}).start, QPointF(100, 100));

    // Text follows the pointer's x over its width, with a font floor of 8.
    const Annotation label = text("Quandrel", {100, 100}, 4); // font 20
    const double width = measureText("Quandrel", 20, FontWeight::semibold).width();
    EXPECT_DOUBLE_EQ(label.resized(Handle::scale(), {100 + 2 * width, -500}).lineWidth, 8);
    EXPECT_DOUBLE_EQ(label.resized(Handle::scale(), {50, 100}).lineWidth, 8.0 / 5);
    EXPECT_DOUBLE_EQ(label.resized(Handle::scale(), {100 + width / 2, 100}).lineWidth, 2);
    // Small text starts from the font in use (12, not 5); empty text takes the offset as the factor.
    const double small = measureText("Hi", 12, FontWeight::semibold).width();
    EXPECT_DOUBLE_EQ(text("Hi", {0, 0}, 1).resized(Handle::scale(), {2 * small, 0}).lineWidth, 24.0 / 5);
    EXPECT_DOUBLE_EQ(text("", {0, 0}, 4).resized(Handle::scale(), {2, 0}).lineWidth, 8);
}

TEST(AnnotationTest, MovingKeepsEverythingButThePointsAndEqualityIsExact)
{
    const Annotation arrow = shape(Kind::arrow(), {1, 2}, {3, 4}, 6);
    Annotation expected = arrow;
    expected.start = {11, -18};
    expected.end = {13, -16};
    EXPECT_EQ(arrow.moved(10, -20), expected);

    const Annotation a = text("one", {1, 2});
    Annotation b = a;
    b.start.rx() += 1e-9; // QPointF's own == would call these equal
    EXPECT_NE(a, b);
    b = a;
    b.kind = Kind::text("two");
    EXPECT_NE(a, b);
    EXPECT_NE(Kind::step(1), Kind::step(2));
    EXPECT_NE(shape(Kind::line(), {}, {}).id, shape(Kind::line(), {}, {}).id);
}
