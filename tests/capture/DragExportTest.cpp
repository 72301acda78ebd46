// What a dragged-out screenshot carries: the PNG bytes, and a PNG file with the quick-save
// name written only when asked for, in a private folder that goes away with its store; a
// missing or full runtime folder still leaves the image on offer and no partial file.

#include "CaptureTestSupport.h"
#include "FileSizeLimit.h"
#include "DragExport.h"
#include "ImageExport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace quandrel;

namespace {

const QDateTime moment(QDate(2026, 12, 5), QTime(15, 49, 42));

QImage picture()
{
    QImage image(64, 40, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(x * 4, y * 6, (x * y) & 0xff));
    return image;
}

QStringList filesIn(const QString& folder)
{
    QStringList result;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        result << it.next();
    return result;
}

} // namespace

TEST(DragExport, OffersThePngAndWritesTheFileOnlyWhenAskedFor)
{
    QTemporaryDir runtime;
    DragFileStore store(runtime.path());
    ScreenshotDragData data(picture(), 2, moment, store);
    EXPECT_EQ(data.formats(), (QStringList{"image/png", "text/uri-list"}));

    const QByteArray png = data.data("image/png");
    ASSERT_FALSE(png.isEmpty());
    EXPECT_EQ(png, pngData(picture(), 2).value());
    EXPECT_TRUE(filesIn(runtime.path()).isEmpty()) << "no file before a target asks for one";

    const QList<QUrl> urls = data.urls();
    ASSERT_EQ(urls.size(), 1);
    ASSERT_TRUE(urls[0].isLocalFile());
    const QFileInfo file(urls[0].toLocalFile());
    EXPECT_EQ(file.fileName(), "Quandrel 2026-12-05 at 15.49.42.png");
    EXPECT_TRUE(file.absoluteFilePath().startsWith(store.folder() + "/"));
    QFile written(file.absoluteFilePath());
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), png);

    // Asking again gives the same file; the raw list is CRLF-terminated URIs.
    EXPECT_EQ(data.urls(), urls);
    EXPECT_EQ(data.data("text/uri-list"), urls[0].toEncoded() + "\r\n");
    EXPECT_EQ(filesIn(runtime.path()).size(), 1);

    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(store.folder()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST(DragExport, TwoDragsInOneSecondKeepTheirNamesAndTheStoreCleansUp)
{
    QTemporaryDir runtime;
    QString folder;
    {
        DragFileStore store(runtime.path());
        folder = store.folder();
        ScreenshotDragData first(picture(), 1, moment, store);
        ScreenshotDragData second(picture().mirrored(), 1, moment, store);
        const QString a = first.urls().value(0).toLocalFile();
        const QString b = second.urls().value(0).toLocalFile();
        ASSERT_FALSE(a.isEmpty());
        ASSERT_FALSE(b.isEmpty());
        EXPECT_NE(a, b);
        EXPECT_EQ(QFileInfo(a).fileName(), QFileInfo(b).fileName());
        EXPECT_TRUE(QFileInfo::exists(a) && QFileInfo::exists(b));
    }
    EXPECT_FALSE(QFileInfo::exists(folder)) << "removed with its store";
}

TEST(DragExport, StaleFoldersOfEndedProcessesAreRemovedButOthersKept)
{
    QTemporaryDir runtime;
    QDir dir(runtime.path());
    // Process 1 (init) runs; a very large pid does not.
    ASSERT_TRUE(dir.mkpath("quandrel-drag-1/1"));
    ASSERT_TRUE(dir.mkpath("quandrel-drag-2147483600/1"));
    ASSERT_TRUE(dir.mkpath("something-else"));
    DragFileStore store(runtime.path());
    ASSERT_TRUE(store.write("x", "a.png"));
    EXPECT_TRUE(dir.exists("quandrel-drag-1"));
    EXPECT_FALSE(dir.exists("quandrel-drag-2147483600"));
    EXPECT_TRUE(dir.exists("something-else"));
}

TEST(DragExport, WithoutARuntimeFolderOnlyTheImageIsOfferedAndUnsafeNamesAreRefused)
{
    for (const QString& runtime : {QString(), QStringLiteral("/nonexistent/quandrel-runtime")}) {
        DragFileStore store(runtime);
        ScreenshotDragData data(picture(), 1, moment, store);
        EXPECT_EQ(data.formats(), QStringList{"image/png"});
        EXPECT_FALSE(data.data("image/png").isEmpty());
        EXPECT_TRUE(data.urls().isEmpty());
    }
    QTemporaryDir runtime;
    DragFileStore store(runtime.path());
    for (const char* name : {"../escape.png", "..", ""})
        EXPECT_FALSE(store.write("x", name)) << name;
    EXPECT_FALSE(QFileInfo::exists(runtime.filePath("escape.png")));
}

TEST(DragExport, AFullRuntimeFolderLeavesNoPartialFile)
{
    QTemporaryDir runtime;
    DragFileStore store(runtime.path());
    ScreenshotDragData data(test::noise(512, 512), 1, moment, store);
    const QByteArray png = data.data("image/png"); // encoded before the limit

    const QList<QUrl> urls = [&] {
        const test::FileSizeLimit full;
        return data.urls();
    }();

    EXPECT_TRUE(urls.isEmpty());
    EXPECT_TRUE(filesIn(runtime.path()).isEmpty()) << filesIn(runtime.path()).join(", ").toStdString();
    EXPECT_EQ(data.data("image/png"), png) << "the image itself is still on offer";
}
