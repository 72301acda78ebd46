#pragma once

// Checks that an unpacked bundle is exactly what the developer signed, for the same
// application, and newer than both the running copy and every version accepted before.

#include "AppVersion.h"
#include "BundleManifest.h"
#include "Minisign.h"
#include "UpdateComponents.h"

#include <memory>

namespace ostry {

// Remembers the highest version the verifier ever accepted, so that an older (validly
// signed) release can never be installed again. Stored as one line of text, written
// atomically.
class AcceptedVersionStore {
public:
    explicit AcceptedVersionStore(QString filePath) : m_path(std::move(filePath)) {}

    // $XDG_DATA_HOME/OstryUpdater/<bundle identifier>/accepted-version
    static QString defaultPath(const QString& identifier);

    // What the record holds: no version yet (no file), a version, or a problem (a folder in
    // its place, unreadable, damaged text) that keeps updates off until it is repaired.
    struct Reading {
        std::optional<AppVersion> version;
        std::optional<QString> problem;
    };

    const QString& path() const { return m_path; }
    Reading read() const;
    // The recorded version; nothing when there is none or the record is damaged.
    std::optional<AppVersion> highest() const { return read().version; }
    // Records `version` when it is above the stored one. False when it couldn't be written or
    // the record is damaged (a damaged record is never overwritten, so never lowered).
    bool raise(const AppVersion& version);

private:
    QString m_path;
};

class SignatureVerifier : public UpdateVerifier {
public:
    // Without a store, the default location for the running bundle's identifier is used.
    explicit SignatureVerifier(std::shared_ptr<AcceptedVersionStore> store = nullptr);

    // Everything of checkBundle, then the rollback check against every version accepted
    // before, which is raised to the new version. A damaged or unwritable record refuses the
    // update (VerificationError::stateUnreadable).
    void verify(const AppBundle& newBundle, const AppBundle& running) override;

    // The checks that need no state of the user's: the manifest is signed by the running
    // bundle's trusted key for the same identifier, matches the files exactly (modes
    // included; nothing writable by other accounts, nothing setuid), and its version is
    // newer than the running one. Returns the new version. Throws VerificationError. The
    // privileged install helper runs exactly this on its own copy.
    static AppVersion checkBundle(const AppBundle& newBundle, const AppBundle& running);

    // The first half of checkBundle: the new bundle's manifest, once its signature by the
    // running bundle's key and its identifier are checked; the files are not looked at.
    static BundleManifest signedManifest(const AppBundle& newBundle, const AppBundle& running);
    // The same for the bundle open as the folder `newBundleFd`. The two signature files are
    // reached through that descriptor, never following a symlink, and must be regular files
    // (a FIFO or a device is refused at once, without blocking).
    static BundleManifest signedManifest(int newBundleFd, const AppBundle& running);

    // The key that signs this application's updates. Throws currentAppUnsigned.
    static minisign::PublicKey trustedKey(const AppBundle& running);

    // Checks a downloaded archive, open as `archiveFd`, against its minisign signature before
    // anything parses it: the trusted key, the signature, and a trusted comment naming the
    // archive's file name and version ("file:<name>" and "version:<text>"). The caller unpacks
    // from the same descriptor, so what was checked is what is read. Throws VerificationError.
    static void verifyArchive(int archiveFd, const QByteArray& signatureText,
                              const AppBundle& running, const QString& fileName,
                              const AppVersion& version);

private:
    std::shared_ptr<AcceptedVersionStore> m_store;
};

} // namespace ostry
