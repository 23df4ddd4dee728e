#include "FakeRenameHost.h"
#include "desktop/TrashTestKit.h"

#include "rename/CaseRules.h"
#include "rename/RenameFile.h"
#include "rename/ReplaceText.h"

#include <QLocale>
#include <QProcess>
#include <QScopeGuard>

using namespace torvane;
using namespace torvane::test;
using namespace torvane::trashtest;

namespace {

bool succeeds(const QString& program, const QStringList& arguments)
{
    QProcess p;
    p.start(program, arguments);
    return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

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

class RenameFileTest : public QObject {
    Q_OBJECT

private slots:
    // One rename in a folder of files that each hold their own name. A failure puts its line on
    // top of the status text and leaves every file as it was: never another file replaced, even a
    // hard link of the same file, and no temporary name behind.
    void renames()
    {
        const QByteArray stray("Caf\xe9 \xff" "MENU.TXT"), strayLower("caf\xe9 \xff" "menu.txt");
        const struct {
            QByteArrayList files;
            bool hardLink;   // the second file is a link of the first
            QByteArray oldName, newName;
            QByteArrayList after;   // empty: the rename fails
        } cases[] = {
            {{"ABC.TXT"}, false, "/ABC.TXT", "/abc.txt", {"abc.txt"}},
            {{"x.txt"}, false, "//x.txt", "//X.TXT", {"X.TXT"}},   // doubled separators
            {{"a b"}, false, "/a b", "/A B.txt", {"A B.txt"}},
            {{"Same.txt"}, false, "/Same.txt", "/Same.txt", {"Same.txt"}},
            {{stray}, false, '/' + stray, '/' + strayLower, {strayLower}},
            {{"a", "A"}, true, "/a", "/A", {}},   // onto a hard link of itself
            {{}, false, "/gone.txt", "/GONE.TXT", {}},
            {{}, false, "/gone", "/gone", {}},
            {{}, false, '/' + stray, "/x", {}},
        };
        for (const auto& c : cases) {
            QTemporaryDir dir;
            const QByteArray folder = bytesOf(dir);
            for (const QByteArray& name : c.files) {
                if (c.hardLink && name != c.files.first())
                    QCOMPARE(::link((folder + '/' + c.files.first()).constData(), (folder + '/' + name).constData()), 0);
                else
                    writeFile(folder + '/' + name, name);
            }
            FakeRenameHost host;
            host.lines = QStringList{"older line"};
            renameFile(folder + c.oldName, folder + c.newName, host);
            const bool fails = c.after.isEmpty();
            QStringList lines{"older line"};
            // A name that is not UTF-8 shows readably, its stray bytes replaced.
            if (fails)
                lines.prepend(" Cannot access " + QString::fromUtf8(folder + c.oldName) + '.');
            QCOMPARE(host.lines, lines);
            const QByteArray firstContent = c.files.value(0);
            QByteArrayList files = c.files;
            std::sort(files.begin(), files.end());
            QCOMPARE(filesIn(folder), fails ? files : c.after);
            for (const QByteArray& name : fails ? files : c.after)
                QCOMPARE(readBytes(folder + '/' + name), fails && !c.hardLink ? name : firstContent);
            for (const QByteArray& name : filesIn(folder))
                std::remove((folder + '/' + name).constData());   // QTemporaryDir cannot, if not UTF-8
        }
    }

    // No call takes a path past PATH_MAX whole; there the file calls and renames work, and
    // refuse, as anywhere else.
    void pathsPastPathMax()
    {
        QTemporaryDir dir;
        const QByteArray name(200, 'p');
        // QTemporaryDir cannot remove what is deeper than PATH_MAX.
        const auto removeDeep = qScopeGuard([&] { removeTree(AT_FDCWD, bytesOf(dir) + '/' + name); });
        const QByteArray deep = makeChain(bytesOf(dir), QByteArrayList(25, name));
        const int fd = openFolder(deep, O_RDONLY);
        QVERIFY(fd >= 0);
        const auto closeDeep = qScopeGuard([fd] { ::close(fd); });
        QVERIFY(deep.size() > PATH_MAX);
        // The same folder by a short path, for the test's own reads and writes.
        const QByteArray near = "/proc/self/fd/" + QByteArray::number(fd);
        QCOMPARE(::mkdirat(fd, "sub", 0755), 0);
        writeFile(near + "/a", "first");
        writeFile(near + "/b", "second");

        const QList<bool> answers{isFolder(deep),
                                  isFolder(deep + "/sub/"),
                                  isFolder(deep + "/a"),
                                  entryExists(deep + "/a"),
                                  entryExists(deep + "/gone"),
                                  entryExists(deep + "/a/below-a-file"),
                                  folderListsName(deep, "a"),
                                  folderListsName(deep + '/', "A"),
                                  sameInode(deep + "/a", deep + "/sub/../a"),
                                  sameInode(deep + "/a", deep + "/b")};
        QCOMPARE(answers, (QList<bool>{true, true, false, true, false, false, true, false, true, false}));
        QCOMPARE(readFolderEntries(deep).folders, std::vector<QByteArray>{"sub"});
        QCOMPARE(filesIn(deep), (QByteArrayList{"a", "b"}));

        FakeRenameHost host;
        renameFile(deep + "/a", deep + "/c", host);
        QVERIFY(host.lines.isEmpty());
        QCOMPARE(filesIn(deep), (QByteArrayList{"b", "c"}));
        QCOMPARE(readBytes(near + "/c"), QByteArray("first"));

        renameFile(deep + "/c", deep + "/b", host);
        QCOMPARE(host.lines, QStringList{" Cannot access " + QString::fromUtf8(deep) + "/c."});
        QCOMPARE(readBytes(near + "/b"), QByteArray("second"));
        QCOMPARE(readBytes(near + "/c"), QByteArray("first"));

        // Between two folders, each past PATH_MAX.
        renameNoReplace(deep + "/c", deep + "/sub/c");
        QCOMPARE(readBytes(near + "/sub/c"), QByteArray("first"));
        QVERIFY_THROWS_EXCEPTION(PlatformError, renameNoReplace(deep + "/sub/c", deep + "/missing/c"));
        QCOMPARE(filesIn(deep), QByteArrayList{"b"});
    }

    // On file systems that ignore letter case but keep it: FAT and exFAT images (exFAT through the
    // kernel, which gives every spelling the file's inode, or through FUSE, which numbers each
    // spelling apart), where the machine lets the test make and mount them. A case-only change is
    // stored; another file's name in another spelling is refused. And on a read-only volume, where
    // every rename fails but an unchanged name is no rename at all and passes without a line.
    void onMountedFileSystems_data()
    {
        QTest::addColumn<QString>("mkfs");   // none: a tmpfs, made read-only once filled
        QTest::addColumn<QStringList>("mountOptions");
        QTest::addColumn<QStringList>("lines");   // %1: the mount point
        QTest::addColumn<QByteArrayList>("after");
        const QStringList loop{"-o", "loop"};
        const QStringList fatLines{" Cannot access %1/abc.txt."};
        const QByteArrayList fatAfter{"Other.txt", "abc.txt"};
        QTest::newRow("FAT") << "mkfs.vfat" << loop << fatLines << fatAfter;
        QTest::newRow("exFAT") << "mkfs.exfat" << loop << fatLines << fatAfter;
        QTest::newRow("exFAT on FUSE") << "mkfs.exfat" << QStringList{"-t", "exfat-fuse"} + loop << fatLines << fatAfter;
        QTest::newRow("read-only") << QString() << QStringList{"-t", "tmpfs", "-o", "size=1m"}
                                   << QStringList{" Cannot access %1/abc.txt.", " Cannot access %1/ABC.TXT."}
                                   << QByteArrayList{"ABC.TXT", "Other.txt"};
    }
    void onMountedFileSystems()
    {
        QFETCH(QString, mkfs);
        QFETCH(QStringList, mountOptions);
        QFETCH(QStringList, lines);
        QFETCH(QByteArrayList, after);
        if (::geteuid() != 0)
            QSKIP("mounting needs root");
        QTemporaryDir dir;
        const QString mountPoint = dir.path() + "/mnt";
        QString source = QStringLiteral("tmpfs");
        QVERIFY(QDir().mkpath(mountPoint));
        if (!mkfs.isEmpty()) {
            source = dir.path() + "/fs.img";
            QFile img(source);
            QVERIFY(img.open(QIODevice::WriteOnly) && img.resize(8 * 1024 * 1024));
            img.close();
            if (!succeeds(mkfs, {source}))
                QSKIP(qPrintable(mkfs + " is not available"));
        }
        if (!succeeds("mount", mountOptions + QStringList{source, mountPoint}))
            QSKIP("this machine cannot mount it");
        const auto unmount = qScopeGuard([&] { succeeds("umount", {mountPoint}); });
        const QByteArray folder = QFile::encodeName(mountPoint);
        writeFile(folder + "/ABC.TXT", "abc");
        writeFile(folder + "/Other.txt", "other");
        if (mkfs.isEmpty())
            QVERIFY(succeeds("mount", {"-o", "remount,ro", mountPoint}));

        FakeRenameHost host;
        renameFile(folder + "/ABC.TXT", folder + "/abc.txt", host);
        renameFile(folder + "/abc.txt", folder + "/OTHER.TXT", host);
        renameFile(folder + "/Other.txt", folder + "/Other.txt", host);
        lines.replaceInStrings(QStringLiteral("%1"), mountPoint);
        QCOMPARE(host.lines, lines);
        QCOMPARE(filesIn(folder), after);
        // Found by the old spelling on every one of them: case-insensitive, or never renamed.
        QCOMPARE(readBytes(folder + "/ABC.TXT"), QByteArray("abc"));
        QCOMPARE(readBytes(folder + "/Other.txt"), QByteArray("other"));
    }
};

int runRenameFileTests(int argc, char** argv)
{
    CaseRulesTest caseRules;
    RenameFileTest renames;
    return QTest::qExec(&caseRules, argc, argv) + QTest::qExec(&renames, argc, argv);
}

#include "RenameFileTest.moc"
