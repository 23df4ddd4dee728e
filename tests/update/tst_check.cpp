// The update check against loopback servers: from the version file to the box, over HTTP and
// over TLS.
#include "net/HttpClient.h"
#include "support/FakePrompter.h"
#include "support/FakeShell.h"
#include "support/TestHttpServer.h"
#include "support/TestTlsServer.h"
#include "update/DownloadControl.h"
#include "update/UpdateCheck.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace torvane;
using namespace torvane::test;

namespace {

const QByteArray kBase = "/apps/Ostrel/torvane/";

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The one box a check showed.
QString checkAnswer(const QUrl& base, const QString& appFolder)
{
    NetworkHttpClient http;
    FakePrompter prompter;
    FakeShell shell;
    prompter.answerNext(BoxAnswer::No);
    checkForUpdates(nullptr, http, prompter, shell, appFolder, QStringLiteral("2.0.22"), base, [] {});
    return prompter.boxes.size() == 1 ? prompter.boxes[0].text : QStringLiteral("%1 boxes").arg(prompter.boxes.size());
}

} // namespace

class CheckTest : public QObject {
    Q_OBJECT

private slots:
    // The check, from the version file to the box (version comparisons: tst_version).
    void checkAnswersFromTheVersionFile_data()
    {
        QTest::addColumn<int>("status");   // 0: no server at all
        QTest::addColumn<QByteArray>("version");
        QTest::addColumn<bool>("offered");
        QTest::newRow("equal") << 200 << QByteArray("2.0.22") << false;
        QTest::newRow("newer, blanks and CR LF") << 200 << QByteArray("  2.0.23 \r\n") << true;
        QTest::newRow("older") << 200 << QByteArray("2.0.9\n") << false;
        QTest::newRow("longer and newer") << 200 << QByteArray("2.0.22.1") << true;
        QTest::newRow("17 long, 9 without the dots") << 200 << QByteArray("2.0.22.1.0.0.0.0.0") << true;
        QTest::newRow("short error text") << 200 << QByteArray("Error") << false;
        QTest::newRow("error status") << 404 << QByteArray("2.9.9") << false;
        QTest::newRow("no server") << 0 << QByteArray() << false;
    }
    void checkAnswersFromTheVersionFile()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, version);
        QFETCH(bool, offered);
        TestHttpServer server;
        auto reply = body(version);
        reply.status = status;
        server.serve(kBase + "app.ver", reply);
        server.serve(kBase + "updates.txt", body("What is new:\r\n- faster"));
        const QUrl base = status ? server.url(kBase) : QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(closedPort()));
        NetworkHttpClient http;
        FakePrompter prompter;
        FakeShell shell;
        QTemporaryDir dir;
        prompter.answerNext(BoxAnswer::No);
        checkForUpdates(nullptr, http, prompter, shell, dir.path(), QStringLiteral("2.0.22"), base, [] {});

        QCOMPARE(prompter.boxes.size(), 1);
        const auto& box = prompter.boxes[0];
        QVERIFY(box.title.isEmpty());
        if (offered) {
            QCOMPARE(box.text, QStringLiteral("What is new:\r\n- faster"));
            QCOMPARE(box.buttons, BoxButtons::YesNo);
            QCOMPARE(box.icon, BoxIcon::None);
        } else {
            QCOMPARE(box.text, QStringLiteral("There are no updates at this time."));
            QCOMPARE(box.buttons, BoxButtons::Ok);
            QCOMPARE(box.icon, BoxIcon::Information);
        }
        QCOMPARE(server.requests.size(), offered ? 2 : status ? 1 : 0);   // No: nothing downloaded
    }

    void checkYesOpensTheUpdateWindow()
    {
        TestHttpServer server;
        server.serve(kBase + "app.ver", body("2.0.23"));   // no release notes on the server
        server.serve(kBase + "update", body("installer bytes", 2, 10));
        server.serve(kBase + "driver", body("driver bytes"));
        NetworkHttpClient http;
        FakePrompter prompter;
        FakeShell shell;
        QTemporaryDir dir;
        QString caption;
        bool bothArrived = false;
        // The fetches let events run too, so wait for the window itself before looking at it.
        QTimer poll;
        connect(&poll, &QTimer::timeout, [&] {
            QWidget* window = QApplication::activeModalWidget();
            if (!window)
                return;
            poll.stop();
            caption = window->windowTitle();
            bothArrived = QTest::qWaitFor([&] {
                return QFile::exists(dir.filePath(QStringLiteral("update.exe"))) &&
                       QFile::exists(dir.filePath(QStringLiteral("driverpack.exe")));
            }, 5000);
            window->close();
        });
        poll.start(10);
        checkForUpdates(nullptr, http, prompter, shell, dir.path(), QStringLiteral("2.0.22"), server.url(kBase), [] {});

        QCOMPARE(prompter.boxes.size(), 1);
        QCOMPARE(prompter.boxes[0].text, QString());   // the empty notes are still offered
        QCOMPARE(prompter.boxes[0].buttons, BoxButtons::YesNo);
        QCOMPARE(caption, QStringLiteral("Ostrel Update"));
        QVERIFY(bothArrived);
        QCOMPARE(readFile(dir.filePath(QStringLiteral("update.exe"))), QByteArray("installer bytes"));
        QVERIFY(shell.started.isEmpty());
    }

    // A server whose certificate nobody vouches for is no update server: the check takes the
    // fetch for failed and says there are no updates, whatever the server would have said, and a
    // download from it replaces nothing. Trusted, the same server is believed, so the refusal is
    // the certificate's and nothing else's.
    void untrustedCertificateIsAFailedFetch()
    {
        if (!QSslSocket::supportsSsl())
            QSKIP("this Qt has no TLS backend");
        QTemporaryDir dir;
        QString error;
        const std::optional<SelfSigned> identity = makeSelfSigned(dir.path(), &error);
        QVERIFY2(identity, qPrintable(error));   // scripts/test installs openssl
        TestTlsServer server(*identity);
        server.serve(kBase + "app.ver", "9.9.9");
        server.serve(kBase + "updates.txt", "Everything is new");
        server.serve(kBase + "update", "installer");

        QCOMPARE(checkAnswer(server.url(kBase), dir.path()), QStringLiteral("There are no updates at this time."));
        QVERIFY(server.connections >= 1);   // it was asked, and refused in the handshake
        QCOMPARE(server.handshakesDone, 0);
        QVERIFY(server.requests.isEmpty());

        const QString target = dir.filePath(QStringLiteral("update.exe"));
        QFile old(target);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old installer");
        old.close();
        {
            NetworkHttpClient http;
            FakePrompter prompter;
            DownloadControl control(http, prompter);
            QSignalSpy errors(&control, &DownloadControl::downloadError);
            QSignalSpy completed(&control, &DownloadControl::downloadComplete);
            control.beginDownload(server.url(kBase + "update").toString(), target);
            QVERIFY(completed.wait(10000));
            QCOMPARE(errors.size(), 1);
        }
        QCOMPARE(readFile(target), QByteArray("old installer"));
        QVERIFY(server.requests.isEmpty());

        const QSslConfiguration saved = QSslConfiguration::defaultConfiguration();
        const auto restore = qScopeGuard([saved] { QSslConfiguration::setDefaultConfiguration(saved); });
        QSslConfiguration trusting = saved;
        trusting.addCaCertificate(identity->certificate);
        QSslConfiguration::setDefaultConfiguration(trusting);
        QCOMPARE(checkAnswer(server.url(kBase), dir.path()), QStringLiteral("Everything is new"));
        QCOMPARE(server.requests, (QList<QByteArray>{kBase + "app.ver", kBase + "updates.txt"}));
    }
};

QTEST_MAIN(CheckTest)
#include "tst_check.moc"
