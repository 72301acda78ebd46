#pragma once

// Building and signing release bundles and archives, shared by the `ostry-release` tool and
// the updater's tests. Signatures are minisign's prehashed form, so `minisign -V` checks
// both the bundle manifest and the archive.

#include "AppVersion.h"
#include "Minisign.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace ostry::release {

struct BundleOptions {
    QString output;            // the .AppDir folder to create (must not exist)
    QString executable;        // copied to usr/bin/<file name>
    QString name = QStringLiteral("Quandrel");
    QString identifier;
    QString version;
    QByteArray publicKey;      // text of the minisign public key file
    QStringList extraFiles;    // "source=relative/destination" pairs
    QString installHelper;     // copied to usr/libexec/ostry-install-helper when set
};

// Lays out an AppDir: AppRun, <name>.desktop, usr/bin/<executable>, Bundle/Info.json,
// Bundle/update-key.pub and the install helper. Every mode is normalised (folders and
// executables 0755, other files 0644), whatever the umask.
bool buildBundle(const BundleOptions& options, QString* error);

// Normalises every mode as buildBundle does, then writes Bundle/Signature/manifest and its
// .minisig for the bundle as it is on disk.
bool signBundle(const QString& bundlePath, const minisign::SecretKey& key, QString* error);

// Packs the bundle folder (as the archive's only top-level item) into a zip, keeping
// permission bits and symlinks, in path order.
bool writeZip(const QString& bundlePath, const QString& zipPath, QString* error);

// Writes `<path>.minisig` with the given trusted comment.
bool signFile(const QString& path, const minisign::SecretKey& key, const QByteArray& trustedComment,
              QString* error);

// The trusted comment of a release archive's signature.
QByteArray archiveComment(const QString& fileName, const QString& version, const QString& identifier);

// "<name>-<version>.zip" and its .minisig in `outputFolder`. Returns the zip's path.
std::optional<QString> packageRelease(const QString& bundlePath, const QString& outputFolder,
                                      const minisign::SecretKey& key, QString* error);

// Runs the updater's own checks of `candidate` (an .AppDir, or a .zip with its .minisig
// beside it) against `installed`. Returns the outcome as one line; *accepted says whether the
// updater would install it. Nothing is remembered as accepted.
QString verifyRelease(const QString& candidate, const QString& installed, bool* accepted);

} // namespace ostry::release
