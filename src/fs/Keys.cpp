#include "fs/Keys.h"

namespace torvane {

QByteArray folderKey(const QByteArray& path)
{
    return path;
}

QByteArray driveKey(const QByteArray& mountPath)
{
    QByteArray key = mountPath;
    while (key.size() > 1 && key.endsWith('/'))
        key.chop(1);
    if (!key.endsWith('/'))
        key.append('/');
    return key;
}

QByteArray joinPath(const QByteArray& parent, const QByteArray& name)
{
    if (parent.endsWith('/'))
        return parent + name;
    return parent + '/' + name;
}

QByteArray lastComponent(const QByteArray& path)
{
    QByteArray p = path;
    while (p.size() > 1 && p.endsWith('/'))
        p.chop(1);
    if (p == "/")
        return {};
    const qsizetype slash = p.lastIndexOf('/');
    return slash < 0 ? p : p.mid(slash + 1);
}

QString displayName(const QByteArray& bytes)
{
    const QString text = QString::fromUtf8(bytes);
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        // Direction overrides would let a name turn the rest of its line around on screen.
        const bool bidiControl = u == 0x200e || u == 0x200f || (u >= 0x202a && u <= 0x202e) || (u >= 0x2066 && u <= 0x2069);
        if (bidiControl) {
            out.append(QStringLiteral("\\u%1").arg(int(u), 4, 16, QLatin1Char('0')));
            continue;
        }
        // C1 controls (NEL among them) and the line and paragraph separators break lines too.
        const bool lineBreaking = (u >= 0x80 && u <= 0x9f) || u == 0x2028 || u == 0x2029;
        if (lineBreaking) {
            out.append(u <= 0xff ? QStringLiteral("\\x%1").arg(int(u), 2, 16, QLatin1Char('0'))
                                 : QStringLiteral("\\u%1").arg(int(u), 4, 16, QLatin1Char('0')));
            continue;
        }
        if (u >= 0x20 && u != 0x7f) {
            out.append(c);
            continue;
        }
        switch (u) {
        case '\n': out.append(QLatin1String("\\n")); break;
        case '\t': out.append(QLatin1String("\\t")); break;
        case '\r': out.append(QLatin1String("\\r")); break;
        default: out.append(QStringLiteral("\\x%1").arg(int(u), 2, 16, QLatin1Char('0'))); break;
        }
    }
    return out;
}

} // namespace torvane
