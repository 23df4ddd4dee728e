#include "rename/CaseRules.h"

#include "rename/ReplaceText.h"

#include <QLocale>

namespace torvane {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

// A lone low surrogate in the range decodeName gives bytes 0x80..0xFF. The low half of a real
// pair always follows its high half, so it is never taken for an escape.
bool isEscapedByte(const QString& s, qsizetype i)
{
    const char16_t u = s.at(i).unicode();
    return u >= kEscapeBase + 0x80 && u <= kEscapeBase + 0xFF && !(i > 0 && s.at(i - 1).isHighSurrogate());
}

// The code point of a strict UTF-8 sequence at p[i] (no overlong forms, no surrogates, nothing
// above U+10FFFF) and its length, or length 0 when the bytes there are not one.
struct Decoded {
    char32_t codePoint = 0;
    int length = 0;
};

Decoded decodeSequence(const unsigned char* p, qsizetype i, qsizetype n)
{
    const unsigned char b = p[i];
    int length = 0;
    char32_t cp = 0;
    char32_t smallest = 0;
    if ((b & 0xE0) == 0xC0) {
        length = 2, cp = b & 0x1F, smallest = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
        length = 3, cp = b & 0x0F, smallest = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
        length = 4, cp = b & 0x07, smallest = 0x10000;
    } else {
        return {};
    }
    if (i + length > n)
        return {};
    for (int k = 1; k < length; ++k) {
        if ((p[i + k] & 0xC0) != 0x80)
            return {};
        cp = (cp << 6) | (p[i + k] & 0x3F);
    }
    if (cp < smallest || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return {};
    return {cp, length};
}

// Calls onText for each run of real text and onByte for each escaped byte between them, in order.
template <typename OnText, typename OnByte>
void splitAtEscapes(const QString& name, OnText onText, OnByte onByte)
{
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (!isEscapedByte(name, i))
            continue;
        onText(name.mid(runStart, i - runStart));
        onByte(name.at(i));
        runStart = i + 1;
    }
    onText(name.mid(runStart));
}

// Applies a case mapping to each run of real text, keeping the escaped bytes between runs.
template <typename Map>
QString mapTextRuns(const QString& name, Map map)
{
    QString out;
    out.reserve(name.size());
    splitAtEscapes(name, [&](const QString& run) { out += map(run); }, [&](QChar escape) { out += escape; });
    return out;
}

bool isWordSeparator(QChar c)
{
    switch (c.unicode()) {
    case 0: case 9: case 10: case 11: case 12: case 13: case 32:
        return true;
    default:
        return false;
    }
}

} // namespace

QString decodeName(const QByteArray& name)
{
    const auto* p = reinterpret_cast<const unsigned char*>(name.constData());
    const qsizetype n = name.size();
    QString out;
    out.reserve(n);
    for (qsizetype i = 0; i < n;) {
        if (p[i] < 0x80) {
            out.append(QChar(char16_t(p[i])));
            ++i;
            continue;
        }
        const Decoded d = decodeSequence(p, i, n);
        if (d.length == 0) {
            out.append(QChar(char16_t(kEscapeBase + p[i])));
            ++i;
        } else if (d.codePoint >= 0x10000) {
            out.append(QChar(QChar::highSurrogate(d.codePoint)));
            out.append(QChar(QChar::lowSurrogate(d.codePoint)));
            i += d.length;
        } else {
            out.append(QChar(char16_t(d.codePoint)));
            i += d.length;
        }
    }
    return out;
}

QByteArray encodeName(const QString& name)
{
    QByteArray out;
    out.reserve(name.size());
    splitAtEscapes(
        name, [&](const QString& run) { out += run.toUtf8(); },
        [&](QChar escape) { out += char(escape.unicode() - kEscapeBase); });
    return out;
}

QString lowerCase(const QString& name)
{
    const QLocale locale;
    return mapTextRuns(name, [&](const QString& run) { return locale.toLower(run); });
}

QString upperCase(const QString& name)
{
    const QLocale locale;
    return mapTextRuns(name, [&](const QString& run) { return locale.toUpper(run); });
}

// The capital that starts a word: one character for one, so proper case never lengthens a
// name and applying it twice changes nothing ("ß" stays, "ǆ" becomes the title form "ǅ", not
// "Ǆ"). The locale's own mapping is kept where it is one character too (a Turkish dotted İ).
static QString wordInitial(const QLocale& locale, const QString& letter)
{
    const char32_t cp = letter.size() == 2 ? QChar::surrogateToUcs4(letter.at(0), letter.at(1)) : letter.at(0).unicode();
    const char32_t title = QChar::toTitleCase(cp);
    if (title == QChar::toUpper(cp)) {
        const QString upper = locale.toUpper(letter);
        if (upper.toUcs4().size() == 1)
            return upper;
    }
    return QString::fromUcs4(&title, 1);
}

QString properCase(const QString& name)
{
    const QLocale locale;
    const QString lower = lowerCase(name);
    QString out;
    out.reserve(lower.size());
    bool wordStart = true;
    for (qsizetype i = 0; i < lower.size();) {
        if (isEscapedByte(lower, i)) {
            out += lower.at(i++);
            wordStart = false;
            continue;
        }
        const bool pair = lower.at(i).isHighSurrogate() && i + 1 < lower.size() && lower.at(i + 1).isLowSurrogate();
        const QString letter = lower.mid(i, pair ? 2 : 1);
        out += wordStart ? wordInitial(locale, letter) : letter;
        wordStart = isWordSeparator(lower.at(i));
        i += letter.size();
    }
    return out;
}

QString convertCase(const QString& name, CaseChoice choice)
{
    switch (choice) {
    case CaseChoice::Lower: return lowerCase(name);
    case CaseChoice::Upper: return upperCase(name);
    case CaseChoice::Proper: return properCase(name);
    }
    return name;
}

const std::array<ParenPair, 26>& parenRuleTable()
{
    static const std::array<ParenPair, 26> table = [] {
        std::array<ParenPair, 26> t;
        for (int k = 0; k < 26; ++k) {
            t[k] = {QStringLiteral("(") + QChar(char16_t('a' + k)), QStringLiteral("(") + QChar(char16_t('A' + k))};
        }
        return t;
    }();
    return table;
}

void applyParenRule(QString& name)
{
    for (const ParenPair& pair : parenRuleTable())
        replaceText(name, pair.first, pair.second);
}

} // namespace torvane
