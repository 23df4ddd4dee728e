// The update path: version texts, the HTTP client and DownloadControl on a loopback server, the
// update window over a fake client, and the check from the version file to the box, HTTP and TLS.
#include "net/HttpClient.h"
#include "support/ClippedCaptions.h"
#include "support/FakePrompter.h"
#include "support/FakeShell.h"
#include "support/TestHttpServer.h"
#include "support/TestTlsServer.h"
#include "update/DownloadControl.h"
#include "update/FileExists.h"
#include "update/UpdateCheck.h"
#include "update/UpdateWindow.h"
#include "update/Version.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <memory>

using namespace torvane;
using namespace torvane::test;
using namespace std::chrono_literals;
using Reply = TestHttpServer::Reply;
using Key = std::optional<VersionKey>;

namespace {

constexpr auto kShort = 300ms;
const QByteArray kBase = "/apps/Ostrel/torvane/";

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

// `reply` with `change` made to it.
template <class Change>
Reply changed(Reply reply, Change change)
{
    change(reply);
    return reply;
}

// One DownloadControl over the real client and a loopback server, writing into a fresh folder;
// its events are logged in order, as text.
struct Downloads {
    explicit Downloads(std::chrono::milliseconds stallTimeout = HttpClient::kFetchTimeout) : http(stallTimeout)
    {
        const auto log = [this](const QString& event, const QString& file) { events << event + QFileInfo(file).fileName(); };
        QObject::connect(control.get(), &DownloadControl::downloadProgress, [log](qint64 cur, qint64 max, const QString& f) {
            log(QStringLiteral("progress %1/%2 ").arg(cur).arg(max), f);
        });
        QObject::connect(control.get(), &DownloadControl::downloadError,
                         [log](const QString& f) { log(QStringLiteral("error "), f); });
        QObject::connect(control.get(), &DownloadControl::downloadComplete,
                         [log](qint64 max, const QString& f) { log(QStringLiteral("complete %1 ").arg(max), f); });
    }
    QString file(const QString& name) const { return dir.filePath(name); }
    QStringList files() const { return QDir(dir.path()).entryList(QDir::Files); }
    void begin(const QByteArray& path, const QString& target) { control->beginDownload(server.url(path).toString(), file(target)); }
    bool waitForEnd() { return QTest::qWaitFor([&] { return !events.isEmpty() && events.last().startsWith(u"complete "); }, 5000); }

    TestHttpServer server;
    QTemporaryDir dir;
    NetworkHttpClient http;
    FakePrompter prompter;
    QStringList events;
    std::unique_ptr<DownloadControl> control = std::make_unique<DownloadControl>(http, prompter);
};

// Hands out transfers that the test drives by emitting their signals.
class FakeHttpClient final : public HttpClient {
public:
    std::optional<QByteArray> fetch(const QUrl&, std::chrono::milliseconds) override { return std::nullopt; }
    HttpTransfer* download(const QUrl&, QObject* owner) override { return transfers.emplace_back(new HttpTransfer(owner)); }

    QList<QPointer<HttpTransfer>> transfers;
};

// One shown update window over fakes, in a fresh application folder holding `files`.
struct Rig {
    // The folder's path must hold neither row's word (the default temporary name holds "update").
    explicit Rig(const QMap<QString, QByteArray>& files = {}, const QString& subfolder = QString())
        : dir(QDir::tempPath() + QStringLiteral("/torvane-window-XXXXXX")),
          folder(subfolder.isEmpty() ? dir.path() : dir.filePath(subfolder))
    {
        QDir().mkpath(folder);
        for (auto file = files.begin(); file != files.end(); ++file)
            writeFile(path(file.key()), file.value());
        window = std::make_unique<UpdateWindow>(http, prompter, shell, folder,
                                             QUrl(QStringLiteral("https://127.0.0.1/apps/Ostrel/torvane/")),
                                             [this] { ++ended; });
        window->show();
    }

    // The window asks for the installer first; the addresses are the check's Yes test's.
    HttpTransfer* installer() const { return http.transfers.value(0); }
    HttpTransfer* driver() const { return http.transfers.value(1); }
    QLabel* status(int row) const { return window->findChild<QLabel*>(QStringLiteral("lblLABEL%1").arg(row)); }
    QProgressBar* bar(int row) const { return window->findChild<QProgressBar*>(QStringLiteral("prgBAR%1").arg(row)); }
    QPushButton* install() const { return window->findChild<QPushButton*>(QStringLiteral("cmdInstall")); }
    QColor barColour(int row) const { return bar(row)->palette().color(QPalette::Highlight); }
    QString path(const QString& name) const { return folder + u'/' + name; }

    static void complete(HttpTransfer* transfer, const QByteArray& body)
    {
        emit transfer->progress(body.size(), body.size());
        emit transfer->finished(body, body.size(), true);
    }
    static void fail(HttpTransfer* transfer) { emit transfer->finished(QByteArray("partial"), 200, false); }

    QTemporaryDir dir;
    QString folder;
    FakeHttpClient http;
    FakePrompter prompter;
    FakeShell shell;
    int ended = 0;
    std::unique_ptr<UpdateWindow> window;
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
        QWidget* window = QApplication::activeModalWidget();
        const QDir folder(appFolder);
        if (window && ((folder.exists(QStringLiteral("update.exe")) && folder.exists(QStringLiteral("driverpack.exe"))) ||
                       deadline.hasExpired()))
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
        QTest::newRow("equal") << "2.0.22" << Key(VersionKey{2, 0, 22}) << false;
        QTest::newRow("blanks around and CR LF") << "  2.0.23 \r\n" << Key(VersionKey{2, 0, 23}) << true;
        QTest::newRow("lone LF") << "2.0.23\n" << Key(VersionKey{2, 0, 23}) << true;
        QTest::newRow("next minor") << "2.1.0" << Key(VersionKey{2, 1, 0}) << true;
        QTest::newRow("three-digit revision") << "2.0.100" << Key(VersionKey{2, 0, 100}) << true;
        QTest::newRow("one-digit revision") << "2.0.9" << Key(VersionKey{2, 0, 9}) << false;
        QTest::newRow("leading zeros") << "02.00.010" << Key(VersionKey{2, 0, 10}) << false;
        QTest::newRow("shorter and newer") << "3" << Key(VersionKey{3}) << true;
        QTest::newRow("trailing zero part") << "2.0.22.0" << Key(VersionKey{2, 0, 22, 0}) << false;
        QTest::newRow("longer and newer") << "2.0.22.1" << Key(VersionKey{2, 0, 22, 1}) << true;
        // The limit counts what is left once the dots are gone, and what stays besides digits.
        QTest::newRow("15 digits") << "123456789012345" << Key(VersionKey{123456789012345ULL}) << true;
        QTest::newRow("15 digits, 26 with dots") << "1.2.3.4.5.6.7.8.9.10.11.12"
                                                 << Key(VersionKey{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}) << false;
        QTest::newRow("16 digits") << "1234567890123456" << Key() << false;
        QTest::newRow("16 digits with dots") << "1.2.3.4.5.6.7.890123456" << Key() << false;
        QTest::newRow("15 digits and a lone LF") << "123456789012345\n" << Key() << false;
        QTest::newRow("15 digits between CR LF pairs") << "\r\n1234567.89012345\r\n"
                                                       << Key(VersionKey{1234567, 89012345}) << true;
        QTest::newRow("empty") << "" << Key() << false;
        QTest::newRow("short error text") << "Error" << Key() << false;
        QTest::newRow("letter in a part") << "2.0.2a" << Key() << false;
        QTest::newRow("blank inside") << "2. 0.23" << Key() << false;
        QTest::newRow("empty part") << "2..0" << Key() << false;
    }
    void versionKey()
    {
        QFETCH(QString, text);
        QFETCH(Key, expected);
        QFETCH(bool, newer);
        QCOMPARE(versionKeyOf(text), expected);
        QCOMPARE(expected && isNewerVersion(*expected, VersionKey{2, 0, 22}), newer);
    }

    void fileExistsOnlyForFiles()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("update.exe"));
        writeFile(file, QByteArray());
        QVERIFY(fileExists(file));   // an empty file still has a length
        QVERIFY(!fileExists(dir.path()));
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("gone")), dir.filePath(QStringLiteral("dangling"))));
        QVERIFY(!fileExists(dir.filePath(QStringLiteral("dangling"))));
    }

    // --- The HTTP client. Only a successful reply's body counts, a redirect is followed only
    // within its scheme, and the time-out is a total deadline: a trickle still ends at it.
    void fetchReturnsTheBodyOfASuccessfulReplyOnly()
    {
        TestHttpServer server;
        server.serve("/v", body("2.0.23\r\n", 3, 10));
        server.serve("/err", changed(body("<html>Server Error</html>"), [](Reply& r) { r.status = 500; }));
        server.serve("/relative", changed({}, [](Reply& r) { r.location = "/v"; }));
        const QByteArray https = "https://127.0.0.1:" + QByteArray::number(server.port()) + "/v";
        server.serve("/to-https", changed({}, [&](Reply& r) { r.location = https; }));
        server.serve("/slow", body(QByteArray(40, 'x'), 40, 50));
        NetworkHttpClient http;
        const auto fetch = [&](const QByteArray& path) { return http.fetch(server.url(path), kShort); };
        QCOMPARE(fetch("/v"), std::optional<QByteArray>("2.0.23\r\n"));
        QCOMPARE(fetch("/relative"), std::optional<QByteArray>("2.0.23\r\n"));
        QCOMPARE(fetch("/err"), std::nullopt);
        QCOMPARE(fetch("/to-https"), std::nullopt);
        QCOMPARE(http.fetch(QUrl(QStringLiteral("http://127.0.0.1:%1/v").arg(closedPort())), kShort), std::nullopt);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(fetch("/slow"), std::nullopt);
        QVERIFY2(clock.elapsed() >= 250 && clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(server.notHttp, 0);   // no TLS hello: the redirect to https was not followed
        QCOMPARE(server.requests[0].headers.value("cache-control"), QByteArray("no-cache"));   // no cache may answer
        QCOMPARE(server.requests[0].headers.value("pragma"), QByteArray("no-cache"));
    }

    // --- DownloadControl over the real client.
    void downloadWithKnownLengthReportsProgressAndReplacesTheFileExactly()
    {
        Downloads d;
        const QByteArray installer(4000, 'i');
        d.server.serve("/update", body(installer, 4, 20));
        writeFile(d.file("update.exe"), QByteArray(9000, 'o'));   // an older, longer file

        d.begin("/update", "update.exe");
        QVERIFY(d.events.isEmpty());   // nothing before control returns to the loop
        QVERIFY(d.waitForEnd());
        QCOMPARE(d.events.mid(d.events.size() - 2), (QStringList{"progress 4000/4000 update.exe", "complete 4000 update.exe"}));
        for (const QString& e : d.events.mid(0, d.events.size() - 1))
            QVERIFY2(e.startsWith(QStringLiteral("progress ")) && e.contains(QStringLiteral("/4000 ")), qPrintable(e));
        QCOMPARE(readFile(d.file("update.exe")), installer);
        QCOMPARE(d.files(), QStringList{QStringLiteral("update.exe")});
        // A compressed body could never match the announced length.
        QCOMPARE(d.server.requests[0].headers.value("accept-encoding"), QByteArray("identity"));
        QVERIFY(d.prompter.boxes.isEmpty());
    }

    // Whatever goes wrong, the target keeps what it held and the events say so.
    void failedTransfersLeaveTheTargetAsItWas_data()
    {
        QTest::addColumn<Reply>("reply");
        QTest::addColumn<int>("announced");   // in every progress event and the last one; 0: none
        QTest::newRow("no length") << changed(body("installer", 3, 10), [](Reply& r) { r.contentLength = false; }) << 0;
        QTest::newRow("cut short") << changed(body(QByteArray(100, 'c')), [](Reply& r) { r.cutAfter = 40; }) << 100;
        QTest::newRow("error status") << changed(body("<html>Forbidden</html>"), [](Reply& r) { r.status = 403; }) << 22;
        QTest::newRow("empty body") << body("") << 0;
        QTest::newRow("stalled") << changed({}, [](Reply& r) { r.silent = true; }) << 0;
    }
    void failedTransfersLeaveTheTargetAsItWas()
    {
        QFETCH(Reply, reply);
        QFETCH(int, announced);
        Downloads d(kShort);
        d.server.serve("/f", reply);
        writeFile(d.file("f.exe"), "the old one");
        d.begin("/f", "f.exe");
        QVERIFY(d.waitForEnd());
        const QStringList ending{"error f.exe", QStringLiteral("complete %1 f.exe").arg(announced)};
        QCOMPARE(d.events.mid(d.events.size() - 2), ending);
        const QStringList progress = d.events.mid(0, d.events.size() - 2);
        QCOMPARE(progress.isEmpty(), announced == 0);
        for (const QString& e : progress)
            QVERIFY2(e.contains(QStringLiteral("/%1 ").arg(announced)), qPrintable(e));
        QCOMPARE(readFile(d.file("f.exe")), QByteArray("the old one"));
        QCOMPARE(d.files(), QStringList{QStringLiteral("f.exe")});   // no temporary left
    }

    void unwritableTargetIsLeftAsItWas()
    {
        Downloads d;
        d.server.serve("/f", body("installer"));
        // A folder in the target's place cannot be written over, even by root.
        QVERIFY(QDir().mkpath(d.file("update.exe/inside")));
        d.begin("/f", "update.exe");
        QVERIFY(d.waitForEnd());
        QCOMPARE(d.events.mid(d.events.size() - 2), (QStringList{"error update.exe", "complete 9 update.exe"}));
        QVERIFY(QFileInfo(d.file("update.exe/inside")).isDir());
        QCOMPARE(d.files(), QStringList());
    }

    void closingTheHolderAbandonsItsTransfers()
    {
        Downloads d;
        d.server.serve("/f", body(QByteArray(1000, 'f'), 10, 30));
        d.begin("/f", "f.exe");
        QVERIFY(QTest::qWaitFor([&] { return !d.events.isEmpty(); }, 5000));
        d.control.reset();
        const QStringList seen = d.events;
        QTest::qWait(400);   // longer than the rest of the body takes
        QCOMPARE(d.events, seen);
        QCOMPARE(d.files(), QStringList());
    }

    void malformedAddressWarnsAndRaisesNoEvent()
    {
        Downloads d;
        for (const char* url : {"http://[::1", "127.0.0.1/apps/update", "ftp://127.0.0.1/update"})
            d.control->beginDownload(QString::fromLatin1(url), d.file("f.exe"));
        QCOMPARE(d.prompter.boxes.size(), 3);
        const QString warning = QString::number(EINVAL) + QStringLiteral(":Error in call to BeginDownload().\r\n\r\nError Description: ");
        for (const FakePrompter::Box& box : d.prompter.boxes)
            QVERIFY2(box.text.startsWith(warning), qPrintable(box.text));
        QTest::qWait(50);
        QVERIFY(d.events.isEmpty());
    }

    // --- The update window over the fake client.
    // Each row follows its own transfer; the button waits for both and then takes the focus.
    void rowsFollowTheirTransfersAndTheButtonWaitsForBoth()
    {
        Rig rig;
        emit rig.installer()->progress(50, 200);
        QCOMPARE(rig.status(0)->text(), QStringLiteral("50 of 200..."));
        QCOMPARE(double(rig.bar(0)->value()) / rig.bar(0)->maximum(), 0.25);
        QCOMPARE(rig.status(1)->text(), QStringLiteral(" "));

        // Lengths past the bar's int range keep the true fraction.
        const qint64 big = qint64(6) << 30;
        emit rig.driver()->progress(big / 4 * 3, big);
        QCOMPARE(rig.status(1)->text(), QStringLiteral("4831838208 of 6442450944..."));
        QVERIFY2(clippedCaptions(rig.window.get()).isEmpty(), qPrintable(clippedCaptions(rig.window.get()).join(u'\n')));
        QCOMPARE(double(rig.bar(1)->value()) / rig.bar(1)->maximum(), 0.75);

        Rig::complete(rig.installer(), "installer");
        QCOMPARE(rig.status(0)->text(), QStringLiteral("Done"));
        QCOMPARE(rig.barColour(0), QColor(Qt::green));
        QCOMPARE(rig.barColour(1), QColor(Qt::blue));
        QVERIFY(!rig.install()->isEnabled());

        Rig::complete(rig.driver(), "driver");
        QVERIFY(rig.install()->isEnabled());
        QCOMPARE(rig.window->focusWidget(), rig.install());
        QCOMPARE(readFile(rig.path("update.exe")), QByteArray("installer"));
        QVERIFY(rig.shell.started.isEmpty());   // only Install starts it
    }

    // A success short of its announced length (the server closed early) replaces nothing, and
    // the row says so; the leftover installer is gone all the same. Install then has nothing to
    // start: a file of that name this window did not download is never started.
    void shortBodyReportedAsSuccessIsNotKept()
    {
        Rig rig({{"update.exe", "old installer"}, {"driverpack.exe", "old driver"}});
        for (HttpTransfer* transfer : {rig.installer(), rig.driver()}) {
            emit transfer->progress(40, 100);
            emit transfer->finished(QByteArray(40, 'x'), 100, true);
        }
        for (int row : {0, 1}) {
            QCOMPARE(rig.status(row)->text(), QStringLiteral("Failed"));
            QCOMPARE(rig.barColour(row), QColor(Qt::red));
        }
        QCOMPARE(readFile(rig.path("driverpack.exe")), QByteArray("old driver"));
        QCOMPARE(QDir(rig.folder).entryList(QDir::Files), QStringList{"driverpack.exe"});   // no temporary left

        writeFile(rig.path("update.exe"), "planted");
        rig.install()->click();   // enabled: both rows have ended
        QCOMPARE(rig.prompter.boxes.size(), 1);
        QCOMPARE(rig.prompter.boxes[0].text, QStringLiteral("The update could not be downloaded."));
        QVERIFY(!rig.window->isVisible());
        QVERIFY(rig.shell.started.isEmpty());
        QCOMPARE(rig.ended, 0);
    }

    void folderNamedUpdateDrivesRowZeroFromBoth()
    {
        Rig rig({}, QStringLiteral("my-update-folder"));
        Rig::complete(rig.driver(), "driver");
        QCOMPARE(rig.status(0)->text(), QStringLiteral("Done"));
        QCOMPARE(rig.status(1)->text(), QStringLiteral("Done"));
        // Both rows read "Done", but the installer is still on its way.
        QVERIFY(!rig.install()->isEnabled());

        Rig::fail(rig.installer());
        QCOMPARE(rig.status(0)->text(), QStringLiteral("Failed"));
        QCOMPARE(rig.status(1)->text(), QStringLiteral("Done"));
        QVERIFY(rig.install()->isEnabled());
    }

    // A start that fails shows its number and keeps the window; the next try starts the
    // installer, made executable, and ends the program. The driver package is not needed.
    void installStartsTheCompleteInstallerAndEndsTheProgram()
    {
        Rig rig;
        Rig::complete(rig.installer(), "#!/bin/sh\n");
        Rig::fail(rig.driver());
        rig.shell.failWith = std::make_pair(8, QStringLiteral("Exec format error"));
        rig.install()->click();
        QCOMPARE(rig.prompter.boxes.value(0).text, QStringLiteral("Error : 8 : Exec format error"));
        QVERIFY(rig.window->isVisible());
        QCOMPARE(rig.ended, 0);

        rig.shell.failWith.reset();
        rig.install()->click();
        QCOMPARE(rig.shell.started, QStringList{rig.path("update.exe")});
        QCOMPARE(rig.ended, 1);
        QVERIFY(QFileInfo(rig.path("update.exe")).permissions() & QFile::ExeOwner);
        QCOMPARE(rig.prompter.boxes.size(), 1);   // the error's, and none since
    }

    // --- The check, from the version file to the box. The running version is no update: its
    // notes are not even asked for. A newer one, taken, opens the update window, which downloads
    // both files; empty notes are still offered.
    void checkOffersANewerVersionAndYesOpensTheUpdateWindow()
    {
        TestHttpServer server;
        server.serve(kBase + "app.ver", body("2.0.22\r\n"));
        QTemporaryDir dir;
        QCOMPARE(checkAnswer(server.url(kBase), dir.path()), QStringLiteral("There are no updates at this time."));
        QCOMPARE(server.requests.size(), 1);

        server.serve(kBase + "app.ver", body("2.0.23"));
        server.serve(kBase + "update", body("installer bytes", 2, 10));
        server.serve(kBase + "driver", body("driver bytes"));
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
        Downloads d;
        QString error;
        const std::optional<SelfSigned> identity = makeSelfSigned(d.dir.path(), &error);
        QVERIFY2(identity, qPrintable(error));   // scripts/test installs openssl
        TestTlsServer server(*identity);
        server.serve(kBase + "app.ver", "9.9.9");
        server.serve(kBase + "updates.txt", "Everything is new");
        server.serve(kBase + "update", "installer");

        QCOMPARE(checkAnswer(server.url(kBase), d.dir.path()), QStringLiteral("There are no updates at this time."));
        QVERIFY(server.connections >= 1);   // it was asked, and refused in the handshake
        QCOMPARE(server.handshakesDone, 0);

        writeFile(d.file("update.exe"), "old installer");
        d.control->beginDownload(server.url(kBase + "update").toString(), d.file("update.exe"));
        QVERIFY(d.waitForEnd());
        QCOMPARE(d.events, (QStringList{"error update.exe", "complete 0 update.exe"}));
        QCOMPARE(readFile(d.file("update.exe")), QByteArray("old installer"));
        QVERIFY(server.requests.isEmpty());

        const QSslConfiguration saved = QSslConfiguration::defaultConfiguration();
        const auto restore = qScopeGuard([saved] { QSslConfiguration::setDefaultConfiguration(saved); });
        QSslConfiguration trusting = saved;
        trusting.addCaCertificate(identity->certificate);
        QSslConfiguration::setDefaultConfiguration(trusting);
        QCOMPARE(checkAnswer(server.url(kBase), d.dir.path()), QStringLiteral("Everything is new"));
        QCOMPARE(server.requests, (QList<QByteArray>{kBase + "app.ver", kBase + "updates.txt"}));
    }
};

QTEST_MAIN(UpdateTest)
#include "tst_update.moc"
