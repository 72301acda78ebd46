#include "FileOps.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QUuid>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostry {

namespace {

QString systemError(const QByteArray& path)
{
    return QStringLiteral("%1: %2").arg(QFile::decodeName(path), QString::fromLocal8Bit(std::strerror(errno)));
}

QByteArray childPath(const QByteArray& folder, const QByteArray& name)
{
    return folder.isEmpty() ? name : folder + '/' + name;
}

bool writeAll(int fd, const char* data, ssize_t count)
{
    for (ssize_t written = 0; written < count;) {
        const ssize_t n = ::write(fd, data + written, std::size_t(count - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        written += n;
    }
    return true;
}

class TreeCopier {
public:
    TreeCopier(mode_t dropBits, QString* error, CopyBudget budget) : m_drop(dropBits), m_error(error), m_budget(budget) {}

    // Copies the entries of the folder `from` into the empty folder `to`; `shown` names the
    // folder in messages.
    bool copyEntries(int from, int to, const QByteArray& shown)
    {
        const int listFd = ::dup(from);
        DIR* dir = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
        if (!dir) {
            if (listFd >= 0)
                ::close(listFd);
            return fail(shown);
        }
        ::rewinddir(dir);
        bool ok = true;
        while (const dirent* item = ::readdir(dir)) {
            const QByteArray name(item->d_name);
            if (name == "." || name == "..")
                continue;
            ok = copyEntry(from, to, name, childPath(shown, name));
            if (!ok)
                break;
        }
        ::closedir(dir);
        return ok;
    }

    mode_t kept(mode_t mode) const { return mode & 07777 & ~m_drop; }

private:
    bool fail(const QByteArray& shown)
    {
        *m_error = systemError(shown);
        return false;
    }

    bool overBudget()
    {
        *m_error = QStringLiteral("it holds more than its manifest lists");
        return false;
    }

    bool copyEntry(int from, int to, const QByteArray& name, const QByteArray& shown)
    {
        if (m_budget.entries >= 0 && --m_budget.entries < 0)
            return overBudget();
        struct stat info {};
        if (::fstatat(from, name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0)
            return fail(shown);
        if (S_ISLNK(info.st_mode)) {
            QByteArray link(qsizetype(info.st_size) + 1, Qt::Uninitialized);
            const ssize_t length = ::readlinkat(from, name.constData(), link.data(), std::size_t(link.size()));
            if (length < 0 || length >= link.size())
                return fail(shown);
            link.truncate(length);
            if (::symlinkat(link.constData(), to, name.constData()) != 0)
                return fail(shown);
            return true;
        }
        if (!S_ISDIR(info.st_mode) && !S_ISREG(info.st_mode)) {
            *m_error = QStringLiteral("%1 is not a file, folder or symlink").arg(QFile::decodeName(shown));
            return false;
        }
        // Opened without following links and without blocking, then checked again: what is
        // copied is what was looked at, even if the name changes in between.
        const int flags = S_ISDIR(info.st_mode) ? O_RDONLY | O_DIRECTORY : O_RDONLY | O_NONBLOCK;
        const int in = ::openat(from, name.constData(), flags | O_NOFOLLOW | O_CLOEXEC);
        if (in < 0)
            return fail(shown);
        struct stat opened {};
        if (::fstat(in, &opened) != 0 || (opened.st_mode & S_IFMT) != (info.st_mode & S_IFMT)) {
            ::close(in);
            *m_error = QStringLiteral("%1 changed while it was copied").arg(QFile::decodeName(shown));
            return false;
        }
        const bool ok = S_ISDIR(opened.st_mode) ? copyFolder(in, to, name, kept(opened.st_mode), shown)
                                                : copyFile(in, to, name, kept(opened.st_mode), shown);
        ::close(in);
        return ok;
    }

    bool copyFolder(int in, int to, const QByteArray& name, mode_t mode, const QByteArray& shown)
    {
        // Created private and writable, given its real mode once its content is in.
        if (::mkdirat(to, name.constData(), 0700) != 0)
            return fail(shown);
        const int out = ::openat(to, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (out < 0)
            return fail(shown);
        bool ok = copyEntries(in, out, shown);
        if (ok && ::fchmod(out, mode) != 0)
            ok = fail(shown);
        ::close(out);
        return ok;
    }

    bool copyFile(int in, int to, const QByteArray& name, mode_t mode, const QByteArray& shown)
    {
        const int out = ::openat(to, name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (out < 0)
            return fail(shown);
        bool ok = true;
        char buffer[128 * 1024];
        for (;;) {
            const ssize_t count = ::read(in, buffer, sizeof buffer);
            if (count < 0 && errno == EINTR)
                continue;
            if (count < 0) {
                ok = fail(shown);
                break;
            }
            if (count == 0)
                break;
            if (m_budget.bytes >= 0 && (m_budget.bytes -= count) < 0) {
                ok = overBudget();
                break;
            }
            if (!writeAll(out, buffer, count)) {
                ok = fail(shown);
                break;
            }
        }
        if (ok && ::fchmod(out, mode) != 0)
            ok = fail(shown);
        if (::close(out) != 0 && ok)
            ok = fail(shown);
        return ok;
    }

    mode_t m_drop;
    QString* m_error;
    CopyBudget m_budget;
};

bool removeEntries(int folder)
{
    const int listFd = ::dup(folder);
    DIR* dir = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
    if (!dir) {
        if (listFd >= 0)
            ::close(listFd);
        return false;
    }
    std::vector<QByteArray> names;
    while (const dirent* item = ::readdir(dir)) {
        const QByteArray name(item->d_name);
        if (name != "." && name != "..")
            names.push_back(name);
    }
    ::closedir(dir);
    bool ok = true;
    for (const QByteArray& name : names)
        ok = removeTreeAt(folder, name) && ok;
    return ok;
}

} // namespace

QString newWorkId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

FolderLock::FolderLock(const QString& folder)
{
    m_fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_fd >= 0 && ::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

FolderLock::~FolderLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool isOwnFolder(const QString& path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::getuid();
}

bool copyTreeAt(int sourceFd, int destinationFd, mode_t dropBits, QString* error, CopyBudget budget)
{
    struct stat info {};
    if (::fstat(sourceFd, &info) != 0 || !S_ISDIR(info.st_mode)) {
        *error = QStringLiteral("the source is not a folder");
        return false;
    }
    TreeCopier copier(dropBits, error, budget);
    if (!copier.copyEntries(sourceFd, destinationFd, {}))
        return false;
    if (::fchmod(destinationFd, copier.kept(info.st_mode)) != 0) {
        *error = systemError(".");
        return false;
    }
    return true;
}

bool copyTree(const QString& source, const QString& destination, QString* error, mode_t dropBits)
{
    const QByteArray from = QFile::encodeName(source);
    const QByteArray to = QFile::encodeName(destination);
    const int in = ::open(from.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (in < 0) {
        *error = QStringLiteral("%1 is not a folder").arg(source);
        return false;
    }
    bool ok = ::mkdir(to.constData(), 0700) == 0;
    const int out = ok ? ::open(to.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC) : -1;
    if (out < 0) {
        *error = systemError(to);
        ok = false;
    } else {
        ok = copyTreeAt(in, out, dropBits, error);
        ::close(out);
    }
    ::close(in);
    return ok;
}

bool removeTreeAt(int parentFd, const QByteArray& name)
{
    struct stat info {};
    if (::fstatat(parentFd, name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT;
    if (!S_ISDIR(info.st_mode))
        return ::unlinkat(parentFd, name.constData(), 0) == 0 || errno == ENOENT;
    const int folder = ::openat(parentFd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0)
        return false;
    // A folder copied read-only (0555) can't be emptied until it is writable again.
    if ((info.st_mode & 0700) != 0700)
        ::fchmod(folder, 0700);
    const bool emptied = removeEntries(folder);
    ::close(folder);
    return emptied && (::unlinkat(parentFd, name.constData(), AT_REMOVEDIR) == 0 || errno == ENOENT);
}

bool chownTreeAt(int folderFd, uid_t owner, gid_t group)
{
    const int listFd = ::dup(folderFd);
    DIR* dir = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
    if (!dir) {
        if (listFd >= 0)
            ::close(listFd);
        return false;
    }
    bool ok = true;
    while (const dirent* item = ::readdir(dir)) {
        const QByteArray name(item->d_name);
        if (name == "." || name == "..")
            continue;
        struct stat info {};
        if (::fstatat(folderFd, name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
            ok = false;
            break;
        }
        if (S_ISDIR(info.st_mode)) {
            const int child = ::openat(folderFd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            ok = child >= 0 && chownTreeAt(child, owner, group);
            if (child >= 0)
                ::close(child);
        } else {
            ok = ::fchownat(folderFd, name.constData(), owner, group, AT_SYMLINK_NOFOLLOW) == 0;
        }
        if (!ok)
            break;
    }
    ::closedir(dir);
    return ok && ::fchown(folderFd, owner, group) == 0;
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
