#include "ArchiveExtractor.h"

#include "BundleManifest.h"
#include "Errors.h"

#include <QFile>
#include <QFileInfo>

#include <archive.h>
#include <archive_entry.h>

#include <memory>

#include <sys/stat.h>
#include <unistd.h>

namespace ostry {

namespace {

struct ReadDeleter {
    void operator()(archive* a) const { archive_read_free(a); }
};
struct WriteDeleter {
    void operator()(archive* a) const { archive_write_free(a); }
};

[[noreturn]] void reject(const QString& detail)
{
    throw DownloadError::badArchive(detail);
}

QString archiveError(archive* a)
{
    const char* message = archive_error_string(a);
    return message ? QString::fromLocal8Bit(message) : QStringLiteral("unknown error");
}

// The entry's path without "./" pieces or a trailing slash; empty when it is absolute or
// climbs with "..".
QByteArray cleanEntryPath(const QByteArray& raw)
{
    if (raw.isEmpty() || raw.startsWith('/'))
        return {};
    QByteArrayList kept;
    for (const QByteArray& piece : raw.split('/')) {
        if (piece.isEmpty() || piece == ".")
            continue;
        if (piece == "..")
            return {};
        kept.append(piece);
    }
    return kept.join('/');
}

} // namespace

void extractZip(int archiveFd, const QString& destination, const ExtractionLimits& limits)
{
    // libarchive refuses symlinks anywhere on the written path, so the destination prefix is
    // written in its canonical form.
    const QString root = QFileInfo(destination).canonicalFilePath();
    if (root.isEmpty())
        reject(QStringLiteral("the destination folder doesn't exist"));

    std::unique_ptr<archive, ReadDeleter> reader(archive_read_new());
    archive_read_support_format_zip(reader.get());
    if (::lseek(archiveFd, 0, SEEK_SET) != 0)
        reject(QStringLiteral("the archive couldn't be read"));
    if (archive_read_open_fd(reader.get(), archiveFd, 64 * 1024) != ARCHIVE_OK)
        reject(archiveError(reader.get()));

    std::unique_ptr<archive, WriteDeleter> writer(archive_write_disk_new());
    archive_write_disk_set_options(writer.get(),
                                   ARCHIVE_EXTRACT_PERM | ARCHIVE_EXTRACT_SECURE_SYMLINKS
                                       | ARCHIVE_EXTRACT_SECURE_NODOTDOT | ARCHIVE_EXTRACT_NO_OVERWRITE);

    qint64 entries = 0;
    qint64 totalBytes = 0;
    const QByteArray prefix = QFile::encodeName(root) + '/';
    for (;;) {
        archive_entry* entry = nullptr;
        const int status = archive_read_next_header(reader.get(), &entry);
        if (status == ARCHIVE_EOF)
            break;
        if (status != ARCHIVE_OK)
            reject(archiveError(reader.get()));

        const char* rawName = archive_entry_pathname(entry);
        const QByteArray name = rawName ? QByteArray(rawName) : QByteArray();
        const QString shown = QString::fromUtf8(name);
        if (++entries > limits.maxEntries)
            reject(QStringLiteral("it has more than %1 entries").arg(limits.maxEntries));
        const QByteArray path = cleanEntryPath(name);
        if (path.isEmpty())
            reject(QStringLiteral("%1 is an absolute path or leaves the folder").arg(shown));
        if (archive_entry_hardlink(entry))
            reject(QStringLiteral("%1 is a hard link").arg(shown));

        const mode_t mode = archive_entry_mode(entry);
        const auto type = archive_entry_filetype(entry);
        if (mode & (S_ISUID | S_ISGID))
            reject(QStringLiteral("%1 has the setuid or setgid bit").arg(shown));
        if (type == AE_IFLNK) {
            const char* target = archive_entry_symlink(entry);
            if (!target || !symlinkStaysInside(path, QByteArray(target)))
                reject(QStringLiteral("the symlink %1 points outside the bundle").arg(shown));
        } else if (type != AE_IFREG && type != AE_IFDIR) {
            reject(QStringLiteral("%1 is not a file, folder or symlink").arg(shown));
        }
        if (archive_entry_size_is_set(entry) && archive_entry_size(entry) > limits.maxTotalBytes - totalBytes)
            reject(QStringLiteral("it unpacks to more than %1 bytes").arg(limits.maxTotalBytes));

        archive_entry_set_pathname(entry, (prefix + path).constData());
        if (archive_write_header(writer.get(), entry) != ARCHIVE_OK)
            reject(QStringLiteral("%1: %2").arg(shown, archiveError(writer.get())));

        if (type == AE_IFREG) {
            const void* block = nullptr;
            size_t size = 0;
            la_int64_t offset = 0;
            for (;;) {
                const int read = archive_read_data_block(reader.get(), &block, &size, &offset);
                if (read == ARCHIVE_EOF)
                    break;
                if (read != ARCHIVE_OK)
                    reject(QStringLiteral("%1: %2").arg(shown, archiveError(reader.get())));
                totalBytes += qint64(size);
                if (totalBytes > limits.maxTotalBytes)
                    reject(QStringLiteral("it unpacks to more than %1 bytes").arg(limits.maxTotalBytes));
                if (archive_write_data_block(writer.get(), block, size, offset) != ARCHIVE_OK)
                    reject(QStringLiteral("%1: %2").arg(shown, archiveError(writer.get())));
            }
        }
        if (archive_write_finish_entry(writer.get()) != ARCHIVE_OK)
            reject(QStringLiteral("%1: %2").arg(shown, archiveError(writer.get())));
    }
    // Closing applies the folders' final permissions.
    if (archive_write_close(writer.get()) != ARCHIVE_OK)
        reject(archiveError(writer.get()));
}

} // namespace ostry
