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
    void lowerAndUpper_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("lower");
        QTest::addColumn<QString>("upper");
        QTest::newRow("extension too") << "ReadMe.TXT" << "readme.txt" << "README.TXT";
        QTest::newRow("only letters change") << "a1-_ (B)[c].7z" << "a1-_ (b)[c].7z" << "A1-_ (B)[C].7Z";
        QTest::newRow("accented") << "Ärger ÉTÉ.odt" << "ärger été.odt" << "ÄRGER ÉTÉ.ODT";
        QTest::newRow("sharp s grows") << "straße" << "straße" << "STRASSE";
        // Bytes that are not UTF-8 stay put between the letters around them, a lead byte cut short too.
        QTest::newRow("stray bytes") << decodeName("\xc3" "a\xff" "B \xe9.\xc3\xa9\xfe")
                                     << decodeName("\xc3" "a\xff" "b \xe9.\xc3\xa9\xfe")
                                     << decodeName("\xc3" "A\xff" "B \xe9.\xc3\x89\xfe");
    }
    void lowerAndUpper()
    {
        QFETCH(QString, name);
        QFETCH(QString, lower);
        QFETCH(QString, upper);
        QCOMPARE(lowerCase(name), lower);
        QCOMPARE(upperCase(name), upper);
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

    void properCase_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("proper");
        QTest::newRow("words") << "MY REPORT.TXT" << "My Report.txt";
        QTest::newRow("digit starts a word") << "2nd file 1abc" << "2nd File 1abc";
        // Only the space and the control characters below start a word.
        QTest::newRow("no other separators") << "DON'T A.B-C_D [E] {F} <G> (H) I\u00a0J"
                                             << "Don't A.b-c_d [e] {f} <g> (h) I\u00a0j";
        QTest::newRow("control separators") << QString::fromUtf8("a\tb\nc\vd\fe\rf") + QChar(0) + QStringLiteral("g")
                                            << QString::fromUtf8("A\tB\nC\vD\fE\rF") + QChar(0) + QStringLiteral("G");
        // A word's capital is one character: the title form where a letter has one.
        QTest::newRow("title form") << "ßa ǆx ﬁle" << "ßa ǅx ﬁle";
        QTest::newRow("accented word start") << "élan VITAL" << "Élan Vital";
        // U+10428 / U+10400: a letter outside the basic plane, written as a surrogate pair.
        QTest::newRow("surrogate pairs") << "\U00010428\U00010428 \U00010428" << "\U00010400\U00010428 \U00010400";
        QTest::newRow("stray byte first") << decodeName("\xff" "ab CD.TXT") << decodeName("\xff" "ab Cd.txt");
        QTest::newRow("stray byte starts a word") << decodeName("ab \xfe" "cd") << decodeName("Ab \xfe" "cd");
        QTest::newRow("stray byte beside UTF-8") << decodeName("caf\xe9 \xc3\xa9t\xc3\xa9")
                                                 << decodeName("Caf\xe9 \xc3\x89t\xc3\xa9");
    }
    void properCase()
    {
        QFETCH(QString, name);
        QFETCH(QString, proper);
        QCOMPARE(torvane::properCase(proper), proper);   // a second run changes nothing
        QCOMPARE(torvane::properCase(name), proper);
        QCOMPARE(convertCase(name, CaseChoice::Proper), proper);
    }

    void parenRule_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("fixed");
        QTest::newRow("doubled parenthesis") << "((a).txt" << "((A).txt";
        QTest::newRow("only right after it") << "( a) (1a).txt" << "( a) (1a).txt";
        QTest::newRow("two groups") << "A (b) (x).txt" << "A (B) (X).txt";
        QTest::newRow("after proper case") << "Notes (old).txt" << "Notes (Old).txt";
        QTest::newRow("at the start") << "(final) Plan.doc" << "(Final) Plan.doc";
        QTest::newRow("basic latin after ( only") << "[a] {b} (é) (ж).txt" << "[a] {b} (é) (ж).txt";
        QTest::newRow("every letter") << "(a(b(c(m(y(z" << "(A(B(C(M(Y(Z";
    }
    void parenRule()
    {
        QFETCH(QString, name);
        QFETCH(QString, fixed);
        applyParenRule(name);
        QCOMPARE(name, fixed);
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

    void decodeKeepsEveryByte_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("escapes");
        QTest::newRow("ascii") << QByteArray("plain.txt") << 0;
        QTest::newRow("four-byte") << QByteArray("\xf0\x9f\x98\x80.png") << 0;
        QTest::newRow("latin-1 byte") << QByteArray("caf\xe9.txt") << 1;
        QTest::newRow("lone continuation") << QByteArray("\x80\xbf") << 2;
        QTest::newRow("cut short") << QByteArray("a\xe2\x82") << 2;
        QTest::newRow("overlong slash") << QByteArray("\xc0\xaf") << 2;
        QTest::newRow("encoded surrogate") << QByteArray("\xed\xa0\x80") << 3;
        QTest::newRow("above U+10FFFF") << QByteArray("\xf4\x90\x80\x80") << 4;
        QTest::newRow("pair then escape") << QByteArray("\xf0\x90\x90\xa8\xdc") << 1;
    }
    void decodeKeepsEveryByte()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, escapes);
        const QString text = decodeName(bytes);
        QCOMPARE(encodeName(text), bytes);
        QCOMPARE(text.count(QChar(0xFFFD)), 0);
        int lone = 0;
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text.at(i).isLowSurrogate() && !(i > 0 && text.at(i - 1).isHighSurrogate()))
                ++lone;
        }
        QCOMPARE(lone, escapes);
    }
};

int runCaseRulesTests(int argc, char** argv)
{
    CaseRulesTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "CaseRulesTest.moc"
