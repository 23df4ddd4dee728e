// The rename window's text work: the case rules on names of any bytes, and ReplaceText.

#include "FuzzSupport.h"

#include "rename/CaseRules.h"
#include "rename/ReplaceText.h"

#include <cstdint>

using namespace torvane;

namespace {

int escapedBytes(const QString& s)
{
    // decodeName's escapes, as they stand in the text (a low surrogate right after a high one is
    // half of a real character).
    int n = 0;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const char16_t u = s.at(i).unicode();
        if (u >= 0xDC80 && u <= 0xDCFF && !(i > 0 && s.at(i - 1).isHighSurrogate()))
            ++n;
    }
    return n;
}

void checkCase(const QByteArray& bytes)
{
    const QString name = decodeName(bytes);
    FUZZ_CHECK(encodeName(name) == bytes, bytes);
    const int escapes = escapedBytes(name);
    for (const CaseChoice choice : {CaseChoice::Lower, CaseChoice::Upper, CaseChoice::Proper}) {
        const QString out = convertCase(name, choice);
        // The bytes that are not text come through untouched, and the result is a name again.
        FUZZ_CHECK(escapedBytes(out) == escapes, bytes);
        const QByteArray encoded = encodeName(out);
        FUZZ_CHECK(decodeName(encoded) == out, bytes);
        FUZZ_CHECK(convertCase(out, choice) == out || choice == CaseChoice::Upper, bytes);
    }
    // Names of plain ASCII letters change exactly as the C locale says.
    bool ascii = true;
    for (const char c : bytes)
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (ascii) {
        FUZZ_CHECK(encodeName(lowerCase(name)) == bytes.toLower(), bytes);
        FUZZ_CHECK(encodeName(upperCase(name)) == bytes.toUpper(), bytes);
    }

    QString paren = name;
    applyParenRule(paren);
    for (qsizetype i = 0; i + 1 < paren.size(); ++i)
        FUZZ_CHECK(!(paren.at(i) == QLatin1Char('(') && paren.at(i + 1) >= QLatin1Char('a') && paren.at(i + 1) <= QLatin1Char('z')),
                   encodeName(paren));
    FUZZ_CHECK(paren.size() == name.size(), bytes);
}

void checkReplace(const QString& text, const QString& search, const QString& replacement)
{
    QString out = text;
    replaceText(out, search, replacement);
    if (search.isEmpty()) {
        FUZZ_CHECK(out == text, text.toUtf8());
        return;
    }
    // Qt's own replace does the same single left-to-right pass.
    QString expected = text;
    expected.replace(search, replacement, Qt::CaseSensitive);
    FUZZ_CHECK(out == expected, out.toUtf8());
    // When no character of the replacement can be part of the search text, nothing of it is left.
    bool shared = replacement.isEmpty();
    for (const QChar c : replacement)
        shared = shared || search.contains(c);
    if (!shared)
        FUZZ_CHECK(!out.contains(search), out.toUtf8());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::ensureApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QList<QByteArray> parts = fuzz::slices(reinterpret_cast<const char*>(data), size, 3);
    checkCase(parts[0]);
    checkReplace(decodeName(parts[0]), decodeName(parts[1]), decodeName(parts[2]));
    return 0;
}
