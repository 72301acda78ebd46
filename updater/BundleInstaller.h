#pragma once

// Replaces the running bundle by a verified new one.
//
// Direct mode (the user can write the bundle and its folder): the new bundle is copied to a
// hidden staging name beside the running one and swapped in with one atomic
// renameat2(RENAME_EXCHANGE); the old copy then goes to the Trash. Until the swap the
// running bundle is untouched, and on any failure the staged copy is thrown away.
//
// Otherwise the install script runs as root through pkexec. It stages the copy the same way,
// renames the old bundle aside and the staged copy into place (putting the old one back if
// that fails), and only then moves the old copy into the user's Trash.

#include "FileOps.h"
#include "UpdateComponents.h"

#include <functional>

namespace ostry {

class BundleInstaller : public UpdateInstaller {
public:
    using Trash = std::function<bool(const QString& path)>;
    using Exchange = std::function<bool(const QString& a, const QString& b, QString* error)>;

    // $1 new bundle, $2 running bundle, $3 backup path in the Trash, $4 owner "uid:gid".
    static const char* const installScript;

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
