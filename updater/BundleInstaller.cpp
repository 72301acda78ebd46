#include "BundleInstaller.h"

#include "Errors.h"
#include "Shell.h"
#include "UpdaterLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <dirent.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace ostry {

namespace {

QString baseName(const QString& fileName)
{
    if (fileName.endsWith(QLatin1String(AppBundle::extension)))
        return fileName.chopped(qsizetype(std::strlen(AppBundle::extension)));
    return fileName;
}

bool trusted(uid_t owner, uid_t trustedOwner)
{
    return owner == 0 || owner == trustedOwner;
}

// The first item below the folder `fd` (shown as `shown`) that is not trusted or can be
// changed by others, never following a symlink.
std::optional<QString> untrustedItemBelow(int fd, const QString& shown, uid_t trustedOwner)
{
    const int listFd = ::dup(fd);
    DIR* dir = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
    if (!dir) {
        if (listFd >= 0)
            ::close(listFd);
        return QStringLiteral("%1 can't be read").arg(shown);
    }
    std::optional<QString> problem;
    while (const dirent* item = ::readdir(dir)) {
        const QByteArray name(item->d_name);
        if (name == "." || name == "..")
            continue;
        const QString path = shown + QLatin1Char('/') + QFile::decodeName(name);
        struct stat info {};
        if (::fstatat(fd, name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
            problem = QStringLiteral("%1 can't be read").arg(path);
        } else if (!trusted(info.st_uid, trustedOwner)) {
            problem = QStringLiteral("%1 doesn't belong to root").arg(path);
        } else if (!S_ISLNK(info.st_mode) && (info.st_mode & (S_IWGRP | S_IWOTH))) {
            problem = QStringLiteral("%1 can be changed by other accounts").arg(path);
        } else if (S_ISDIR(info.st_mode)) {
            const int child = ::openat(fd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            problem = child >= 0 ? untrustedItemBelow(child, path, trustedOwner)
                                 : QStringLiteral("%1 can't be read").arg(path);
            if (child >= 0)
                ::close(child);
        }
        if (problem)
            break;
    }
    ::closedir(dir);
    return problem;
}

} // namespace

std::optional<QString> BundleInstaller::privilegedHelperProblem(const QString& bundlePath, uid_t trustedOwner)
{
    char* resolved = ::realpath(QFile::encodeName(bundlePath).constData(), nullptr);
    if (!resolved)
        return QStringLiteral("%1 can't be found").arg(bundlePath);
    const QString bundle = QFile::decodeName(resolved);
    std::free(resolved);
    const AppBundle app(bundle);
    struct stat helper {};
    if (::lstat(QFile::encodeName(app.file(AppBundle::installHelperFile)).constData(), &helper) != 0
        || !S_ISREG(helper.st_mode) || !(helper.st_mode & S_IXUSR))
        return QStringLiteral("this copy of the app has no install helper (%1)").arg(app.file(AppBundle::installHelperFile));

    // The bundle and every folder above it.
    for (QString path = bundle;; path = QFileInfo(path).absolutePath()) {
        struct stat info {};
        if (::lstat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISDIR(info.st_mode))
            return QStringLiteral("%1 isn't a folder").arg(path);
        if (!trusted(info.st_uid, trustedOwner))
            return QStringLiteral("%1 doesn't belong to root").arg(path);
        const bool othersWrite = info.st_mode & (S_IWGRP | S_IWOTH);
        if (othersWrite && (path == bundle || !(info.st_mode & S_ISVTX)))
            return QStringLiteral("%1 can be changed by other accounts").arg(path);
        if (path == QLatin1String("/"))
            break;
    }
    // Everything inside it: the helper loads the bundle's own libraries.
    const int fd = ::open(QFile::encodeName(bundle).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return QStringLiteral("%1 can't be read").arg(bundle);
    const auto problem = untrustedItemBelow(fd, bundle, trustedOwner);
    ::close(fd);
    return problem;
}

void BundleInstaller::removeLeftovers(const AppBundle& bundle)
{
    if (!bundle.isValid())
        return;
    const QFileInfo running(bundle.path());
    const QString base = baseName(running.fileName());
    // The names installDirect writes: the staging copy and the copy it replaced.
    const QRegularExpression staging(QLatin1String("^") + QRegularExpression::escape(QLatin1Char('.') + running.fileName())
                                     + QLatin1String("\\.") + QLatin1String(workIdPattern) + QLatin1String("$"));
    const QRegularExpression previous(QLatin1String("^") + QRegularExpression::escape(base) + QLatin1String("-previous-")
                                      + QLatin1String(workIdPattern) + QRegularExpression::escape(QLatin1String(AppBundle::extension))
                                      + QLatin1String("$"));
    const QDir folder = running.absoluteDir();
    const QStringList names = folder.entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System);
    const bool any = std::any_of(names.begin(), names.end(), [&](const QString& name) {
        return staging.match(name).hasMatch() || previous.match(name).hasMatch();
    });
    if (!any)
        return;
    // What an install under way is writing is not left over: the folder's lock says which.
    const FolderLock lock(folder.path());
    if (!lock.held())
        return;
    for (const QString& name : names) {
        const QString path = folder.filePath(name);
        if (!isOwnFolder(path))
            continue;
        if (staging.match(name).hasMatch()) {
            qCInfo(lcUpdater, "Removing %s, left by an interrupted install", qUtf8Printable(path));
            removeTree(path);
        } else if (previous.match(name).hasMatch()) {
            qCInfo(lcUpdater, "Moving %s, the copy an install replaced, to the Trash", qUtf8Printable(path));
            moveToTrash(path);
        }
    }
}

BundleInstaller::BundleInstaller(Trash trash) : m_trash(std::move(trash)) {}

bool BundleInstaller::exchangePaths(const QString& a, const QString& b, QString* error)
{
    const QByteArray first = QFile::encodeName(a);
    const QByteArray second = QFile::encodeName(b);
    if (::renameat2(AT_FDCWD, first.constData(), AT_FDCWD, second.constData(), RENAME_EXCHANGE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    // No atomic exchange here: b aside, a into b's place, the old b to a's name.
    const QByteArray aside = second + ".exchange-" + newWorkId().toLatin1();
    if (::rename(second.constData(), aside.constData()) != 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    if (::rename(first.constData(), second.constData()) != 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        ::rename(aside.constData(), second.constData());
        return false;
    }
    ::rename(aside.constData(), first.constData());
    return true;
}

InstallMode BundleInstaller::installMode(const QString& runningPath)
{
    const QByteArray path = QFile::encodeName(runningPath);
    struct statvfs volume {};
    if (::statvfs(path.constData(), &volume) == 0 && (volume.f_flag & ST_RDONLY))
        throw InstallError::readOnlyVolume();
    const QByteArray parent = QFile::encodeName(QFileInfo(runningPath).absolutePath());
    if (::access(parent.constData(), W_OK) == 0 && ::access(path.constData(), W_OK) == 0)
        return InstallMode::direct;
    return InstallMode::needsAuthorization;
}

void BundleInstaller::install(const AppBundle& newBundle, const QString& runningPath, InstallMode mode)
{
    if (mode == InstallMode::direct)
        installDirect(newBundle, runningPath);
    else
        installWithAuthorization(newBundle, runningPath);
}

void BundleInstaller::installDirect(const AppBundle& newBundle, const QString& runningPath)
{
    const QFileInfo running(runningPath);
    const QString folder = running.absolutePath();
    const QString staging = folder + QLatin1String("/.") + running.fileName() + QLatin1Char('.') + newWorkId();
    // Another Quandrel of this user (on another display) may install or clean up there too.
    const FolderLock lock(folder);
    if (!lock.held())
        throw InstallError::failed(QStringLiteral("another update is being installed into %1").arg(folder));

    QString error;
    if (!copyTree(newBundle.path(), staging, &error, S_ISUID | S_ISGID | S_IWGRP | S_IWOTH)) {
        removeTree(staging);
        throw InstallError::failed(error);
    }
    // The new files must be on disk before the swap makes them the app.
    syncFileSystem(staging);
    if (!exchange(staging, running.absoluteFilePath(), &error)) {
        removeTree(staging);
        throw InstallError::failed(error);
    }

    // The staging name now holds the old copy.
    const QString backup = folder + QLatin1Char('/') + baseName(running.fileName())
        + QLatin1String("-previous-") + newWorkId() + QLatin1String(AppBundle::extension);
    const QString old = QFile::rename(staging, backup) ? backup : staging;
    if (!m_trash(old))
        qCWarning(lcUpdater, "Couldn't move %s to the Trash", qUtf8Printable(old));
    qCInfo(lcUpdater, "Installed the update at %s", qUtf8Printable(running.absoluteFilePath()));
}

void BundleInstaller::installWithAuthorization(const AppBundle& newBundle, const QString& runningPath)
{
    if (!QFileInfo(pkexecProgram).isExecutable())
        throw InstallError::authorizationUnavailable(QStringLiteral("pkexec isn't installed."));
    const QString pkexec = pkexecProgram;

    // The helper comes from the installed bundle, and it runs as root only when the user can
    // change neither it nor the bundle nor any folder above them; it gets nothing but the two
    // paths.
    if (const auto problem = privilegedHelperProblem(runningPath, trustedOwner))
        throw InstallError::failed(*problem);
    char* resolved = ::realpath(QFile::encodeName(runningPath).constData(), nullptr);
    const QString running = resolved ? QFile::decodeName(resolved) : QFileInfo(runningPath).absoluteFilePath();
    std::free(resolved);
    const QString helper = AppBundle(running).file(AppBundle::installHelperFile);
    const QString source = QFileInfo(newBundle.path()).absoluteFilePath();
    try {
        Shell::run(pkexec, {helper, source, running});
    } catch (const ShellFailure& failure) {
        // pkexec: 126 when the user dismissed the authentication dialog, 127 when no
        // authentication agent could ask or the request was refused. The helper itself
        // exits with 1 and its reason.
        if (failure.status() == 126)
            throw InstallError::cancelled();
        if (failure.status() == 127)
            throw InstallError::authorizationUnavailable(failure.output());
        const QString reason = failure.output().trimmed();
        throw InstallError::failed(reason.isEmpty() ? failure.message() : reason);
    }
    qCInfo(lcUpdater, "Installed the update at %s with administrator rights", qUtf8Printable(running));
}

} // namespace ostry
