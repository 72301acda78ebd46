#pragma once

// A tiny HTTP/1.1 server on 127.0.0.1 for the updater's network tests. It answers each
// request from a table of canned responses by path and records what it was asked.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QTcpServer>
#include <QUrl>

class QTcpSocket;

namespace ostry::test {

struct Response {
    int status = 200;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;
    // Sends only this many body bytes, then keeps the connection open and silent (a stall).
    qint64 stallAfter = -1;
    // Sends only this many body bytes, then closes (a truncated transfer).
    qint64 closeAfter = -1;
    // Leaves out Content-Length so that the client can't know the size in advance.
    bool omitLength = false;
    // Sends the body `dripBytes` at a time, one piece every `dripIntervalMs` (a slow drip).
    qint64 dripBytes = 0;
    int dripIntervalMs = 0;
};

struct Request {
    QByteArray method;
    QByteArray target;
    QHash<QByteArray, QByteArray> headers; // lower-case names
};

class TestHttpServer : public QObject {
    Q_OBJECT
public:
    TestHttpServer();

    QUrl url(const QByteArray& target) const;
    void setResponse(const QByteArray& target, Response response) { m_responses[target] = std::move(response); }
    // Answers for one target in turn; the last one repeats.
    void setResponses(const QByteArray& target, QList<Response> responses);
    const QList<Request>& requests() const { return m_requests; }

private:
    void serve(QTcpSocket* socket);
    QTcpServer m_server;
    QHash<QByteArray, Response> m_responses;
    QHash<QByteArray, QList<Response>> m_sequences;
    QList<Request> m_requests;
};

} // namespace ostry::test
