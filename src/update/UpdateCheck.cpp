#include "update/UpdateCheck.h"

#include "net/HttpClient.h"
#include "desktop/Prompter.h"
#include "update/UpdateFailure.h"
#include "update/Version.h"
#include "update/UpdateWindow.h"

#include <QUrl>

namespace torvane {

const char kUpdateBaseUrl[] = "https://updates.torvane.org/apps/Ostrel/torvane/";

namespace {

// A failed fetch reads as an empty text.
QString fetchText(HttpClient& http, const QUrl& baseUrl, const QString& file)
{
    const std::optional<QByteArray> body = http.fetch(baseUrl.resolved(QUrl(file)), HttpClient::kFetchTimeout);
    return body ? QString::fromUtf8(*body) : QString();
}

} // namespace

void checkForUpdates(QWidget* parent, HttpClient& http, Prompter& prompter, Shell& shell,
                     const QString& appFolder, const QString& runningVersion, const QUrl& baseUrl,
                     const std::function<void()>& endProgram)
{
    // Failure style: a failed step is skipped; the user never sees an error, only whether there
    // is an update.
    const std::optional<VersionKey> offered = versionKeyOf(fetchText(http, baseUrl, QStringLiteral("app.ver")));
    const std::optional<VersionKey> running = versionKeyOf(runningVersion);
    if (!offered || !running || !isNewerVersion(*offered, *running)) {
        prompter.ask(QStringLiteral("There are no updates at this time."), BoxIcon::Information, BoxButtons::Ok);
        return;
    }
    const QString notes = fetchText(http, baseUrl, QStringLiteral("updates.txt"));
    if (prompter.ask(notes, BoxIcon::None, BoxButtons::YesNo) != BoxAnswer::Yes)
        return;
    skipOnFailure([&] {
        UpdateWindow window(http, prompter, shell, appFolder, baseUrl, endProgram, parent);
        window.exec();
    });
}

} // namespace torvane
