#include "BundleInstaller.h"

#include "Errors.h"
#include "Shell.h"
#include "UpdaterLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUuid>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace ostry {

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
    if (!copyTree(newBundle.path(), staging, &error, S_ISUID | S_ISGID | S_IWGRP | S_IWOTH)) {
        removeTree(staging);
        throw InstallError::failed(error);
    }
    // The new files must be on disk before the swap makes them the app.
    syncFileSystem(staging);
    if (!exchange(staging, running.absoluteFilePath(), &error)) {
        removeTree(staging);
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

    // The helper comes from the installed bundle, which the user can't change in this mode;
    // it gets nothing but the two paths.
    const QString running = QFileInfo(runningPath).absoluteFilePath();
    const QString helper = AppBundle(running).file(AppBundle::installHelperFile);
    if (!QFileInfo(helper).isExecutable())
        throw InstallError::failed(QStringLiteral("this copy of the app has no install helper (%1)").arg(helper));
    const QString source = QFileInfo(newBundle.path()).absoluteFilePath();
    try {
        Shell::run(pkexec, {helper, source, running});
    } catch (const ShellFailure& failure) {
        // pkexec: 126 when the user dismissed the authentication dialog, 127 when no
        // authentication agent could ask or the request was refused. The helper itself
        // exits with 1 and its reason.
        if (failure.status() == 126)
            throw InstallError::cancelled();
        if (failure.status() == 127)
            throw InstallError::authorizationUnavailable(failure.output());
        const QString reason = failure.output().trimmed();
        throw InstallError::failed(reason.isEmpty() ? failure.message() : reason);
    }
    qCInfo(lcUpdater, "Installed the update at %s with administrator rights", qUtf8Printable(running));
}

} // namespace ostry
