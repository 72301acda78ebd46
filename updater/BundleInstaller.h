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

namespace ostry {

class BundleInstaller : public UpdateInstaller {
public:
    using Trash = std::function<bool(const QString& path)>;
    using Exchange = std::function<bool(const QString& a, const QString& b, QString* error)>;

    explicit BundleInstaller(Trash trash = moveToTrash);

    InstallMode installMode(const QString& runningPath) override;
    void install(const AppBundle& newBundle, const QString& runningPath, InstallMode mode) override;

    // Swaps two paths atomically; falls back to three renames where the file system can't.
    static bool exchangePaths(const QString& a, const QString& b, QString* error);

    // Replaceable for tests.
    Exchange exchange = exchangePaths;
    QString pkexecProgram; // empty: "pkexec" found on PATH

private:
    void installDirect(const AppBundle& newBundle, const QString& runningPath);
    void installWithAuthorization(const AppBundle& newBundle, const QString& runningPath);

    Trash m_trash;
};

} // namespace ostry
