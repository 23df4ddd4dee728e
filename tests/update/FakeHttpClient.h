#pragma once

#include "net/HttpClient.h"

#include <QList>
#include <QPointer>

namespace torvane::test {

// Hands out transfers that the test drives by emitting their signals.
class FakeHttpClient final : public HttpClient {
public:
    struct Started {
        QUrl url;
        QPointer<HttpTransfer> transfer;
    };

    // The update window only downloads.
    std::optional<QByteArray> fetch(const QUrl&, std::chrono::milliseconds) override { return std::nullopt; }

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

    QList<Started> started;
};

} // namespace torvane::test
