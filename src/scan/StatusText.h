#pragma once

#include <QString>
#include <QStringList>
#include <QByteArray>
#include <QDateTime>

#include <cstdint>

#include <deque>

class QPlainTextEdit;

namespace torvane {

// The status box txtStatus: a running log, newest line first, lines joined by CR LF. New lines go
// in at the top without rebuilding the text, so a long scan costs linear time.
class StatusBox {
public:
    explicit StatusBox(QPlainTextEdit* view);

    // The whole text as the program defines it (CR LF between lines).
    QString text() const;
    void setText(const QString& text);
    // line + CR LF + previous
    void prependLine(const QString& line);
    // heading + CR LF + CR LF + previous + CR LF + stamp
    void completeScan(const QString& stamp);
    // Brings the view up to date and repaints it now.
    void repaint();

    QPlainTextEdit* view() const { return view_; }

private:
    QPlainTextEdit* view_;
    void flush();

    std::deque<QString> lines_;   // text() is lines_ joined by CR LF
    QStringList pending_;         // newest last; not in the view yet
};

// "MM/DD/YYYY@HH:NN:SS"
QString scanTimeStamp(const QDateTime& when);
// The user's short date and long time; midnight gives the date alone.
QString accessTimeText(const QDateTime& when);

QString readingLine(std::uint64_t sizeBytes, const QByteArray& name, const QDateTime& lastAccess);
QString errorLine(const QByteArray& name, int number, const QString& description);

} // namespace torvane
