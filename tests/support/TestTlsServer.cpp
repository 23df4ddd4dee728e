#include "support/TestTlsServer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSslSocket>

#include <memory>

namespace torvane::test {

namespace {

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

std::optional<SelfSigned> makeSelfSigned(const QString& folder, QString* error)
{
    const QString certPath = QDir(folder).filePath(QStringLiteral("cert.pem"));
    const QString keyPath = QDir(folder).filePath(QStringLiteral("key.pem"));
    QProcess openssl;
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    // The name the clients ask for must be in the certificate, or even a client that trusts it
    // refuses it; the tests ask for 127.0.0.1.
    openssl.start(QStringLiteral("openssl"),
                  {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=localhost", "-days", "1",
                   "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1", "-keyout", keyPath, "-out", certPath});
    if (!openssl.waitForFinished(60000) || openssl.exitStatus() != QProcess::NormalExit || openssl.exitCode() != 0) {
        *error = QStringLiteral("openssl req failed: %1 %2").arg(openssl.errorString(), QString::fromLocal8Bit(openssl.readAll()));
        return std::nullopt;
    }
    SelfSigned made{QSslCertificate(readAll(certPath), QSsl::Pem), QSslKey(readAll(keyPath), QSsl::Rsa, QSsl::Pem)};
    if (made.certificate.isNull() || made.key.isNull()) {
        *error = QStringLiteral("the certificate or the key made by openssl does not load");
        return std::nullopt;
    }
    return made;
}

TestTlsServer::TestTlsServer(const SelfSigned& identity) : identity_(identity)
{
    listen(QHostAddress(QHostAddress::LocalHost), 0);
}

void TestTlsServer::incomingConnection(qintptr descriptor)
{
    auto* socket = new QSslSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        socket->deleteLater();
        return;
    }
    ++connections;
    socket->setLocalCertificate(identity_.certificate);
    socket->setPrivateKey(identity_.key);
    auto head = std::make_shared<QByteArray>();
    connect(socket, &QSslSocket::encrypted, this, [this] { ++handshakesDone; });
    connect(socket, &QSslSocket::readyRead, this, [this, socket, head] {
        if (head->endsWith("\r\n\r\n"))
            return;   // one request per connection
        head->append(socket->readAll());
        const qsizetype end = head->indexOf("\r\n\r\n");
        if (end < 0)
            return;
        head->truncate(end + 4);
        const QByteArray path = head->left(head->indexOf("\r\n")).split(' ').value(1);
        requests.append(path);
        const bool known = bodies_.contains(path);
        const QByteArray body = known ? bodies_.value(path) : QByteArray("not here");
        socket->write((known ? "HTTP/1.1 200 OK\r\n" : "HTTP/1.1 404 Not Found\r\n") + QByteArray("Content-Length: ")
                      + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
        socket->disconnectFromHost();
    });
    connect(socket, &QSslSocket::disconnected, socket, &QObject::deleteLater);
    // A client that refuses the certificate ends the handshake with an alert; the server side
    // reports that as an error and has nothing more to do.
    connect(socket, &QSslSocket::errorOccurred, socket, &QObject::deleteLater);
    socket->startServerEncryption();
}

} // namespace torvane::test
