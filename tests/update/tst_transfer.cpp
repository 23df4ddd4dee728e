// The HTTP client and the DownloadControl against a loopback server.
#include "net/HttpClient.h"
#include "support/FakePrompter.h"
#include "support/TestHttpServer.h"
#include "update/DownloadControl.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <memory>

using namespace torvane;
using namespace torvane::test;
using namespace std::chrono_literals;

namespace {

constexpr auto kShort = 300ms;

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// Every event of one DownloadControl, in order, as text.
struct EventLog {
    explicit EventLog(DownloadControl& d)
    {
        QObject::connect(&d, &DownloadControl::downloadProgress, [this](qint64 cur, qint64 max, const QString& f) {
            events << QStringLiteral("progress %1/%2 %3").arg(cur).arg(max).arg(QFileInfo(f).fileName());
        });
        QObject::connect(&d, &DownloadControl::downloadError, [this](const QString& f) {
            events << QStringLiteral("error %1").arg(QFileInfo(f).fileName());
        });
        QObject::connect(&d, &DownloadControl::downloadComplete, [this](qint64 max, const QString& f) {
            events << QStringLiteral("complete %1 %2").arg(max).arg(QFileInfo(f).fileName());
            ++completed;
        });
    }
    bool waitFor(int count) { return QTest::qWaitFor([&] { return completed >= count; }, 5000); }

    QStringList events;
    int completed = 0;
};

// One DownloadControl over the real client and a loopback server, writing into a fresh folder.
struct Downloads {
    explicit Downloads(std::chrono::milliseconds stallTimeout = HttpClient::kFetchTimeout) : http(stallTimeout) {}
    QString file(const QString& name) const { return dir.filePath(name); }
    void begin(const QByteArray& path, const QString& target) { control.beginDownload(server.url(path).toString(), file(target)); }
    QStringList files(const QString& folder = QString()) const { return QDir(file(folder)).entryList(QDir::Files); }

    TestHttpServer server;
    QTemporaryDir dir;
    NetworkHttpClient http;
    FakePrompter prompter;
    DownloadControl control{http, prompter};
    EventLog log{control};
};

} // namespace

class TransferTest : public QObject {
    Q_OBJECT

private slots:
    void fetchReturnsTheBodyOfASuccessfulReplyOnly()
    {
        TestHttpServer server;
        server.serve("/v", body("2.0.23\r\n", 3, 10));
        server.serve("/err", [] { auto r = body("<html>Server Error</html>"); r.status = 500; return r; }());
        NetworkHttpClient http;
        QCOMPARE(http.fetch(server.url("/v"), kShort), std::optional<QByteArray>("2.0.23\r\n"));
        QCOMPARE(http.fetch(server.url("/err"), kShort), std::nullopt);
        QCOMPARE(http.fetch(server.url("/missing"), kShort), std::nullopt);
        QCOMPARE(http.fetch(QUrl(QStringLiteral("http://127.0.0.1:%1/v").arg(closedPort())), kShort), std::nullopt);
        // Nothing may be answered from a cache on the way.
        QCOMPARE(server.requests[0].headers.value("cache-control"), QByteArray("no-cache"));
        QCOMPARE(server.requests[0].headers.value("pragma"), QByteArray("no-cache"));
    }

    void fetchEndsAtTheTimeOut_data()
    {
        QTest::addColumn<TestHttpServer::Reply>("reply");
        QTest::newRow("never answers") << [] { TestHttpServer::Reply r; r.silent = true; return r; }();
        // A trickle that keeps the connection alive still ends at the deadline.
        QTest::newRow("trickles") << body(QByteArray(40, 'x'), 40, 50);
    }
    void fetchEndsAtTheTimeOut()
    {
        QFETCH(TestHttpServer::Reply, reply);
        TestHttpServer server;
        server.serve("/slow", reply);
        NetworkHttpClient http;
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(http.fetch(server.url("/slow"), kShort), std::nullopt);
        QVERIFY2(clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(clock.elapsed() >= 250);
    }

    void redirectsStayWithinTheScheme()
    {
        TestHttpServer server;
        server.serve("/v", body("2.1.0"));
        server.serve("/relative", [] { TestHttpServer::Reply r; r.location = "/v"; return r; }());
        server.serve("/absolute", [&] { TestHttpServer::Reply r; r.location = server.url("/v").toEncoded(); return r; }());
        server.serve("/to-https", [&] {
            TestHttpServer::Reply r;
            r.location = "https://127.0.0.1:" + QByteArray::number(server.port()) + "/v";
            return r;
        }());
        NetworkHttpClient http;
        QCOMPARE(http.fetch(server.url("/relative"), kShort), std::optional<QByteArray>("2.1.0"));
        QCOMPARE(http.fetch(server.url("/absolute"), kShort), std::optional<QByteArray>("2.1.0"));
        QCOMPARE(http.fetch(server.url("/to-https"), kShort), std::nullopt);
        QTest::qWait(100);
        QCOMPARE(server.notHttp, 0);   // no TLS hello: the redirect was not followed
    }

    void downloadWithKnownLengthReportsProgressAndReplacesTheFileExactly()
    {
        Downloads d;
        const QByteArray installer(4000, 'i');
        d.server.serve("/update", body(installer, 4, 20));
        writeFile(d.file("update.exe"), QByteArray(9000, 'o'));   // an older, longer file

        d.begin("/update", "update.exe");
        QVERIFY(d.log.events.isEmpty());   // nothing before control returns to the loop
        QVERIFY(d.log.waitFor(1));
        QVERIFY(d.log.events.size() >= 2);
        QCOMPARE(d.log.events.last(), QStringLiteral("complete 4000 update.exe"));
        QCOMPARE(d.log.events[d.log.events.size() - 2], QStringLiteral("progress 4000/4000 update.exe"));
        for (const QString& e : d.log.events.mid(0, d.log.events.size() - 1))
            QVERIFY2(e.startsWith(QStringLiteral("progress ")) && e.contains(QStringLiteral("/4000 ")), qPrintable(e));
        QCOMPARE(readFile(d.file("update.exe")), installer);
        QCOMPARE(d.files(), QStringList{QStringLiteral("update.exe")});
        QCOMPARE(d.server.requests[0].headers.value("cache-control"), QByteArray("no-cache"));
        // A compressed body could never match the announced length.
        QCOMPARE(d.server.requests[0].headers.value("accept-encoding"), QByteArray("identity"));
        QVERIFY(d.prompter.boxes.isEmpty());
    }

    // Whatever goes wrong, the target keeps what it held and the events say so.
    void failedTransfersLeaveTheTargetAsItWas_data()
    {
        QTest::addColumn<TestHttpServer::Reply>("reply");
        QTest::addColumn<QString>("progressLength");   // what every progress event announces; empty: none
        QTest::addColumn<QStringList>("ending");
        TestHttpServer::Reply noLength = body("installer", 3, 10);
        noLength.contentLength = false;
        TestHttpServer::Reply cut = body(QByteArray(100, 'c'));
        cut.cutAfter = 40;
        TestHttpServer::Reply status = body("<html>Forbidden</html>");
        status.status = 403;
        TestHttpServer::Reply empty = body("");
        QTest::newRow("no length") << noLength << QString() << QStringList{"error f.exe", "complete 0 f.exe"};
        QTest::newRow("cut short") << cut << "/100 " << QStringList{"error f.exe", "complete 100 f.exe"};
        QTest::newRow("error status") << status << "/22 " << QStringList{"error f.exe", "complete 22 f.exe"};
        QTest::newRow("empty body") << empty << QString() << QStringList{"error f.exe", "complete 0 f.exe"};
    }
    void failedTransfersLeaveTheTargetAsItWas()
    {
        QFETCH(TestHttpServer::Reply, reply);
        QFETCH(QString, progressLength);
        QFETCH(QStringList, ending);
        Downloads d;
        d.server.serve("/f", reply);

        QDir().mkpath(d.file("new"));
        d.begin("/f", "new/f.exe");
        QVERIFY(d.log.waitFor(1));
        QCOMPARE(d.log.events.mid(d.log.events.size() - 2), ending);
        const QStringList progress = d.log.events.mid(0, d.log.events.size() - 2);
        QCOMPARE(progress.isEmpty(), progressLength.isEmpty());
        for (const QString& e : progress)
            QVERIFY2(e.contains(progressLength), qPrintable(e));
        QVERIFY(QDir(d.file("new")).isEmpty());   // no file, no temporary left

        QDir().mkpath(d.file("old"));
        writeFile(d.file("old/f.exe"), "the old one");
        d.begin("/f", "old/f.exe");
        QVERIFY(d.log.waitFor(2));
        QCOMPARE(readFile(d.file("old/f.exe")), QByteArray("the old one"));
        QCOMPARE(d.files("old"), QStringList{QStringLiteral("f.exe")});
    }

    void unwritableTargetIsLeftAsItWas()
    {
        Downloads d;
        d.server.serve("/f", body("installer"));
        // A folder in the target's place cannot be written over, even by root.
        QVERIFY(QDir().mkpath(d.file("update.exe/inside")));
        d.begin("/f", "update.exe");
        QVERIFY(d.log.waitFor(1));
        QCOMPARE(d.log.events.mid(d.log.events.size() - 2), (QStringList{"error update.exe", "complete 9 update.exe"}));
        QVERIFY(QFileInfo(d.file("update.exe/inside")).isDir());
        QCOMPARE(d.files(), QStringList());
    }

    void twoTransfersInterleaveUnderTheirOwnNames()
    {
        Downloads d;
        d.server.serve("/update", body(QByteArray(600, 'u'), 6, 40));
        d.server.serve("/driver", body(QByteArray(500, 'd'), 5, 40));
        d.begin("/update", "update.exe");
        d.begin("/driver", "driverpack.exe");
        QVERIFY(d.log.waitFor(2));

        QStringList owners;   // which transfer each progress event was about, runs collapsed
        for (const QString& e : d.log.events) {
            if (!e.startsWith(QStringLiteral("progress ")))
                continue;
            QVERIFY2(e.endsWith(e.contains(QStringLiteral("/600 ")) ? QStringLiteral(" update.exe") : QStringLiteral(" driverpack.exe")),
                     qPrintable(e));
            const QString owner = e.section(u' ', 2);
            if (owners.isEmpty() || owners.last() != owner)
                owners << owner;
        }
        QVERIFY2(owners.size() >= 3, qPrintable(d.log.events.join(u'\n')));
        QVERIFY(d.log.events.contains(QStringLiteral("complete 600 update.exe")));
        QVERIFY(d.log.events.contains(QStringLiteral("complete 500 driverpack.exe")));
        QCOMPARE(readFile(d.file("update.exe")), QByteArray(600, 'u'));
        QCOMPARE(readFile(d.file("driverpack.exe")), QByteArray(500, 'd'));
    }

    void closingTheHolderAbandonsItsTransfers()
    {
        TestHttpServer server;
        server.serve("/f", body(QByteArray(1000, 'f'), 10, 30));
        QTemporaryDir dir;
        NetworkHttpClient http;
        FakePrompter prompter;
        auto downloader = std::make_unique<DownloadControl>(http, prompter);
        EventLog log(*downloader);
        const QString target = dir.filePath(QStringLiteral("f.exe"));
        downloader->beginDownload(server.url("/f").toString(), target);
        QVERIFY(QTest::qWaitFor([&] { return !log.events.isEmpty(); }, 5000));

        downloader.reset();
        const QStringList seen = log.events;
        QTest::qWait(400);   // longer than the rest of the body takes
        QCOMPARE(log.events, seen);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList());
    }

    void stalledDownloadFails()
    {
        Downloads d(kShort);
        TestHttpServer::Reply silent;
        silent.silent = true;
        d.server.serve("/f", silent);
        d.begin("/f", "f.exe");
        QVERIFY(d.log.waitFor(1));
        QCOMPARE(d.log.events, (QStringList{"error f.exe", "complete 0 f.exe"}));
    }

    void malformedAddressWarns_data()
    {
        QTest::addColumn<QString>("url");
        QTest::newRow("garbage") << "http://[::1";
        QTest::newRow("no scheme") << "127.0.0.1/apps/update";
        QTest::newRow("other scheme") << "ftp://127.0.0.1/update";
        QTest::newRow("empty") << "";
    }
    void malformedAddressWarns()
    {
        QFETCH(QString, url);
        Downloads d;
        d.control.beginDownload(url, d.file("f.exe"));
        QCOMPARE(d.prompter.boxes.size(), 1);
        const auto& box = d.prompter.boxes[0];
        QVERIFY2(box.text.startsWith(QString::number(EINVAL) + QStringLiteral(":Error in call to BeginDownload().\r\n\r\nError Description: ")),
                 qPrintable(box.text));
        QCOMPARE(box.title, QStringLiteral("Warning"));
        QCOMPARE(box.icon, BoxIcon::Critical);
        QCOMPARE(box.buttons, BoxButtons::Ok);
        QTest::qWait(50);
        QVERIFY(d.log.events.isEmpty());
    }
};

QTEST_MAIN(TransferTest)
#include "tst_transfer.moc"
