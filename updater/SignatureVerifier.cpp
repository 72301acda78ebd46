#include "SignatureVerifier.h"

#include "BundleManifest.h"
#include "Errors.h"
#include "UpdaterLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostry {

namespace {

constexpr qint64 maxSignatureSize = 4096;

// Reads `relative` below the folder `bundleFd`: every folder on the way and the file itself
// are opened through their parent's descriptor without following symlinks, the file without
// blocking (a FIFO can't hang the reader) and only when it is a regular file.
std::optional<QByteArray> readBundleFile(int bundleFd, const char* relative, qint64 limit)
{
    const QList<QByteArray> parts = QByteArray(relative).split('/');
    int folder = ::dup(bundleFd);
    for (qsizetype i = 0; folder >= 0 && i + 1 < parts.size(); ++i) {
        const int next = ::openat(folder, parts[i].constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        ::close(folder);
        folder = next;
    }
    if (folder < 0)
        return std::nullopt;
    const int fd = ::openat(folder, parts.last().constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    ::close(folder);
    if (fd < 0)
        return std::nullopt;
    QFile file;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || !file.open(fd, QIODevice::ReadOnly, QFile::AutoCloseHandle)) {
        ::close(fd);
        return std::nullopt;
    }
    QByteArray data = file.read(limit + 1);
    if (data.size() > limit || file.error() != QFileDevice::NoError)
        return std::nullopt;
    return data;
}

std::optional<QByteArray> readBundleFile(const AppBundle& bundle, const char* relative, qint64 limit)
{
    const int fd = ::open(QFile::encodeName(bundle.path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    auto data = readBundleFile(fd, relative, limit);
    ::close(fd);
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
    if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
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
    const auto text = readBundleFile(running, AppBundle::trustedKeyFile, 4096);
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
    const int fd = ::open(QFile::encodeName(newBundle.path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        throw VerificationError::invalidSignature(QStringLiteral("the new version isn't signed"));
    try {
        BundleManifest manifest = signedManifest(fd, running);
        ::close(fd);
        return manifest;
    } catch (...) {
        ::close(fd);
        throw;
    }
}

BundleManifest SignatureVerifier::signedManifest(int newBundleFd, const AppBundle& running)
{
    const auto runningInfo = running.info();
    if (!runningInfo)
        throw VerificationError::currentAppUnsigned();
    const minisign::PublicKey key = trustedKey(running);

    const auto manifestText = readBundleFile(newBundleFd, AppBundle::manifestFile, BundleManifest::maxEncodedSize);
    const auto signatureText = readBundleFile(newBundleFd, AppBundle::manifestSignatureFile, maxSignatureSize);
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
