#pragma once

// Replaces the running bundle by a verified new one.
//
// Direct mode (the user can write the bundle and its folder): the new bundle is copied to a
// hidden staging name beside the running one, flushed to disk and swapped in with one atomic
// renameat2(RENAME_EXCHANGE); the old copy then goes to the user's Trash. Until the swap the
// running bundle is untouched, and on any failure the staged copy, which never became the
// app, is deleted (never trashed: on a full disk the Trash is on the same full disk).
//
// Otherwise the install helper of the *installed* bundle runs as root through pkexec
// (InstallHelper.h): it copies, verifies and swaps in the new bundle on its own, trusting
// nothing the user can write, and deletes the old copy itself.

#include "FileOps.h"
#include "UpdateComponents.h"

#include <functional>
#include <optional>

#include <sys/types.h>

namespace ostry {

class BundleInstaller : public UpdateInstaller {
public:
    using Trash = std::function<bool(const QString& path)>;
    using Exchange = std::function<bool(const QString& a, const QString& b, QString* error)>;

    explicit BundleInstaller(Trash trash = moveToTrash);

    InstallMode installMode(const QString& runningPath) override;
    void install(const AppBundle& newBundle, const QString& runningPath, InstallMode mode) override;

    // Removes what an interrupted direct install left beside `bundle`: its staging copy, and
    // moves an old copy that didn't reach the Trash there. Only folders of this user.
    static void removeLeftovers(const AppBundle& bundle);

    // Swaps two paths atomically; falls back to three renames where the file system can't.
    static bool exchangePaths(const QString& a, const QString& b, QString* error);

    // Why pkexec may not run the helper of the bundle at `bundlePath` as root, or nothing when
    // it may: the helper, every item of the bundle and every folder above it must belong to
    // root (or `trustedOwner`) and be writable by nobody else. A folder above the bundle that
    // others may write counts only with the sticky bit (as /tmp), where nobody else can rename
    // what root owns. Symlinks on the way are resolved first; the resolved paths are the ones
    // handed to pkexec.
    static std::optional<QString> privilegedHelperProblem(const QString& bundlePath, uid_t trustedOwner = 0);

    // Replaceable for tests.
    Exchange exchange = exchangePaths;
    // Always this program, never one found on PATH.
    QString pkexecProgram = QStringLiteral("/usr/bin/pkexec");
    // Besides root, the one account whose files pkexec may run (tests running as an ordinary
    // account name their own).
    uid_t trustedOwner = 0;

private:
    void installDirect(const AppBundle& newBundle, const QString& runningPath);
    void installWithAuthorization(const AppBundle& newBundle, const QString& runningPath);

    Trash m_trash;
};

} // namespace ostry
