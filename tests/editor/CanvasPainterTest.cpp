#include "CanvasPainter.h"
#include "EditorTestSupport.h"

#include <QPainter>
#include <gtest/gtest.h>

#include <functional>
#include <tuple>

using namespace quandrel;
using Kind = Annotation::Kind;

namespace {

const QColor background(200, 200, 200);
const QColor accent(0, 200, 0);
constexpr RGBA red{1.0, 0.23, 0.19, 1.0};

// A view of 2 × margin plus the image at scale s, the image centred.
CanvasScene sceneAt(double s, const QImage& source)
{
    CanvasScene scene;
    scene.source = source;
    scene.scale = s;
    scene.imageRect = QRectF(canvas::margin, canvas::margin, source.width() * s, source.height() * s);
    scene.background = background;
    scene.accent = accent;
    return scene;
}

QImage paint(const CanvasScene& scene)
{
    const QSize size(int(scene.imageRect.width() + 2 * canvas::margin),
                     int(scene.imageRect.height() + 2 * canvas::margin));
    QImage view(size, QImage::Format_ARGB32_Premultiplied);
    view.fill(Qt::magenta);
    QPainter painter(&view);
    drawCanvas(painter, scene, QRectF(QPointF(0, 0), QSizeF(size)));
    return view;
}

int countPixels(const QImage& image, const QRect& area, const std::function<bool(const QColor&)>& test)
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (test(image.pixelColor(x, y)))
                ++count;
    return count;
}

} // namespace

TEST(CanvasPainterTest, TheImageAtScaleOverTheBackdropWithItsShadowAndOriginBottomLeft)
{
    CanvasScene scene = sceneAt(2, filledImage(100, 50, Qt::white));
    scene.annotations = {Annotation::create(Kind::highlight(), {0, 0}, {5, 5}, {0, 0, 0, 1}, 1)};
    const QImage view = paint(scene);
    EXPECT_EQ(view.size(), QSize(240, 140));
    EXPECT_EQ(view.pixelColor(2, 2), background);
    EXPECT_EQ(view.pixelColor(218, 118), Qt::white);
    // Image (0…5, 0…5) is view x 20…30, y 110…120 (y down).
    EXPECT_PRED3(near, view.pixelColor(22, 117), QColor(153, 153, 153), 2);
    EXPECT_EQ(view.pixelColor(22, 22), Qt::white);
    EXPECT_EQ(view.pixelColor(32, 117), Qt::white);
    // Below the image the backdrop is darkened more than above it, fading out within the margin.
    const int below = background.red() - view.pixelColor(120, 122).red();
    EXPECT_GT(below, background.red() - view.pixelColor(120, 17).red());
    EXPECT_LT(below, qRound(255 * canvas::imageShadowAlpha));
    EXPECT_EQ(view.pixelColor(120, 139), background);
}

TEST(CanvasPainterTest, TheCropShadesOnlyItsOutsideAndHasAWhiteBorder)
{
    CanvasScene scene = sceneAt(2, filledImage(100, 50, Qt::white));
    scene.crop = QRectF(50, 0, 50, 50); // the right half of the image
    const QImage view = paint(scene);
    EXPECT_PRED3(near, view.pixelColor(60, 70), QColor(128, 128, 128), 1);
    EXPECT_EQ(view.pixelColor(180, 70), Qt::white);
    // A crop being dragged is shown instead of the document's.
    scene.cropDraft = QRectF(0, 0, 50, 50);
    const QImage dragging = paint(scene);
    EXPECT_EQ(dragging.pixelColor(60, 70), Qt::white);
    EXPECT_PRED3(near, dragging.pixelColor(180, 70), QColor(128, 128, 128), 1);
}

TEST(CanvasPainterTest, DecorationsKeepTheirSizeOnScreenAtEveryScale)
{
    const auto handleAndBorder = [](double s) {
        CanvasScene scene = sceneAt(s, filledImage(int(200 / s), int(100 / s), Qt::black));
        const Annotation rect = Annotation::create(Kind::rectangle(), {20 / s, 20 / s}, {120 / s, 80 / s}, red, 8 / s);
        // (The selection outline runs 8 + 4 points outside the rectangle, clear of the handle.)
        scene.annotations = {rect};
        scene.selectedID = rect.id;
        scene.crop = QRectF(0, 0, 200 / s, 100 / s);
        const QImage view = paint(scene);
        // The handle at the rectangle's (minX, minY) corner: view (40, 100).
        const int white = countPixels(view, QRect(32, 92, 17, 17), [](const QColor& c) {
            return c.red() > 240 && c.green() > 240 && c.blue() > 240;
        });
        const int rim = countPixels(view, QRect(32, 92, 17, 17), [](const QColor& c) {
            return c.green() > 120 && c.red() < 80 && c.blue() < 80;
        });
        // The crop border along the image's left edge, across one row of the (black) image.
        const int border = countPixels(view, QRect(20, 60, 6, 1), [](const QColor& c) { return c.red() > 60; });
        return std::tuple(white, rim, border);
    };
    const auto [white2, rim2, border2] = handleAndBorder(2);
    const auto [white05, rim05, border05] = handleAndBorder(0.5);
    // A 9-point circle: about 45 white pixels inside a 1.5-point accent ring.
    EXPECT_GT(white2, 30);
    EXPECT_NEAR(white2, white05, 4);
    EXPECT_GT(rim2, 15);
    EXPECT_NEAR(rim2, rim05, 6);
    EXPECT_GE(border2, 1);
    EXPECT_LE(border2, 2);
    EXPECT_EQ(border2, border05);
}

TEST(CanvasPainterTest, TheLiveCopyReplacesTheStoredOneAndTheDraftGoesOnTop)
{
    CanvasScene scene;
    const Annotation a = Annotation::create(Kind::line(), {0, 0}, {1, 1}, red, 1);
    const Annotation b = Annotation::create(Kind::arrow(), {0, 0}, {1, 1}, red, 1);
    const Annotation draft = Annotation::create(Kind::rectangle(), {0, 0}, {1, 1}, red, 1);
    scene.annotations = {a, b};
    scene.moving = a.moved(5, 5);
    scene.draft = draft;
    const QList<Annotation> expected = {a.moved(5, 5), b, draft};
    EXPECT_EQ(visibleAnnotations(scene), expected);
}
