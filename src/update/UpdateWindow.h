#pragma once

#include <QDialog>
#include <QSet>
#include <QString>
#include <QUrl>

#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;

namespace torvane {

class DownloadControl;
class HttpClient;
class Prompter;
class Shell;

// The update window: downloads the installer and the driver package into the application
// folder as soon as it is made, one row each, and starts the installer on request.
class UpdateWindow final : public QDialog {
    Q_OBJECT
public:
    // `endProgram` ends the whole program at once once the installer has started.
    UpdateWindow(HttpClient& http, Prompter& prompter, Shell& shell, const QString& appFolder,
              const QUrl& baseUrl, std::function<void()> endProgram, QWidget* parent = nullptr);

private:
    void startDownloads();
    void downloadProgressed(qint64 CurBytes, qint64 MaxBytes, const QString& SaveFile);
    void downloadFailed(const QString& SaveFile);
    void downloadCompleted(qint64 MaxBytes, const QString& SaveFile);
    void installClicked();

    Prompter& prompter_;
    Shell& shell_;
    std::function<void()> endProgram_;
    const QUrl baseUrl_;
    const QString installerPath_;
    const QString driverPath_;

    QLabel* Label1;
    QProgressBar* prgBAR[2];
    QLabel* lblLABEL[2];
    QLabel* Label2;
    QPushButton* cmdInstall;
    DownloadControl* dwnLOADER;

    QSet<QString> failed_;        // transfers whose file was not replaced
    QSet<QString> ended_;
    bool installerReceived_ = false;
};

} // namespace torvane
