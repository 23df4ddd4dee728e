#include "update/FileExists.h"
#include "update/Version.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace torvane;

Q_DECLARE_METATYPE(std::optional<torvane::VersionKey>)

class VersionTest : public QObject {
    Q_OBJECT

private slots:
    void versionKey_data()
    {
        using Key = std::optional<VersionKey>;
        QTest::addColumn<QString>("text");
        QTest::addColumn<Key>("expected");
        QTest::newRow("plain") << "2.0.22" << Key(VersionKey{2, 0, 22});
        QTest::newRow("blanks around and CR LF") << "  2.0.23 \r\n" << Key(VersionKey{2, 0, 23});
        QTest::newRow("lone LF") << "2.0.23\n" << Key(VersionKey{2, 0, 23});
        QTest::newRow("leading zeros") << "02.00.010" << Key(VersionKey{2, 0, 10});
        // The limit counts what is left once the dots are gone, and what stays besides digits.
        QTest::newRow("15 digits") << "123456789012345" << Key(VersionKey{123456789012345ULL});
        QTest::newRow("15 digits, 26 with dots") << "1.2.3.4.5.6.7.8.9.10.11.12"
                                                 << Key(VersionKey{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
        QTest::newRow("16 digits") << "1234567890123456" << Key();
        QTest::newRow("16 digits with dots") << "1.2.3.4.5.6.7.890123456" << Key();
        QTest::newRow("15 digits and a lone LF") << "123456789012345\n" << Key();
        QTest::newRow("15 digits between CR LF pairs") << "\r\n1234567.89012345\r\n" << Key(VersionKey{1234567, 89012345});
        QTest::newRow("empty") << "" << Key();
        QTest::newRow("error text") << "Not Found" << Key();
        QTest::newRow("short error text") << "Error" << Key();
        QTest::newRow("letter in a part") << "2.0.2a" << Key();
        QTest::newRow("blank inside") << "2. 0.23" << Key();
        QTest::newRow("empty part") << "2..0" << Key();
        QTest::newRow("trailing dot") << "2.0." << Key();
    }
    void versionKey()
    {
        QFETCH(QString, text);
        QFETCH(std::optional<VersionKey>, expected);
        QCOMPARE(versionKeyOf(text), expected);
    }

    void newer_data()
    {
        QTest::addColumn<QString>("offered");
        QTest::addColumn<bool>("newer");
        QTest::newRow("equal") << "2.0.22" << false;
        QTest::newRow("next revision") << "2.0.23" << true;
        QTest::newRow("next minor") << "2.1.0" << true;
        QTest::newRow("three-digit revision") << "2.0.100" << true;
        QTest::newRow("one-digit revision") << "2.0.9" << false;
        QTest::newRow("shorter and newer") << "3" << true;
        QTest::newRow("trailing zero part") << "2.0.22.0" << false;
        QTest::newRow("longer and newer") << "2.0.22.1" << true;
    }
    void newer()
    {
        QFETCH(QString, offered);
        QFETCH(bool, newer);
        const auto key = versionKeyOf(offered);
        QVERIFY(key);
        QCOMPARE(isNewerVersion(*key, VersionKey{2, 0, 22}), newer);
    }

    void fileExistsOnlyForFiles()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString file = dir.filePath(QStringLiteral("update.exe"));
        QVERIFY(!fileExists(file));
        QFile empty(file);
        QVERIFY(empty.open(QIODevice::WriteOnly));
        empty.close();
        QVERIFY(fileExists(file));   // an empty file still has a length
        QVERIFY(!fileExists(dir.path()));
        QVERIFY(!fileExists(QString()));
        QVERIFY(!fileExists(dir.filePath(QStringLiteral("missing/update.exe"))));
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("gone")), dir.filePath(QStringLiteral("dangling"))));
        QVERIFY(!fileExists(dir.filePath(QStringLiteral("dangling"))));
    }
};

QTEST_GUILESS_MAIN(VersionTest)
#include "tst_version.moc"
