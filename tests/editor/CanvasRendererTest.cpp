#include "CanvasGeometry.h"
#include "CanvasRenderer.h"
#include "EditorTestSupport.h"

#include <QPainter>
#include <gtest/gtest.h>

using namespace quandrel;
using Kind = Annotation::Kind;

namespace {

constexpr RGBA red{1.0, 0.23, 0.19, 1.0};
constexpr RGBA yellow{1.0, 0.84, 0.04, 1.0};
const QSize viewSize(440, 340);

QImage stripes()
{
    QImage image(400, 300, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(x * 255 / 400, y * 255 / 300, (x / 7 + y / 5) % 2 ? 220 : 30));
    return image;
}

CanvasScene sceneFor(const QImage& source)
{
    const CanvasMapping map(QSizeF(viewSize), source.size(), 1);
    CanvasScene scene;
    scene.source = source;
    scene.imageRect = map.imageRect();
    scene.scale = map.scale();
    scene.background = QColor(236, 236, 236);
    scene.accent = QColor(0, 122, 255);
    scene.annotations = {
        Annotation::create(Kind::pixelate(), {30, 30}, {150, 120}, red, 4),
        Annotation::create(Kind::text(QStringLiteral("Hello")), {200, 200}, {200, 200}, red, 4),
        Annotation::create(Kind::step(3), {300, 80}, {300, 80}, yellow, 4),
        Annotation::create(Kind::rectangle(), {50, 150}, {350, 280}, red, 4),
        Annotation::create(Kind::highlight(), {100, 40}, {380, 70}, yellow, 4),
        Annotation::create(Kind::arrow(), {20, 280}, {180, 180}, red, 4),
    };
    scene.selectedID = scene.annotations[1].id;
    return scene;
}

QImage freshView()
{
    QImage view(viewSize, QImage::Format_ARGB32_Premultiplied);
    view.fill(Qt::magenta);
    return view;
}

void paintInto(QImage& view, CanvasRenderer& renderer, const CanvasScene& scene, const QRectF& dirty)
{
    QPainter painter(&view);
    painter.setClipRect(dirty);
    renderer.paint(painter, scene, QRectF(QPointF(0, 0), QSizeF(viewSize)), dirty, 1);
}

int differingPixels(const QImage& a, const QImage& b, int tolerance)
{
    int count = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (!near(a.pixelColor(x, y), b.pixelColor(x, y), tolerance))
                ++count;
    return count;
}

} // namespace

TEST(CanvasRenderer, PaintsWhatDrawCanvasPaintsAndFollowsChanges)
{
    CanvasScene scene = sceneFor(stripes());
    const QRectF all(QPointF(0, 0), QSizeF(viewSize));
    QImage reference = freshView();
    {
        QPainter painter(&reference);
        drawCanvas(painter, scene, all);
    }
    CanvasRenderer renderer;
    QImage view = freshView();
    paintInto(view, renderer, scene, all);
    // Layers are composed on whole device pixels, so edges may differ by a rounding step.
    EXPECT_LE(differingPixels(reference, view, 6), 40);
    EXPECT_EQ(renderer.cachedLayerCount(), 3); // pixelate, text, badge

    // A recoloured badge is drawn in its new colour, not from the stale layer.
    scene.annotations[2].color = {0, 0, 0, 1};
    paintInto(view, renderer, scene, all);
    const QPoint centre = CanvasMapping(QSizeF(viewSize), scene.source.size(), 1).toWidget(QPointF(300 - 9, 80 + 9)).toPoint();
    EXPECT_TRUE(near(view.pixelColor(centre), Qt::black, 10)) << view.pixelColor(centre).name().toStdString();
    scene.annotations.removeAt(0);
    paintInto(view, renderer, scene, all);
    EXPECT_EQ(renderer.cachedLayerCount(), 2);
}

TEST(CanvasRenderer, RepaintingOnlyTheChangedAreaGivesTheFullPicture)
{
    // A draft rectangle dragged over the cached pixelate area and the text: repainting the
    // union of its old and new areas must leave the same picture as a full paint.
    CanvasScene scene = sceneFor(stripes());
    scene.draft = Annotation::create(Kind::rectangle(), {60, 60}, {120, 100}, red, 8);
    CanvasRenderer renderer;
    QImage incremental = freshView();
    const QRectF all(QPointF(0, 0), QSizeF(viewSize));
    paintInto(incremental, renderer, scene, all);

    const CanvasMapping map(QSizeF(viewSize), scene.source.size(), 1);
    const QRectF before = map.toWidget(paintedBounds(*scene.draft, map.scale()));
    scene.draft->end = {260, 230};
    const QRectF after = map.toWidget(paintedBounds(*scene.draft, map.scale()));
    paintInto(incremental, renderer, scene, before.united(after).toAlignedRect());

    CanvasRenderer freshRenderer;
    QImage full = freshView();
    paintInto(full, freshRenderer, scene, all);
    EXPECT_EQ(differingPixels(incremental, full, 0), 0);
}
