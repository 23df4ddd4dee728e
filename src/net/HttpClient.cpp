#include "net/HttpClient.h"

#include "fs/PlatformError.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>

#include <cerrno>

namespace torvane {

namespace {

bool isWebAddress(const QUrl& url)
{
    return url.isValid() && !url.host().isEmpty() && (url.scheme() == u"http" || url.scheme() == u"https");
}

// Every request goes to the server: no cache of ours, of a proxy's or of the server's may answer.
// The body is asked for unencoded, so the bytes received can be held against the announced length.
QNetworkRequest freshRequest(const QUrl& url)
{
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setRawHeader("Cache-Control", "no-cache");
    request.setRawHeader("Pragma", "no-cache");
    request.setRawHeader("Accept-Encoding", "identity");
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
    request.setMaximumRedirectsAllowed(5);
    return request;
}

// A redirect from https to http would hand the transfer to anyone on the path; one to another
// scheme is refused, which ends the reply with an error.
void followSameSchemeOnly(QNetworkReply* reply, const QString& scheme)
{
    QObject::connect(reply, &QNetworkReply::redirected, reply, [reply, scheme](const QUrl& to) {
        if (to.scheme() == scheme)
            emit reply->redirectAllowed();
        else
            reply->abort();
    });
}

bool succeeded(QNetworkReply* reply)
{
    if (reply->error() != QNetworkReply::NoError)
        return false;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    return !status.isValid() || (status.toInt() >= 200 && status.toInt() < 300);
}

qint64 announcedLength(QNetworkReply* reply)
{
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    return length.isValid() ? length.toLongLong() : -1;
}

class NetworkTransfer final : public HttpTransfer {
public:
    NetworkTransfer(QNetworkReply* reply, QObject* owner) : HttpTransfer(owner), reply_(reply)
    {
        reply_->setParent(this);
        // The length comes from the server's header only: at the end of a reply without one, Qt
        // reports the bytes received as the total.
        connect(reply_, &QNetworkReply::downloadProgress, this, [this](qint64 received, qint64) {
            emit progress(received, announcedLength(reply_));
        });
        connect(reply_, &QNetworkReply::finished, this, [this] {
            const QByteArray body = reply_->isOpen() ? reply_->readAll() : QByteArray();
            emit finished(body, announcedLength(reply_), succeeded(reply_));
        });
    }

    // Abandoning the transfer must not report its abort to an owner that is going away.
    ~NetworkTransfer() override
    {
        if (reply_) {
            disconnect(reply_, nullptr, this, nullptr);
            reply_->abort();
        }
    }

private:
    QPointer<QNetworkReply> reply_;
};

} // namespace

NetworkHttpClient::NetworkHttpClient(std::chrono::milliseconds stallTimeout)
    : manager_(std::make_unique<QNetworkAccessManager>()), stallTimeout_(stallTimeout)
{
}

NetworkHttpClient::~NetworkHttpClient() = default;

std::optional<QByteArray> NetworkHttpClient::fetch(const QUrl& url, std::chrono::milliseconds timeout)
{
    if (!isWebAddress(url))
        return std::nullopt;
    QNetworkReply* reply = manager_->get(freshRequest(url));
    followSameSchemeOnly(reply, url.scheme());

    // A total deadline rather than an idle one: a server that trickles a byte now and then must
    // not hold the window for longer than the time-out either.
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, reply, &QNetworkReply::abort);
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    deadline.start(timeout);
    if (!reply->isFinished())
        loop.exec();

    std::optional<QByteArray> body;
    if (succeeded(reply))
        body = reply->readAll();
    reply->deleteLater();
    return body;
}

HttpTransfer* NetworkHttpClient::download(const QUrl& url, QObject* owner)
{
    if (!isWebAddress(url))
        throw PlatformError(EINVAL, QStringLiteral("Not an http or https address: %1").arg(url.toString()));
    QNetworkRequest request = freshRequest(url);
    request.setTransferTimeout(static_cast<int>(stallTimeout_.count()));
    QNetworkReply* reply = manager_->get(request);
    followSameSchemeOnly(reply, url.scheme());
    return new NetworkTransfer(reply, owner);
}

} // namespace torvane
