#include "rename/CaseRules.h"
#include "rename/ReplaceText.h"

#include <QLocale>
#include <QScopeGuard>
#include <QTest>

using namespace torvane;

namespace {

QString replaced(QString text, const char* search, const char* replacement)
{
    replaceText(text, QString::fromUtf8(search), QString::fromUtf8(replacement));
    return text;
}

} // namespace

class CaseRulesTest : public QObject {
    Q_OBJECT

private slots:
    // Each row: a name, its lower case and its upper case.
    void lowerAndUpper()
    {
        const QStringList rows[] = {
            {"ReadMe.TXT", "readme.txt", "README.TXT"},
            {"a1-_ (B)[c].7z", "a1-_ (b)[c].7z", "A1-_ (B)[C].7Z"},   // only letters change
            {"Ärger ÉTÉ.odt", "ärger été.odt", "ÄRGER ÉTÉ.ODT"},
            {"straße", "straße", "STRASSE"},
            // Bytes that are not UTF-8 stay put between the letters around them, a lead byte cut short too.
            {decodeName("\xc3" "a\xff" "B \xe9.\xc3\xa9\xfe"), decodeName("\xc3" "a\xff" "b \xe9.\xc3\xa9\xfe"),
             decodeName("\xc3" "A\xff" "B \xe9.\xc3\x89\xfe")},
        };
        for (const QStringList& row : rows)
            QCOMPARE((QStringList{row[0], lowerCase(row[0]), upperCase(row[0])}), row);
    }

    // The user's locale maps the letters: Turkish has a dotted and a dotless i in both cases.
    void turkishLocale()
    {
        const QLocale previous;
        QLocale::setDefault(QLocale(QLocale::Turkish, QLocale::Turkey));
        const auto restore = qScopeGuard([previous] { QLocale::setDefault(previous); });
        QCOMPARE(lowerCase(QStringLiteral("KIRMIZI İPEK.INI")), QStringLiteral("kırmızı ipek.ını"));
        QCOMPARE(upperCase(QStringLiteral("kırmızı ipek.ini")), QStringLiteral("KIRMIZI İPEK.İNİ"));
        QCOMPARE(torvane::properCase(QStringLiteral("İSTANBUL ILIK.txt")), QStringLiteral("İstanbul Ilık.txt"));
        QCOMPARE(torvane::properCase(QStringLiteral("istanbul ılık")), QStringLiteral("İstanbul Ilık"));
    }

    void properCase()
    {
        const std::pair<QString, QString> rows[] = {
            {"MY REPORT.TXT", "My Report.txt"},
            {"2nd file 1abc", "2nd File 1abc"},
            // Only the space and the control characters below start a word.
            {"DON'T A.B-C_D [E] {F} <G> (H) I\u00a0J", "Don't A.b-c_d [e] {f} <g> (h) I\u00a0j"},
            {QString::fromUtf8("a\tb\nc\vd\fe\rf") + QChar(0) + QStringLiteral("g"),
             QString::fromUtf8("A\tB\nC\vD\fE\rF") + QChar(0) + QStringLiteral("G")},
            // A word's capital is one character: the title form where a letter has one.
            {"ßa ǆx ﬁle", "ßa ǅx ﬁle"},
            {"élan VITAL", "Élan Vital"},
            // U+10428 / U+10400: a letter outside the basic plane, written as a surrogate pair.
            {"\U00010428\U00010428 \U00010428", "\U00010400\U00010428 \U00010400"},
            {decodeName("\xff" "ab CD.TXT"), decodeName("\xff" "ab Cd.txt")},
            {decodeName("ab \xfe" "cd"), decodeName("Ab \xfe" "cd")},   // a stray byte starts no capital
            {decodeName("caf\xe9 \xc3\xa9t\xc3\xa9"), decodeName("Caf\xe9 \xc3\x89t\xc3\xa9")},
        };
        for (const auto& [name, proper] : rows) {
            // A second run changes nothing.
            const QStringList got{torvane::properCase(name), torvane::properCase(proper), convertCase(name, CaseChoice::Proper)};
            QCOMPARE(got, QStringList(3, proper));
        }
    }

    void parenRule()
    {
        const QStringList names{"((a).txt", "( a) (1a).txt", "A (b) (x).txt", "Notes (old).txt", "(final) Plan.doc",
                                "[a] {b} (é) (ж).txt", "(a(b(c(m(y(z"};
        QStringList fixed;
        for (QString name : names) {
            applyParenRule(name);
            fixed << name;
        }
        // Only a basic Latin letter right after "(" is raised, however often.
        QCOMPARE(fixed, (QStringList{"((A).txt", "( a) (1a).txt", "A (B) (X).txt", "Notes (Old).txt", "(Final) Plan.doc",
                                     "[a] {b} (é) (ж).txt", "(A(B(C(M(Y(Z"}));
    }

    void replaceTextCases()
    {
        QCOMPARE(replaced("a(b", "", "x"), QStringLiteral("a(b"));
        QCOMPARE(replaced("aXbXXc", "X", "--"), QStringLiteral("a--b----c"));
        QCOMPARE(replaced("(A(a", "(a", "(B"), QStringLiteral("(A(B"));
        QCOMPARE(replaced("aaa", "aa", "b"), QStringLiteral("ba"));
        // A replacement that holds its search text made the old loop run for ever; one pass ends.
        QCOMPARE(replaced("xax(a", "a", "aa"), QStringLiteral("xaax(aa"));
    }

    // Every byte string comes back whole; each byte outside valid UTF-8 becomes one lone low surrogate.
    void decodeKeepsEveryByte()
    {
        // Plain, a four-byte character, a Latin-1 byte, lone continuations, a sequence cut short, an
        // overlong "/", an encoded surrogate, a code point above U+10FFFF, a pair then a stray byte.
        const QByteArray bytes[] = {"plain.txt", "\xf0\x9f\x98\x80.png", "caf\xe9.txt", "\x80\xbf", "a\xe2\x82",
                                    "\xc0\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\xf0\x90\x90\xa8\xdc"};
        QList<int> escapes;
        for (const QByteArray& b : bytes) {
            const QString text = decodeName(b);
            QCOMPARE(encodeName(text), b);
            QCOMPARE(text.count(QChar(0xFFFD)), 0);
            int lone = 0;
            for (qsizetype i = 0; i < text.size(); ++i) {
                if (text.at(i).isLowSurrogate() && !(i > 0 && text.at(i - 1).isHighSurrogate()))
                    ++lone;
            }
            escapes << lone;
        }
        QCOMPARE(escapes, (QList<int>{0, 0, 1, 2, 2, 2, 3, 4, 1}));
    }
};

int runCaseRulesTests(int argc, char** argv)
{
    CaseRulesTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "CaseRulesTest.moc"
