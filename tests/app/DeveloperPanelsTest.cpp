#include "DeveloperPanels.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace quandrel;

namespace {

std::uint32_t crc32(const QByteArray& bytes)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char c : bytes) {
        crc ^= std::uint8_t(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// A valid small PNG whose header claims `width` × `height`.
QByteArray pngClaiming(const QByteArray& png, std::uint32_t width, std::uint32_t height)
{
    QByteArray patched = png;
    auto put32 = [&](qsizetype at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i)
            patched[at + i] = char(value >> (24 - 8 * i));
    };
    put32(16, width); // IHDR data follows the signature (8), length (4) and type (4)
    put32(20, height);
    put32(29, crc32(patched.mid(12, 17)));
    return patched;
}

} // namespace

TEST(DeveloperPanels, OnlyPNGsWithinThePixelCapAreShownAndNeverOnTheCallersTurn)
{
    QTemporaryDir dir;
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(image.save(dir.filePath("small.png"), "PNG"));
    ASSERT_TRUE(image.save(dir.filePath("photo.png"), "JPG"));
    QFile small(dir.filePath("small.png"));
    ASSERT_TRUE(small.open(QIODevice::ReadOnly));
    QFile huge(dir.filePath("huge.png"));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
    huge.write(pngClaiming(small.readAll(), 20000, 20000));
    huge.close();
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath("pipe.png")).constData(), 0600), 0);

    std::vector<QSize> shown;
    QStringList toasts;
    DeveloperPanels panels([&](const CapturedImage& i) { shown.push_back(i.image.size()); },
                           [&](const CapturedImage& i) { shown.push_back(i.image.size()); },
                           [&](const QString& text, const QString&) { toasts << text; });
    EXPECT_EQ(panels.handle("quandrel://window/leftHalf"), std::nullopt);

    struct Row {
        const char* file;
        bool accepted;
    };
    const Row rows[] = {{"small.png", true}, {"photo.png", false}, {"huge.png", false}, {"pipe.png", false}, {"gone.png", false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file);
        shown.clear();
        toasts.clear();
        const QStringList messages = DeveloperPanels::messages({}, {dir.filePath(row.file)});
        EXPECT_EQ(panels.handle(messages.value(0)), row.accepted);
        EXPECT_TRUE(shown.empty()) << "decoded on the caller's turn";
        if (row.accepted) {
            QDeadlineTimer safety(20000);
            while (shown.empty() && !safety.hasExpired())
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
            EXPECT_EQ(shown, std::vector<QSize>{QSize(40, 30)});
        } else {
            EXPECT_EQ(toasts, QStringList{"Couldn't open " + QString::fromLatin1(row.file)});
        }
    }
}
