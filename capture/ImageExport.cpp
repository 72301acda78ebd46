#include "ImageExport.h"

#include "ClipboardWriter.h"
#include "PngEncoder.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QBuffer>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QImageWriter>
#include <QLocale>
#include <QFuture>
#include <QMimeData>
#include <QPointer>
#include <QPromise>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QStandardPaths>
#include <QThreadPool>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <memory>
#include <unistd.h>

namespace quandrel {

namespace {

const QString pngType = QStringLiteral("image/png");
const QString forceImageCopyType = QStringLiteral("x-kde-force-image-copy");

double validScale(double scale) { return std::isfinite(scale) && scale > 0 ? scale : 1; }

int dotsPerMeterFor(double scale) { return int(std::lround(72 * validScale(scale) / 0.0254)); }

// A copy that carries the resolution (a deep one when the image's resolution differs).
QImage withResolution(const QImage& image, double scale)
{
    QImage result = image;
    const int dotsPerMeter = dotsPerMeterFor(scale);
    result.setDotsPerMeterX(dotsPerMeter);
    result.setDotsPerMeterY(dotsPerMeter);
    return result;
}

// The threads that encode and write images. They run at a lower priority than the event
// loop's thread (the encoder's own threads inherit it), so that on a machine with few cores
// the loop still gets its turn at once while an image is being compressed on all of them.
QThreadPool& encodingPool()
{
    static QThreadPool pool;
    return pool;
}

// The threads that encode what is copied, at the same lower priority: a pool of their own,
// so that a copy, which reaches the clipboard only once it is encoded, never waits behind a
// save.
QThreadPool& copyingPool()
{
    static QThreadPool pool;
    return pool;
}

void lowerThisThreadsPriority()
{
    thread_local bool lowered = false;
    if (!lowered) {
        const id_t self = id_t(::gettid());
        errno = 0;
        const int nice = ::getpriority(PRIO_PROCESS, self);
        if (errno == 0)
            ::setpriority(PRIO_PROCESS, self, std::min(nice + 5, 19));
        lowered = true;
    }
}

// Runs `work` on a thread of `pool`; the future gets its result.
template <typename T, typename Work>
QFuture<T> inBackground(Work work, QThreadPool& pool = encodingPool())
{
    auto promise = std::make_shared<QPromise<T>>();
    QFuture<T> future = promise->future();
    promise->start();
    pool.start([promise, work = std::move(work)]() mutable {
        lowerThisThreadsPriority();
        promise->addResult(work());
        promise->finish();
    });
    return future;
}

// What the clipboard serves, with the PNG already encoded: Qt answers other programs'
// requests on the event loop's thread straight from here, so nothing here may take long.
class ImageMimeData final : public QMimeData {
public:
    ImageMimeData(const QImage& image, QByteArray png)
        : m_png(std::move(png))
    {
        setImageData(image);
        setData(forceImageCopyType, QByteArrayLiteral("1"));
    }

    QStringList formats() const override
    {
        QStringList result = QMimeData::formats();
        if (!m_png.isEmpty())
            result.prepend(pngType);
        return result;
    }

    bool hasFormat(const QString& mimeType) const override
    {
        return (mimeType == pngType && !m_png.isEmpty()) || QMimeData::hasFormat(mimeType);
    }

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override
    {
        if (mimeType != pngType)
            return QMimeData::retrieveData(mimeType, type);
        return m_png;
    }

private:
    QByteArray m_png;
};

// Which copy may still take the clipboard: each copy and each change by another program
// starts a new generation, and an encoded copy is put on the clipboard only while its own is
// the latest.
quint64& copyGeneration()
{
    static quint64 generation = 0;
    return generation;
}

ClipboardWriter*& sessionWriter()
{
    static ClipboardWriter* writer = nullptr;
    return writer;
}

void watchForeignCopies(QClipboard* clipboard)
{
    static QMetaObject::Connection watch;
    if (watch)
        return;
    watch = QObject::connect(clipboard, &QClipboard::dataChanged, clipboard, [clipboard] {
        // Where the session's writer serves the copies, it counts other programs' copies
        // itself; Qt's clipboard changes here whenever the keyboard moves between windows.
        if (ClipboardWriter* writer = sessionWriter(); writer && writer->takesCopies())
            return;
        if (!clipboard->ownsClipboard())
            ++copyGeneration();
    });
}

// A hidden file of our own in `folder`, created readable by the user alone (a screenshot
// shows whatever was on the screen, in a home folder that other accounts can often read),
// and removed again unless released.
class PartFile {
public:
    explicit PartFile(const QString& folder)
    {
        for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
            m_path = QFile::encodeName(folder + QStringLiteral("/.Quandrel-%1.part").arg(QRandomGenerator::global()->generate64(), 16, 16, QLatin1Char('0')));
            m_fd = ::open(m_path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            if (m_fd < 0 && errno != EEXIST)
                break;
        }
        m_error = m_fd < 0 ? errno : 0;
    }
    ~PartFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        if (!m_released && !m_path.isEmpty() && m_created())
            ::unlink(m_path.constData());
    }
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    // Writes everything, flushes it to the disk and closes the file; 0 or the error.
    int write(const QByteArray& bytes)
    {
        if (m_fd < 0)
            return m_error;
        for (qsizetype done = 0; done < bytes.size();) {
            const ssize_t n = ::write(m_fd, bytes.constData() + done, std::size_t(bytes.size() - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return n < 0 ? errno : EIO;
            done += n;
        }
        const int synced = ::fsync(m_fd) == 0 ? 0 : errno;
        const int closed = ::close(m_fd) == 0 ? 0 : errno;
        m_fd = -1;
        m_closed = true;
        return synced ? synced : closed;
    }

    const QByteArray& path() const { return m_path; }
    void release() { m_released = true; }

private:
    bool m_created() const { return m_fd >= 0 || m_closed; }

    QByteArray m_path;
    int m_fd = -1;
    int m_error = 0;
    bool m_closed = false;
    bool m_released = false;
};

// Moves `from` to the free name `to`; EEXIST when `to` is taken. Filesystems without an
// exclusive rename get a hard link, and as a last resort a check followed by a rename.
int publish(const QByteArray& from, const QByteArray& to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    if (::link(from.constData(), to.constData()) == 0) {
        ::unlink(from.constData());
        return 0;
    }
    if (errno == EEXIST)
        return EEXIST;
    if (::access(to.constData(), F_OK) == 0)
        return EEXIST;
    return ::rename(from.constData(), to.constData()) == 0 ? 0 : errno;
}

} // namespace

std::optional<QByteArray> pngData(const QImage& image, double scale)
{
    if (image.isNull())
        return std::nullopt;
    // The fast encoder compresses on every core at a level that keeps files as small as
    // other screenshot tools make them; Qt's own writer is the last resort.
    PngOptions options;
    options.dotsPerMeter = dotsPerMeterFor(scale);
    options.level = 3;
    options.filter = PngOptions::Filter::sub;
    if (auto png = encodePng(image, options))
        return png;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(withResolution(image, scale)))
        return std::nullopt;
    return bytes;
}

QMimeData* imageMimeData(const QImage& image, double scale)
{
    const QImage marked = withResolution(image, scale);
    return new ImageMimeData(marked, pngData(marked, scale).value_or(QByteArray()));
}

QFuture<bool> copyImage(const QImage& image, double scale)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard || image.isNull())
        return QtFuture::makeReadyFuture(false);
    watchForeignCopies(clipboard);
    const quint64 generation = ++copyGeneration();
    ClipboardWriter* writer = sessionWriter();
    const std::uint64_t takenBefore = writer ? writer->takenByOthers() : 0;
    // Marking the resolution copies the pixels, so that happens on the encoding thread too.
    struct Encoded {
        QImage image;
        QByteArray png;
    };
    QFuture<Encoded> encoded = inBackground<Encoded>(
        [image, scale] {
            QImage marked = withResolution(image, scale);
            QByteArray png = pngData(marked, scale).value_or(QByteArray());
            return Encoded{std::move(marked), std::move(png)};
        },
        copyingPool());
    // The application carries the continuation, and the clipboard is checked for: Qt's
    // continuation may not outlive its context.
    return encoded.then(QCoreApplication::instance(), [clipboard = QPointer<QClipboard>(clipboard), generation, writer,
                                                       takenBefore](const Encoded& result) {
        if (!clipboard || copyGeneration() != generation)
            return false; // a newer copy, ours or another program's, holds the clipboard
        if (writer && !result.png.isEmpty()) {
            if (writer->takenByOthers() != takenBefore)
                return false;
            if (writer->offer({{pngType.toStdString(), result.png}, {forceImageCopyType.toStdString(), QByteArrayLiteral("1")}}))
                return true;
        }
        clipboard->setMimeData(new ImageMimeData(result.image, result.png), QClipboard::Clipboard);
        return true;
    });
}

void copyText(const QString& text)
{
    ++copyGeneration(); // an image still being encoded is older
    if (ClipboardWriter* writer = sessionWriter()) {
        const QByteArray utf8 = text.toUtf8();
        ClipboardContent content;
        for (const char* type : {"text/plain;charset=utf-8", "text/plain", "UTF8_STRING", "TEXT", "STRING"})
            content.push_back({type, utf8});
        if (writer->offer(std::move(content)))
            return;
    }
    if (QClipboard* clipboard = QGuiApplication::clipboard()) {
        auto* data = new QMimeData;
        data->setText(text);
        clipboard->setMimeData(data);
    }
}

void useClipboardWriter(ClipboardWriter* writer) { sessionWriter() = writer; }

QString screenshotFileName(const QDateTime& when)
{
    return QStringLiteral("Quandrel ") + QLocale::c().toString(when.toLocalTime(), QStringLiteral("yyyy-MM-dd 'at' HH.mm.ss"))
        + QStringLiteral(".png");
}

SaveResult saveImage(const QImage& image, double scale, const QString& folder,
                     const std::function<QDateTime()>& now)
{
    const auto png = pngData(image, scale);
    if (!png)
        return SaveError{QCoreApplication::translate("ImageExport", "The image could not be encoded as PNG.")};

    // A folder made here (the default one) is private; a folder that exists keeps its own mode.
    if (!QFileInfo(folder).isDir() && QDir().mkpath(QFileInfo(folder).absolutePath()))
        ::mkdir(QFile::encodeName(folder).constData(), 0700);
    if (!QFileInfo(folder).isDir())
        return SaveError{QCoreApplication::translate("ImageExport", "The folder %1 could not be created.").arg(folder)};

    // The bytes go to a hidden file in the same folder first, so that the screenshot appears
    // under its name complete or not at all.
    PartFile temporary(folder);
    if (const int error = temporary.write(*png))
        return SaveError{QCoreApplication::translate("ImageExport", "Could not write into %1: %2").arg(folder, QString::fromLocal8Bit(std::strerror(error)))};
    const QByteArray& from = temporary.path();

    for (int counter = 1; counter < 10000; ++counter) {
        QString name = screenshotFileName(now ? now() : QDateTime::currentDateTime());
        if (counter > 1)
            name.replace(name.size() - 4, 4, QStringLiteral(" %1.png").arg(counter));
        const QString path = folder + QLatin1Char('/') + name;
        const int error = publish(from, QFile::encodeName(path));
        if (error == 0) {
            temporary.release(); // it has become the screenshot
            return path;
        }
        if (error != EEXIST)
            return SaveError{QCoreApplication::translate("ImageExport", "Could not write %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(error)))};
    }
    return SaveError{QCoreApplication::translate("ImageExport", "Every screenshot name in %1 is taken.").arg(folder)};
}

bool writePng(const QImage& image, double scale, const QString& path)
{
    const auto png = pngData(image, scale);
    if (!png)
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return false;
    if (file.write(*png) != png->size())
        return false;
    return file.commit();
}

QFuture<SaveResult> saveImageInBackground(const QImage& image, double scale, const QString& folder,
                                          std::function<QDateTime()> now)
{
    return inBackground<SaveResult>([image, scale, folder, now = std::move(now)] { return saveImage(image, scale, folder, now); });
}

QFuture<bool> writePngInBackground(const QImage& image, double scale, const QString& path)
{
    return inBackground<bool>([image, scale, path] { return writePng(image, scale, path); });
}

QFuture<QImage> scaledInBackground(const QImage& image, QSize size)
{
    return inBackground<QImage>([image, size] { return image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation); },
                                copyingPool());
}

} // namespace quandrel
