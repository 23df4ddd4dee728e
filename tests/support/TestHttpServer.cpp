#include "support/TestHttpServer.h"

#include "support/Files.h"

#include <QDir>
#include <QPointer>
#include <QProcess>
#include <QSslSocket>
#include <QTimer>

#include <memory>

namespace torvane::test {

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
    const bool ran = openssl.waitForFinished(60000) && openssl.exitStatus() == QProcess::NormalExit && openssl.exitCode() == 0;
    SelfSigned made{QSslCertificate(readFile(certPath), QSsl::Pem), QSslKey(readFile(keyPath), QSsl::Rsa, QSsl::Pem)};
    if (!ran || made.certificate.isNull() || made.key.isNull()) {
        *error = QStringLiteral("openssl req failed: %1 %2").arg(openssl.errorString(), QString::fromLocal8Bit(openssl.readAll()));
        return std::nullopt;
    }
    return made;
}

TestHttpServer::TestHttpServer(std::optional<SelfSigned> identity) : identity_(std::move(identity))
{
    listen(QHostAddress(QHostAddress::LocalHost), 0);
}

QUrl TestHttpServer::url(const QByteArray& path) const
{
    const QString scheme = identity_ ? QStringLiteral("https") : QStringLiteral("http");
    return QUrl(QStringLiteral("%1://127.0.0.1:%2").arg(scheme).arg(serverPort()) + QString::fromLatin1(path));
}

void TestHttpServer::incomingConnection(qintptr descriptor)
{
    QTcpSocket* socket = identity_ ? new QSslSocket(this) : new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    ++connections;
    auto head = std::make_shared<QByteArray>();
    connect(socket, &QTcpSocket::readyRead, this, [this, socket, head] {
        if (head->endsWith("\r\n\r\n"))
            return;   // one request per connection
        head->append(socket->readAll());
        if (const qsizetype end = head->indexOf("\r\n\r\n"); end >= 0) {
            head->truncate(end + 4);
            answer(socket, *head);
        }
    });
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    // A client that refuses the certificate ends the handshake with an alert; this side reports
    // that as an error and has nothing more to do.
    connect(socket, &QTcpSocket::errorOccurred, socket, &QObject::deleteLater);
    if (auto* tls = qobject_cast<QSslSocket*>(socket)) {
        tls->setLocalCertificate(identity_->certificate);
        tls->setPrivateKey(identity_->key);
        tls->startServerEncryption();
    }
}

void TestHttpServer::answer(QTcpSocket* socket, const QByteArray& head)
{
    const QList<QByteArray> lines = head.split('\n');
    Request request{lines[0].split(' ').value(1), {}};
    for (const QByteArray& line : lines.mid(1)) {
        if (const qsizetype colon = line.indexOf(':'); colon > 0)
            request.headers.insert(line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed());
    }
    requests.append(request);
    const Reply reply = replies_.value(request.path, Reply{.status = 404, .body = "not here"});
    if (reply.silent)
        return;
    // Clients read the status number only; the reason phrase may be anything.
    const int status = !reply.location.isEmpty() && reply.status == 200 ? 302 : reply.status;
    QByteArray response = "HTTP/1.1 " + QByteArray::number(status) + " Status\r\n";
    if (!reply.location.isEmpty())
        response += "Location: " + reply.location + "\r\n";
    if (reply.contentLength)
        response += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
    socket->write(response + "Connection: close\r\n\r\n");

    const QByteArray body = reply.cutAfter >= 0 ? reply.body.left(reply.cutAfter) : reply.body;
    const qsizetype partSize = (body.size() + reply.parts - 1) / reply.parts;
    QPointer<QTcpSocket> guard(socket);
    for (int i = 0; i < reply.parts; ++i) {
        const QByteArray piece = body.mid(i * partSize, partSize);
        const bool last = i == reply.parts - 1;
        QTimer::singleShot(i * reply.partDelayMs, this, [guard, piece, last] {
            if (!guard)
                return;
            guard->write(piece);
            if (last)
                guard->disconnectFromHost();
        });
    }
}

} // namespace torvane::test
