#include "scan/StatusText.h"

#include "fs/Keys.h"
#include "scan/FolderNode.h"

#include <QDateTime>
#include <QHash>
#include <QLocale>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>

namespace torvane {

namespace {
const QString kCrLf = QStringLiteral("\r\n");
}

StatusBox::StatusBox(QPlainTextEdit* view) : view_(view)
{
    view_->setUndoRedoEnabled(false);   // an undo history of every status line would grow without bound
    lines_.push_back(QString());
}

QString StatusBox::text() const
{
    qsizetype size = 0;
    for (const QString& l : lines_)
        size += l.size() + 2;
    QString out;
    out.reserve(size);
    bool first = true;
    for (const QString& l : lines_) {
        if (!first)
            out += kCrLf;
        out += l;
        first = false;
    }
    return out;
}

void StatusBox::setText(const QString& text)
{
    pending_.clear();
    const QStringList parts = text.split(kCrLf);
    lines_.assign(parts.begin(), parts.end());
    QStringList shown = parts;
    view_->setPlainText(shown.join(QLatin1Char('\n')));
}

void StatusBox::prependLine(const QString& line)
{
    lines_.push_front(line);
    // The view takes new lines in batches: one document edit per batch instead of one per line,
    // which a long listing could not afford.
    if (pending_.isEmpty())
        QTimer::singleShot(0, view_, [this] { flush(); });
    pending_.append(line);
}

void StatusBox::flush()
{
    if (pending_.isEmpty())
        return;
    QString batch;
    for (auto it = pending_.crbegin(); it != pending_.crend(); ++it) {
        batch += *it;
        batch += QLatin1Char('\n');
    }
    pending_.clear();
    QTextCursor cursor(view_->document());
    cursor.movePosition(QTextCursor::Start);
    cursor.insertText(batch);
}

void StatusBox::completeScan(const QString& stamp)
{
    flush();
    lines_.push_front(QString());
    lines_.push_front(QStringLiteral("Any File/Folder/Permission errors will be listed below."));
    lines_.push_front(QStringLiteral("Drive scan is complete."));
    lines_.push_back(stamp);

    QTextCursor cursor(view_->document());
    cursor.movePosition(QTextCursor::Start);
    cursor.insertText(QStringLiteral("Drive scan is complete."));
    cursor.insertBlock();
    cursor.insertText(QStringLiteral("Any File/Folder/Permission errors will be listed below."));
    cursor.insertBlock();
    cursor.insertBlock();
    cursor.movePosition(QTextCursor::End);
    cursor.insertBlock();
    cursor.insertText(stamp);
}

void StatusBox::repaint()
{
    flush();
    view_->viewport()->repaint();
}

QString scanTimeStamp(const QDateTime& when)
{
    return when.toString(QStringLiteral("MM/dd/yyyy@HH:mm:ss"));
}

QString accessTimeText(const QDateTime& when)
{
    // QLocale asks the C library for the zone's name on every call, and the C library reads the
    // zone file each time: a listing of many folders cannot afford that, so the formats are
    // taken once and the zone's name once per day.
    static const QLocale locale;
    static const QString dateFormat = locale.dateFormat(QLocale::ShortFormat);
    static const QString timeFormat = locale.timeFormat(QLocale::LongFormat);
    static QHash<qint64, QString> zoneNames;
    const QString date = locale.toString(when.date(), dateFormat);
    if (when.time() == QTime(0, 0))
        return date;
    QString format = timeFormat;
    if (format.contains(QLatin1Char('t'))) {
        const qint64 day = when.date().toJulianDay();
        auto it = zoneNames.find(day);
        if (it == zoneNames.end())
            it = zoneNames.insert(day, when.timeZoneAbbreviation());
        QString quoted = *it;
        quoted.replace(QLatin1Char('\''), QLatin1String("''"));
        format.replace(QLatin1Char('t'), QLatin1Char('\'') + quoted + QLatin1Char('\''));
    }
    return date + QLatin1Char(' ') + locale.toString(when.time(), format);
}

QString readingLine(std::uint64_t sizeBytes, const QByteArray& name, const QDateTime& lastAccess)
{
    return QStringLiteral("Reading:  [ ") + mbText(sizeBytes) + QStringLiteral(" MB] ") + displayName(name)
        + QStringLiteral(" [Last Accessed: ") + accessTimeText(lastAccess) + QStringLiteral("]");
}

QString errorLine(const QByteArray& name, int number, const QString& description)
{
    return QStringLiteral("Error: ") + displayName(name) + QString::number(number) + QStringLiteral(" : ") + description;
}

} // namespace torvane
