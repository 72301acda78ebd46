#include "ImageExport.h"

#include "PngEncoder.h"

#include <QGuiApplication>
#include <QBuffer>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QImageWriter>
#include <QLocale>
#include <QMimeData>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace quandrel {

namespace {

const QString pngType = QStringLiteral("image/png");
const QString forceImageCopyType = QStringLiteral("x-kde-force-image-copy");

double validScale(double scale) { return std::isfinite(scale) && scale > 0 ? scale : 1; }

int dotsPerMeterFor(double scale) { return int(std::lround(72 * validScale(scale) / 0.0254)); }

// A shallow copy that carries the resolution; the pixels are shared, not copied.
QImage withResolution(const QImage& image, double scale)
{
    QImage result = image;
    const int dotsPerMeter = dotsPerMeterFor(scale);
    result.setDotsPerMeterX(dotsPerMeter);
    result.setDotsPerMeterY(dotsPerMeter);
    return result;
}

class ImageMimeData final : public QMimeData {
public:
    ImageMimeData(const QImage& image, double scale)
        : m_image(withResolution(image, scale))
        , m_scale(scale)
    {
        setImageData(m_image);
        setData(forceImageCopyType, QByteArrayLiteral("1"));
    }

    QStringList formats() const override
    {
        QStringList result = QMimeData::formats();
        result.prepend(pngType);
        return result;
    }

    bool hasFormat(const QString& mimeType) const override { return mimeType == pngType || QMimeData::hasFormat(mimeType); }

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override
    {
        if (mimeType != pngType)
            return QMimeData::retrieveData(mimeType, type);
        if (!m_png)
            m_png = pngData(m_image, m_scale).value_or(QByteArray());
        return *m_png;
    }

private:
    QImage m_image;
    double m_scale;
    mutable std::optional<QByteArray> m_png; // encoded on the first request, then kept
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
    // Screenshots are opaque: they take the fast encoder, which compresses on every core at
    // a level that keeps files as small as other screenshot tools make them.
    if (!image.hasAlphaChannel()) {
        PngOptions options;
        options.dotsPerMeter = dotsPerMeterFor(scale);
        options.level = 3;
        options.filter = PngOptions::Filter::sub;
        if (auto png = encodeOpaquePng(image, options))
            return png;
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(withResolution(image, scale)))
        return std::nullopt;
    return bytes;
}

QMimeData* imageMimeData(const QImage& image, double scale) { return new ImageMimeData(image, scale); }

void copyImage(const QImage& image, double scale)
{
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->setMimeData(imageMimeData(image, scale), QClipboard::Clipboard);
}

QString screenshotFileName(const QDateTime& when)
{
    return QStringLiteral("Quandrel ") + QLocale::c().toString(when.toLocalTime(), QStringLiteral("yyyy-MM-dd 'at' HH.mm.ss"))
        + QStringLiteral(".png");
}

QString screenshotsFolder(const std::optional<QByteArray>& folderBookmark)
{
    if (folderBookmark && !folderBookmark->isEmpty()) {
        const QString stored = QString::fromUtf8(*folderBookmark);
        if (QDir::isAbsolutePath(stored) && QFileInfo(stored).isDir())
            return QDir::cleanPath(stored);
    }
    QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (pictures.isEmpty())
        pictures = QDir::homePath() + QStringLiteral("/Pictures");
    return QDir::cleanPath(pictures + QStringLiteral("/Quandrel"));
}

SaveResult saveImage(const QImage& image, double scale, const std::optional<QByteArray>& folderBookmark,
                     const std::function<QDateTime()>& now)
{
    const auto png = pngData(image, scale);
    if (!png)
        return SaveError{QStringLiteral("The image could not be encoded as PNG.")};

    const QString folder = screenshotsFolder(folderBookmark);
    if (!QDir().mkpath(folder) || !QFileInfo(folder).isDir())
        return SaveError{QStringLiteral("The folder %1 could not be created.").arg(folder)};

    // The bytes go to a hidden file in the same folder first, so that the screenshot appears
    // under its name complete or not at all.
    QTemporaryFile temporary(folder + QStringLiteral("/.Quandrel-XXXXXX.part"));
    if (!temporary.open())
        return SaveError{QStringLiteral("Could not write into %1: %2").arg(folder, temporary.errorString())};
    if (temporary.write(*png) != png->size() || !temporary.flush() || ::fsync(temporary.handle()) != 0)
        return SaveError{QStringLiteral("Could not write into %1: %2").arg(folder, temporary.errorString())};
    const QByteArray from = QFile::encodeName(temporary.fileName());

    for (int counter = 1; counter < 10000; ++counter) {
        QString name = screenshotFileName(now ? now() : QDateTime::currentDateTime());
        if (counter > 1)
            name.replace(name.size() - 4, 4, QStringLiteral(" %1.png").arg(counter));
        const QString path = folder + QLatin1Char('/') + name;
        const int error = publish(from, QFile::encodeName(path));
        if (error == 0) {
            temporary.setAutoRemove(false); // it has become the screenshot
            return path;
        }
        if (error != EEXIST)
            return SaveError{QStringLiteral("Could not write %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(error)))};
    }
    return SaveError{QStringLiteral("Every screenshot name in %1 is taken.").arg(folder)};
}

bool writePng(const QImage& image, double scale, const QString& path)
{
    const auto png = pngData(image, scale);
    if (!png)
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(*png) != png->size())
        return false;
    return file.commit();
}

bool saveImageAs(const QImage& image, double scale, const std::optional<QByteArray>& folderBookmark, const SavePathQuestion& ask)
{
    const auto path = ask(screenshotsFolder(folderBookmark), screenshotFileName(QDateTime::currentDateTime()));
    if (!path || path->isEmpty())
        return false;
    return writePng(image, scale, *path);
}

} // namespace quandrel
