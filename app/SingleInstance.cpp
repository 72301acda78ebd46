#include "SingleInstance.h"

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>

#include <sys/stat.h>
#include <unistd.h>

namespace quandrel {

namespace {

// A folder only this user can enter, or empty.
QString privateFolder()
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir(QString::fromLocal8Bit(runtime)).exists())
        return QString::fromLocal8Bit(runtime);
    const QString folder = QDir::tempPath() + QStringLiteral("/quandrel-") + QString::number(getuid());
    ::mkdir(QFile::encodeName(folder).constData(), 0700);
    struct stat info {};
    if (::lstat(QFile::encodeName(folder).constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != getuid()
        || (info.st_mode & 077) != 0)
        return {};
    return folder;
}

QString displayTag()
{
    QString display = QString::fromLocal8Bit(qgetenv("DISPLAY"));
    display.replace(QLatin1Char('/'), QLatin1Char('_'));
    return display.isEmpty() ? QStringLiteral("none") : display;
}

} // namespace

QString SingleInstance::defaultSocketPath()
{
    const QString folder = privateFolder();
    if (folder.isEmpty())
        return {};
    return folder + QStringLiteral("/quandrel-") + displayTag() + QStringLiteral(".socket");
}

SingleInstance::SingleInstance(QString socketPath, QObject* parent)
    : QObject(parent)
    , m_path(std::move(socketPath))
{
}

bool SingleInstance::sendToRunningInstance(const QStringList& urls)
{
    if (m_path.isEmpty())
        return false;
    QLocalSocket socket;
    socket.connectToServer(m_path);
    if (!socket.waitForConnected(1000))
        return false;
    for (const QString& url : urls)
        socket.write(url.toUtf8() + '\n');
    socket.write("\n"); // an empty line ends the message
    socket.flush();
    // Wait for the instance to confirm, so that nothing is lost when this process exits.
    while (socket.bytesToWrite() > 0 && socket.waitForBytesWritten(1000)) {
    }
    socket.waitForReadyRead(2000);
    socket.disconnectFromServer();
    return true;
}

bool SingleInstance::listen()
{
    if (m_path.isEmpty())
        return false;
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_path)) {
        // A socket left behind by an instance that crashed: nobody answers on it.
        QLocalSocket probe;
        probe.connectToServer(m_path);
        if (probe.waitForConnected(200))
            return false;
        QLocalServer::removeServer(m_path);
        if (!m_server->listen(m_path))
            return false;
    }
    ::chmod(QFile::encodeName(m_path).constData(), 0600);
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                while (socket->canReadLine()) {
                    const QByteArray line = socket->readLine(64 * 1024).trimmed();
                    if (line.isEmpty()) {
                        socket->write("ok\n");
                        socket->flush();
                        continue;
                    }
                    Q_EMIT urlReceived(QString::fromUtf8(line));
                }
                // A peer that sends endless data without newlines is cut off.
                if (socket->bytesAvailable() > 64 * 1024)
                    socket->abort();
            });
        }
    });
    return true;
}

} // namespace quandrel
