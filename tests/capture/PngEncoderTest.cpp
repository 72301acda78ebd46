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

} // namespace

TEST(PngEncoder, DecodesToTheSamePixelsForEveryBandingAndFilter)
{
    using Filter = PngOptions::Filter;
    const QSize sizes[] = {{1, 1}, {2, 3}, {37, 19}, {640, 480}, {1, 200}, {300, 1}};
    for (const QSize size : sizes) {
        const QImage image = sample(size.width(), size.height());
        for (const int threads : {1, 2, 3, 7}) {
            for (const Filter filter : {Filter::sub, Filter::up, Filter::average, Filter::paeth}) {
                SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height() << ", " << threads << " bands, filter " << int(filter));
                PngOptions options;
                options.threads = threads;
                options.filter = filter;
                options.level = threads == 3 ? 0 : 3; // stored blocks join up as well
                const auto png = encodeOpaquePng(image, options);
                ASSERT_TRUE(png);
                const QImage decoded = QImage::fromData(*png, "png");
                ASSERT_FALSE(decoded.isNull());
                EXPECT_EQ(decoded.convertToFormat(QImage::Format_RGB32), image);
            }
        }
    }
}

TEST(PngEncoder, WritesTheResolutionAndLeavesTransparencyToOthers)
{
    PngOptions options;
    options.dotsPerMeter = 5669;
    const auto png = encodeOpaquePng(sample(10, 10), options);
    ASSERT_TRUE(png);
    EXPECT_EQ(QImage::fromData(*png, "png").dotsPerMeterX(), 5669);
    options.dotsPerMeter = 0;
    EXPECT_FALSE(encodeOpaquePng(sample(10, 10), options)->contains("pHYs"));

    QImage translucent(8, 8, QImage::Format_ARGB32);
    translucent.fill(Qt::transparent);
    EXPECT_FALSE(encodeOpaquePng(translucent));
    EXPECT_FALSE(encodeOpaquePng(QImage()));
    // Opaque images of other formats are converted.
    const QImage rgb888 = sample(5, 4).convertToFormat(QImage::Format_RGB888);
    EXPECT_EQ(QImage::fromData(*encodeOpaquePng(rgb888), "png").convertToFormat(QImage::Format_RGB888), rgb888);
}
