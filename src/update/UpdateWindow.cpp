#include "update/UpdateWindow.h"

#include "fs/PlatformError.h"
#include "desktop/Prompter.h"
#include "desktop/Shell.h"
#include "desktop/Twips.h"
#include "update/DownloadControl.h"
#include "update/FileExists.h"
#include "update/UpdateFailure.h"

#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>
#include <limits>

namespace torvane {

namespace {

// Colours in the 0x00BBGGRR form.
constexpr unsigned kBlue = 0xFF0000;
constexpr unsigned kGreen = 0x00FF00;
constexpr unsigned kRed = 0x0000FF;

const QString kDone = QStringLiteral("Done");
const QString kFailed = QStringLiteral("Failed");

QFont FormFont(bool bold)
{
    QFont font;
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(8.25);
    font.setBold(bold);
    return font;
}

void SetBarColor(QProgressBar* bar, unsigned bgr)
{
    QPalette palette = bar->palette();
    palette.setColor(QPalette::Highlight, QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF)));
    bar->setPalette(palette);
}

// The bar counts in int; lengths past 2 GiB are scaled down together so the fill stays true.
void SetBarProgress(QProgressBar* bar, qint64 current, qint64 maximum)
{
    qint64 divisor = 1;
    while (maximum / divisor > std::numeric_limits<int>::max())
        divisor *= 1024;
    bar->setMaximum(int(maximum / divisor));
    bar->setValue(int(std::clamp<qint64>(current, 0, maximum) / divisor));
}

// A row follows every transfer whose target path contains its word, the folder's part included.
QList<int> RowsOf(const QString& SaveFile)
{
    QList<int> rows;
    if (SaveFile.contains(QStringLiteral("update")))
        rows.append(0);
    if (SaveFile.contains(QStringLiteral("driver")))
        rows.append(1);
    return rows;
}

void MakeExecutable(const QString& path)
{
    QFile file(path);
    if (!file.setPermissions(file.permissions() | QFile::ExeOwner | QFile::ExeUser))
        throw PlatformError(file.error(), file.errorString());
}

} // namespace

UpdateWindow::UpdateWindow(HttpClient& http, Prompter& prompter, Shell& shell, const QString& appFolder,
                     const QUrl& baseUrl, std::function<void()> endProgram, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      prompter_(prompter),
      shell_(shell),
      endProgram_(std::move(endProgram)),
      baseUrl_(baseUrl),
      installerPath_(appFolder + QStringLiteral("/update.exe")),
      driverPath_(appFolder + QStringLiteral("/driverpack.exe"))
{
    setObjectName(QStringLiteral("frmUpdate"));
    setWindowTitle(QStringLiteral("Ostrel Update"));
    setFixedSize(twipsRect(0, 0, 3645, 2625).size());
    setFont(FormFont(false));

    auto label = [this](const char* name, const QString& text, QRect at, bool bold) {
        auto* l = new QLabel(text, this);
        l->setObjectName(QLatin1String(name));
        l->setGeometry(at);
        l->setFont(FormFont(bold));
        return l;
    };
    auto bar = [this](const char* name, QRect at) {
        auto* b = new QProgressBar(this);
        b->setObjectName(QLatin1String(name));
        b->setGeometry(at);
        b->setRange(0, 100);
        b->setValue(0);
        b->setTextVisible(false);
        return b;
    };
    Label1 = label("Label1", QStringLiteral("Program Update Status:"), twipsRect(240, 120, 3135, 255), true);
    prgBAR[0] = bar("prgBAR0", twipsRect(120, 360, 3375, 135));
    lblLABEL[0] = label("lblLABEL0", QStringLiteral(" "), twipsRect(240, 600, 3135, 255), false);
    Label2 = label("Label2", QStringLiteral("Driver Update Status:"), twipsRect(240, 1080, 3135, 255), true);
    prgBAR[1] = bar("prgBAR1", twipsRect(120, 1320, 3375, 135));
    lblLABEL[1] = label("lblLABEL1", QStringLiteral(" "), twipsRect(240, 1560, 3135, 255), false);

    cmdInstall = new QPushButton(QStringLiteral("Install the Update"), this);
    cmdInstall->setObjectName(QStringLiteral("cmdInstall"));
    cmdInstall->setGeometry(twipsRect(120, 2040, 3375, 435));
    cmdInstall->setFont(FormFont(true));
    cmdInstall->setEnabled(false);
    cmdInstall->setAutoDefault(false);
    connect(cmdInstall, &QPushButton::clicked, this, &UpdateWindow::installClicked);

    // The control has no visible role here; its face would cover the first label.
    dwnLOADER = new DownloadControl(http, prompter, this);
    dwnLOADER->move(0, 0);
    dwnLOADER->hide();
    connect(dwnLOADER, &DownloadControl::downloadProgress, this, &UpdateWindow::downloadProgressed);
    connect(dwnLOADER, &DownloadControl::downloadError, this, &UpdateWindow::downloadFailed);
    connect(dwnLOADER, &DownloadControl::downloadComplete, this, &UpdateWindow::downloadCompleted);

    startDownloads();
}

void UpdateWindow::startDownloads()
{
    // Failure style: a failed step is skipped. A leftover installer that cannot be deleted does
    // no harm: only a complete download of this window's own is ever started.
    SetBarColor(prgBAR[0], kBlue);
    SetBarColor(prgBAR[1], kBlue);
    if (fileExists(installerPath_))
        QFile::remove(installerPath_);
    dwnLOADER->beginDownload(baseUrl_.resolved(QUrl(QStringLiteral("update"))).toString(), installerPath_);
    dwnLOADER->beginDownload(baseUrl_.resolved(QUrl(QStringLiteral("driver"))).toString(), driverPath_);
}

void UpdateWindow::downloadProgressed(qint64 CurBytes, qint64 MaxBytes, const QString& SaveFile)
{
    for (const int row : RowsOf(SaveFile)) {
        SetBarProgress(prgBAR[row], CurBytes, MaxBytes);
        lblLABEL[row]->setText(QStringLiteral("%1 of %2...").arg(CurBytes).arg(MaxBytes));
    }
}

void UpdateWindow::downloadFailed(const QString& SaveFile)
{
    failed_.insert(SaveFile);
}

void UpdateWindow::downloadCompleted(qint64, const QString& SaveFile)
{
    const bool received = !failed_.contains(SaveFile);
    for (const int row : RowsOf(SaveFile)) {
        lblLABEL[row]->setText(received ? kDone : kFailed);
        SetBarColor(prgBAR[row], received ? kGreen : kRed);
    }
    if (SaveFile == installerPath_)
        installerReceived_ = received;
    ended_.insert(SaveFile);

    // Both rows must have ended, and both transfers too: in a folder whose path holds "update"
    // the driver's end alone would otherwise offer an installer that is still on its way.
    auto rowEnded = [](QLabel* label) { return label->text() == kDone || label->text() == kFailed; };
    if (rowEnded(lblLABEL[0]) && rowEnded(lblLABEL[1]) && ended_.contains(installerPath_) && ended_.contains(driverPath_)) {
        cmdInstall->setEnabled(true);
        cmdInstall->setFocus();
    }
}

void UpdateWindow::installClicked()
{
    // Failure style: "Error : number : description" with the program's title; the window stays.
    showOnFailure(
        [&] {
            if (!installerReceived_ || !fileExists(installerPath_)) {
                prompter_.ask(QStringLiteral("The update could not be downloaded."), BoxIcon::Information, BoxButtons::Ok);
                close();
                return;
            }
            MakeExecutable(installerPath_);
            shell_.startProgram(installerPath_);
            endProgram_();
        },
        [&](int number, const QString& description) {
            prompter_.ask(QStringLiteral("Error : %1 : %2").arg(number).arg(description), BoxIcon::None, BoxButtons::Ok,
                          QStringLiteral("Torvane"));
        });
}

} // namespace torvane
