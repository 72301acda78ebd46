#pragma once

// Checks that an unpacked bundle is exactly what the developer signed, for the same
// application, and newer than both the running copy and every version accepted before.

#include "AppVersion.h"
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

    const QString& path() const { return m_path; }
    std::optional<AppVersion> highest() const;
    // Records `version` when it is above the stored one. False when it couldn't be written.
    bool raise(const AppVersion& version);

private:
    QString m_path;
};

class SignatureVerifier : public UpdateVerifier {
public:
    // Without a store, the default location for the running bundle's identifier is used.
    explicit SignatureVerifier(std::shared_ptr<AcceptedVersionStore> store = nullptr);

    void verify(const AppBundle& newBundle, const AppBundle& running) override;

    // The key that signs this application's updates. Throws currentAppUnsigned.
    static minisign::PublicKey trustedKey(const AppBundle& running);

    // Checks a downloaded archive against its minisign signature before anything reads it:
    // the trusted key, the signature, and a trusted comment naming the archive's file name
    // and version ("file:<name>" and "version:<text>"). Throws VerificationError.
    static void verifyArchive(const QString& archivePath, const QByteArray& signatureText,
                              const AppBundle& running, const QString& fileName,
                              const AppVersion& version);

private:
    std::shared_ptr<AcceptedVersionStore> m_store;
};

} // namespace ostry
