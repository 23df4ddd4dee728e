#pragma once

#include <QString>
#include <QWidget>

namespace torvane {

class HttpClient;
class Prompter;

// Fetches web addresses into local files without blocking its window. A transfer is named by
// the file that receives it, and every event carries that name. The file is replaced only by a
// complete body: it is written beside the target and renamed over it.
class DownloadControl final : public QWidget {
    Q_OBJECT
public:
    DownloadControl(HttpClient& http, Prompter& prompter, QWidget* parent = nullptr);

    // Starts a fresh transfer of `url` into `SaveFile` and returns at once. An address that
    // cannot be started shows a "Warning" box and raises no event.
    void beginDownload(const QString& url, const QString& SaveFile);
    // 32 × 32 pixels.
    void fitSize();

signals:
    // Only while the length is known.
    void downloadProgress(qint64 CurBytes, qint64 MaxBytes, const QString& SaveFile);
    // The file was not replaced: the transfer failed, stopped short, had no known length, or
    // the body could not be saved.
    void downloadError(const QString& SaveFile);
    // Last event of a transfer; MaxBytes is the announced length, 0 when none was announced.
    void downloadComplete(qint64 MaxBytes, const QString& SaveFile);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void onProgress(qint64 received, qint64 total, const QString& SaveFile);
    void onFinished(const QByteArray& body, qint64 announced, bool ok, const QString& SaveFile);
    void warn(const char* method, int number, const QString& description);

    HttpClient& http_;
    Prompter& prompter_;
};

// Writes `body` beside `path` and renames it over `path`; false, with `path` untouched, when
// that cannot be done.
bool saveWhole(const QString& path, const QByteArray& body);

} // namespace torvane
