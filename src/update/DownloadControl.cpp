#include "update/DownloadControl.h"

#include "net/HttpClient.h"
#include "desktop/Prompter.h"
#include "update/UpdateFailure.h"

#include <QPainter>
#include <QPolygon>
#include <QSaveFile>

namespace torvane {

namespace {
constexpr int kFaceSize = 32;
}

bool saveWhole(const QString& path, const QByteArray& body)
{
    // QSaveFile refuses a target that is a folder or an existing file it may not write, and
    // renames only on commit.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(body) != body.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

DownloadControl::DownloadControl(HttpClient& http, Prompter& prompter, QWidget* parent)
    : QWidget(parent), http_(http), prompter_(prompter)
{
    setObjectName(QStringLiteral("dwnLOADER"));
    fitSize();
}

void DownloadControl::beginDownload(const QString& url, const QString& SaveFile)
{
    // Failure style: a "Warning" box, then return.
    showOnFailure(
        [&] {
            HttpTransfer* transfer = http_.download(QUrl(url, QUrl::StrictMode), this);
            connect(transfer, &HttpTransfer::progress, this, [this, SaveFile](qint64 received, qint64 total) {
                onProgress(received, total, SaveFile);
            });
            connect(transfer, &HttpTransfer::finished, this,
                    [this, transfer, SaveFile](const QByteArray& body, qint64 announced, bool ok) {
                        transfer->deleteLater();
                        onFinished(body, announced, ok, SaveFile);
                    });
        },
        [&](int number, const QString& description) { warn("BeginDownload", number, description); });
}

void DownloadControl::fitSize()
{
    // Failure style: a "Warning" box, then return.
    showOnFailure([&] { setFixedSize(kFaceSize, kFaceSize); },
                [&](int number, const QString& description) { warn("SizeIt", number, description); });
}

void DownloadControl::warn(const char* method, int number, const QString& description)
{
    prompter_.ask(QStringLiteral("%1:Error in call to %2().\r\n\r\nError Description: %3")
                      .arg(number)
                      .arg(QLatin1String(method), description),
                  BoxIcon::Critical, BoxButtons::Ok, QStringLiteral("Warning"));
}

void DownloadControl::onProgress(qint64 received, qint64 total, const QString& SaveFile)
{
    if (total > 0)
        emit downloadProgress(received, total, SaveFile);
}

void DownloadControl::onFinished(const QByteArray& body, qint64 announced, bool ok, const QString& SaveFile)
{
    // Only a body of exactly the announced length may replace the file: a transfer cut short or
    // of unknown length could be anything.
    const bool complete = ok && announced > 0 && body.size() == announced;
    if (!complete || !saveWhole(SaveFile, body))
        emit downloadError(SaveFile);
    emit downloadComplete(announced > 0 ? announced : 0, SaveFile);
}

void DownloadControl::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (size() != QSize(kFaceSize, kFaceSize))
        fitSize();
}

void DownloadControl::paintEvent(QPaintEvent*)
{
    // A down arrow over a tray.
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 128));
    painter.drawPolygon(QPolygon({{12, 4}, {20, 4}, {20, 14}, {26, 14}, {16, 24}, {6, 14}, {12, 14}}));
    painter.setBrush(QColor(128, 128, 128));
    painter.drawRect(4, 26, 24, 3);
}

} // namespace torvane
