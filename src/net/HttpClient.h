#pragma once

#include <QByteArray>
#include <QObject>
#include <QUrl>

#include <chrono>
#include <memory>
#include <optional>

class QNetworkAccessManager;

namespace torvane {

// One asynchronous transfer. It reports on the thread that started it; deleting it abandons the
// transfer and no further signal arrives.
class HttpTransfer : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

signals:
    // `total` is the announced length, or -1 while none is known.
    void progress(qint64 received, qint64 total);
    // Once. `ok` is false after a network error, an error status, an abort or a time-out;
    // `announced` is the length the server announced, or -1.
    void finished(const QByteArray& body, qint64 announced, bool ok);
};

// The update server's HTTP: a synchronous fetch and asynchronous downloads. Both always go to the
// network (no cache answers) and follow redirects only within the scheme they started with.
class HttpClient {
public:
    static constexpr std::chrono::milliseconds kFetchTimeout{std::chrono::seconds(60)};

    virtual ~HttpClient() = default;
    // Waits, letting events run, until the reply ends or `timeout` has passed. The body of a
    // successful reply; nothing after any failure, an error status or the time-out.
    virtual std::optional<QByteArray> fetch(const QUrl& url, std::chrono::milliseconds timeout) = 0;
    // Starts a transfer owned by `owner` and returns at once. Throws PlatformError for an address
    // it cannot start (not an absolute http or https address).
    virtual HttpTransfer* download(const QUrl& url, QObject* owner) = 0;
};

// Over QNetworkAccessManager. A download that receives nothing for `stallTimeout` fails.
class NetworkHttpClient final : public HttpClient {
public:
    explicit NetworkHttpClient(std::chrono::milliseconds stallTimeout = kFetchTimeout);
    ~NetworkHttpClient() override;

    std::optional<QByteArray> fetch(const QUrl& url, std::chrono::milliseconds timeout) override;
    HttpTransfer* download(const QUrl& url, QObject* owner) override;

private:
    std::unique_ptr<QNetworkAccessManager> manager_;
    std::chrono::milliseconds stallTimeout_;
};

} // namespace torvane
