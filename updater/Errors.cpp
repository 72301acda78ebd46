#include "Errors.h"

#include <QCoreApplication>
#include <QLocale>

namespace ostry {

UpdateError::UpdateError(QString message)
    : m_message(std::move(message)), m_utf8(m_message.toUtf8())
{
}

FeedError FeedError::badStatus(int status)
{
    FeedError error(Kind::badStatus,
                    QCoreApplication::translate("UpdateError", "The update server responded with status %1.").arg(status));
    error.m_status = status;
    return error;
}

FeedError FeedError::rateLimited(std::optional<QDateTime> resetTime)
{
    QString message = QCoreApplication::translate("UpdateError", "Too many update checks. Try again later.");
    if (resetTime && resetTime->isValid()) {
        const QString time = QLocale().toString(resetTime->toLocalTime().time(), QLocale::ShortFormat);
        message = QCoreApplication::translate("UpdateError", "Too many update checks. Try again after %1.").arg(time);
    }
    FeedError error(Kind::rateLimited, message);
    error.m_status = 429;
    error.m_resetTime = resetTime;
    return error;
}

FeedError FeedError::network(const QString& description)
{
    return FeedError(Kind::network, description);
}

FeedError FeedError::malformed(const QString& detail)
{
    return FeedError(Kind::malformed,
                     QCoreApplication::translate("UpdateError", "The update server's answer couldn't be read: %1").arg(detail));
}

FeedError FeedError::tooLarge(qint64 limit)
{
    return FeedError(Kind::tooLarge,
                     QCoreApplication::translate("UpdateError", "The update server's answer was larger than %1 and was stopped.")
                         .arg(QLocale::c().formattedDataSize(limit, 0, QLocale::DataSizeTraditionalFormat)));
}

FeedError FeedError::tooSlow()
{
    return FeedError(Kind::tooSlow, QCoreApplication::translate("UpdateError", "The update server answered too slowly and was stopped."));
}

DownloadError DownloadError::badStatus(int status)
{
    DownloadError error(Kind::badStatus,
                        QCoreApplication::translate("UpdateError", "The download failed with status %1.").arg(status));
    error.m_status = status;
    return error;
}

DownloadError DownloadError::appNotFound(const QString& appName)
{
    return DownloadError(Kind::appNotFound,
                         QCoreApplication::translate("UpdateError", "The update didn't contain %1.AppDir.").arg(appName));
}

DownloadError DownloadError::tooLarge()
{
    return DownloadError(Kind::tooLarge,
                         QCoreApplication::translate("UpdateError", "The download was larger than the update's declared size."));
}

DownloadError DownloadError::declaredTooLarge(qint64 cap)
{
    return DownloadError(Kind::tooLarge,
                         QCoreApplication::translate("UpdateError", "The update is larger than the %1 MB an update may have.").arg(cap / (1024 * 1024)));
}

DownloadError DownloadError::stalled()
{
    return DownloadError(Kind::stalled, QCoreApplication::translate("UpdateError", "The download stalled and was stopped."));
}

DownloadError DownloadError::timedOut()
{
    return DownloadError(Kind::timedOut,
                         QCoreApplication::translate("UpdateError", "The download took too long and was stopped."));
}

DownloadError DownloadError::insecureURL()
{
    return DownloadError(Kind::insecureURL,
                         QCoreApplication::translate("UpdateError", "The update isn't offered over a secure connection."));
}

DownloadError DownloadError::network(const QString& description)
{
    return DownloadError(Kind::network, description);
}

DownloadError DownloadError::signatureMissing()
{
    return DownloadError(Kind::signatureMissing,
                         QCoreApplication::translate("UpdateError", "The update has no signature, so it can't be installed."));
}

DownloadError DownloadError::badArchive(const QString& detail)
{
    return DownloadError(Kind::badArchive,
                         QCoreApplication::translate("UpdateError", "The update archive couldn't be unpacked safely: %1").arg(detail));
}

DownloadError DownloadError::io(const QString& detail)
{
    return DownloadError(Kind::io, QCoreApplication::translate("UpdateError", "The update couldn't be saved: %1").arg(detail));
}

VerificationError VerificationError::invalidSignature(const QString& detail)
{
    return VerificationError(
        Kind::invalidSignature,
        QCoreApplication::translate("UpdateError", "The update's signature couldn't be verified: %1").arg(detail), detail);
}

VerificationError VerificationError::notNewer(const QString& downloaded, const QString& current)
{
    return VerificationError(
        Kind::notNewer,
        QCoreApplication::translate("UpdateError", "The downloaded version (%1) isn't newer than %2.").arg(downloaded, current));
}

VerificationError VerificationError::currentAppUnsigned()
{
    return VerificationError(
        Kind::currentAppUnsigned,
        QCoreApplication::translate("UpdateError", "This copy of the app carries no key to check updates with, so updates can't be verified."));
}

VerificationError VerificationError::stateUnreadable(const QString& path, const QString& detail)
{
    return VerificationError(
        Kind::stateUnreadable,
        QCoreApplication::translate("UpdateError", "Updates are off because the record of installed versions (%1) %2. "
                                                   "Remove or repair it to update again.").arg(path, detail),
        detail);
}

InstallError InstallError::readOnlyVolume()
{
    return InstallError(
        Kind::readOnlyVolume,
        QCoreApplication::translate("UpdateError", "The app is on a read-only volume. Copy it to your Applications folder to install updates."));
}

InstallError InstallError::cancelled()
{
    return InstallError(Kind::cancelled, QCoreApplication::translate("UpdateError", "The update wasn't installed."));
}

InstallError InstallError::authorizationUnavailable(const QString& detail)
{
    QString message = QCoreApplication::translate("UpdateError", "The update couldn't be installed because administrator rights couldn't be obtained.");
    if (!detail.trimmed().isEmpty())
        message += QLatin1Char(' ') + detail.trimmed();
    return InstallError(Kind::authorizationUnavailable, message);
}

InstallError InstallError::failed(const QString& detail)
{
    return InstallError(Kind::failed, QCoreApplication::translate("UpdateError", "The update couldn't be installed: %1").arg(detail), detail);
}

ShellFailure::ShellFailure(QString command, int status, QString output)
    : UpdateError(QCoreApplication::translate("UpdateError", "%1 failed (%2): %3").arg(command).arg(status).arg(output.trimmed())),
      m_command(std::move(command)), m_status(status), m_output(std::move(output))
{
}

} // namespace ostry
