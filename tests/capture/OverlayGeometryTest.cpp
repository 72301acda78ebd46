// The selection overlay's geometry: the dragged rectangle and its acceptance, the size label,
// the loupe, the guide lines, the hint, the hovered window, what a view shows for a state,
// and the dimmed picture.

#include "OverlayGeometry.h"

#include <gtest/gtest.h>

namespace quandrel {

namespace {

using namespace overlay;

// Every text is 7 points per character wide and 16 high.
Size measure(const QString& text) { return {7.0 * text.size(), 16}; }

FrozenDisplay display(Rect frame, double scale = 1)
{
    QImage image(int(frame.width * scale), int(frame.height * scale), QImage::Format_RGB32);
    image.fill(0xff808080);
    return {Display{"d", frame, frame, scale}, {image, scale}};
}

} // namespace

TEST(OverlayGeometryTest, DragsBecomeWholePointRectanglesOfAtLeastThreeByThree)
{
    // The second display of the example starts at (1512, 0).
    const Rect frame{1512, 0, 1728, 1117};
    const Rect local = selectionRect({10, 20}, {110, 70});
    EXPECT_EQ(toGlobal(local, frame), (Rect{1522, 20, 100, 50}));
    // Any direction, and fractions widen outwards.
    EXPECT_EQ(selectionRect({110, 70}, {10, 20}), local);
    EXPECT_EQ(selectionRect({10.4, 20.6}, {12.2, 22.1}), (Rect{10, 20, 3, 3}));
    EXPECT_EQ(selectionRect({-0.5, 5}, {0.5, 5}), (Rect{-1, 5, 2, 0}));

    for (const auto& [end, accepted] : {std::pair{Point{2, 50}, false}, {Point{50, 2}, false}, {Point{3, 3}, true}, {Point{0, 0}, false}})
        EXPECT_EQ(acceptsSelection(selectionRect({0, 0}, end)), accepted) << end.x << "," << end.y;

    for (const auto& [point, clamped] : {std::pair{Point{-40, 2000}, Point{0, 1117}}, {Point{1800, -3}, Point{1728, 0}}, {Point{5, 6}, Point{5, 6}},
                                         {Point{std::nan(""), 6}, Point{0, 6}}})
        EXPECT_EQ(clampToView(point, {1728, 1117}), clamped);
}

TEST(OverlayGeometryTest, SizeLabelCountsPixelsAndSitsBelowOrAboveTheSelection)
{
    EXPECT_EQ(sizeLabelText({0, 0, 100, 50}, 2), QString::fromUtf8("200 \u00d7 100"));
    EXPECT_EQ(sizeLabelText({0, 0, 100, 50}, 1), QString::fromUtf8("100 \u00d7 50"));
    // Truncated, not rounded.
    EXPECT_EQ(sizeLabelText({0, 0, 3, 3}, 1.9), QString::fromUtf8("5 \u00d7 5"));

    EXPECT_EQ(labelPillOrigin({40, 100, 200, 100}), (Point{40, 74}));
    EXPECT_EQ(labelPillOrigin({40, 26, 200, 100}), (Point{40, 0}));
    // Near the bottom the label goes above the rectangle.
    EXPECT_EQ(labelPillOrigin({40, 10, 200, 1000}), (Point{40, 1016}));
    EXPECT_EQ(pillSize({100, 16}), (Size{120, 24}));
}

TEST(OverlayGeometryTest, LoupeCutsFifteenPixelsRoundingHalvesAwayFromZeroAndFlipsAtTheEdges)
{
    // Pointer at (100, 50) in a view 200 high at scale 1: x = round(92.5) = 93, y = round(142.5) = 143.
    EXPECT_EQ(loupeSource({100, 50}, 200, 1), QRect(93, 143, 15, 15));
    // At scale 2: x = round(192.5) = 193, y = round(2 * 150 - 7.5) = 293.
    EXPECT_EQ(loupeSource({100, 50}, 200, 2), QRect(193, 293, 15, 15));
    // Left of the image: round(-7.5) = -8, away from zero.
    EXPECT_EQ(loupeSource({0, 200}, 200, 1), QRect(-8, -8, 15, 15));

    // Within 144 points of the right edge it goes left of the pointer, of the bottom above it.
    for (const auto& [pointer, frame] : {std::pair{Point{300, 400}, Rect{324, 256, 120, 120}}, {Point{857, 400}, Rect{713, 256, 120, 120}},
                                         {Point{856, 400}, Rect{880, 256, 120, 120}}, {Point{300, 143}, Rect{324, 167, 120, 120}},
                                         {Point{300, 144}, Rect{324, 0, 120, 120}}, {Point{990, 10}, Rect{846, 34, 120, 120}}})
        EXPECT_EQ(loupeFrame(pointer, {1000, 800}), frame) << pointer.x << "," << pointer.y;
}

TEST(OverlayGeometryTest, GuideLinesHintAndPills)
{
    EXPECT_EQ(guideLinePosition(10.2), 10.5);
    EXPECT_EQ(guideLinePosition(10.5), 11.5);
    EXPECT_EQ(guideLinePosition(-10.5), -10.5);

    EXPECT_EQ(hintText(false), QString::fromUtf8("Drag to select \u00b7 Space for window \u00b7 Esc to cancel"));
    EXPECT_EQ(hintText(true), QString::fromUtf8("Click a window \u00b7 Space for area \u00b7 Esc to cancel"));
    EXPECT_EQ(hintPill({1000, 800}, {300, 16}), (Rect{340, 740, 320, 24}));
    // Widget coordinates flip within the view.
    EXPECT_EQ(toWidget({10, 20, 100, 50}, 800), QRectF(10, 730, 100, 50));
    EXPECT_EQ(fromWidget(QPointF(10, 730), 800), (Point{10, 70}));
}

TEST(OverlayGeometryTest, HoveredWindowIsTheFrontmostUnderThePointerAndPicksTheDisplayOfItsCentre)
{
    const std::vector<PickableWindow> windows = {
        {1, {100, 100, 200, 200}}, // front
        {2, {50, 50, 400, 400}},
    };
    EXPECT_EQ(hoveredWindow(windows, {150, 150}, true)->window, 1u);
    EXPECT_EQ(hoveredWindow(windows, {60, 60}, true)->window, 2u);
    EXPECT_FALSE(hoveredWindow(windows, {150, 150}, false));
    EXPECT_FALSE(hoveredWindow(windows, {10, 10}, true));
    EXPECT_FALSE(hoveredWindow({}, {150, 150}, true));
    // The top edge belongs to the window, the bottom one does not (screen space, y up).
    EXPECT_EQ(hoveredWindow(windows, {100, 300}, true)->window, 1u);
    EXPECT_EQ(hoveredWindow(windows, {100, 100}, true)->window, 2u);

    const std::vector<FrozenDisplay> displays = {display({0, 0, 1000, 800}), display({1000, 0, 800, 600})};
    // A window on both displays goes with the one holding its centre.
    EXPECT_EQ(displayForWindow(displays, {3, {900, 100, 400, 200}})->screen.frame.x, 1000);
    EXPECT_EQ(displayForWindow(displays, {3, {700, 100, 400, 200}})->screen.frame.x, 0);
    // Centre on no display: the first.
    EXPECT_EQ(displayForWindow(displays, {3, {1700, 700, 400, 200}})->screen.frame.x, 0);
    EXPECT_FALSE(displayForWindow({}, {3, {0, 0, 100, 100}}));
}

TEST(OverlayGeometryTest, SceneFollowsModeDragAndPointer)
{
    ViewState s;
    s.frame = {1512, 0, 1000, 800};
    s.scale = 2;
    s.showsHint = true;

    // Nothing but the hint before the pointer has moved.
    ViewScene scene = sceneFor(s, measure);
    EXPECT_FALSE(scene.highlight || scene.loupe || scene.guides);
    EXPECT_EQ(scene.hint, hintText(false));
    ASSERT_TRUE(scene.hintPill);
    EXPECT_EQ(scene.hintPill->y, 740);

    // Pointer, no drag: guide lines and loupe. The horizontal line covers the pointer's pixel
    // row, which lies below the pointer's point in screen space.
    s.mouse = Point{300.2, 400};
    scene = sceneFor(s, measure);
    ASSERT_TRUE(scene.guides);
    EXPECT_EQ(*scene.guides, (Point{300.5, 399.5}));
    EXPECT_EQ(scene.loupe, (Rect{324.2, 256, 120, 120}));
    EXPECT_EQ(scene.loupeSource, loupeSource({300.2, 400}, 800, 2));

    // Dragging: highlight and label, loupe but no guide lines.
    s.dragStart = Point{10, 20};
    s.dragCurrent = Point{110, 70};
    s.mouse = s.dragCurrent;
    scene = sceneFor(s, measure);
    EXPECT_EQ(scene.highlight, (Rect{10, 20, 100, 50}));
    EXPECT_FALSE(scene.accentFill);
    EXPECT_EQ(scene.label, QString::fromUtf8("200 \u00d7 100"));
    ASSERT_TRUE(scene.labelPill);
    EXPECT_EQ(scene.labelPill->origin(), (Point{10, 76})); // 20 - 26 < 0: above
    EXPECT_FALSE(scene.guides);
    EXPECT_TRUE(scene.loupe);

    // Window mode: the hovered frame in view coordinates, tinted; no label, loupe or guides,
    // and drag points are ignored.
    s.windowMode = true;
    s.hoveredFrame = Rect{1400, 100, 300, 200};
    scene = sceneFor(s, measure);
    EXPECT_EQ(scene.highlight, (Rect{-112, 100, 300, 200}));
    EXPECT_TRUE(scene.accentFill);
    EXPECT_TRUE(scene.label.isEmpty());
    EXPECT_FALSE(scene.loupe || scene.guides);
    EXPECT_EQ(scene.hint, hintText(true));

    // Not the pointer's display: no hint.
    s.showsHint = false;
    EXPECT_FALSE(sceneFor(s, measure).hintPill);
}

TEST(OverlayGeometryTest, DimmedImageDarkensEveryPixelAndKeepsAlpha)
{
    for (const QSize size : {QSize(3, 2), QSize(1200, 700)}) {
        QImage image(size, QImage::Format_RGB32);
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x)
                image.setPixel(x, y, qRgb((x * 37) & 0xff, (y * 11) & 0xff, 255));
        const QImage dimmed = dimmedImage(image);
        ASSERT_EQ(dimmed.size(), size);
        for (const QPoint p : {QPoint(0, 0), QPoint(size.width() - 1, size.height() - 1), QPoint(2, 1)}) {
            const QRgb before = image.pixel(p);
            const QRgb after = dimmed.pixel(p);
            EXPECT_EQ(qAlpha(after), 255);
            EXPECT_NEAR(qRed(after), qRed(before) * 0.65, 1.01) << p.x() << "," << p.y();
            EXPECT_NEAR(qGreen(after), qGreen(before) * 0.65, 1.01) << p.x() << "," << p.y();
            EXPECT_NEAR(qBlue(after), qBlue(before) * 0.65, 1.01) << p.x() << "," << p.y();
        }
        // The last rows (another thread's band) are done too.
        EXPECT_NEAR(qBlue(dimmed.pixel(size.width() / 2, size.height() - 1)), 166, 1);
    }
    // Other formats are converted; a null image stays null.
    QImage rgb888(4, 4, QImage::Format_RGB888);
    rgb888.fill(Qt::white);
    EXPECT_NEAR(qRed(dimmedImage(rgb888).pixel(1, 1)), 166, 1);
    EXPECT_TRUE(dimmedImage(QImage()).isNull());
}

} // namespace quandrel
