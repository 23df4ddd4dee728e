// The update path up to its window: version texts, the HTTP client and DownloadControl on a
// loopback server, and the check from the version file to the box, over HTTP and TLS.
#include "net/HttpClient.h"
#include "support/FakePrompter.h"
#include "support/FakeShell.h"
#include "support/Files.h"
#include "support/TestHttpServer.h"
#include "update/DownloadControl.h"
#include "update/UpdateCheck.h"
#include "update/Version.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QScopeGuard>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cerrno>

using namespace torvane;
using namespace torvane::test;
using namespace std::chrono_literals;
using Reply = TestHttpServer::Reply;
using Key = std::optional<VersionKey>;

namespace {

constexpr auto kShort = 300ms;
const QByteArray kBase = "/apps/Ostrel/torvane/";
const QByteArray kOld(9000, 'o');

// One DownloadControl over the real client and a loopback server, writing into a fresh folder;
// its events are logged in order, as text.
struct Downloads {
    explicit Downloads(std::chrono::milliseconds stallTimeout = HttpClient::kFetchTimeout) : http(stallTimeout)
    {
        const auto log = [this](const QString& event, const QString& file) { events << event + QFileInfo(file).fileName(); };
        QObject::connect(&control, &DownloadControl::downloadProgress, [log](qint64 cur, qint64 max, const QString& f) {
            log(QStringLiteral("progress %1/%2 ").arg(cur).arg(max), f);
        });
        QObject::connect(&control, &DownloadControl::downloadError,
                         [log](const QString& f) { log(QStringLiteral("error "), f); });
        QObject::connect(&control, &DownloadControl::downloadComplete,
                         [log](qint64 max, const QString& f) { log(QStringLiteral("complete %1 ").arg(max), f); });
    }
    QString file(const QString& name) const { return dir.filePath(name); }
    QStringList files() const { return QDir(dir.path()).entryList(QDir::Files); }
    void begin(const QUrl& url, const QString& target) { control.beginDownload(url.toString(), file(target)); }
    bool waitForEnd() { return QTest::qWaitFor([&] { return !events.isEmpty() && events.last().startsWith(u"complete "); }, 5000); }

    TestHttpServer server;
    QTemporaryDir dir;
    NetworkHttpClient http;
    FakePrompter prompter;
    QStringList events;
    DownloadControl control{http, prompter};
};

// The text of the one box a check against `base` showed, its offer answered `answer`. The fetches
// run events too, so a poll closes the window a Yes opens once both files are in, or after 10 s.
QString checkAnswer(const QUrl& base, const QString& appFolder, BoxAnswer answer = BoxAnswer::No)
{
    NetworkHttpClient http;
    FakePrompter prompter;
    FakeShell shell;
    prompter.answerNext(answer);
    const QDeadlineTimer deadline(10s);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        const QStringList both{QStringLiteral("update.exe"), QStringLiteral("driverpack.exe")};
        if (QWidget* window = QApplication::activeModalWidget();
            window && (QDir(appFolder).entryList(both, QDir::Files).size() == 2 || deadline.hasExpired()))
            window->close();
    });
    poll.start(10);
    checkForUpdates(nullptr, http, prompter, shell, appFolder, QStringLiteral("2.0.22"), base, [] {});
    return prompter.boxes.size() == 1 ? prompter.boxes[0].text : QStringLiteral("%1 boxes").arg(prompter.boxes.size());
}

} // namespace

class UpdateTest : public QObject {
    Q_OBJECT

private slots:
    // --- What a version text from the server reads as, and whether it offers an update over 2.0.22.
    void versionKey_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<Key>("expected");
        QTest::addColumn<bool>("newer");
        QTest::newRow("blanks around and CR LF") << "  2.0.23 \r\n" << Key(VersionKey{2, 0, 23}) << true;
        QTest::newRow("three-digit revision") << "2.0.100" << Key(VersionKey{2, 0, 100}) << true;
        QTest::newRow("leading zeros") << "02.00.010" << Key(VersionKey{2, 0, 10}) << false;
        QTest::newRow("shorter and newer") << "3" << Key(VersionKey{3}) << true;
        QTest::newRow("trailing zero part") << "2.0.22.0" << Key(VersionKey{2, 0, 22, 0}) << false;
        QTest::newRow("longer and newer") << "2.0.22.1" << Key(VersionKey{2, 0, 22, 1}) << true;
        // The limit counts what is left once the dots are gone, and what stays besides digits.
        QTest::newRow("15 digits, 26 with dots") << "1.2.3.4.5.6.7.8.9.10.11.12"
                                                 << Key(VersionKey{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}) << false;
        QTest::newRow("16 digits") << "1234567890123456" << Key() << false;
        QTest::newRow("15 digits between CR LF pairs") << "\r\n1234567.89012345\r\n"
                                                       << Key(VersionKey{1234567, 89012345}) << true;
        QTest::newRow("empty") << "" << Key() << false;
        QTest::newRow("letter in a part") << "2.0.2a" << Key() << false;
        QTest::newRow("blank inside") << "2. 0.23" << Key() << false;
    }
    void versionKey()
    {
        QFETCH(QString, text);
        QFETCH(Key, expected);
        QFETCH(bool, newer);
        QCOMPARE(versionKeyOf(text), expected);
        QCOMPARE(expected && isNewerVersion(*expected, VersionKey{2, 0, 22}), newer);
    }

    // --- The HTTP client. Only a successful reply's body counts, a redirect is followed only
    // within its scheme, and the time-out is a total deadline: a trickle still ends at it.
    void fetchReturnsTheBodyOfASuccessfulReplyOnly()
    {
        TestHttpServer server;
        server.serve("/v", {.body = "2.0.23\r\n", .parts = 3, .partDelayMs = 10});
        server.serve("/err", {.status = 500, .body = "<html>Server Error</html>"});
        server.serve("/relative", {.location = "/v"});
        server.serve("/to-https", {.location = "https://127.0.0.1:" + QByteArray::number(server.serverPort()) + "/v"});
        server.serve("/slow", {.body = QByteArray(40, 'x'), .parts = 40, .partDelayMs = 50});
        NetworkHttpClient http;
        const auto fetch = [&](const QByteArray& path) { return http.fetch(server.url(path), kShort); };
        QCOMPARE(fetch("/v"), std::optional<QByteArray>("2.0.23\r\n"));
        QCOMPARE(fetch("/relative"), std::optional<QByteArray>("2.0.23\r\n"));
        QCOMPARE(fetch("/err"), std::nullopt);
        QCOMPARE(fetch("/to-https"), std::nullopt);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(fetch("/slow"), std::nullopt);
        QVERIFY2(clock.elapsed() >= 250 && clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(server.connections, server.requests.size());   // none for a TLS hello: https was not followed
        QCOMPARE(server.requests[0].headers.value("cache-control"), QByteArray("no-cache"));   // no cache may answer
        QCOMPARE(server.requests[0].headers.value("pragma"), QByteArray("no-cache"));
    }

    // --- DownloadControl over the real client. Only a whole body of the announced length
    // replaces the target (an older, longer file); whatever goes wrong leaves it as it was, and
    // the events say so.
    void downloadReplacesTheTargetWithAWholeBodyOnly_data()
    {
        const QByteArray installer(4000, 'i');
        QTest::addColumn<Reply>("reply");
        QTest::addColumn<int>("announced");   // in every progress event and the last one; 0: none
        QTest::addColumn<QByteArray>("target");
        QTest::newRow("whole") << Reply{.body = installer, .parts = 4, .partDelayMs = 20} << 4000 << installer;
        QTest::newRow("no length") << Reply{.body = installer, .contentLength = false, .parts = 3, .partDelayMs = 10}
                                   << 0 << kOld;
        QTest::newRow("cut short") << Reply{.body = installer, .cutAfter = 40} << 4000 << kOld;
        QTest::newRow("error status") << Reply{.status = 403, .body = "<html>Forbidden</html>"} << 22 << kOld;
        QTest::newRow("empty body") << Reply{} << 0 << kOld;
        QTest::newRow("stalled") << Reply{.silent = true} << 0 << kOld;
    }
    void downloadReplacesTheTargetWithAWholeBodyOnly()
    {
        QFETCH(Reply, reply);
        QFETCH(int, announced);
        QFETCH(QByteArray, target);
        Downloads d(kShort);
        d.server.serve("/f", reply);
        writeFile(d.file("f.exe"), kOld);
        d.begin(d.server.url("/f"), "f.exe");
        QVERIFY(d.waitForEnd());
        const QString complete = QStringLiteral("complete %1 f.exe").arg(announced);
        const QString before = target == kOld ? QStringLiteral("error f.exe") : QStringLiteral("progress 4000/4000 f.exe");
        QCOMPARE(d.events.mid(d.events.size() - 2), (QStringList{before, complete}));
        const QStringList progress = d.events.mid(0, d.events.size() - 2);
        QCOMPARE(progress, announced ? progress.filter(QStringLiteral("/%1 f.exe").arg(announced)) : QStringList());
        QCOMPARE(readFile(d.file("f.exe")), target);
        QCOMPARE(d.files(), QStringList{QStringLiteral("f.exe")});   // no temporary left
        // A compressed body could never match the announced length.
        QCOMPARE(d.server.requests.value(0).headers.value("accept-encoding"), QByteArray("identity"));
    }

    // A malformed address warns and raises no event; a target that cannot be written is an error.
    void downloadThatCannotBeginOrBeSavedSaysSo()
    {
        Downloads d;
        for (const char* url : {"http://[::1", "127.0.0.1/apps/update", "ftp://127.0.0.1/update"})
            d.control.beginDownload(QString::fromLatin1(url), d.file("f.exe"));
        QCOMPARE(d.prompter.boxes.size(), 3);
        const QString warning = QString::number(EINVAL) + QStringLiteral(":Error in call to BeginDownload().\r\n\r\nError Description: ");
        for (const FakePrompter::Box& box : d.prompter.boxes)
            QVERIFY2(box.text.startsWith(warning), qPrintable(box.text));
        QTest::qWait(50);
        QVERIFY(d.events.isEmpty());

        d.server.serve("/f", {.body = "installer"});
        // A folder in the target's place cannot be written over, even by root.
        QVERIFY(QDir().mkpath(d.file("update.exe/inside")));
        d.begin(d.server.url("/f"), "update.exe");
        QVERIFY(d.waitForEnd());
        QCOMPARE(d.events.mid(d.events.size() - 2), (QStringList{"error update.exe", "complete 9 update.exe"}));
        QCOMPARE(d.files(), QStringList());
    }

    // --- The check, from the version file to the box. The running version is no update: its
    // notes are not even asked for. A newer one, taken, opens the update window, which downloads
    // both files; empty notes are still offered.
    void checkOffersANewerVersionAndYesOpensTheUpdateWindow()
    {
        TestHttpServer server;
        server.serve(kBase + "app.ver", {.body = "2.0.22\r\n"});
        QTemporaryDir dir;
        QCOMPARE(checkAnswer(server.url(kBase), dir.path()), QStringLiteral("There are no updates at this time."));
        QCOMPARE(server.requests.size(), 1);

        server.serve(kBase + "app.ver", {.body = "2.0.23"});
        server.serve(kBase + "update", {.body = "installer bytes", .parts = 2, .partDelayMs = 10});
        server.serve(kBase + "driver", {.body = "driver bytes"});
        QCOMPARE(checkAnswer(server.url(kBase), dir.path(), BoxAnswer::Yes), QString());
        QCOMPARE(readFile(dir.filePath(QStringLiteral("update.exe"))), QByteArray("installer bytes"));
        QCOMPARE(readFile(dir.filePath(QStringLiteral("driverpack.exe"))), QByteArray("driver bytes"));
    }

    // A server whose certificate nobody vouches for is no update server: the check takes the
    // fetch for failed and says there are no updates, and a download from it replaces nothing.
    // Trusted, the same server is believed, so the refusal is the certificate's alone.
    void untrustedCertificateIsAFailedFetch()
    {
        if (!QSslSocket::supportsSsl())
            QSKIP("this Qt has no TLS backend");
        QTemporaryDir dir;
        QString error;
        const std::optional<SelfSigned> identity = makeSelfSigned(dir.path(), &error);
        QVERIFY2(identity, qPrintable(error));   // scripts/test installs openssl
        TestHttpServer server(identity);
        server.serve(kBase + "app.ver", {.body = "9.9.9"});
        server.serve(kBase + "updates.txt", {.body = "Everything is new"});
        server.serve(kBase + "update", {.body = "installer"});
        // A fresh client each time: one that has refused a server goes on refusing it.
        const auto download = [&] {
            Downloads fresh;
            writeFile(fresh.file("update.exe"), "old installer");
            fresh.begin(server.url(kBase + "update"), "update.exe");
            return fresh.waitForEnd() ? fresh.events.last() + u' ' + readFile(fresh.file("update.exe")) : QString();
        };
        QCOMPARE(checkAnswer(server.url(kBase), dir.path()), QStringLiteral("There are no updates at this time."));
        QCOMPARE(download(), QStringLiteral("complete 0 update.exe old installer"));

        const QSslConfiguration saved = QSslConfiguration::defaultConfiguration();
        const auto restore = qScopeGuard([saved] { QSslConfiguration::setDefaultConfiguration(saved); });
        QSslConfiguration trusting = saved;
        trusting.addCaCertificate(identity->certificate);
        QSslConfiguration::setDefaultConfiguration(trusting);
        QCOMPARE(checkAnswer(server.url(kBase), dir.path()), QStringLiteral("Everything is new"));
        QCOMPARE(download(), QStringLiteral("complete 9 update.exe installer"));
    }
};

QTEST_MAIN(UpdateTest)
#include "tst_update.moc"
