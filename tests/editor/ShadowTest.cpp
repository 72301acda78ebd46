#include "EditorTestSupport.h"
#include "Shadow.h"

#include <QPainter>
#include <gtest/gtest.h>

#include <cmath>

using namespace quandrel;

namespace {

// An Alpha8 image whose left half is opaque.
QImage halfPlane(int width, int height)
{
    QImage image(width, height, QImage::Format_Alpha8);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.scanLine(y)[x] = x < width / 2 ? 255 : 0;
    return image;
}

// Paints a black square (20, 20)–(40, 40) of a 60 × 60 top-down view with a shadow.
QImage squareWithShadow(const Shadow& shadow, const QTransform& transform = {})
{
    QImage image = filledImage(60, 60, Qt::white);
    QPainter painter(&image);
    painter.setTransform(transform);
    const QRectF square = transform.inverted().mapRect(QRectF(20, 20, 20, 20));
    paintShadow(painter, shadow, square, [&](QPainter& p) { p.fillRect(square, Qt::black); });
    return image;
}

} // namespace

TEST(BlurTest, AnEdgeBecomesAGaussianProfile)
{
    QImage image = halfPlane(200, 200); // tall enough that the top and bottom do not matter
    blurAlpha(image, 4);
    const uchar* row = image.constScanLine(100);
    // The edge lies between pixels 99 and 100; a pixel d from it (centre to edge) should hold
    // 255 × (1 − Φ(d / σ)) outside and the mirror value inside.
    for (int k = 0; k < 16; ++k) {
        const double d = k + 0.5;
        const double outside = 255 * 0.5 * std::erfc(d / 4 / std::sqrt(2.0));
        EXPECT_NEAR(row[100 + k], outside, 6) << k;
        EXPECT_NEAR(row[99 - k], 255 - outside, 6) << k;
    }
    EXPECT_EQ(row[50], 255);
    EXPECT_EQ(row[150], 0);
    for (int x = 51; x < 150; ++x)
        EXPECT_LE(row[x], row[x - 1]) << x;
    QImage sharp = halfPlane(10, 2); // no blur at all changes nothing
    blurAlpha(sharp, 0);
    EXPECT_EQ(sharp, halfPlane(10, 2));
}

TEST(ShadowTest, WithoutBlurTheShadowIsTheShapeOffset)
{
    // Offset (3, −2) with y up: 3 right, 2 down on screen.
    const QImage image = squareWithShadow({QColor(0, 0, 0, 128), {3, -2}, 0});
    EXPECT_EQ(image.pixelColor(41, 30), QColor(127, 127, 127)); // right of the square
    EXPECT_EQ(image.pixelColor(30, 41), QColor(127, 127, 127)); // below it
    EXPECT_EQ(image.pixelColor(43, 30), Qt::white);
    EXPECT_EQ(image.pixelColor(30, 19), Qt::white);             // nothing above
    EXPECT_EQ(image.pixelColor(21, 21), Qt::white);             // the shape itself is not painted
}

TEST(ShadowTest, BlurSpreadsTheShadowBothWaysInDeviceUnitsAndTransparentPaintsNothing)
{
    const QImage image = squareWithShadow({QColor(0, 0, 0, 255), {0, 0}, 6}); // σ = 3
    // Just outside the edge, darker than farther away; nothing 4σ away; symmetric without an offset.
    const int near1 = 255 - image.pixelColor(30, 40).red();
    const int near4 = 255 - image.pixelColor(30, 43).red();
    EXPECT_GT(near1, near4);
    EXPECT_GT(near4, 0);
    EXPECT_EQ(image.pixelColor(30, 55), Qt::white);
    EXPECT_NEAR(255 - image.pixelColor(30, 19).red(), near1, 2);
    // The same square drawn through a 4× transform gets the same shadow, not 4× farther.
    const Shadow shadow{QColor(0, 0, 0, 128), {3, -2}, 0};
    EXPECT_EQ(squareWithShadow(shadow), squareWithShadow(shadow, QTransform::fromScale(4, 4)));
    EXPECT_EQ(squareWithShadow({QColor(0, 0, 0, 0), {0, -3}, 4}), filledImage(60, 60, Qt::white));
}
