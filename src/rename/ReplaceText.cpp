#include "rename/ReplaceText.h"

#include "desktop/Events.h"
#include "desktop/BusyCursor.h"

namespace torvane {

void replaceText(QString& text, const QString& search, const QString& replacement)
{
    const BusyCursor busy;
    if (search.isEmpty())
        return;
    qsizetype from = 0;
    qsizetype at = text.indexOf(search, from, Qt::CaseSensitive);
    if (at < 0)
        return;
    QString result;
    for (; at >= 0; at = text.indexOf(search, from, Qt::CaseSensitive)) {
        result += QStringView(text).mid(from, at - from);
        result += replacement;
        from = at + search.size();
        letEventsRun();
    }
    result += QStringView(text).mid(from);
    text = result;
}

} // namespace torvane
