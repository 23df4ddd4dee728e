// The update window over a fake client: each row follows its own transfer, Install waits for
// both and starts only a complete installer the window itself downloaded.
#include "net/HttpClient.h"
#include "support/ClippedCaptions.h"
#include "support/FakePrompter.h"
#include "support/FakeShell.h"
#include "support/Files.h"
#include "update/UpdateWindow.h"

#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace torvane;
using namespace torvane::test;

namespace {

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

    // The window asks for the installer first.
    HttpTransfer* installer() const { return http.transfers.value(0); }
    HttpTransfer* driver() const { return http.transfers.value(1); }
    QPushButton* install() const { return window->findChild<QPushButton*>(QStringLiteral("cmdInstall")); }
    QString path(const QString& name) const { return folder + u'/' + name; }
    // Each row's text, how full its bar is and the bar's colour, as "Done 1 #00ff00".
    QStringList rows() const
    {
        QStringList out;
        for (int row : {0, 1}) {
            const auto* bar = window->findChild<QProgressBar*>(QStringLiteral("prgBAR%1").arg(row));
            out << window->findChild<QLabel*>(QStringLiteral("lblLABEL%1").arg(row))->text() + u' '
                       + QString::number(double(bar->value()) / bar->maximum()) + u' '
                       + bar->palette().color(QPalette::Highlight).name();
        }
        return out;
    }

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
    // The button waits for both rows, then takes the focus; the driver package is not needed. A
    // start that fails shows its number and keeps the window; the next try starts the installer,
    // made executable, and ends the program.
    void rowsFollowTheirTransfersAndInstallStartsTheInstaller()
    {
        Rig rig;
        emit rig.installer()->progress(50, 200);
        QCOMPARE(rig.rows(), (QStringList{"50 of 200... 0.25 #0000ff", "  0 #0000ff"}));

        // Lengths past the bar's int range keep the true fraction.
        const qint64 big = qint64(6) << 30;
        emit rig.driver()->progress(big / 4 * 3, big);
        QCOMPARE(rig.rows()[1], QStringLiteral("4831838208 of 6442450944... 0.75 #0000ff"));
        QCOMPARE(clippedCaptions(rig.window.get()), QStringList());

        Rig::complete(rig.installer(), "#!/bin/sh\n");
        QCOMPARE(rig.rows()[0], QStringLiteral("Done 1 #00ff00"));
        QVERIFY(!rig.install()->isEnabled());

        Rig::fail(rig.driver());
        QVERIFY(rig.install()->isEnabled());
        QCOMPARE(rig.window->focusWidget(), rig.install());
        rig.shell.failWith = std::make_pair(8, QStringLiteral("Exec format error"));
        rig.install()->click();
        QCOMPARE(rig.prompter.boxes.value(0).text, QStringLiteral("Error : 8 : Exec format error"));
        QVERIFY(rig.window->isVisible());
        QCOMPARE(rig.ended, 0);

        rig.shell.failWith.reset();
        rig.install()->click();
        QCOMPARE(rig.shell.started, QStringList{rig.path("update.exe")});   // once: only Install starts it
        QCOMPARE(rig.ended, 1);
        QVERIFY(QFileInfo(rig.path("update.exe")).permissions() & QFile::ExeOwner);
        QCOMPARE(rig.prompter.boxes.size(), 1);   // the error's, and none since
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
        QCOMPARE(rig.rows(), (QStringList{"Failed 0.4 #ff0000", "Failed 0.4 #ff0000"}));
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

    // Both rows read "Done" after the driver alone, but the installer is still on its way.
    void folderNamedUpdateDrivesRowZeroFromBoth()
    {
        Rig rig({}, QStringLiteral("my-update-folder"));
        Rig::complete(rig.driver(), "driver");
        QCOMPARE(rig.rows(), (QStringList{"Done 1 #00ff00", "Done 1 #00ff00"}));
        QVERIFY(!rig.install()->isEnabled());

        Rig::fail(rig.installer());
        QCOMPARE(rig.rows(), (QStringList{"Failed 1 #ff0000", "Done 1 #00ff00"}));
        QVERIFY(rig.install()->isEnabled());
    }
};

QTEST_MAIN(UpdateWindowTest)
#include "tst_update_window.moc"
