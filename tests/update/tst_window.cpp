#include "FakeHttpClient.h"
#include "support/ClippedCaptions.h"
#include "support/FakePrompter.h"
#include "support/FakeShell.h"
#include "update/UpdateWindow.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace torvane;
using namespace torvane::test;

namespace {

const QColor kBlue(0, 0, 255);
const QColor kGreen(0, 255, 0);
const QColor kRed(255, 0, 0);

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// One update window over fakes, in a fresh application folder.
struct Rig {
    // The temporary folder's name must hold neither row's word (the default one carries this
    // program's name, which does).
    explicit Rig(const QString& subfolder = QString())
        : dir(QDir::tempPath() + QStringLiteral("/torvane-window-XXXXXX")),
          folder(subfolder.isEmpty() ? dir.path() : dir.filePath(subfolder))
    {
        QDir().mkpath(folder);
    }

    void open()
    {
        window = std::make_unique<UpdateWindow>(http, prompter, shell, folder,
                                             QUrl(QStringLiteral("https://127.0.0.1/apps/Ostrel/torvane/")),
                                             [this] { ++ended; });
    }

    HttpTransfer* installer() const { return http.transferFor(QStringLiteral("/update")); }
    HttpTransfer* driver() const { return http.transferFor(QStringLiteral("/driver")); }
    QLabel* status(int row) const { return window->findChild<QLabel*>(QStringLiteral("lblLABEL%1").arg(row)); }
    QProgressBar* bar(int row) const { return window->findChild<QProgressBar*>(QStringLiteral("prgBAR%1").arg(row)); }
    QPushButton* install() const { return window->findChild<QPushButton*>(QStringLiteral("cmdInstall")); }
    QColor barColour(int row) const { return bar(row)->palette().color(QPalette::Highlight); }
    QString installerPath() const { return folder + QStringLiteral("/update.exe"); }

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

} // namespace

class UpdateWindowTest : public QObject {
    Q_OBJECT

private slots:
    void opensWithItsControlsAndStartsBothDownloads()
    {
        Rig rig;
        writeFile(rig.installerPath(), "old installer");
        writeFile(rig.folder + QStringLiteral("/driverpack.exe"), "old driver");
        rig.open();

        QCOMPARE(rig.window->windowTitle(), QStringLiteral("Ostrel Update"));
        QCOMPARE(rig.window->size(), QSize(243, 175));
        QCOMPARE(rig.window->findChild<QLabel*>(QStringLiteral("Label1"))->text(), QStringLiteral("Program Update Status:"));
        QCOMPARE(rig.install()->text(), QStringLiteral("Install the Update"));
        QVERIFY(!rig.install()->isEnabled());
        QVERIFY2(clippedCaptions(rig.window.get()).isEmpty(), qPrintable(clippedCaptions(rig.window.get()).join(u'\n')));
        for (int row : {0, 1}) {
            QCOMPARE(rig.status(row)->text(), QStringLiteral(" "));
            QCOMPARE(rig.barColour(row), kBlue);
        }

        QVERIFY(!QFile::exists(rig.installerPath()));   // the leftover installer goes
        QCOMPARE(readFile(rig.folder + QStringLiteral("/driverpack.exe")), QByteArray("old driver"));
        QCOMPARE(rig.http.started.size(), 2);
        QCOMPARE(rig.http.started[0].url, QUrl(QStringLiteral("https://127.0.0.1/apps/Ostrel/torvane/update")));
        QCOMPARE(rig.http.started[1].url, QUrl(QStringLiteral("https://127.0.0.1/apps/Ostrel/torvane/driver")));
    }

    void progressShowsCountsAndFillsTheBar()
    {
        Rig rig;
        rig.open();
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
    }

    void buttonWaitsForBothRows_data()
    {
        QTest::addColumn<bool>("installerFirst");
        QTest::newRow("installer first") << true;
        QTest::newRow("driver first") << false;
    }
    void buttonWaitsForBothRows()
    {
        QFETCH(bool, installerFirst);
        Rig rig;
        rig.open();
        rig.window->show();
        HttpTransfer* first = installerFirst ? rig.installer() : rig.driver();
        HttpTransfer* second = installerFirst ? rig.driver() : rig.installer();
        const int firstRow = installerFirst ? 0 : 1;

        Rig::complete(first, "first body");
        QCOMPARE(rig.status(firstRow)->text(), QStringLiteral("Done"));
        QCOMPARE(rig.barColour(firstRow), kGreen);
        QCOMPARE(rig.barColour(1 - firstRow), kBlue);
        QVERIFY(!rig.install()->isEnabled());

        Rig::complete(second, "second body");
        QVERIFY(rig.install()->isEnabled());
        QCOMPARE(rig.window->focusWidget(), rig.install());
        QCOMPARE(readFile(rig.installerPath()), installerFirst ? QByteArray("first body") : QByteArray("second body"));
    }

    void failedRowsAreRed()
    {
        Rig rig;
        rig.open();
        Rig::fail(rig.installer());
        QCOMPARE(rig.status(0)->text(), QStringLiteral("Failed"));
        QCOMPARE(rig.barColour(0), kRed);

        // No length known: straight to its end, without counts.
        emit rig.driver()->progress(10, -1);
        QCOMPARE(rig.status(1)->text(), QStringLiteral(" "));
        emit rig.driver()->finished("body", -1, true);
        QCOMPARE(rig.status(1)->text(), QStringLiteral("Failed"));
        QCOMPARE(rig.barColour(1), kRed);
        QVERIFY(rig.install()->isEnabled());   // both rows have ended
        QVERIFY(!QFile::exists(rig.installerPath()));
        QVERIFY(!QFile::exists(rig.folder + QStringLiteral("/driverpack.exe")));
    }

    // A transfer that ends as a success short of its announced length (the server closed the
    // connection early) replaces nothing: the old file stays, and the row says so.
    void shortBodyReportedAsSuccessIsNotKept()
    {
        Rig rig;
        const QString driverPath = rig.folder + QStringLiteral("/driverpack.exe");
        writeFile(driverPath, "old driver");
        rig.open();
        emit rig.driver()->progress(40, 100);
        emit rig.driver()->finished(QByteArray(40, 'd'), 100, true);
        QCOMPARE(rig.status(1)->text(), QStringLiteral("Failed"));
        QCOMPARE(rig.barColour(1), kRed);
        QCOMPARE(readFile(driverPath), QByteArray("old driver"));

        emit rig.installer()->finished(QByteArray("#!/bin/sh\n"), 11, true);
        QCOMPARE(rig.status(0)->text(), QStringLiteral("Failed"));
        QVERIFY(!QFile::exists(rig.installerPath()));
        QCOMPARE(QDir(rig.folder).entryList(QDir::Files), QStringList{"driverpack.exe"});   // no temporary left
    }

    void folderNamedUpdateDrivesRowZeroFromBoth()
    {
        Rig rig(QStringLiteral("my-update-folder"));
        rig.open();
        emit rig.driver()->progress(10, 40);
        QCOMPARE(rig.status(0)->text(), QStringLiteral("10 of 40..."));
        QCOMPARE(rig.status(1)->text(), QStringLiteral("10 of 40..."));

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

    void installStartsTheCompleteInstallerAndEndsTheProgram()
    {
        Rig rig;
        rig.open();
        rig.window->show();
        Rig::complete(rig.installer(), "#!/bin/sh\n");
        Rig::fail(rig.driver());   // the driver package is not needed to install
        QVERIFY(rig.install()->isEnabled());

        rig.install()->click();
        QCOMPARE(rig.shell.started, QStringList{rig.installerPath()});
        QCOMPARE(rig.ended, 1);
        QVERIFY(QFileInfo(rig.installerPath()).permissions() & QFile::ExeOwner);
        QVERIFY(rig.prompter.boxes.isEmpty());
    }

    void installWithoutInstallerSaysSoAndCloses()
    {
        Rig rig;
        rig.open();
        rig.window->show();
        Rig::fail(rig.installer());
        Rig::complete(rig.driver(), "driver");
        // A file of that name that this window did not download is never started.
        writeFile(rig.installerPath(), "planted");

        rig.install()->click();
        QCOMPARE(rig.prompter.boxes.size(), 1);
        QCOMPARE(rig.prompter.boxes[0].text, QStringLiteral("The update could not be downloaded."));
        QCOMPARE(rig.prompter.boxes[0].buttons, BoxButtons::Ok);
        QVERIFY(rig.prompter.boxes[0].title.isEmpty());
        QVERIFY(!rig.window->isVisible());
        QVERIFY(rig.shell.started.isEmpty());
        QCOMPARE(rig.ended, 0);
    }

    void installErrorShowsNumberAndKeepsTheWindow()
    {
        Rig rig;
        rig.open();
        rig.window->show();
        Rig::complete(rig.installer(), "installer");
        Rig::complete(rig.driver(), "driver");
        rig.shell.failWith = std::make_pair(8, QStringLiteral("Exec format error"));

        rig.install()->click();
        QCOMPARE(rig.prompter.boxes.size(), 1);
        QCOMPARE(rig.prompter.boxes[0].text, QStringLiteral("Error : 8 : Exec format error"));
        QCOMPARE(rig.prompter.boxes[0].icon, BoxIcon::None);
        QCOMPARE(rig.prompter.boxes[0].title, QStringLiteral("Torvane"));
        QVERIFY(rig.window->isVisible());
        QCOMPARE(rig.ended, 0);
    }
};

QTEST_MAIN(UpdateWindowTest)
#include "tst_window.moc"
