#pragma once

#include <QString>

#include <functional>

class QUrl;
class QWidget;

namespace torvane {

class HttpClient;
class Prompter;
class Shell;

// Where the update server keeps "app.ver", "updates.txt" and the downloads.
extern const char kUpdateBaseUrl[];

// Help > Check For Updates. Asks the server at `baseUrl` for its newest version; when it is newer
// than `runningVersion`, offers the release notes and, on Yes, shows the update window modally
// over `parent`. Otherwise says there are no updates. Returns when the user is done.
// `endProgram` ends the process at once, without any window's closing handlers, after the
// installer has been started.
void checkForUpdates(QWidget* parent, HttpClient& http, Prompter& prompter, Shell& shell,
                     const QString& appFolder, const QString& runningVersion, const QUrl& baseUrl,
                     const std::function<void()>& endProgram);

} // namespace torvane
