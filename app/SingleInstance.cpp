#include "SingleInstance.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QStandardPaths>
#include <QSysInfo>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QTimer>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quandrel {

namespace {

// Whether `folder` is a folder of this user that nobody else may enter or write.
QString privateFolderProblem(const QString& folder)
{
    struct stat info {};
    if (::lstat(QFile::encodeName(folder).constData(), &info) != 0)
        return QCoreApplication::translate("SingleInstance", "%1 does not exist").arg(folder);
    if (!S_ISDIR(info.st_mode))
        return QCoreApplication::translate("SingleInstance", "%1 is not a folder").arg(folder);
    if (info.st_uid != ::getuid())
        return QCoreApplication::translate("SingleInstance", "%1 belongs to another user").arg(folder);
    if ((info.st_mode & 077) != 0)
        return QCoreApplication::translate("SingleInstance", "%1 is open to other users").arg(folder);
    return {};
}

bool hasControlCharacters(const QString& text)
{
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control)
            return true;
    }
    return false;
}

} // namespace

QString SingleInstance::displayTag(const QString& display)
{
    QString host = display.section(QLatin1Char(':'), 0, -2);
    QString number = display.section(QLatin1Char(':'), -1);
    if (host == QLatin1String("unix"))
        host.clear();
    number = number.section(QLatin1Char('.'), 0, 0); // the screen does not make another instance
    if (number.isEmpty())
        return QStringLiteral("quandrel-none");
    QString tag = QStringLiteral("quandrel-") + host + QLatin1Char(':') + number;
    tag.replace(QLatin1Char('/'), QLatin1Char('_'));
    return tag;
}

QString SingleInstance::fallbackFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/quandrel-runtime-")
        + QSysInfo::machineHostName().replace(QLatin1Char('/'), QLatin1Char('_'));
}

SingleInstance::Location SingleInstance::defaultLocation()
{
    const QString tag = displayTag(QString::fromLocal8Bit(qgetenv("DISPLAY")));
    const QString runtime = QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR"));
    if (!runtime.isEmpty() && privateFolderProblem(runtime).isEmpty())
        return {runtime + QLatin1Char('/') + tag + QStringLiteral(".socket"), {}};

    // Not in the shared temporary folder, where another account could take the name first:
    // in the user's own cache folder, on this machine's name (a home shared over the network
    // serves several machines).
    const QString folder = fallbackFolder();
    QDir().mkpath(QFileInfo(folder).absolutePath());
    ::mkdir(QFile::encodeName(folder).constData(), 0700);
    const QString problem = privateFolderProblem(folder);
    if (!problem.isEmpty())
        return {{}, QCoreApplication::translate("SingleInstance", "Quandrel cannot keep its command socket in %1: %2. Set XDG_RUNTIME_DIR to a private folder.")
                        .arg(folder, problem)};
    const QString path = folder + QLatin1Char('/') + tag + QStringLiteral(".socket");
    // sockaddr_un holds 108 bytes, the lock file's name is longer still.
    if (QFile::encodeName(path).size() > 100)
        return {{}, QCoreApplication::translate("SingleInstance", "Quandrel cannot keep its command socket in %1: the path is too long for a socket. "
                                                                  "Set XDG_RUNTIME_DIR to a private folder.").arg(folder)};
    return {path, {}};
}

SingleInstance::SingleInstance(QString socketPath, QObject* parent)
    : QObject(parent)
    , m_path(std::move(socketPath))
{
}

SingleInstance::~SingleInstance()
{
    if (m_server) {
        m_server->close();
        QFile::remove(m_path);
    }
    if (m_lockFile >= 0)
        ::close(m_lockFile); // releases the lock
}

std::optional<QString> SingleInstance::checkURL(const QString& url)
{
    if (url.toUtf8().size() > maxURLLength)
        return QCoreApplication::translate("SingleInstance", "a URL longer than %1 bytes").arg(maxURLLength);
    if (hasControlCharacters(url))
        return QCoreApplication::translate("SingleInstance", "a URL with control characters (such as a line break)");
    return std::nullopt;
}

SingleInstance::Delivery SingleInstance::sendToRunningInstance(const QStringList& urls, QString* answer, int patienceMs)
{
    for (const QString& url : urls) {
        if (const auto problem = checkURL(url)) {
            if (answer)
                *answer = QStringLiteral("error ") + *problem;
            return Delivery::refused;
        }
    }
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        const Delivery delivery = sendOnce(urls, answer);
        // "busy" is said before anything is read, so trying again runs nothing twice.
        if (delivery != Delivery::busy || waited.elapsed() >= patienceMs)
            return delivery;
        ::usleep(50 * 1000);
    }
}

SingleInstance::Delivery SingleInstance::sendOnce(const QStringList& urls, QString* answer)
{
    if (m_path.isEmpty())
        return Delivery::noInstance;
    QLocalSocket socket;
    socket.connectToServer(m_path);
    if (!socket.waitForConnected(1000))
        return Delivery::noInstance;
    QByteArray message;
    for (const QString& url : urls)
        message += url.toUtf8() + '\n';
    message += '\n'; // an empty line ends the message
    socket.write(message);
    socket.flush();
    while (socket.bytesToWrite() > 0 && socket.waitForBytesWritten(1000)) {
    }
    // Wait for the instance's answer, so that nothing is lost when this process exits.
    QByteArray reply;
    QElapsedTimer waited;
    waited.start();
    while (!reply.contains('\n') && waited.elapsed() < m_answerTimeout
           && (socket.bytesAvailable() > 0 || socket.waitForReadyRead(int(m_answerTimeout - waited.elapsed()))))
        reply += socket.readAll();
    reply += socket.readAll();
    socket.disconnectFromServer();
    reply = reply.trimmed();
    if (answer)
        *answer = QString::fromUtf8(reply);
    if (reply == "busy")
        return Delivery::busy;
    if (reply.isEmpty())
        return Delivery::noAnswer;
    return reply == "ok" ? Delivery::delivered : Delivery::refused;
}

bool SingleInstance::acquire()
{
    if (m_lockFile >= 0)
        return true;
    if (m_path.isEmpty())
        return false;
    const QByteArray lockPath = QFile::encodeName(m_path + QStringLiteral(".lock"));
    const int fd = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    m_lockFile = fd;
    return true;
}

bool SingleInstance::listen(std::function<bool(const QString& url)> handle)
{
    if (m_lockFile < 0)
        return false;
    m_handle = std::move(handle);
    // Holding the lock, any socket at the path was left behind by an instance that ended.
    QLocalServer::removeServer(m_path);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    m_server->setMaxPendingConnections(maxClients);
    if (!m_server->listen(m_path))
        return false;
    ::chmod(QFile::encodeName(m_path).constData(), 0600);

    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            const auto clients = m_server->findChildren<QLocalSocket*>(QString(), Qt::FindDirectChildrenOnly);
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            if (clients.size() > maxClients) {
                // Nothing of it is read, so the client may try again.
                socket->write("busy\n");
                socket->flush();
                socket->disconnectFromServer();
                continue;
            }
            // An absolute deadline: bytes trickling in don't keep a connection open.
            QTimer::singleShot(m_deadline, socket, [socket] { socket->abort(); });
            auto refusedURLs = std::make_shared<int>(0);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket, refusedURLs] {
                while (socket->canReadLine()) {
                    QByteArray line = socket->readLine(maxURLLength + 2);
                    if (!line.endsWith('\n')) {
                        socket->write("error a URL longer than " + QByteArray::number(maxURLLength) + " bytes\n");
                        socket->flush();
                        socket->disconnectFromServer();
                        return;
                    }
                    line.chop(1);
                    if (line.isEmpty()) {
                        socket->write(*refusedURLs == 0 ? QByteArray("ok\n") : "refused " + QByteArray::number(*refusedURLs) + '\n');
                        socket->flush();
                        *refusedURLs = 0;
                        continue;
                    }
                    const QString url = QString::fromUtf8(line);
                    if (checkURL(url) || !m_handle || !m_handle(url))
                        ++*refusedURLs;
                }
                // A peer that sends endless data without a line break is cut off.
                if (socket->bytesAvailable() > maxURLLength + 1) {
                    socket->write("error a URL longer than " + QByteArray::number(maxURLLength) + " bytes\n");
                    socket->flush();
                    socket->disconnectFromServer();
                }
            });
        }
    });
    return true;
}

} // namespace quandrel
