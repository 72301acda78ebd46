#include "BundleInstaller.h"

#include "Errors.h"
#include "Shell.h"
#include "UpdaterLog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUrl>
#include <QUuid>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace ostry {

const char* const BundleInstaller::installScript =
    "set -e\n"
    "dir=\"$(/usr/bin/dirname \"$2\")\"\n"
    "base=\"$(/usr/bin/basename \"$2\")\"\n"
    "staged=\"$dir/.$base.ostryupdater\"\n"
    "old=\"$dir/.$base.ostryupdater-old\"\n"
    "/bin/rm -rf \"$staged\" \"$old\"\n"
    "/bin/cp -R --no-dereference --preserve=mode,timestamps \"$1\" \"$staged\"\n"
    "/bin/chown -R --no-dereference --reference=\"$2\" \"$staged\"\n"
    "/bin/mv -T \"$2\" \"$old\"\n"
    "/bin/mv -T \"$staged\" \"$2\" || { /bin/mv -T \"$old\" \"$2\"; exit 1; }\n"
    "{ /bin/mv -T \"$old\" \"$3\" && /bin/chown -R --no-dereference \"$4\" \"$3\"; } || /bin/rm -rf \"$old\"\n";

namespace {

QString newId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

QString baseName(const QString& fileName)
{
    if (fileName.endsWith(QLatin1String(AppBundle::extension)))
        return fileName.chopped(qsizetype(std::strlen(AppBundle::extension)));
    return fileName;
}

// Throws the staged copy away after a failure; the Trash first, deletion when that fails.
void discard(const BundleInstaller::Trash& trash, const QString& path)
{
    if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
        return;
    if (!trash(path))
        removeTree(path);
}

} // namespace

BundleInstaller::BundleInstaller(Trash trash) : m_trash(std::move(trash)) {}

bool BundleInstaller::exchangePaths(const QString& a, const QString& b, QString* error)
{
    const QByteArray first = QFile::encodeName(a);
    const QByteArray second = QFile::encodeName(b);
    if (::renameat2(AT_FDCWD, first.constData(), AT_FDCWD, second.constData(), RENAME_EXCHANGE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    // No atomic exchange here: b aside, a into b's place, the old b to a's name.
    const QByteArray aside = second + ".exchange-" + newId().toLatin1();
    if (::rename(second.constData(), aside.constData()) != 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    if (::rename(first.constData(), second.constData()) != 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        ::rename(aside.constData(), second.constData());
        return false;
    }
    ::rename(aside.constData(), first.constData());
    return true;
}

InstallMode BundleInstaller::installMode(const QString& runningPath)
{
    const QByteArray path = QFile::encodeName(runningPath);
    struct statvfs volume {};
    if (::statvfs(path.constData(), &volume) == 0 && (volume.f_flag & ST_RDONLY))
        throw InstallError::readOnlyVolume();
    const QByteArray parent = QFile::encodeName(QFileInfo(runningPath).absolutePath());
    if (::access(parent.constData(), W_OK) == 0 && ::access(path.constData(), W_OK) == 0)
        return InstallMode::direct;
    return InstallMode::needsAuthorization;
}

void BundleInstaller::install(const AppBundle& newBundle, const QString& runningPath, InstallMode mode)
{
    if (mode == InstallMode::direct)
        installDirect(newBundle, runningPath);
    else
        installWithAuthorization(newBundle, runningPath);
}

void BundleInstaller::installDirect(const AppBundle& newBundle, const QString& runningPath)
{
    const QFileInfo running(runningPath);
    const QString folder = running.absolutePath();
    const QString staging = folder + QLatin1String("/.") + running.fileName() + QLatin1Char('.') + newId();

    QString error;
    if (!copyTree(newBundle.path(), staging, &error)) {
        discard(m_trash, staging);
        throw InstallError::failed(error);
    }
    // The new files must be on disk before the swap makes them the app.
    syncFileSystem(staging);
    if (!exchange(staging, running.absoluteFilePath(), &error)) {
        discard(m_trash, staging);
        throw InstallError::failed(error);
    }

    // The staging name now holds the old copy.
    const QString backup = folder + QLatin1Char('/') + baseName(running.fileName())
        + QLatin1String("-previous-") + newId() + QLatin1String(AppBundle::extension);
    const QString old = QFile::rename(staging, backup) ? backup : staging;
    if (!m_trash(old))
        qCWarning(lcUpdater, "Couldn't move %s to the Trash", qUtf8Printable(old));
    qCInfo(lcUpdater, "Installed the update at %s", qUtf8Printable(running.absoluteFilePath()));
}

void BundleInstaller::installWithAuthorization(const AppBundle& newBundle, const QString& runningPath)
{
    const QString pkexec = pkexecProgram.isEmpty() ? QStandardPaths::findExecutable(QStringLiteral("pkexec"))
                                                   : pkexecProgram;
    if (pkexec.isEmpty())
        throw InstallError::authorizationUnavailable(QStringLiteral("pkexec isn't installed."));

    // The old copy goes to the user's Trash (freedesktop layout), with its .trashinfo record
    // written by us beforehand so that the Trash can put it back.
    const QFileInfo running(runningPath);
    const QString trash = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QLatin1String("/Trash");
    QDir().mkpath(trash + QLatin1String("/files"));
    QDir().mkpath(trash + QLatin1String("/info"));
    const QDateTime now = QDateTime::currentDateTime();
    const QString stamp = now.toString(Qt::ISODate).replace(QLatin1Char(':'), QLatin1Char('.'));
    QString name = baseName(running.fileName()) + QLatin1Char(' ') + stamp + QLatin1String(AppBundle::extension);
    for (int n = 2; QFileInfo::exists(trash + QLatin1String("/files/") + name)
                    || QFileInfo::exists(trash + QLatin1String("/info/") + name + QLatin1String(".trashinfo"));
         ++n)
        name = baseName(running.fileName()) + QLatin1Char(' ') + stamp + QLatin1Char(' ') + QString::number(n)
            + QLatin1String(AppBundle::extension);
    const QString backup = trash + QLatin1String("/files/") + name;
    const QString infoPath = trash + QLatin1String("/info/") + name + QLatin1String(".trashinfo");
    QSaveFile info(infoPath);
    if (info.open(QIODevice::WriteOnly)) {
        info.write("[Trash Info]\nPath=" + QUrl::toPercentEncoding(running.absoluteFilePath(), "/")
                   + "\nDeletionDate=" + now.toString(QStringLiteral("yyyy-MM-ddThh:mm:ss")).toLatin1() + '\n');
        info.commit();
    }

    const QString owner = QStringLiteral("%1:%2").arg(::getuid()).arg(::getgid());
    try {
        Shell::run(pkexec, {QStringLiteral("/bin/sh"), QStringLiteral("-c"), QString::fromLatin1(installScript),
                            QStringLiteral("sh"), newBundle.path(), running.absoluteFilePath(), backup, owner});
    } catch (const ShellFailure& failure) {
        if (!QFileInfo::exists(backup))
            QFile::remove(infoPath);
        // pkexec: 126 when the user dismissed the authentication dialog, 127 when no
        // authentication agent could ask or the request was refused.
        if (failure.status() == 126)
            throw InstallError::cancelled();
        if (failure.status() == 127)
            throw InstallError::authorizationUnavailable(failure.output());
        throw;
    }
    if (!QFileInfo::exists(backup))
        QFile::remove(infoPath);
    qCInfo(lcUpdater, "Installed the update at %s with administrator rights", qUtf8Printable(running.absoluteFilePath()));
}

} // namespace ostry
