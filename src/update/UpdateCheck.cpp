#include "update/UpdateCheck.h"

#include "platform/HttpClient.h"
#include "platform/Prompter.h"
#include "update/UpdateFailure.h"
#include "update/Version.h"
#include "update/frmUpdate.h"

#include <QUrl>

namespace torvane {

const char kUpdateBaseUrl[] = "https://updates.torvane.org/apps/Ostrel/torvane/";

namespace {

// A failed fetch reads as an empty text.
QString FetchText(HttpClient& http, const QUrl& baseUrl, const QString& file)
{
    const std::optional<QByteArray> body = http.fetch(baseUrl.resolved(QUrl(file)), HttpClient::kFetchTimeout);
    return body ? QString::fromUtf8(*body) : QString();
}

} // namespace

void CheckForUpdates(QWidget* parent, HttpClient& http, Prompter& prompter, Shell& shell,
                     const QString& appFolder, const QString& runningVersion, const QUrl& baseUrl,
                     const std::function<void()>& endProgram)
{
    // Failure style: a failed step is skipped; the user never sees an error, only whether there
    // is an update.
    const std::optional<VersionKey> offered = VersionKeyOf(FetchText(http, baseUrl, QStringLiteral("app.ver")));
    const std::optional<VersionKey> running = VersionKeyOf(runningVersion);
    if (!offered || !running || !IsNewerVersion(*offered, *running)) {
        prompter.ask(QStringLiteral("There are no updates at this time."), BoxIcon::Information, BoxButtons::Ok);
        return;
    }
    const QString notes = FetchText(http, baseUrl, QStringLiteral("updates.txt"));
    if (prompter.ask(notes, BoxIcon::None, BoxButtons::YesNo) != BoxAnswer::Yes)
        return;
    SkipOnFailure([&] {
        frmUpdate window(http, prompter, shell, appFolder, baseUrl, endProgram, parent);
        window.exec();
    });
}

} // namespace torvane
