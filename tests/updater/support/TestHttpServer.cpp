#include "TestHttpServer.h"

#include <QTcpSocket>
#include <QTimer>

#include <memory>

namespace ostry::test {

TestHttpServer::TestHttpServer()
{
    m_server.listen(QHostAddress(QHostAddress::LocalHost), 0);
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            socket->setParent(this);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

QUrl TestHttpServer::url(const QByteArray& target) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort()) + QString::fromLatin1(target));
}

void TestHttpServer::setResponses(const QByteArray& target, QList<Response> responses)
{
    m_sequences[target] = std::move(responses);
}

void TestHttpServer::serve(QTcpSocket* socket)
{
    QByteArray buffer = socket->property("buffer").toByteArray() + socket->readAll();
    const qsizetype end = buffer.indexOf("\r\n\r\n");
    if (end < 0) {
        socket->setProperty("buffer", buffer);
        return;
    }
    socket->setProperty("buffer", QByteArray());
    const QList<QByteArray> lines = buffer.left(end).split('\n');
    Request request;
    const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
    request.method = first.value(0);
    request.target = first.value(1);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon > 0)
            request.headers[lines[i].left(colon).trimmed().toLower()] = lines[i].mid(colon + 1).trimmed();
    }
    m_requests.append(request);

    Response response;
    if (auto sequence = m_sequences.find(request.target); sequence != m_sequences.end() && !sequence->isEmpty()) {
        response = sequence->size() > 1 ? sequence->takeFirst() : sequence->first();
    } else if (auto fixed = m_responses.find(request.target); fixed != m_responses.end()) {
        response = *fixed;
    } else {
        response.status = 404;
        response.body = "not found";
    }

    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + " Status\r\n";
    for (const auto& [name, value] : response.headers)
        head += name + ": " + value + "\r\n";
    if (!response.omitLength)
        head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    head += "Connection: close\r\n\r\n";
    socket->write(head);
    if (response.stallAfter >= 0) {
        socket->write(response.body.left(response.stallAfter));
        return;
    }
    if (response.dripBytes > 0) {
        auto* timer = new QTimer(socket);
        auto sent = std::make_shared<qint64>(0);
        connect(timer, &QTimer::timeout, socket, [socket, timer, sent, response] {
            socket->write(response.body.mid(*sent, response.dripBytes));
            *sent += response.dripBytes;
            if (*sent >= response.body.size()) {
                timer->stop();
                socket->disconnectFromHost();
            }
        });
        timer->start(response.dripIntervalMs);
        return;
    }
    if (response.closeAfter >= 0) {
        socket->write(response.body.left(response.closeAfter));
        socket->disconnectFromHost();
        return;
    }
    socket->write(response.body);
    socket->disconnectFromHost();
}

} // namespace ostry::test
