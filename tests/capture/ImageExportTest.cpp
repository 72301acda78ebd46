// Image export without a display: PNG resolution, file names, saving with its collisions,
// folder fallback and failures, and what the clipboard is given.

#include "CaptureTestSupport.h"
#include "FileSizeLimit.h"
#include "ImageExport.h"

#include <QGuiApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quandrel;

namespace {

using test::noise;

// The horizontal resolution a PNG reader sees, with the chunk that carries it.
int dotsPerMeter(const QByteArray& png)
{
    return png.contains("pHYs") ? QImage::fromData(png, "png").dotsPerMeterX() : 0;
}

QStringList everything(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

class ImageExportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        QFile::setPermissions(home.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                                              | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
        // The Pictures folder follows the home folder when no user-dirs file says otherwise.
        qputenv("HOME", QFile::encodeName(home.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path() + "/.config"));
    }

    QString picturesFolder() const { return home.path() + "/Pictures/Quandrel"; }

    QTemporaryDir home;
    const QDateTime moment{QDate(2026, 12, 5), QTime(15, 49, 42)};
};

} // namespace

TEST(ScreenshotFileName, IsTheLocalTimeInAFixedFormatWhateverTheLocale)
{
    ::setenv("TZ", "UTC+3", 1);
    ::tzset();
    QLocale::setDefault(QLocale(QLocale::Arabic, QLocale::Egypt));
    EXPECT_EQ(screenshotFileName(QDateTime(QDate(2026, 12, 5), QTime(15, 49, 42))), "Quandrel 2026-12-05 at 15.49.42.png");
    EXPECT_EQ(screenshotFileName(QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5))), "Quandrel 2026-01-02 at 03.04.05.png");
    // A moment given in UTC is named by the local clock.
    EXPECT_EQ(screenshotFileName(QDateTime(QDate(2026, 12, 5), QTime(18, 49, 42), Qt::UTC)), "Quandrel 2026-12-05 at 15.49.42.png");
    QLocale::setDefault(QLocale::c());
}

TEST(PngData, CarriesTheResolutionOfTheScale)
{
    const QImage image = noise(30, 20);
    for (const auto& [scale, dotsPerMetre] : {std::pair{2.0, 5669u}, {1.0, 2835u}, {0.0, 2835u}}) {
        const auto png = pngData(image, scale);
        ASSERT_TRUE(png);
        EXPECT_EQ(dotsPerMeter(*png), int(dotsPerMetre));
        const QImage decoded = QImage::fromData(*png, "png");
        EXPECT_EQ(decoded.dotsPerMeterY(), int(dotsPerMetre));
        EXPECT_EQ(decoded.convertToFormat(QImage::Format_RGB32), image);
    }
    EXPECT_FALSE(pngData(QImage(), 1));
}

TEST_F(ImageExportTest, SavingInTheSameSecondCountsUpFromTwoAndNeverReplacesAFile)
{
    QTemporaryDir folder;
    const QImage image = noise(64, 48);
    QFile existing(folder.path() + "/Quandrel 2026-12-05 at 15.49.42 2.png");
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("someone else's");
    existing.close();
    QStringList written;
    for (int i = 0; i < 3; ++i) {
        const auto result = saveImage(image, 2, folder.path(), [&] { return moment; });
        ASSERT_TRUE(std::holds_alternative<QString>(result)) << std::get<SaveError>(result).message.toStdString();
        written << std::get<QString>(result);
    }
    EXPECT_EQ(written, (QStringList{folder.path() + "/Quandrel 2026-12-05 at 15.49.42.png",
                                    folder.path() + "/Quandrel 2026-12-05 at 15.49.42 3.png",
                                    folder.path() + "/Quandrel 2026-12-05 at 15.49.42 4.png"}));
    ASSERT_TRUE(existing.open(QIODevice::ReadOnly));
    EXPECT_EQ(existing.readAll(), "someone else's");
    // Only the screenshots are left, each one complete, with its resolution.
    EXPECT_EQ(everything(folder.path()).size(), 4);
    for (const QString& path : written) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        EXPECT_EQ(QImage::fromData(bytes, "png").convertToFormat(QImage::Format_RGB32), image);
        EXPECT_EQ(dotsPerMeter(bytes), 5669);
    }
}

// Which folder that is, is the settings' business (a chosen folder that is gone falls back to
// Pictures/Quandrel there); a folder that does not exist yet is made, for the user alone.
TEST_F(ImageExportTest, AMissingFolderIsMadePrivateAnExistingOneKeepsItsModeABlockedOneIsReported)
{
    auto modeOf = [](const QString& path) {
        struct stat info {};
        return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? unsigned(info.st_mode & 07777) : 07777u;
    };
    const mode_t previous = ::umask(022); // a new folder would be 0755
    const auto result = saveImage(noise(8, 8), 1, picturesFolder(), [&] { return moment; });
    ASSERT_TRUE(std::holds_alternative<QString>(result)) << std::get<SaveError>(result).message.toStdString();
    EXPECT_EQ(std::get<QString>(result), picturesFolder() + "/Quandrel 2026-12-05 at 15.49.42.png");
    EXPECT_TRUE(QFile::exists(std::get<QString>(result)));
    EXPECT_EQ(modeOf(picturesFolder()), 0700u);
    const QString chosen = home.path() + "/shared";
    ASSERT_TRUE(QDir().mkpath(chosen));
    EXPECT_TRUE(std::holds_alternative<QString>(saveImage(noise(8, 8), 1, chosen, [&] { return moment; })));
    EXPECT_EQ(modeOf(chosen), 0755u);
    ::umask(previous);

    // A file where the folder should be.
    QFile blocker(home.path() + "/blocked");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const auto blocked = saveImage(noise(8, 8), 1, blocker.fileName() + "/Quandrel", [&] { return moment; });
    ASSERT_TRUE(std::holds_alternative<SaveError>(blocked));
    EXPECT_TRUE(std::get<SaveError>(blocked).message.contains("could not be created"));
}

TEST_F(ImageExportTest, AReadOnlyFolderIsReportedAndLeftEmpty)
{
    const QString folder = home.path() + "/read-only";
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup
                                                  | QFile::ReadOther | QFile::ExeOther));
    const QImage image = noise(32, 32);
    auto attempt = [&] { return saveImage(image, 1, folder, [&] { return moment; }); };
    if (::geteuid() != 0) {
        const auto result = attempt();
        ASSERT_TRUE(std::holds_alternative<SaveError>(result));
    } else {
        // Permissions do not stop root: save as an unprivileged user in a child process.
        const pid_t child = ::fork();
        ASSERT_NE(child, -1);
        if (child == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(3);
            const auto result = attempt();
            ::_exit(std::holds_alternative<SaveError>(result) ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the save succeeded, 3: could not drop privileges";
    }
    EXPECT_TRUE(everything(folder).isEmpty());
}

TEST_F(ImageExportTest, AWriteCutShortLeavesNothingBehind)
{
    QTemporaryDir folder;
    const QImage image = noise(256, 256); // far larger than the limit once encoded
    const auto result = [&] {
        const test::FileSizeLimit full;
        return saveImage(image, 1, folder.path(), [&] { return moment; });
    }();

    ASSERT_TRUE(std::holds_alternative<SaveError>(result));
    EXPECT_TRUE(everything(folder.path()).isEmpty()) << everything(folder.path()).join(", ").toStdString();
}

// Saved and written files are the user's alone whatever the umask; a written file is replaced
// whole, and nothing is left beside it.
TEST_F(ImageExportTest, SavedAndWrittenFilesAreTheUsersAloneAndReplacedWhole)
{
    QTemporaryDir folder;
    const QString written = folder.path() + "/chosen.png";
    const mode_t previous = ::umask(022);
    int width = 4;
    for (const mode_t mask : {mode_t(022), mode_t(027), mode_t(002)}) {
        SCOPED_TRACE(testing::Message() << "umask " << std::oct << mask);
        ::umask(mask);
        const auto saved = saveImage(noise(8, 8), 1, folder.path(), [&] { return moment; });
        ASSERT_TRUE(writePng(noise(++width, 7), 2, written));
        EXPECT_EQ(QImage(written).size(), QSize(width, 7));
        ASSERT_TRUE(std::holds_alternative<QString>(saved));
        struct stat savedStat{}, writtenStat{};
        ASSERT_EQ(::stat(QFile::encodeName(std::get<QString>(saved)).constData(), &savedStat), 0);
        ASSERT_EQ(::stat(QFile::encodeName(written).constData(), &writtenStat), 0);
        EXPECT_EQ(savedStat.st_mode & 07777, 0600u);
        EXPECT_EQ(writtenStat.st_mode & 07777, 0600u);
    }
    ::umask(previous);
    EXPECT_EQ(everything(folder.path()).size(), 4) << everything(folder.path()).join(", ").toStdString(); // three saved, one written
    EXPECT_FALSE(writePng(noise(4, 4), 1, folder.path() + "/missing/sub/folder.png"));
}

TEST_F(ImageExportTest, SavingInTheBackgroundEncodesOffTheCallersThread)
{
    QTemporaryDir folder;
    QThread* const caller = QThread::currentThread();
    QThread* named = caller; // the thread that asked for the time, while saving
    const QImage image = noise(300, 200).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const auto result = resultWhileEventsRun(saveImageInBackground(image, 2, folder.path(), [&] {
        named = QThread::currentThread();
        return moment;
    }));
    ASSERT_TRUE(std::holds_alternative<QString>(result));
    EXPECT_NE(named, caller);
    EXPECT_EQ(QImage(std::get<QString>(result)).convertToFormat(QImage::Format_RGB32), image.convertToFormat(QImage::Format_RGB32));

    const QString path = folder.path() + "/as.png";
    EXPECT_TRUE(resultWhileEventsRun(writePngInBackground(image, 1, path)));
    EXPECT_EQ(QImage(path).size(), QSize(300, 200));
    EXPECT_FALSE(resultWhileEventsRun(writePngInBackground(image, 1, folder.path() + "/missing/as.png")));
}

TEST_F(ImageExportTest, ClipboardOffersPngNativeImageAndTheKeepMark)
{
    const QImage image = noise(40, 30);
    std::unique_ptr<QMimeData> data(imageMimeData(image, 2));
    const QStringList formats = data->formats();
    EXPECT_TRUE(formats.contains("image/png"));
    EXPECT_TRUE(formats.contains("application/x-qt-image"));
    EXPECT_TRUE(formats.contains("x-kde-force-image-copy"));
    const QByteArray png = data->data("image/png");
    EXPECT_EQ(dotsPerMeter(png), 5669);
    EXPECT_EQ(QImage::fromData(png, "png").convertToFormat(QImage::Format_RGB32), image);
    EXPECT_EQ(data->data("image/png"), png); // encoded once, then kept

    ASSERT_TRUE(resultWhileEventsRun(copyImage(image, 2)));
    const QMimeData* onClipboard = QGuiApplication::clipboard()->mimeData();
    ASSERT_TRUE(onClipboard);
    EXPECT_TRUE(onClipboard->hasFormat("image/png"));
    EXPECT_EQ(qvariant_cast<QImage>(onClipboard->imageData()).convertToFormat(QImage::Format_RGB32), image);
}

TEST_F(ImageExportTest, ACopyStillEncodingGivesWayToANewerOne)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    const QImage first = noise(1200, 900), second = noise(30, 20);
    const QFuture<bool> older = copyImage(first, 1);
    const QFuture<bool> newer = copyImage(second, 1);
    EXPECT_TRUE(resultWhileEventsRun(newer));
    EXPECT_FALSE(resultWhileEventsRun(older));
    EXPECT_EQ(qvariant_cast<QImage>(clipboard->mimeData()->imageData()).size(), second.size());

    // Another program's copy made while ours is encoded is not replaced by it.
    const QFuture<bool> late = copyImage(first, 1);
    clipboard->setText(QStringLiteral("copied elsewhere"));
    EXPECT_FALSE(resultWhileEventsRun(late));
    EXPECT_EQ(clipboard->text(), QStringLiteral("copied elsewhere"));
}
