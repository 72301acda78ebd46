#include "InstallHelper.h"

#include "AppBundle.h"
#include "BundleManifest.h"
#include "Errors.h"
#include "FileOps.h"
#include "SignatureVerifier.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostry {

namespace {

// Every bit a copy made as root must not keep: setuid, setgid, sticky, group and other write.
constexpr mode_t droppedBits = S_ISUID | S_ISGID | S_ISVTX | S_IWGRP | S_IWOTH;
// The mode of every installed app folder, whatever the source folder's was.
constexpr mode_t installedFolderMode = 0755;

class Descriptor {
public:
    explicit Descriptor(int fd = -1) : m_fd(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }

private:
    int m_fd;
};

[[noreturn]] void fail(const QString& detail)
{
    throw InstallError::failed(detail);
}

QString lastError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// The path through which a descriptor's folder is reached whatever happens to the names
// above it.
QString descriptorPath(int fd)
{
    return QStringLiteral("/proc/self/fd/%1").arg(fd);
}

void removeLeftovers(int parentFd, const QByteArray& prefix)
{
    const int listFd = ::dup(parentFd);
    DIR* dir = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
    if (!dir) {
        if (listFd >= 0)
            ::close(listFd);
        return;
    }
    QList<QByteArray> stale;
    while (const dirent* item = ::readdir(dir)) {
        const QByteArray name(item->d_name);
        if (name.startsWith(prefix))
            stale.append(name);
    }
    ::closedir(dir);
    for (const QByteArray& name : stale)
        removeTreeAt(parentFd, name);
}

} // namespace

const char* InstallHelper::stepName(Step step)
{
    switch (step) {
    case Step::copied:
        return "copied";
    case Step::verified:
        return "verified";
    case Step::synced:
        return "synced";
    case Step::exchanged:
        return "exchanged";
    case Step::finished:
        return "finished";
    }
    return "?";
}

QString InstallHelper::stagingPrefix(const QString& targetName)
{
    return QLatin1Char('.') + targetName + QLatin1String(".ostryupdater-");
}

void InstallHelper::install(const QString& source, const QString& target, const Hook& hook)
{
    if (!QDir::isAbsolutePath(source) || !QDir::isAbsolutePath(target))
        fail(QStringLiteral("the install helper needs absolute paths"));
    const QFileInfo targetInfo(QDir::cleanPath(target));
    const QString name = targetInfo.fileName();
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        fail(QStringLiteral("%1 is not a bundle").arg(target));
    const QByteArray nameBytes = QFile::encodeName(name);

    // 1. The folder that receives the new bundle must be out of other accounts' reach.
    const QString parentPath = targetInfo.absolutePath();
    const Descriptor parent(::open(QFile::encodeName(parentPath).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat parentInfo {};
    if (!parent.valid() || ::fstat(parent.get(), &parentInfo) != 0)
        fail(QStringLiteral("%1: %2").arg(parentPath, lastError()));
    if ((parentInfo.st_uid != 0 && parentInfo.st_uid != ::geteuid()) || (parentInfo.st_mode & (S_IWGRP | S_IWOTH)))
        fail(QStringLiteral("the folder %1 can be changed by other accounts").arg(parentPath));
    // One run at a time per folder, for the whole run: leftovers are another run's work in
    // progress unless the lock is ours. Released when the descriptor closes, also when the
    // helper is killed.
    if (::flock(parent.get(), LOCK_EX | LOCK_NB) != 0)
        fail(errno == EWOULDBLOCK ? QStringLiteral("another update is being installed into %1").arg(parentPath)
                                  : QStringLiteral("%1: %2").arg(parentPath, lastError()));

    struct stat targetStat {};
    if (::fstatat(parent.get(), nameBytes.constData(), &targetStat, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(targetStat.st_mode))
        fail(QStringLiteral("%1 is not a bundle").arg(target));
    // The trusted key comes from the target, so the target must be root's (or, for an
    // ordinary account running the helper without rights, that account's own).
    if (targetStat.st_uid != 0 && targetStat.st_uid != ::geteuid())
        fail(QStringLiteral("%1 doesn't belong to root").arg(target));
    const Descriptor installed(::openat(parent.get(), nameBytes.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!installed.valid())
        fail(QStringLiteral("%1: %2").arg(target, lastError()));
    const AppBundle running(descriptorPath(installed.get()));
    SignatureVerifier::trustedKey(running);

    const QByteArray prefix = QFile::encodeName(stagingPrefix(name));
    removeLeftovers(parent.get(), prefix);

    const Descriptor from(::open(QFile::encodeName(source).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!from.valid())
        fail(QStringLiteral("%1: %2").arg(source, lastError()));

    // Before anything is copied: the source must carry a manifest signed by the installed
    // bundle's key, and the copy may hold no more than that manifest lists. Whatever the
    // path leads to, root copies no more than the signed release's size.
    const BundleManifest expected = SignatureVerifier::signedManifest(from.get(), running);
    CopyBudget budget{qint64(expected.entries.size()) + 3, 4096 + BundleManifest::maxEncodedSize};
    for (const ManifestEntry& entry : expected.entries)
        budget.bytes += entry.size;

    // 2. A private copy, made item by item with the dangerous bits dropped.
    const QByteArray staging = prefix + newWorkId().toLatin1();
    const QString stagingPath = parentPath + QLatin1Char('/') + QFile::decodeName(staging);
    if (::mkdirat(parent.get(), staging.constData(), 0700) != 0)
        fail(QStringLiteral("%1: %2").arg(stagingPath, lastError()));
    bool keepStaging = false; // it holds the previous copy when a swap back failed
    auto exchange = [&] {
        return ::renameat2(parent.get(), staging.constData(), parent.get(), nameBytes.constData(), RENAME_EXCHANGE) == 0;
    };
    try {
        const Descriptor copy(::openat(parent.get(), staging.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!copy.valid())
            fail(QStringLiteral("%1: %2").arg(stagingPath, lastError()));
        // Private until it is complete and checked: the copy's own mode comes last.
        QString error;
        if (!copyTreeAt(from.get(), copy.get(), droppedBits, &error, budget) || ::fchmod(copy.get(), 0700) != 0)
            fail(error.isEmpty() ? lastError() : error);
        if (hook)
            hook(Step::copied, stagingPath);

        // 3. The updater's own checks, on the copy no other account can reach.
        SignatureVerifier::checkBundle(AppBundle(descriptorPath(copy.get())), running);
        if (hook)
            hook(Step::verified, stagingPath);

        // 4. The installed bundle's owner and the one mode an installed app folder has
        // (never the unsigned source folder's), on disk, then the swap.
        if ((targetStat.st_uid != ::geteuid() || targetStat.st_gid != ::getegid())
            && !chownTreeAt(copy.get(), targetStat.st_uid, targetStat.st_gid))
            fail(QStringLiteral("the new copy couldn't be given to its owner: %1").arg(lastError()));
        if (::fchmod(copy.get(), installedFolderMode) != 0)
            fail(lastError());
        if (::syncfs(copy.get()) != 0 || ::fsync(copy.get()) != 0 || ::fsync(parent.get()) != 0)
            fail(QStringLiteral("the new copy couldn't be written to disk: %1").arg(lastError()));
        if (hook)
            hook(Step::synced, stagingPath);

        if (!exchange()) {
            if (errno == EINVAL || errno == ENOSYS || errno == ENOTSUP)
                fail(QStringLiteral("the file system of %1 can't swap folders in one step").arg(parentPath));
            fail(QStringLiteral("%1: %2").arg(target, lastError()));
        }
        // What now holds the target's name must be the checked copy, complete: otherwise the
        // old copy goes back and the run fails.
        struct stat copyInfo {};
        struct stat swappedIn {};
        QString problem;
        const bool same = ::fstat(copy.get(), &copyInfo) == 0
            && ::fstatat(parent.get(), nameBytes.constData(), &swappedIn, AT_SYMLINK_NOFOLLOW) == 0
            && copyInfo.st_dev == swappedIn.st_dev && copyInfo.st_ino == swappedIn.st_ino;
        const auto actual = same ? BundleManifest::scan(descriptorPath(copy.get()), &problem) : std::nullopt;
        if (actual)
            problem = describeDifference(expected, *actual);
        else if (problem.isEmpty())
            problem = QStringLiteral("another folder took its place");
        if (!problem.isEmpty()) {
            const bool restored = exchange();
            keepStaging = !restored;
            ::fsync(parent.get());
            fail(QStringLiteral("the installed copy didn't match the update (%1)%2")
                     .arg(problem, restored ? QString() : QStringLiteral("; the previous copy couldn't be put back")));
        }
    } catch (...) {
        if (!keepStaging)
            removeTreeAt(parent.get(), staging);
        throw;
    }
    ::fsync(parent.get());
    if (hook)
        hook(Step::exchanged, stagingPath);

    // 5. The staging name now holds the old copy; the helper deletes it itself, never moving it
    // anywhere the user controls.
    if (!removeTreeAt(parent.get(), staging))
        std::fprintf(stderr, "ostry-install-helper: the old copy %s couldn't be removed completely\n",
                     qPrintable(stagingPath));
    ::fsync(parent.get());
    if (hook)
        hook(Step::finished, stagingPath);
}

int InstallHelper::main(int argc, char** argv, const Hook& hook)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: ostry-install-helper NEW-BUNDLE INSTALLED-BUNDLE\n");
        return 2;
    }
    ::umask(022);
    try {
        install(QFile::decodeName(argv[1]), QFile::decodeName(argv[2]), hook);
    } catch (const InstallError& error) {
        // The user's side puts this in its own "couldn't be installed" message.
        std::fprintf(stderr, "%s\n", qPrintable(error.detail().isEmpty() ? error.message() : error.detail()));
        return 1;
    } catch (const UpdateError& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}

} // namespace ostry
