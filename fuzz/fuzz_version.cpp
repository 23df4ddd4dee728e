// The version text of the update check and collapseSpaces, on any text a server may send.

#include "FuzzSupport.h"

#include "update/Version.h"

#include <QStringList>

#include <cstdint>

using namespace torvane;

namespace {

void checkCollapse(const QString& text)
{
    const QString out = collapseSpaces(text);
    FUZZ_CHECK(!out.contains(QLatin1String("  ")), out.toUtf8());
    FUZZ_CHECK(!out.startsWith(QLatin1Char(' ')) && !out.endsWith(QLatin1Char(' ')), out.toUtf8());
    FUZZ_CHECK(collapseSpaces(out) == out, out.toUtf8());
    // Only blanks go; everything else stays, in order.
    QString a = text, b = out;
    FUZZ_CHECK(a.remove(QLatin1Char(' ')) == b.remove(QLatin1Char(' ')), out.toUtf8());
    // A blank stays exactly where a run of blanks stood between two other characters.
    FUZZ_CHECK(out.count(QLatin1Char(' ')) <= text.count(QLatin1Char(' ')), out.toUtf8());
}

void checkVersion(const QString& text, const QString& other)
{
    const std::optional<VersionKey> key = versionKeyOf(text);
    if (!key)
        return;
    FUZZ_CHECK(!key->empty(), text.toUtf8());
    // The numbers written back as a version text give the same key.
    QStringList parts;
    for (const std::uint64_t n : *key)
        parts << QString::number(n);
    const QString canonical = parts.join(QLatin1Char('.'));
    // The limit is on the digits: dots do not count.
    FUZZ_CHECK(QString(canonical).remove(QLatin1Char('.')).size() < 16, canonical.toUtf8());
    const std::optional<VersionKey> again = versionKeyOf(canonical);
    FUZZ_CHECK(again && *again == *key, canonical.toUtf8());
    // Every character kept was a digit or a dot of the text.
    for (const QChar c : canonical)
        FUZZ_CHECK(c == QLatin1Char('.') || (c >= QLatin1Char('0') && c <= QLatin1Char('9')), canonical.toUtf8());

    FUZZ_CHECK(!isNewerVersion(*key, *key), canonical.toUtf8());
    VersionKey padded = *key;
    padded.push_back(0);
    FUZZ_CHECK(!isNewerVersion(padded, *key) && !isNewerVersion(*key, padded), canonical.toUtf8());
    VersionKey bumped = *key;
    bumped.back() += 1;
    if (bumped.back() != 0)
        FUZZ_CHECK(isNewerVersion(bumped, *key) && !isNewerVersion(*key, bumped), canonical.toUtf8());
    if (const std::optional<VersionKey> second = versionKeyOf(other))
        FUZZ_CHECK(!(isNewerVersion(*key, *second) && isNewerVersion(*second, *key)), other.toUtf8());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QList<QByteArray> parts = fuzz::slices(reinterpret_cast<const char*>(data), size, 2);
    const QString text = QString::fromUtf8(parts[0]);
    const QString other = QString::fromUtf8(parts[1]);
    checkCollapse(text);
    // The same bytes as UTF-16, so lone surrogates and every code unit reach the code too.
    const QString raw = QString(reinterpret_cast<const QChar*>(data), qsizetype(size / 2));
    checkCollapse(raw);
    checkVersion(text, other);
    checkVersion(raw, text);
    return 0;
}
