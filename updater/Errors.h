#pragma once

// The updater's failures. Each one carries the message the user sees; the updater's state
// machine catches `UpdateError` and shows or logs `message()`.

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <exception>
#include <optional>

namespace ostry {

class UpdateError : public std::exception {
public:
    const QString& message() const { return m_message; }
    const char* what() const noexcept override { return m_utf8.constData(); }

protected:
    explicit UpdateError(QString message);

private:
    QString m_message;
    QByteArray m_utf8;
};

class FeedError : public UpdateError {
public:
    enum class Kind { badStatus, rateLimited, network, malformed, tooLarge, tooSlow };

    static FeedError badStatus(int status);
    static FeedError rateLimited(std::optional<QDateTime> resetTime);
    // Transport failures keep Qt's own description.
    static FeedError network(const QString& description);
    static FeedError malformed(const QString& detail);
    // The answer grew past `limit` bytes and was cut off.
    static FeedError tooLarge(qint64 limit);
    // The answer took longer than the feed's deadline, or came slower than its minimum rate.
    static FeedError tooSlow();

    Kind kind() const { return m_kind; }
    int status() const { return m_status; }
    const std::optional<QDateTime>& resetTime() const { return m_resetTime; }

private:
    FeedError(Kind kind, QString message) : UpdateError(std::move(message)), m_kind(kind) {}
    Kind m_kind;
    int m_status = 0;
    std::optional<QDateTime> m_resetTime;
};

class DownloadError : public UpdateError {
public:
    enum class Kind {
        badStatus, appNotFound, tooLarge, stalled, timedOut, insecureURL, network,
        signatureMissing, badArchive, io
    };

    static DownloadError badStatus(int status);
    static DownloadError appNotFound(const QString& appName);
    static DownloadError tooLarge();
    static DownloadError declaredTooLarge(qint64 cap);
    static DownloadError stalled();
    static DownloadError timedOut();
    static DownloadError insecureURL();
    static DownloadError network(const QString& description);
    static DownloadError signatureMissing();
    static DownloadError badArchive(const QString& detail);
    static DownloadError io(const QString& detail);

    Kind kind() const { return m_kind; }
    int status() const { return m_status; }

private:
    DownloadError(Kind kind, QString message) : UpdateError(std::move(message)), m_kind(kind) {}
    Kind m_kind;
    int m_status = 0;
};

class VerificationError : public UpdateError {
public:
    enum class Kind { invalidSignature, notNewer, currentAppUnsigned, stateUnreadable };

    static VerificationError invalidSignature(const QString& detail);
    static VerificationError notNewer(const QString& downloaded, const QString& current);
    static VerificationError currentAppUnsigned();
    // The record of accepted versions can't be read or written: updates stay off until it is
    // repaired, so that a damaged record never lets an older release back in.
    static VerificationError stateUnreadable(const QString& path, const QString& detail);

    Kind kind() const { return m_kind; }
    const QString& detail() const { return m_detail; }

private:
    VerificationError(Kind kind, QString message, QString detail = {})
        : UpdateError(std::move(message)), m_kind(kind), m_detail(std::move(detail)) {}
    Kind m_kind;
    QString m_detail;
};

class InstallError : public UpdateError {
public:
    enum class Kind { readOnlyVolume, cancelled, authorizationUnavailable, failed };

    static InstallError readOnlyVolume();
    static InstallError cancelled();
    static InstallError authorizationUnavailable(const QString& detail);
    static InstallError failed(const QString& detail);

    Kind kind() const { return m_kind; }
    // What `failed` was given; empty for the other kinds.
    const QString& detail() const { return m_detail; }

private:
    InstallError(Kind kind, QString message, QString detail = {})
        : UpdateError(std::move(message)), m_kind(kind), m_detail(std::move(detail)) {}
    Kind m_kind;
    QString m_detail;
};

// A program run by `Shell::run` exited with a non-zero status (or could not be started, in
// which case the status is -1 and the output is the launch error).
class ShellFailure : public UpdateError {
public:
    ShellFailure(QString command, int status, QString output);

    const QString& command() const { return m_command; }
    int status() const { return m_status; }
    const QString& output() const { return m_output; }

private:
    QString m_command;
    int m_status;
    QString m_output;
};

} // namespace ostry
