#include "support/TestHttpServer.h"

#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <cctype>
#include <memory>
#include <optional>

namespace torvane::test {

namespace {

QByteArray statusLine(int status)
{
    const char* reason = status == 200 ? "OK" : status == 404 ? "Not Found" : status < 400 ? "Found" : "Error";
    return "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason + "\r\n";
}

std::optional<TestHttpServer::Request> parseRequest(const QByteArray& head)
{
    const QList<QByteArray> lines = head.split('\n');
    const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
    if (first.size() < 3)
        return std::nullopt;
    TestHttpServer::Request request{first[1], {}};
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon > 0)
            request.headers.insert(lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed());
    }
    return request;
}

} // namespace

TestHttpServer::TestHttpServer()
{
    server_.listen(QHostAddress(QHostAddress::LocalHost), 0);
    connect(&server_, &QTcpServer::newConnection, this, &TestHttpServer::accept);
}

void TestHttpServer::accept()
{
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        socket->setParent(this);
        auto head = std::make_shared<QByteArray>();
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, head] {
            if (head->endsWith("\r\n\r\n"))
                return;   // one request per connection
            head->append(socket->readAll());
            if (!head->isEmpty() && !std::isupper(static_cast<unsigned char>(head->front()))) {
                ++notHttp;
                head->clear();
                socket->abort();
                return;
            }
            const qsizetype end = head->indexOf("\r\n\r\n");
            if (end < 0)
                return;
            head->truncate(end + 4);
            if (const auto request = parseRequest(*head)) {
                requests.append(*request);
                answer(socket, *request);
            }
        });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void TestHttpServer::answer(QTcpSocket* socket, const Request& request)
{
    const Reply reply = replies_.value(request.path, Reply{404, "not here", true, 1, 0, -1, false, {}});
    if (reply.silent)
        return;
    const int status = !reply.location.isEmpty() && reply.status == 200 ? 302 : reply.status;
    QByteArray head = statusLine(status);
    if (!reply.location.isEmpty())
        head += "Location: " + reply.location + "\r\n";
    if (reply.contentLength)
        head += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
    head += "Connection: close\r\n\r\n";
    socket->write(head);

    const QByteArray body = reply.cutAfter >= 0 ? reply.body.left(reply.cutAfter) : reply.body;
    const int parts = std::max(1, reply.parts);
    const qsizetype partSize = (body.size() + parts - 1) / parts;
    QPointer<QTcpSocket> guard(socket);
    for (int i = 0; i < parts; ++i) {
        const QByteArray piece = body.mid(i * partSize, partSize);
        const bool last = i == parts - 1;
        QTimer::singleShot(i * reply.partDelayMs, this, [guard, piece, last] {
            if (!guard)
                return;
            guard->write(piece);
            if (last)
                guard->disconnectFromHost();
        });
    }
}

TestHttpServer::Reply body(const QByteArray& bytes, int parts, int delayMs)
{
    TestHttpServer::Reply reply;
    reply.body = bytes;
    reply.parts = parts;
    reply.partDelayMs = delayMs;
    return reply;
}

quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress(QHostAddress::LocalHost), 0);
    return probe.serverPort();
}

} // namespace torvane::test
