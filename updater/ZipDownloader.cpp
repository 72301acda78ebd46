#include "ZipDownloader.h"

#include "Errors.h"
#include "FileOps.h"
#include "SignatureVerifier.h"
#include "TransferPace.h"
#include "UpdaterLog.h"

#include <QBuffer>
#include <QCoroNetworkReply>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QRegularExpression>

#include <algorithm>

#include <sys/stat.h>

namespace ostry {

namespace {

enum class Abort { none, tooLarge, insecure, io };

struct DeleteLater {
    void operator()(QObject* object) const { object->deleteLater(); }
};

struct Transfer {
    QUrl url;
    qint64 limit;                     // bytes accepted at most
    QIODevice* sink;
    std::function<void(qint64)> onBytes;
    PaceLimits pace;
    LoopbackHttp loopbackHttp;
};

// Streams one URL into `sink`. Returns the HTTP status; throws DownloadError on transport
// failures and on every limit.
QCoro::Task<int> fetch(QNetworkAccessManager* network, Transfer transfer)
{
    QNetworkRequest request(transfer.url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
    request.setMaximumRedirectsAllowed(10);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    std::unique_ptr<QNetworkReply, DeleteLater> reply(network->get(request));
    QNetworkReply* raw = reply.get();
    // Every handler below lives on `context`, which goes before the reply does, so a reply
    // outliving this frame (deleted later) can't call into it.
    QObject context;

    auto abort = std::make_shared<Abort>(Abort::none);
    auto stop = [raw, abort](Abort why) {
        if (*abort == Abort::none)
            *abort = why;
        raw->abort();
    };
    qint64 received = 0;

    const LoopbackHttp loopbackHttp = transfer.loopbackHttp;
    QObject::connect(raw, &QNetworkReply::redirected, &context, [raw, stop, loopbackHttp](const QUrl& target) {
        if (ZipDownloader::isAcceptableURL(target, loopbackHttp))
            Q_EMIT raw->redirectAllowed();
        else
            stop(Abort::insecure);
    });
    // Every window must bring its share of bytes, error bodies included: a drip of a few
    // bytes now and then can't hold the transfer open until the deadline.
    TransferPace pace(raw, transfer.pace);
    QObject::connect(raw, &QNetworkReply::metaDataChanged, &context, [raw, stop, &transfer] {
        const QVariant length = raw->header(QNetworkRequest::ContentLengthHeader);
        const int status = raw->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (status == 200 && length.isValid() && length.toLongLong() > transfer.limit)
            stop(Abort::tooLarge);
    });
    QObject::connect(raw, &QNetworkReply::readyRead, &context, [&] {
        const QByteArray chunk = raw->readAll();
        // Bodies of error answers are not kept.
        if (raw->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() != 200)
            return;
        received += chunk.size();
        if (received > transfer.limit) {
            stop(Abort::tooLarge);
            return;
        }
        if (transfer.sink->write(chunk) != chunk.size()) {
            stop(Abort::io);
            return;
        }
        if (transfer.onBytes)
            transfer.onBytes(received);
    });
    co_await raw;

    switch (*abort) {
    case Abort::none:
        if (pace.outcome() == TransferPace::Outcome::stalled)
            throw DownloadError::stalled();
        if (pace.outcome() == TransferPace::Outcome::timedOut)
            throw DownloadError::timedOut();
        break;
    case Abort::tooLarge:
        throw DownloadError::tooLarge();
    case Abort::insecure:
        throw DownloadError::insecureURL();
    case Abort::io:
        throw DownloadError::io(transfer.sink->errorString());
    }
    const QVariant status = raw->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid())
        throw DownloadError::network(raw->errorString());
    if (status.toInt() == 200 && raw->error() != QNetworkReply::NoError)
        throw DownloadError::network(raw->errorString());
    co_return status.toInt();
}

const QString workingFolderPrefix = QStringLiteral("OstryUpdater-");

QString createWorkingFolder()
{
    const QString path = QDir::tempPath() + QLatin1Char('/') + workingFolderPrefix + newWorkId();
    QDir().mkpath(QDir::tempPath());
    // mkdir fails on an existing path, so nothing planted there beforehand is reused.
    if (::mkdir(QFile::encodeName(path).constData(), 0700) != 0)
        throw DownloadError::io(QStringLiteral("the folder %1 couldn't be created").arg(path));
    return path;
}

} // namespace

ZipDownloader::ZipDownloader(QNetworkAccessManager* network, AppBundle running, DownloadLimits limits,
                             LoopbackHttp loopbackHttp)
    : m_network(network), m_running(std::move(running)), m_limits(limits), m_loopbackHttp(loopbackHttp)
{
}

ZipDownloader::~ZipDownloader()
{
    discard();
}

void ZipDownloader::discard()
{
    if (!m_workingFolder.isEmpty() && !removeTree(m_workingFolder))
        qCWarning(lcUpdater, "Couldn't remove %s", qUtf8Printable(m_workingFolder));
    m_workingFolder.clear();
}

void ZipDownloader::removeLeftovers(const QString& tempFolder)
{
    const QRegularExpression working(QLatin1String("^") + QRegularExpression::escape(workingFolderPrefix)
                                     + QLatin1String(workIdPattern) + QLatin1String("$"));
    const QDir temp(tempFolder);
    for (const QString& name : temp.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString path = temp.filePath(name);
        if (working.match(name).hasMatch() && isOwnFolder(path)) {
            qCInfo(lcUpdater, "Removing %s, left by an interrupted download", qUtf8Printable(path));
            removeTree(path);
        }
    }
}

bool ZipDownloader::isAcceptableURL(const QUrl& url, LoopbackHttp loopbackHttp)
{
    if (!url.isValid())
        return false;
    if (url.scheme() == QLatin1String("https"))
        return true;
    return loopbackHttp == LoopbackHttp::allowed && url.scheme() == QLatin1String("http")
        && QHostAddress(url.host()).isLoopback();
}

AppBundle findBundle(const QString& extractedFolder, const QString& appName)
{
    auto isBundleFolder = [](const QFileInfo& info) { return info.isDir() && !info.isSymLink(); };
    const QFileInfo preferred(extractedFolder + QLatin1Char('/') + appName + QLatin1String(AppBundle::extension));
    if (isBundleFolder(preferred))
        return AppBundle(preferred.absoluteFilePath());
    QStringList found;
    const QFileInfoList items = QDir(extractedFolder).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System);
    for (const QFileInfo& item : items) {
        if (item.fileName().endsWith(QLatin1String(AppBundle::extension)) && isBundleFolder(item))
            found.append(item.absoluteFilePath());
    }
    if (found.size() != 1)
        throw DownloadError::appNotFound(appName);
    return AppBundle(found.first());
}

QCoro::Task<AppBundle> ZipDownloader::download(UpdateCandidate candidate, QString appName,
                                               std::function<void(double)> progress)
{
    if (candidate.signatureURL.isEmpty())
        throw DownloadError::signatureMissing();
    if (!isAcceptableURL(candidate.downloadURL, m_loopbackHttp) || !isAcceptableURL(candidate.signatureURL, m_loopbackHttp))
        throw DownloadError::insecureURL();
    if (candidate.downloadSize > m_limits.hardCap)
        throw DownloadError::declaredTooLarge(m_limits.hardCap);
    // Refused before anything is fetched: without a trusted key nothing can be checked.
    const minisign::PublicKey trusted = SignatureVerifier::trustedKey(m_running);

    discard();
    m_workingFolder = createWorkingFolder();
    const QString folder = m_workingFolder;
    try {
        const PaceLimits pace{m_limits.minimumBytesPerSecond, m_limits.rateWindowMs, m_limits.deadlineMs};
        QBuffer signature;
        signature.open(QIODevice::WriteOnly);
        // Arguments are named locals: GCC 12 destroys temporaries of a co_await expression
        // twice.
        Transfer signatureTransfer{candidate.signatureURL, m_limits.maxSignatureSize, &signature, {},
                                   pace, m_loopbackHttp};
        const int signatureStatus = co_await fetch(m_network, std::move(signatureTransfer));
        if (signatureStatus == 404)
            throw DownloadError::signatureMissing();
        if (signatureStatus != 200)
            throw DownloadError::badStatus(signatureStatus);
        // A signature by another key can't be made good by any archive: nothing more is fetched.
        QString problem;
        const auto decoded = minisign::decodeSignature(signature.data(), &problem);
        if (!decoded)
            throw VerificationError::invalidSignature(problem);
        if (decoded->keyId != trusted.keyId)
            throw VerificationError::invalidSignature(minisign::describe(minisign::VerifyResult::wrongKey));

        // One descriptor from the first byte written to the last byte unpacked: the archive
        // is never looked up by name again, so nothing can be put in its place between the
        // signature check and the unpacking.
        const QString zipPath = folder + QLatin1String("/update.zip");
        auto zip = std::make_shared<QFile>(zipPath);
        if (!zip->open(QIODevice::ReadWrite | QIODevice::NewOnly | QIODevice::Unbuffered))
            throw DownloadError::io(zip->errorString());
        const qint64 declared = candidate.downloadSize;
        const qint64 limit = std::min(declared > 0 ? declared + m_limits.sizeMargin : m_limits.unknownSizeCap,
                                      m_limits.hardCap);
        auto onBytes = [progress, declared](qint64 received) {
            if (progress && declared > 0)
                progress(std::min(0.999, double(received) / double(declared)));
        };
        Transfer archiveTransfer{candidate.downloadURL, limit, zip.get(), onBytes, pace, m_loopbackHttp};
        const int status = co_await fetch(m_network, std::move(archiveTransfer));
        if (status != 200)
            throw DownloadError::badStatus(status);
        if (!zip->flush())
            throw DownloadError::io(zip->errorString());
        if (progress)
            progress(1.0);

        // Untrusted bytes: the signature is checked before the archive is parsed at all.
        const QString extracted = folder + QLatin1String("/extracted");
        const QByteArray signatureText = signature.data();
        const AppBundle running = m_running;
        const QString fileName = QFileInfo(candidate.downloadURL.path()).fileName();
        const QString expectedName = candidate.assetName.isEmpty() ? fileName : candidate.assetName;
        const AppVersion version = candidate.version;
        const ExtractionLimits extraction = m_limits.extraction;
        const auto checked = archiveChecked;
        std::function<void()> checkAndUnpack = [=] {
            SignatureVerifier::verifyArchive(zip->handle(), signatureText, running, expectedName, version);
            if (checked)
                checked(zipPath);
            if (::mkdir(QFile::encodeName(extracted).constData(), 0700) != 0)
                throw DownloadError::io(QStringLiteral("the folder %1 couldn't be created").arg(extracted));
            extractZip(zip->handle(), extracted, extraction);
        };
        QCoro::Task<void> work = runInThread(std::move(checkAndUnpack));
        co_await std::move(work);
        zip->close();
        QFile::remove(zipPath);
        co_return findBundle(extracted, appName);
    } catch (...) {
        // A failed download leaves nothing behind: the archive may be hostile.
        removeTree(folder);
        throw;
    }
}

} // namespace ostry
