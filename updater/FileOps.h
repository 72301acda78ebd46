#pragma once

// File-system helpers of the installer and downloader, and running blocking work off the
// calling thread.

#include <QCoroFuture>
#include <QCoroTask>
#include <QFuture>
#include <QPromise>
#include <QString>
#include <QThreadPool>

#include <functional>
#include <memory>

#include <sys/types.h>

namespace ostry {

// The upper-case UUID that names every folder an update works in (and may leave behind when
// it is interrupted), and the pattern that recognises it in a name.
QString newWorkId();
inline constexpr const char* workIdPattern = "[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}";

// An exclusive lock on a folder (flock on its descriptor), taken without waiting and held
// while the object lives; it goes with the process, also when that is killed. Installs into a
// folder, and the removal of what an interrupted one left there, take turns through it.
class FolderLock {
public:
    explicit FolderLock(const QString& folder);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    bool held() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

// Whether `path` is a folder (not a symlink) of this process's user.
bool isOwnFolder(const QString& path);

// Copies a folder tree keeping permission bits, less `dropBits`, and symlinks (never
// following them). Refuses devices, pipes and sockets. `destination` must not exist. Sets
// *error on failure and leaves what was copied so far for the caller to remove.
bool copyTree(const QString& source, const QString& destination, QString* error, mode_t dropBits = 0);

// The same between two open folders: the entries of `sourceFd` go into the empty folder
// `destinationFd`, which then takes the source's mode (less `dropBits`). Every item is
// reached through its parent's descriptor and opened without following symlinks, so a
// rename or symlink planted in the source while it is copied can't lead the copy elsewhere.
// With a budget, the copy stops with an error as soon as it would hold more items or bytes
// than that (negative: no limit).
struct CopyBudget {
    qint64 entries = -1;
    qint64 bytes = -1;
};
bool copyTreeAt(int sourceFd, int destinationFd, mode_t dropBits, QString* error, CopyBudget budget = {});

// Removes `name` in the folder `parentFd` and everything below it, never following a
// symlink. True when nothing is left.
bool removeTreeAt(int parentFd, const QByteArray& name);

// Gives everything below the folder `folderFd`, then the folder itself, to owner:group,
// never following a symlink.
bool chownTreeAt(int folderFd, uid_t owner, gid_t group);

// Removes a tree without following symlinks. True when nothing is left.
bool removeTree(const QString& path);

// Flushes the file system holding `path` to disk.
void syncFileSystem(const QString& path);

// Moves an item to the user's Trash. Qt 6.4 fails when the data folder (~/.local/share) does
// not exist yet, so it is created first.
bool moveToTrash(const QString& path);

// Runs `work` on the global thread pool and resumes the caller on its own thread when done;
// an exception thrown by `work` is rethrown to the caller.
inline QCoro::Task<void> runInThread(std::function<void()> work)
{
    auto promise = std::make_shared<QPromise<void>>();
    QFuture<void> future = promise->future();
    QThreadPool::globalInstance()->start([promise, work = std::move(work)] {
        promise->start();
        try {
            work();
        } catch (...) {
            promise->setException(std::current_exception());
        }
        promise->finish();
    });
    co_await future;
}

} // namespace ostry
