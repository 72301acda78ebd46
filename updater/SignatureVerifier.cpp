#include "SignatureVerifier.h"

#include "BundleManifest.h"
#include "Errors.h"
#include "UpdaterLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace ostry {

namespace {

constexpr qint64 maxSignatureSize = 4096;

std::optional<QByteArray> readSmallFile(const QString& path, qint64 limit)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray data = file.read(limit + 1);
    if (data.size() > limit)
        return std::nullopt;
    return data;
}

} // namespace

QString AcceptedVersionStore::defaultPath(const QString& identifier)
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QLatin1String("/OstryUpdater/") + identifier + QLatin1String("/accepted-version");
}

AcceptedVersionStore::Reading AcceptedVersionStore::read() const
{
    const QFileInfo info(m_path);
    if (!info.exists() && !info.isSymLink())
        return {};
    if (!info.isFile())
        return {std::nullopt, QStringLiteral("isn't a file")};
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return {std::nullopt, QStringLiteral("can't be read")};
    const QByteArray text = file.read(257);
    if (text.size() > 256 || file.error() != QFileDevice::NoError)
        return {std::nullopt, QStringLiteral("is damaged")};
    const auto version = AppVersion::parse(QString::fromUtf8(text.trimmed()));
    if (!version)
        return {std::nullopt, QStringLiteral("is damaged")};
    return {version, std::nullopt};
}

bool AcceptedVersionStore::raise(const AppVersion& version)
{
    const Reading current = read();
    if (current.problem)
        return false;
    if (current.version && !(*current.version < version))
        return true;
    if (!QDir().mkpath(QFileInfo(m_path).absolutePath()))
        return false;
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(version.text().toUtf8() + '\n');
    return file.commit();
}

SignatureVerifier::SignatureVerifier(std::shared_ptr<AcceptedVersionStore> store)
    : m_store(std::move(store))
{
}

minisign::PublicKey SignatureVerifier::trustedKey(const AppBundle& running)
{
    const auto text = readSmallFile(running.file(AppBundle::trustedKeyFile), 4096);
    if (!text)
        throw VerificationError::currentAppUnsigned();
    const auto key = minisign::decodePublicKey(*text);
    if (!key)
        throw VerificationError::currentAppUnsigned();
    return *key;
}

void SignatureVerifier::verifyArchive(int archiveFd, const QByteArray& signatureText,
                                      const AppBundle& running, const QString& fileName,
                                      const AppVersion& version)
{
    const minisign::PublicKey key = trustedKey(running);
    QString problem;
    const auto signature = minisign::decodeSignature(signatureText, &problem);
    if (!signature)
        throw VerificationError::invalidSignature(problem);
    const auto hash = minisign::prehashDescriptor(archiveFd);
    if (!hash)
        throw VerificationError::invalidSignature(QStringLiteral("the archive couldn't be read"));
    const auto result = minisign::verify(key, *signature, *hash);
    if (result != minisign::VerifyResult::valid)
        throw VerificationError::invalidSignature(minisign::describe(result));

    const auto signedFile = minisign::trustedCommentValue(signature->trustedComment, "file");
    if (!signedFile || QString::fromUtf8(*signedFile) != fileName)
        throw VerificationError::invalidSignature(
            QStringLiteral("the signature is for %1, not %2")
                .arg(signedFile ? QString::fromUtf8(*signedFile) : QStringLiteral("another file"), fileName));
    const auto signedVersionText = minisign::trustedCommentValue(signature->trustedComment, "version");
    const auto signedVersion = signedVersionText ? AppVersion::parse(QString::fromUtf8(*signedVersionText))
                                                 : std::nullopt;
    if (!signedVersion || !(*signedVersion == version))
        throw VerificationError::invalidSignature(
            QStringLiteral("the signature is for version %1, not %2")
                .arg(signedVersion ? signedVersion->text() : QStringLiteral("(none)"), version.text()));
    const auto signedIdentifier = minisign::trustedCommentValue(signature->trustedComment, "identifier");
    const auto info = running.info();
    if (signedIdentifier && info && QString::fromUtf8(*signedIdentifier) != info->identifier)
        throw VerificationError::invalidSignature(
            QStringLiteral("the signature is for %1, not %2")
                .arg(QString::fromUtf8(*signedIdentifier), info->identifier));
}

BundleManifest SignatureVerifier::signedManifest(const AppBundle& newBundle, const AppBundle& running)
{
    const auto runningInfo = running.info();
    if (!runningInfo)
        throw VerificationError::currentAppUnsigned();
    const minisign::PublicKey key = trustedKey(running);

    const auto manifestText = readSmallFile(newBundle.file(AppBundle::manifestFile),
                                            BundleManifest::maxEncodedSize);
    const auto signatureText = readSmallFile(newBundle.file(AppBundle::manifestSignatureFile),
                                             maxSignatureSize);
    if (!manifestText || !signatureText)
        throw VerificationError::invalidSignature(QStringLiteral("the new version isn't signed"));

    QString problem;
    const auto signature = minisign::decodeSignature(*signatureText, &problem);
    if (!signature)
        throw VerificationError::invalidSignature(problem);
    const auto result = minisign::verify(key, *signature, minisign::prehash(*manifestText));
    if (result != minisign::VerifyResult::valid)
        throw VerificationError::invalidSignature(minisign::describe(result));

    const auto manifest = BundleManifest::decode(*manifestText, &problem);
    if (!manifest)
        throw VerificationError::invalidSignature(problem);
    if (manifest->identifier != runningInfo->identifier)
        throw VerificationError::invalidSignature(
            QStringLiteral("it is signed as %1, not %2").arg(manifest->identifier, runningInfo->identifier));
    return *manifest;
}

AppVersion SignatureVerifier::checkBundle(const AppBundle& newBundle, const AppBundle& running)
{
    const std::optional<BundleManifest> manifest = signedManifest(newBundle, running);
    QString problem;
    const auto actual = BundleManifest::scan(newBundle.path(), &problem);
    if (!actual)
        throw VerificationError::invalidSignature(problem);
    if (const QString difference = describeDifference(*manifest, *actual); !difference.isEmpty())
        throw VerificationError::invalidSignature(difference);

    // The metadata file is covered by the manifest, so these reads see signed content.
    const auto newInfo = newBundle.info();
    if (!newInfo || newInfo->identifier != manifest->identifier)
        throw VerificationError::invalidSignature(QStringLiteral("the bundle's identifier doesn't match its signature"));
    const auto newVersion = AppVersion::fromBundle(newBundle);
    const auto currentVersion = AppVersion::fromBundle(running);
    if (!newVersion || !currentVersion || newInfo->version != manifest->version)
        throw VerificationError::invalidSignature(QStringLiteral("missing version"));
    if (!(*currentVersion < *newVersion))
        throw VerificationError::notNewer(newVersion->text(), currentVersion->text());
    return *newVersion;
}

void SignatureVerifier::verify(const AppBundle& newBundle, const AppBundle& running)
{
    const AppVersion newVersion = checkBundle(newBundle, running);
    auto store = m_store ? m_store
                         : std::make_shared<AcceptedVersionStore>(
                               AcceptedVersionStore::defaultPath(running.info()->identifier));
    const AcceptedVersionStore::Reading accepted = store->read();
    if (accepted.problem)
        throw VerificationError::stateUnreadable(store->path(), *accepted.problem);
    if (accepted.version && newVersion < *accepted.version)
        throw VerificationError::notNewer(newVersion.text(), accepted.version->text());
    if (!store->raise(newVersion)) {
        qCWarning(lcUpdater, "Couldn't record the accepted version in %s", qUtf8Printable(store->path()));
        throw VerificationError::stateUnreadable(store->path(), QStringLiteral("can't be written"));
    }
}

} // namespace ostry
