#include "DragExport.h"

#include "ImageExport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QUrl>

#include <cerrno>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

namespace quandrel {

namespace {

const QString pngType = QStringLiteral("image/png");
const QString uriListType = QStringLiteral("text/uri-list");
const QString folderPrefix = QStringLiteral("quandrel-drag-");

bool processGone(const QString& pid)
{
    bool ok = false;
    const long value = pid.toLong(&ok);
    return ok && value > 0 && ::kill(pid_t(value), 0) != 0 && errno == ESRCH;
}

} // namespace

DragFileStore::DragFileStore(QString runtimeDir) : m_runtimeDir(std::move(runtimeDir))
{
    if (!m_runtimeDir.isEmpty())
        m_folder = QDir(m_runtimeDir).filePath(folderPrefix + QString::number(::getpid()));
}

DragFileStore::~DragFileStore()
{
    if (m_created)
        QDir(m_folder).removeRecursively();
}

bool DragFileStore::isUsable() const { return !m_runtimeDir.isEmpty() && QFileInfo(m_runtimeDir).isDir(); }

bool DragFileStore::ensureFolder()
{
    if (!isUsable())
        return false;
    if (m_created && QFileInfo(m_folder).isDir())
        return true;
    // Folders of Quandrels that ended without cleaning up (killed, crashed) go first.
    const QStringList stale = QDir(m_runtimeDir).entryList({folderPrefix + QLatin1Char('*')}, QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& name : stale)
        if (processGone(name.mid(folderPrefix.size())))
            QDir(QDir(m_runtimeDir).filePath(name)).removeRecursively();
    const QByteArray path = QFile::encodeName(m_folder);
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat info {};
    // Only a real folder of this user, open to nobody else, is used.
    if (::lstat(path.constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid() || (info.st_mode & 077))
        return false;
    m_created = true;
    return true;
}

std::optional<QString> DragFileStore::write(const QByteArray& bytes, const QString& fileName)
{
    if (fileName.isEmpty() || fileName.contains(QLatin1Char('/')) || fileName == QLatin1String(".") || fileName == QLatin1String(".."))
        return std::nullopt;
    if (!ensureFolder())
        return std::nullopt;
    QDir folder(m_folder);
    const QString sub = QString::number(++m_counter);
    if (!folder.mkdir(sub) && !QFileInfo(folder.filePath(sub)).isDir())
        return std::nullopt;
    const QString path = QDir(folder.filePath(sub)).filePath(fileName);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        file.cancelWriting();
        folder.rmdir(sub);
        return std::nullopt;
    }
    return path;
}

DragFileStore& DragFileStore::shared()
{
    static DragFileStore* store = [] {
        auto* s = new DragFileStore(qEnvironmentVariable("XDG_RUNTIME_DIR"));
        // Emptied when the application quits; a process without one cleans up at exit.
        if (QCoreApplication::instance())
            QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, [s] {
                if (s->m_created)
                    QDir(s->m_folder).removeRecursively();
                s->m_created = false;
            });
        std::atexit([] { delete store; });
        return s;
    }();
    return *store;
}

ScreenshotDragData::ScreenshotDragData(const QImage& image, double scale, const QDateTime& when, DragFileStore& store)
    : m_image(image)
    , m_scale(scale)
    , m_fileName(screenshotFileName(when))
    , m_store(store)
    , m_offersFile(store.isUsable())
{
}

QStringList ScreenshotDragData::formats() const
{
    QStringList result{pngType};
    if (m_offersFile)
        result << uriListType;
    return result;
}

bool ScreenshotDragData::hasFormat(const QString& mimeType) const { return formats().contains(mimeType); }

const QByteArray& ScreenshotDragData::png() const
{
    if (!m_png)
        m_png = pngData(m_image, m_scale).value_or(QByteArray());
    return *m_png;
}

QVariant ScreenshotDragData::retrieveData(const QString& mimeType, QMetaType type) const
{
    if (mimeType == pngType)
        return png().isEmpty() ? QVariant() : QVariant(png());
    if (mimeType != uriListType || !m_offersFile)
        return {};
    if (!m_path) {
        const QByteArray& bytes = png();
        m_path = bytes.isEmpty() ? QString() : m_store.write(bytes, m_fileName).value_or(QString());
    }
    if (m_path->isEmpty())
        return {};
    const QUrl url = QUrl::fromLocalFile(*m_path);
    if (type.id() == QMetaType::QByteArray)
        return url.toEncoded() + "\r\n";
    return QVariantList{url};
}

} // namespace quandrel
