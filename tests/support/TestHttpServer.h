#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QSslCertificate>
#include <QSslKey>
#include <QTcpServer>
#include <QUrl>

#include <optional>

namespace torvane::test {

// A certificate of its own and its key, made by the openssl tool for 127.0.0.1 and localhost,
// valid for a day. Nothing when the tool is missing or fails; `error` then says why.
struct SelfSigned {
    QSslCertificate certificate;
    QSslKey key;
};
std::optional<SelfSigned> makeSelfSigned(const QString& folder, QString* error);

// A small HTTP/1.1 server on 127.0.0.1 at a free port, run by the test's own event loop; HTTPS
// under `identity` when given one. Each path answers as its Reply says; an unknown path gets 404.
// Every connection is closed after its answer.
class TestHttpServer final : public QTcpServer {
public:
    // Every field has an initializer, so a reply reads {.field = value, ...} without warnings.
    struct Reply {
        int status = 200;
        QByteArray body{};
        bool contentLength = true;   // announce the body's length
        int parts = 1;               // send the body in this many pieces...
        int partDelayMs = 0;         // ...this far apart
        qint64 cutAfter = -1;        // close the connection after this many body bytes
        bool silent = false;         // read the request and never answer
        QByteArray location{};       // a redirect (status 302 unless `status` says otherwise)
    };

    struct Request {
        QByteArray path;
        QMap<QByteArray, QByteArray> headers;   // names in lower case
    };

    explicit TestHttpServer(std::optional<SelfSigned> identity = std::nullopt);

    void serve(const QByteArray& path, const Reply& reply) { replies_.insert(path, reply); }
    QUrl url(const QByteArray& path = "/") const;   // http(s)://127.0.0.1:<port> + path

    QList<Request> requests;
    int connections = 0;   // connections taken, whether a request came on them or not

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    void answer(class QTcpSocket* socket, const QByteArray& head);

    std::optional<SelfSigned> identity_;
    QMap<QByteArray, Reply> replies_;
};

} // namespace torvane::test
