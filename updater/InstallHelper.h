#pragma once

// The privileged half of an install into a folder the user can't write. The user's process
// runs the helper program of the *installed* bundle (root-owned when installed system-wide)
// through pkexec with two paths: the new bundle the user downloaded and verified, and the
// installed bundle. The helper trusts nothing the user can write:
//
//  1. The folder holding the installed bundle must be writable by root alone (or, when the
//     helper runs as an ordinary account, by that account alone); nothing is ever written
//     into a folder other accounts control. The installed bundle, whose key is trusted, must
//     be root's (or that account's). The run holds an exclusive lock on that folder from
//     start to end; a second run meanwhile is refused at once.
//  2. The new bundle is copied into a fresh private staging folder (0700) beside the
//     installed one, on the same file system, item by item through directory descriptors,
//     never following symlinks, with setuid/setgid/sticky and group/other write bits dropped,
//     and no larger than the signed manifest of the source says (checked before copying;
//     the two signature files are read through the source folder's descriptor, without
//     following symlinks or blocking, and only as regular files).
//  3. That copy, which no other account can reach, is verified with the updater's own checks
//     (SignatureVerifier::checkBundle) against the installed bundle's trusted key and
//     identifier. What the user side verified earlier counts for nothing here.
//  4. The copy takes the owner of the installed bundle and the mode 0755, is flushed to disk
//     with its parent folder, and is swapped in with one renameat2(RENAME_EXCHANGE): at every
//     moment the path holds a complete bundle. The tree now at the path is checked against
//     the manifest once more; if it differs, the old copy is swapped back and the run fails.
//  5. The old copy (now under the staging name) is deleted by the helper. Leftover staging
//     folders of an interrupted run are deleted at the start of the next one, under the lock.

#include <QString>

#include <functional>

namespace ostry {

class InstallHelper {
public:
    enum class Step { copied, verified, synced, exchanged, finished };
    static const char* stepName(Step step);

    // Test hook: runs after each step with the staging folder's path.
    using Hook = std::function<void(Step step, const QString& stagingPath)>;

    // Installs the bundle at `source` over the bundle at `target` (both absolute). Throws
    // InstallError or VerificationError; on any failure before the swap the target is
    // untouched and the staging folder is gone.
    static void install(const QString& source, const QString& target, const Hook& hook = {});

    // The helper program: `ostry-install-helper SOURCE TARGET`. Prints the error's message on
    // standard error and returns 1 on failure, 2 on bad arguments.
    static int main(int argc, char** argv, const Hook& hook = {});

    // Hidden names beside the target used for staging: ".<name>.ostryupdater-<id>".
    static QString stagingPrefix(const QString& targetName);
};

} // namespace ostry
