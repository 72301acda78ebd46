// The banded PNG encoder: whatever the bands, filters and sizes, any PNG reader gets the
// pixels back exactly.

#include "PngEncoder.h"

#include <QImage>

#include <gtest/gtest.h>

using namespace quandrel;

namespace {

QImage sample(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    std::uint32_t state = 99;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            // Smooth areas, hard edges and noise, so that every filter has work to do.
            const std::uint32_t smooth = std::uint32_t(x * 255 / std::max(1, width - 1)) << 16 | std::uint32_t(y % 256) << 8;
            image.setPixel(x, y, (x / 7 + y / 5) % 3 == 0 ? state >> 8 : smooth);
        }
    }
    return image;
}

int colourType(const QByteArray& png) { return png.size() > 25 ? int(png[25]) : -1; }

} // namespace

TEST(PngEncoder, DecodesToTheSamePixelsForEveryBandingAndFilter)
{
    using Filter = PngOptions::Filter;
    for (const QSize size : {QSize(1, 1), QSize(2, 3), QSize(37, 19), QSize(640, 480), QSize(1, 200), QSize(300, 1)}) {
        const QImage image = sample(size.width(), size.height());
        for (const int threads : {1, 2, 3, 7}) {
            for (const Filter filter : {Filter::sub, Filter::up, Filter::average, Filter::paeth}) {
                SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height() << ", " << threads << " bands, filter " << int(filter));
                PngOptions options;
                options.threads = threads;
                options.filter = filter;
                options.level = threads == 3 ? 0 : 3; // stored blocks join up as well
                const auto png = encodePng(image, options);
                ASSERT_TRUE(png);
                EXPECT_EQ(QImage::fromData(*png, "png").convertToFormat(QImage::Format_RGB32), image);
            }
        }
    }
    // Opaque images of other formats are converted; a null image gives nothing.
    const QImage rgb888 = sample(5, 4).convertToFormat(QImage::Format_RGB888);
    EXPECT_EQ(QImage::fromData(*encodePng(rgb888), "png").convertToFormat(QImage::Format_RGB888), rgb888);
    EXPECT_FALSE(encodePng(QImage()));
}

TEST(PngEncoder, WritesTheResolutionOnlyWhenGiven)
{
    PngOptions options;
    options.dotsPerMeter = 5669;
    EXPECT_EQ(QImage::fromData(*encodePng(sample(10, 10), options), "png").dotsPerMeterX(), 5669);
    options.dotsPerMeter = 0;
    EXPECT_FALSE(encodePng(sample(10, 10), options)->contains("pHYs"));
}

TEST(PngEncoder, OpaqueImagesAreWrittenAsRgbAndTransparencyAnywhereAsRgba)
{
    const QImage opaque = sample(640, 480);
    for (const auto format : {QImage::Format_ARGB32_Premultiplied, QImage::Format_ARGB32, QImage::Format_RGBA8888}) {
        const auto png = encodePng(opaque.convertToFormat(format));
        EXPECT_EQ(colourType(*png), 2) << format;
        EXPECT_EQ(QImage::fromData(*png, "png").convertToFormat(QImage::Format_RGB32), opaque) << format;
    }
    // One translucent pixel in the last band: the bands that finished as RGB start again.
    QImage image = opaque.convertToFormat(QImage::Format_ARGB32);
    image.setPixel(639, 479, qRgba(200, 100, 50, 128));
    image.setPixel(0, 0, qRgba(0, 0, 0, 0));
    for (const auto format : {QImage::Format_ARGB32, QImage::Format_ARGB32_Premultiplied}) {
        SCOPED_TRACE(format);
        PngOptions options;
        options.threads = 3;
        const auto png = encodePng(image.convertToFormat(format), options);
        ASSERT_TRUE(png);
        EXPECT_EQ(colourType(*png), 6);
        const QImage decoded = QImage::fromData(*png, "png").convertToFormat(QImage::Format_ARGB32);
        EXPECT_EQ(qAlpha(decoded.pixel(0, 0)), 0);
        EXPECT_EQ(qAlpha(decoded.pixel(639, 479)), 128);
        EXPECT_NEAR(qRed(decoded.pixel(639, 479)), 200, 2); // not premultiplied
        EXPECT_EQ(decoded.pixel(300, 200), image.pixel(300, 200));
    }
}
