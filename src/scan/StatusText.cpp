#include "scan/StatusText.h"

#include "platform/Keys.h"
#include "scan/FolderNode.h"

#include <QDateTime>
#include <QLocale>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>

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
    const QStringList parts = text.split(kCrLf);
    lines_.assign(parts.begin(), parts.end());
    QStringList shown = parts;
    view_->setPlainText(shown.join(QLatin1Char('\n')));
}

void StatusBox::prependLine(const QString& line)
{
    lines_.push_front(line);
    QTextCursor cursor(view_->document());
    cursor.movePosition(QTextCursor::Start);
    cursor.insertText(line);
    cursor.insertBlock();
}

void StatusBox::completeScan(const QString& stamp)
{
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
    view_->viewport()->repaint();
}

QString scanTimeStamp(const QDateTime& when)
{
    return when.toString(QStringLiteral("MM/dd/yyyy@HH:mm:ss"));
}

QString accessTimeText(const QDateTime& when)
{
    const QLocale locale;
    const QString date = locale.toString(when.date(), QLocale::ShortFormat);
    if (when.time() == QTime(0, 0))
        return date;
    return date + QLatin1Char(' ') + locale.toString(when.time(), QLocale::LongFormat);
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
