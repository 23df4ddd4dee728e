#pragma once

#include "platform/HttpClient.h"

#include <QList>
#include <QMap>
#include <QPointer>

namespace torvane::test {

// Answers fetches from a table and hands out transfers that the test drives by emitting their
// signals.
class FakeHttpClient final : public HttpClient {
public:
    struct Started {
        QUrl url;
        QPointer<HttpTransfer> transfer;
    };

    std::optional<QByteArray> fetch(const QUrl& url, std::chrono::milliseconds) override
    {
        fetched.append(url);
        if (!bodies.contains(url))
            return std::nullopt;
        return bodies.value(url);
    }

    HttpTransfer* download(const QUrl& url, QObject* owner) override
    {
        auto* transfer = new HttpTransfer(owner);
        started.append({url, transfer});
        return transfer;
    }

    // The transfer started for the address ending in `suffix`.
    HttpTransfer* transferFor(const QString& suffix) const
    {
        for (const Started& s : started)
            if (s.url.toString().endsWith(suffix))
                return s.transfer;
        return nullptr;
    }

    QMap<QUrl, QByteArray> bodies;
    QList<QUrl> fetched;
    QList<Started> started;
};

} // namespace torvane::test
