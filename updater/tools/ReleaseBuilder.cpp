#include "ReleaseBuilder.h"

#include "AppBundle.h"
#include "ArchiveExtractor.h"
#include "BundleManifest.h"
#include "Errors.h"
#include "FileOps.h"
#include "SignatureVerifier.h"
#include "ZipDownloader.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QTemporaryDir>

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <filesystem>
#include <memory>

#include <sys/stat.h>
#include <unistd.h>

namespace ostry::release {

namespace {

bool writeFile(const QString& path, const QByteArray& data, QFile::Permissions permissions, QString* error)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit()) {
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    QFile::setPermissions(path, permissions);
    return true;
}

constexpr QFile::Permissions regular = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther;
constexpr QFile::Permissions executable = regular | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;

struct WriteDeleter {
    void operator()(archive* a) const { archive_write_free(a); }
};

bool addToZip(archive* zip, const std::filesystem::path& absolute, const QByteArray& name, QString* error)
{
    struct stat info {};
    if (::lstat(absolute.c_str(), &info) != 0) {
        *error = QStringLiteral("%1 couldn't be read").arg(QString::fromStdString(absolute.string()));
        return false;
    }
    std::unique_ptr<archive_entry, void (*)(archive_entry*)> entry(archive_entry_new(), archive_entry_free);
    archive_entry_set_pathname(entry.get(), name.constData());
    archive_entry_set_perm(entry.get(), info.st_mode & 07777);
    archive_entry_set_mtime(entry.get(), info.st_mtime, 0);
    QByteArray data;
    if (S_ISDIR(info.st_mode)) {
        archive_entry_set_filetype(entry.get(), AE_IFDIR);
    } else if (S_ISLNK(info.st_mode)) {
        archive_entry_set_filetype(entry.get(), AE_IFLNK);
        archive_entry_set_symlink(entry.get(), std::filesystem::read_symlink(absolute).c_str());
    } else if (S_ISREG(info.st_mode)) {
        QFile file(QString::fromStdString(absolute.string()));
        if (!file.open(QIODevice::ReadOnly)) {
            *error = file.errorString();
            return false;
        }
        data = file.readAll();
        archive_entry_set_filetype(entry.get(), AE_IFREG);
        archive_entry_set_size(entry.get(), data.size());
    } else {
        *error = QStringLiteral("%1 is not a file, folder or symlink").arg(QString::fromStdString(absolute.string()));
        return false;
    }
    if (archive_write_header(zip, entry.get()) != ARCHIVE_OK
        || (!data.isEmpty() && archive_write_data(zip, data.constData(), std::size_t(data.size())) != data.size())) {
        *error = QString::fromLocal8Bit(archive_error_string(zip));
        return false;
    }
    if (S_ISDIR(info.st_mode)) {
        std::vector<std::filesystem::path> children;
        for (const auto& child : std::filesystem::directory_iterator(absolute))
            children.push_back(child.path());
        std::sort(children.begin(), children.end());
        for (const auto& child : children) {
            if (!addToZip(zip, child, name + '/' + QByteArray::fromStdString(child.filename().string()), error))
                return false;
        }
    }
    return true;
}

// Gives every folder and executable 0755 and every other file 0644, the bundle folder
// included, whatever the umask or the source files' modes were. Symlinks keep theirs.
bool normaliseModes(const std::filesystem::path& root, QString* error)
{
    std::error_code failure;
    auto normalise = [&](const std::filesystem::path& path) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0 || S_ISLNK(info.st_mode))
            return true;
        const mode_t mode = S_ISDIR(info.st_mode) || (info.st_mode & 0111) ? 0755 : 0644;
        if (::chmod(path.c_str(), mode) != 0) {
            *error = QStringLiteral("%1: the mode couldn't be set").arg(QString::fromStdString(path.string()));
            return false;
        }
        return true;
    };
    if (!normalise(root))
        return false;
    for (auto it = std::filesystem::recursive_directory_iterator(root, failure);
         !failure && it != std::filesystem::recursive_directory_iterator(); it.increment(failure)) {
        if (!normalise(it->path()))
            return false;
    }
    if (failure) {
        *error = QStringLiteral("%1: %2").arg(QString::fromStdString(root.string()), QString::fromStdString(failure.message()));
        return false;
    }
    return true;
}

} // namespace

bool buildBundle(const BundleOptions& options, QString* error)
{
    if (QFileInfo::exists(options.output)) {
        *error = QStringLiteral("%1 already exists").arg(options.output);
        return false;
    }
    if (!AppVersion::parse(options.version) || options.identifier.isEmpty()) {
        *error = QStringLiteral("a valid version and an identifier are needed");
        return false;
    }
    if (!minisign::decodePublicKey(options.publicKey)) {
        *error = QStringLiteral("the public key is not a minisign public key");
        return false;
    }
    const QString root = options.output;
    const QString exeName = QFileInfo(options.executable).fileName();
    const QString lowerName = options.name.toLower();
    QJsonObject info{{QStringLiteral("identifier"), options.identifier},
                     {QStringLiteral("version"), options.version},
                     {QStringLiteral("name"), options.name}};
    // The bundled libraries, Qt plugins and text-recognition data are found without the
    // environment (the binaries' RPATH, usr/bin/qt.conf, usr/share beside usr/bin), so the
    // programs the application starts inherit the caller's environment unchanged; APPDIR
    // names the folder to the application, which takes it out before it starts anything.
    const QByteArray appRun = "#!/bin/sh\n"
                              "# Starts the application from wherever this folder is.\n"
                              "APPDIR=\"$(dirname \"$(readlink -f \"$0\")\")\"\n"
                              "export APPDIR\n"
                              "exec \"$APPDIR/usr/bin/" + exeName.toUtf8() + "\" \"$@\"\n";
    const QByteArray desktop = "[Desktop Entry]\nType=Application\nName=" + options.name.toUtf8()
        + "\nExec=" + exeName.toUtf8() + "\nIcon=" + lowerName.toUtf8() + "\nCategories=Utility;\n";
    QFile exe(options.executable);
    if (!exe.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: %2").arg(options.executable, exe.errorString());
        return false;
    }
    if (!writeFile(root + QLatin1String("/AppRun"), appRun, executable, error)
        || !writeFile(root + QLatin1Char('/') + lowerName + QLatin1String(".desktop"), desktop, regular, error)
        || !writeFile(root + QLatin1String("/usr/bin/") + exeName, exe.readAll(), executable, error)
        || !writeFile(root + QLatin1Char('/') + QLatin1String(AppBundle::infoFile),
                      QJsonDocument(info).toJson(), regular, error)
        || !writeFile(root + QLatin1Char('/') + QLatin1String(AppBundle::trustedKeyFile), options.publicKey,
                      regular, error))
        return false;
    if (!options.installHelper.isEmpty()) {
        QFile helper(options.installHelper);
        if (!helper.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("%1: %2").arg(options.installHelper, helper.errorString());
            return false;
        }
        if (!writeFile(root + QLatin1Char('/') + QLatin1String(AppBundle::installHelperFile), helper.readAll(),
                       executable, error))
            return false;
    }
    for (const QString& pair : options.extraFiles) {
        const qsizetype split = pair.indexOf(QLatin1Char('='));
        QFile source(pair.left(split));
        const QString destination = pair.mid(split + 1);
        if (split <= 0 || destination.isEmpty() || destination.startsWith(QLatin1Char('/'))
            || destination.split(QLatin1Char('/')).contains(QStringLiteral(".."))) {
            *error = QStringLiteral("%1: expected source=relative/destination").arg(pair);
            return false;
        }
        if (!source.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("%1: %2").arg(source.fileName(), source.errorString());
            return false;
        }
        const bool isExecutable = source.permissions() & QFile::ExeOwner;
        if (!writeFile(root + QLatin1Char('/') + destination, source.readAll(), isExecutable ? executable : regular, error))
            return false;
    }
    return normaliseModes(QFile::encodeName(root).toStdString(), error);
}

bool signBundle(const QString& bundlePath, const minisign::SecretKey& key, QString* error)
{
    const AppBundle bundle(bundlePath);
    const auto info = bundle.info();
    if (!info || !AppVersion::parse(info->version)) {
        *error = QStringLiteral("%1 has no valid %2").arg(bundlePath, QLatin1String(AppBundle::infoFile));
        return false;
    }
    // A stale signature folder is replaced, not listed.
    const QString signatureFolder = bundle.file(AppBundle::signatureFolder);
    removeTree(signatureFolder);
    if (!normaliseModes(QFile::encodeName(bundlePath).toStdString(), error))
        return false;
    auto manifest = BundleManifest::scan(bundlePath, error);
    if (!manifest)
        return false;
    manifest->identifier = info->identifier;
    manifest->version = info->version;
    const QByteArray text = manifest->encode();
    QDir().mkpath(signatureFolder);
    QFile::setPermissions(signatureFolder, executable);
    const QByteArray comment = "timestamp:" + QByteArray::number(QDateTime::currentSecsSinceEpoch())
        + "\tfile:manifest\tidentifier:" + info->identifier.toUtf8() + "\tversion:" + info->version.toUtf8();
    return writeFile(bundle.file(AppBundle::manifestFile), text, regular, error)
        && writeFile(bundle.file(AppBundle::manifestSignatureFile),
                     minisign::sign(key, minisign::prehash(text), comment), regular, error);
}

bool writeZip(const QString& bundlePath, const QString& zipPath, QString* error)
{
    std::unique_ptr<archive, WriteDeleter> zip(archive_write_new());
    archive_write_set_format_zip(zip.get());
    if (archive_write_open_filename(zip.get(), QFile::encodeName(zipPath).constData()) != ARCHIVE_OK) {
        *error = QString::fromLocal8Bit(archive_error_string(zip.get()));
        return false;
    }
    const std::filesystem::path root(QFile::encodeName(QFileInfo(bundlePath).absoluteFilePath()).toStdString());
    if (!addToZip(zip.get(), root, QFile::encodeName(QFileInfo(bundlePath).fileName()), error))
        return false;
    if (archive_write_close(zip.get()) != ARCHIVE_OK) {
        *error = QString::fromLocal8Bit(archive_error_string(zip.get()));
        return false;
    }
    return true;
}

bool signFile(const QString& path, const minisign::SecretKey& key, const QByteArray& trustedComment,
              QString* error)
{
    const auto hash = minisign::prehashFile(path);
    if (!hash) {
        *error = QStringLiteral("%1 couldn't be read").arg(path);
        return false;
    }
    return writeFile(path + QLatin1String(".minisig"), minisign::sign(key, *hash, trustedComment), regular, error);
}

QByteArray archiveComment(const QString& fileName, const QString& version, const QString& identifier)
{
    return "timestamp:" + QByteArray::number(QDateTime::currentSecsSinceEpoch()) + "\tfile:" + fileName.toUtf8()
        + "\tversion:" + version.toUtf8() + "\tidentifier:" + identifier.toUtf8();
}

std::optional<QString> packageRelease(const QString& bundlePath, const QString& outputFolder,
                                      const minisign::SecretKey& key, QString* error)
{
    const auto info = AppBundle(bundlePath).info();
    if (!info) {
        *error = QStringLiteral("%1 has no %2").arg(bundlePath, QLatin1String(AppBundle::infoFile));
        return std::nullopt;
    }
    const QString name = info->name.isEmpty() ? QFileInfo(bundlePath).completeBaseName() : info->name;
    const QString fileName = name + QLatin1Char('-') + info->version + QLatin1String(".zip");
    const QString zipPath = QDir(outputFolder).filePath(fileName);
    QDir().mkpath(outputFolder);
    QFile::remove(zipPath);
    if (!writeZip(bundlePath, zipPath, error)
        || !signFile(zipPath, key, archiveComment(fileName, info->version, info->identifier), error))
        return std::nullopt;
    return zipPath;
}

QString verifyRelease(const QString& candidate, const QString& installed, bool* accepted)
{
    *accepted = false;
    const AppBundle running(installed);
    QTemporaryDir scratch;
    if (!scratch.isValid())
        return QStringLiteral("REFUSED: no temporary folder");
    // An archive may unpack read-only folders, which QTemporaryDir can't empty: removeTree
    // makes them writable first, so nothing is left behind whatever the verdict.
    scratch.setAutoRemove(false);
    const std::unique_ptr<QTemporaryDir, void (*)(QTemporaryDir*)> removal(&scratch, [](QTemporaryDir* folder) {
        removeTree(folder->path());
    });
    try {
        AppBundle newBundle(candidate);
        if (candidate.endsWith(QLatin1String(".zip"))) {
            QFile signatureFile(candidate + QLatin1String(".minisig"));
            if (!signatureFile.open(QIODevice::ReadOnly))
                throw DownloadError::signatureMissing();
            const QByteArray signatureText = signatureFile.read(4097);
            const auto signature = minisign::decodeSignature(signatureText);
            const auto versionText = signature ? minisign::trustedCommentValue(signature->trustedComment, "version") : std::nullopt;
            const auto version = versionText ? AppVersion::parse(QString::fromUtf8(*versionText)) : std::nullopt;
            if (!version)
                throw VerificationError::invalidSignature(QStringLiteral("the signature names no version"));
            // Checked and unpacked from one descriptor.
            QFile archive(candidate);
            if (!archive.open(QIODevice::ReadOnly))
                throw DownloadError::io(archive.errorString());
            SignatureVerifier::verifyArchive(archive.handle(), signatureText, running, QFileInfo(candidate).fileName(), *version);
            const QString extracted = scratch.filePath(QStringLiteral("extracted"));
            QDir().mkpath(extracted);
            extractZip(archive.handle(), extracted);
            const auto info = running.info();
            newBundle = findBundle(extracted, info && !info->name.isEmpty() ? info->name : QStringLiteral("Quandrel"));
        }
        SignatureVerifier verifier(std::make_shared<AcceptedVersionStore>(scratch.filePath(QStringLiteral("accepted"))));
        verifier.verify(newBundle, running);
        const auto newVersion = AppVersion::fromBundle(newBundle);
        const auto oldVersion = AppVersion::fromBundle(running);
        *accepted = true;
        return QStringLiteral("OK: %1 would replace %2").arg(newVersion ? newVersion->text() : QString(),
                                                            oldVersion ? oldVersion->text() : QString());
    } catch (const UpdateError& error) {
        return QStringLiteral("REFUSED: %1").arg(error.message());
    }
}

} // namespace ostry::release
