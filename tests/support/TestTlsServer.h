#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QSslCertificate>
#include <QSslKey>
#include <QString>
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

// A small HTTPS server on 127.0.0.1 at a free port, run by the test's own event loop. Each path
// answers 200 with its body, an unknown one 404; every connection is closed after its answer.
class TestTlsServer final : public QTcpServer {
public:
    explicit TestTlsServer(const SelfSigned& identity);

    void serve(const QByteArray& path, const QByteArray& body) { bodies_.insert(path, body); }
    // https://127.0.0.1:<port> + path
    QUrl url(const QByteArray& path = "/") const
    {
        return QUrl(QStringLiteral("https://127.0.0.1:%1").arg(serverPort()) + QString::fromLatin1(path));
    }

    int connections = 0;          // TCP connections taken
    int handshakesDone = 0;       // of them, the ones whose TLS handshake completed
    QList<QByteArray> requests;   // the paths asked for over a completed handshake

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    SelfSigned identity_;
    QMap<QByteArray, QByteArray> bodies_;
};

} // namespace torvane::test
