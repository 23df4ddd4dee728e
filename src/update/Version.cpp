#include "update/Version.h"

#include <QRegularExpression>

#include <algorithm>

namespace torvane {

QString collapseSpaces(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c == u' ' && (out.isEmpty() || out.back() == u' '))
            continue;
        out.append(c);
    }
    if (out.endsWith(u' '))
        out.chop(1);
    return out;
}

std::optional<VersionKey> versionKeyOf(const QString& text)
{
    static const QRegularExpression dotted(QStringLiteral("^[0-9]+(\\.[0-9]+)*$"));
    const QString withoutPairs = collapseSpaces(text).remove(QStringLiteral("\r\n"));
    // The limit holds for the server's text as a key: dots removed, anything else left in (a lone
    // LF, a blank). A long error page never counts; a version of many parts does. Fifteen digits
    // keep every part below 10^15, far inside 64 bits.
    if (QString(withoutPairs).remove(u'.').size() >= 16)
        return std::nullopt;
    const QString cleaned = withoutPairs.trimmed();
    if (!dotted.match(cleaned).hasMatch())
        return std::nullopt;
    VersionKey key;
    for (const QString& part : cleaned.split(u'.'))
        key.push_back(part.toULongLong());
    return key;
}

bool isNewerVersion(const VersionKey& candidate, const VersionKey& current)
{
    const std::size_t parts = std::max(candidate.size(), current.size());
    for (std::size_t i = 0; i < parts; ++i) {
        const std::uint64_t a = i < candidate.size() ? candidate[i] : 0;
        const std::uint64_t b = i < current.size() ? current[i] : 0;
        if (a != b)
            return a > b;
    }
    return false;
}

} // namespace torvane
