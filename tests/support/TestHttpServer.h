#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QTcpServer>
#include <QUrl>

namespace torvane::test {

// A small HTTP/1.1 server on 127.0.0.1 at a free port, run by the test's own event loop. Each
// path answers as its Reply says; an unknown path gets 404. Every connection is closed after its
// answer.
class TestHttpServer final : public QObject {
public:
    struct Reply {
        int status = 200;
        QByteArray body;
        bool contentLength = true;   // announce the body's length
        int parts = 1;               // send the body in this many pieces...
        int partDelayMs = 0;         // ...this far apart
        qint64 cutAfter = -1;        // close the connection after this many body bytes
        bool silent = false;         // read the request and never answer
        QByteArray location;         // a redirect (status 302 unless `status` says otherwise)
    };

    struct Request {
        QByteArray path;
        QMap<QByteArray, QByteArray> headers;   // names in lower case
    };

    TestHttpServer();

    void serve(const QByteArray& path, const Reply& reply) { replies_.insert(path, reply); }
    // http://127.0.0.1:<port> + path
    QUrl url(const QByteArray& path = "/") const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port()) + QString::fromLatin1(path));
    }
    quint16 port() const { return server_.serverPort(); }

    QList<Request> requests;
    int notHttp = 0;   // connections that began with something other than a request (a TLS hello)

private:
    void accept();
    void answer(class QTcpSocket* socket, const Request& request);

    QTcpServer server_;
    QMap<QByteArray, Reply> replies_;
};

// A reply of `bytes`, sent in `parts` pieces `delayMs` apart.
TestHttpServer::Reply body(const QByteArray& bytes, int parts = 1, int delayMs = 0);

// A loopback port that nothing listens on.
quint16 closedPort();

} // namespace torvane::test
