#include "FileOps.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostry {

namespace {

QString systemError(const QByteArray& path)
{
    return QStringLiteral("%1: %2").arg(QFile::decodeName(path), QString::fromLocal8Bit(std::strerror(errno)));
}

bool copyFile(const QByteArray& from, const QByteArray& to, mode_t mode, QString* error)
{
    const int in = ::open(from.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (in < 0) {
        *error = systemError(from);
        return false;
    }
    const int out = ::open(to.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (out < 0) {
        *error = systemError(to);
        ::close(in);
        return false;
    }
    bool ok = true;
    char buffer[128 * 1024];
    for (;;) {
        const ssize_t count = ::read(in, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0) {
            *error = systemError(from);
            ok = false;
            break;
        }
        if (count == 0)
            break;
        for (ssize_t written = 0; written < count;) {
            const ssize_t n = ::write(out, buffer + written, std::size_t(count - written));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                *error = systemError(to);
                ok = false;
                break;
            }
            written += n;
        }
        if (!ok)
            break;
    }
    if (ok && ::fchmod(out, mode) != 0) {
        *error = systemError(to);
        ok = false;
    }
    ::close(in);
    if (::close(out) != 0 && ok) {
        *error = systemError(to);
        ok = false;
    }
    return ok;
}

bool copyDirectory(const QByteArray& from, const QByteArray& to, mode_t mode, QString* error)
{
    // Created private and writable, given its real mode once its content is in.
    if (::mkdir(to.constData(), 0700) != 0) {
        *error = systemError(to);
        return false;
    }
    DIR* dir = ::opendir(from.constData());
    if (!dir) {
        *error = systemError(from);
        return false;
    }
    bool ok = true;
    while (const dirent* item = ::readdir(dir)) {
        const QByteArray name(item->d_name);
        if (name == "." || name == "..")
            continue;
        const QByteArray source = from + '/' + name;
        const QByteArray target = to + '/' + name;
        struct stat info {};
        if (::lstat(source.constData(), &info) != 0) {
            *error = systemError(source);
            ok = false;
        } else if (S_ISDIR(info.st_mode)) {
            ok = copyDirectory(source, target, info.st_mode & 07777, error);
        } else if (S_ISREG(info.st_mode)) {
            ok = copyFile(source, target, info.st_mode & 07777, error);
        } else if (S_ISLNK(info.st_mode)) {
            QByteArray link(qsizetype(info.st_size) + 1, Qt::Uninitialized);
            const ssize_t length = ::readlink(source.constData(), link.data(), std::size_t(link.size()));
            if (length < 0 || length >= link.size()) {
                *error = systemError(source);
                ok = false;
            } else {
                link.truncate(length);
                if (::symlink(link.constData(), target.constData()) != 0) {
                    *error = systemError(target);
                    ok = false;
                }
            }
        } else {
            *error = QStringLiteral("%1 is not a file, folder or symlink").arg(QFile::decodeName(source));
            ok = false;
        }
        if (!ok)
            break;
    }
    ::closedir(dir);
    if (ok && ::chmod(to.constData(), mode) != 0) {
        *error = systemError(to);
        ok = false;
    }
    return ok;
}

} // namespace

bool copyTree(const QString& source, const QString& destination, QString* error)
{
    const QByteArray from = QFile::encodeName(source);
    struct stat info {};
    if (::lstat(from.constData(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        *error = QStringLiteral("%1 is not a folder").arg(source);
        return false;
    }
    return copyDirectory(from, QFile::encodeName(destination), info.st_mode & 07777, error);
}

bool removeTree(const QString& path)
{
    std::error_code error;
    const std::filesystem::path target(QFile::encodeName(path).toStdString());
    // Folders copied read-only (0555) can't be emptied until they are writable again.
    for (auto it = std::filesystem::recursive_directory_iterator(target, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        if (it->is_directory(error) && !it->is_symlink(error))
            ::chmod(it->path().c_str(), 0700);
    }
    ::chmod(target.c_str(), 0700);
    error.clear();
    std::filesystem::remove_all(target, error);
    return !error && !std::filesystem::exists(std::filesystem::symlink_status(target));
}

void syncFileSystem(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_DIRECTORY);
    if (fd >= 0) {
        ::syncfs(fd);
        ::close(fd);
    }
}

bool moveToTrash(const QString& path)
{
    QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
    return QFile::moveToTrash(path);
}

} // namespace ostry
