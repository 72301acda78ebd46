#pragma once

// An application bundle on Linux: a self-contained application directory (AppDir layout,
// `AppRun`, a desktop entry, `usr/…`) named `<App>.AppDir`, with the updater's metadata in
// its `Bundle/` folder:
//
//   Bundle/Info.json                  {"identifier": "...", "version": "1.4.2", "name": "..."}
//   Bundle/update-key.pub             minisign public key that signs this app's updates
//   Bundle/package-receipt            present only in copies installed by a package manager
//   Bundle/Signature/manifest         every file, folder and symlink of the bundle
//   Bundle/Signature/manifest.minisig minisign signature of the manifest
//   usr/libexec/ostry-install-helper  run as root through pkexec to install updates into
//                                     folders the user can't write
//
// Everything except the two files in Bundle/Signature is listed in the manifest.

#include <QString>

#include <optional>

namespace ostry {

struct BundleInfo {
    QString identifier;
    QString version;
    QString name;
};

class AppBundle {
public:
    static constexpr const char* infoFile = "Bundle/Info.json";
    static constexpr const char* trustedKeyFile = "Bundle/update-key.pub";
    static constexpr const char* receiptFile = "Bundle/package-receipt";
    static constexpr const char* signatureFolder = "Bundle/Signature";
    static constexpr const char* manifestFile = "Bundle/Signature/manifest";
    static constexpr const char* manifestSignatureFile = "Bundle/Signature/manifest.minisig";
    static constexpr const char* launcherFile = "AppRun";
    // The privileged half of an install into a folder the user can't write (InstallHelper).
    static constexpr const char* installHelperFile = "usr/libexec/ostry-install-helper";
    static constexpr const char* extension = ".AppDir";

    AppBundle() = default;
    explicit AppBundle(QString path);

    // The bundle this process runs from: $APPDIR when AppRun set it, else the nearest folder
    // above the executable that has bundle metadata. Read it once at start-up: after an update
    // has swapped the bundle, /proc/self/exe points into the old copy.
    static std::optional<AppBundle> running();

    const QString& path() const { return m_path; }
    bool isValid() const { return !m_path.isEmpty(); }
    QString fileName() const;
    QString file(const char* relative) const;
    // What a relaunch starts: the launcher at the bundle's path (the new copy after a swap).
    QString launcherPath() const { return file(launcherFile); }

    // Whether this process runs an executable that is no longer the one at the bundle's path:
    // an update swapped a new copy in after the process started.
    bool runsReplacedCopy() const;

    // Nothing when Bundle/Info.json is missing, too large, not a JSON object, or lacks an
    // identifier.
    std::optional<BundleInfo> info() const;

private:
    QString m_path;
};

} // namespace ostry
