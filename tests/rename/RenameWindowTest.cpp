#include "FakeRenameHost.h"
#include "TestFolders.h"
#include "support/FakePrompter.h"

#include "rename/RenameWindow.h"
#include "rename/frmRENAME.h"

#include <QApplication>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <unistd.h>

using namespace torvane;
using namespace torvane::test;

namespace {

void makeFiles(const QByteArray& folder, const QByteArrayList& names)
{
    for (const QByteArray& name : names)
        writeFile(folder + '/' + name, name);
}

QStringList texts(const QListWidget* list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out.append(list->item(i)->text());
    return out;
}

QStringList boxTexts(const FakePrompter& prompter)
{
    QStringList out;
    for (const auto& box : prompter.boxes)
        out.append(box.text);
    return out;
}

// The window with its controls found by name, as the other windows reach them.
struct Window {
    FakePrompter prompter;
    FakeRenameHost host;
    frmRENAME w{prompter, host};

    Window() = default;
    explicit Window(const QByteArray& folder) { w.setFolder(folder); }

    template <typename T>
    T* get(const char* name) const
    {
        T* c = w.findChild<T*>(QLatin1String(name));
        if (!c)
            qFatal("no control %s", name);
        return c;
    }
    QListWidget* file1() const { return get<QListWidget>("File1"); }
    QListWidget* dir1() const { return get<QListWidget>("Dir1"); }
    void choose(int index) const { get<QRadioButton>(QByteArray("optCASES_" + QByteArray::number(index)).constData())->setChecked(true); }
    void select(const QStringList& names) const
    {
        for (int i = 0; i < file1()->count(); ++i)
            file1()->item(i)->setSelected(names.contains(file1()->item(i)->text()));
    }
};

} // namespace

class RenameWindowTest : public QObject {
    Q_OBJECT

private slots:
    void designState()
    {
        Window win;
        QCOMPARE(win.w.size(), QSize(490, 367));
        QCOMPARE(win.w.minimumSize(), win.w.maximumSize());
        QCOMPARE(win.w.windowTitle().trimmed(), QString());
        QCOMPARE(win.get<QGroupBox>("Frame2")->title(), QStringLiteral(" Drive / Folders / Files"));
        QCOMPARE(win.get<QGroupBox>("frmOptions")->title(), QStringLiteral(" Options "));
        QCOMPARE(win.get<QGroupBox>("frmOptions")->geometry(), QRect(8, 272, 473, 89));
        QCOMPARE(win.file1()->geometry(), QRect(8, 120, 455, 128));
        QCOMPARE(win.get<QPushButton>("cmdCLose")->geometry(), QRect(392, 48, 73, 31));
        QCOMPARE(win.get<QRadioButton>("optCASES_2")->geometry(), QRect(344, 24, 119, 14));
        QCOMPARE(win.get<QPushButton>("cmdSELECTED")->text(), QStringLiteral("Rename Selected File(s)"));
        QCOMPARE(win.get<QPushButton>("cmdALL")->text(), QStringLiteral("Rename the Entire Folder(s)"));
        QCOMPARE(win.get<QRadioButton>("optCASES_1")->text(), QStringLiteral("UPPER CASE"));
        QVERIFY(win.get<QRadioButton>("optCASES_0")->isChecked());
        QCOMPARE(win.file1()->selectionMode(), QAbstractItemView::ExtendedSelection);
        const auto* txtNAME = win.get<QLineEdit>("txtNAME");
        QVERIFY(txtNAME->isHidden());
        QVERIFY(!txtNAME->isEnabled());
        QCOMPARE(txtNAME->font().pointSizeF(), 8.25);
        QVERIFY(win.get<QPushButton>("cmdALL")->font().bold());
        QVERIFY(win.get<QRadioButton>("optCASES_0")->font().bold());
        QVERIFY(!win.file1()->font().bold());
        QCOMPARE(win.file1()->font().pointSizeF(), 9.0);

        QWidget* w = win.get<QPushButton>("cmdSELECTED");
        QStringList tabs;
        for (; tabs.size() < 8; w = w->nextInFocusChain()) {
            if (w->focusPolicy() & Qt::TabFocus)
                tabs.append(w->objectName());
        }
        QCOMPARE(tabs, (QStringList{"cmdSELECTED", "cmdALL", "cmdCLose", "optCASES_0", "optCASES_1", "optCASES_2",
                                    "Dir1", "File1"}));
    }

    void openingWithoutAFolderDoesNothing()
    {
        FakePrompter prompter;
        FakeRenameHost host;
        bool windowOpened = false;
        QTimer::singleShot(0, [&] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                windowOpened = true;
                modal->close();
            }
        });
        openRenameWindow(nullptr, prompter, host, QByteArray());
        openRenameWindow(nullptr, prompter, host, "/");
        QCoreApplication::processEvents();
        QVERIFY(!windowOpened);
        QVERIFY(prompter.boxes.isEmpty());
    }

    void openingOnAGoneFolderSaysSo()
    {
        QByteArray gone;
        {
            QTemporaryDir dir;
            gone = bytesOf(dir) + "/deleted";
        }
        FakePrompter prompter;
        FakeRenameHost host;
        openRenameWindow(nullptr, prompter, host, gone);
        QCOMPARE(prompter.boxes.size(), 1);
        QCOMPARE(prompter.boxes[0].text, "The folder " + QString::fromUtf8(gone) + " no longer exists.");
        QCOMPARE(prompter.boxes[0].icon, BoxIcon::Information);
        QCOMPARE(prompter.boxes[0].buttons, BoxButtons::Ok);
        QVERIFY(prompter.boxes[0].title.isEmpty());
    }

    void openingShowsTheFolderModally()
    {
        QTemporaryDir dir;
        makeFiles(bytesOf(dir), {"b.txt", "a.txt", ".hidden"});
        QVERIFY(QDir(dir.path()).mkdir("sub"));
        FakePrompter prompter;
        FakeRenameHost host;
        QStringList shown;
        QByteArray folder;
        QTimer::singleShot(0, [&] {
            auto* w = qobject_cast<frmRENAME*>(QApplication::activeModalWidget());
            QVERIFY(w);
            folder = w->folder();
            shown = texts(w->findChild<QListWidget*>("File1"));
            w->cmdCLose_Click();
        });
        openRenameWindow(nullptr, prompter, host, bytesOf(dir) + '/');
        QCOMPARE(folder, bytesOf(dir));
        QCOMPARE(shown, (QStringList{".hidden", "a.txt", "b.txt"}));
    }

    void folderListShowsAncestorsAndOpensSubfolders()
    {
        QTemporaryDir dir;
        const QByteArray folder = bytesOf(dir);
        QVERIFY(QDir(dir.path()).mkpath("sub/deeper"));
        makeFiles(folder, {"top.txt"});
        makeFiles(folder + "/sub", {"inner.txt"});
        QVERIFY(::symlink("top.txt", (folder + "/link.txt").constData()) == 0);
        Window win(folder);
        const QStringList dirs = texts(win.dir1());
        const int depth = int(folder.count('/'));
        QCOMPARE(dirs.size(), depth + 2);
        QCOMPARE(dirs.first(), QStringLiteral("/"));
        QCOMPARE(dirs.last().trimmed(), QStringLiteral("sub"));
        QCOMPARE(win.dir1()->currentRow(), depth);
        QCOMPARE(texts(win.file1()), QStringList{"top.txt"});

        emit win.dir1()->itemActivated(win.dir1()->item(depth + 1));
        QCOMPARE(win.w.folder(), folder + "/sub");
        QCOMPARE(texts(win.file1()), QStringList{"inner.txt"});
        QCOMPARE(texts(win.dir1()).last().trimmed(), QStringLiteral("deeper"));

        emit win.dir1()->itemActivated(win.dir1()->item(depth));
        QCOMPARE(win.w.folder(), folder);
    }

    void fileListClickTakesTheName()
    {
        QTemporaryDir dir;
        makeFiles(bytesOf(dir), {"Name.txt"});
        Window win(bytesOf(dir));
        emit win.file1()->itemClicked(win.file1()->item(0));
        QCOMPARE(win.get<QLineEdit>("txtNAME")->text(), QStringLiteral("Name.txt"));
    }

    void upperCaseOverTheWholeFolder()
    {
        QTemporaryDir dir;
        makeFiles(bytesOf(dir), {"a.txt", "B.TXT"});
        Window win(bytesOf(dir));
        win.choose(1);
        win.w.cmdALL_Click();
        QCOMPARE(filesIn(bytesOf(dir)), (QByteArrayList{"A.TXT", "B.TXT"}));
        QCOMPARE(boxTexts(win.prompter), QStringList{"2 files were renamed"});
        QCOMPARE(win.prompter.boxes[0].icon, BoxIcon::Information);
        QCOMPARE(win.host.timerSwitches, (QList<bool>{true, false}));
        QVERIFY(win.host.lines.isEmpty());
        QCOMPARE(texts(win.file1()), (QStringList{"A.TXT", "B.TXT"}));
    }

    void properCaseOfSelectedFiles()
    {
        QTemporaryDir dir;
        makeFiles(bytesOf(dir), {"x (y).txt", "z.txt", "Y.TXT"});
        Window win(bytesOf(dir));
        win.choose(2);
        win.select({"x (y).txt", "z.txt"});
        int checks = 0;
        win.prompter.onAsk = [&](const FakePrompter::Box& box) {
            if (box.text != QLatin1String("Complete!"))
                return;
            ++checks;
            // While a box is up mid-run, nothing may start another run or change the folder.
            QVERIFY(!win.get<QGroupBox>("frmOptions")->isEnabled());
            QVERIFY(!win.dir1()->isEnabled());
            QVERIFY(!win.file1()->isEnabled());
            QVERIFY(win.host.timerOn);
            QVERIFY(QGuiApplication::overrideCursor());
            QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
        };
        win.w.cmdSELECTED_Click();
        QCOMPARE(checks, 2);
        QCOMPARE(boxTexts(win.prompter), (QStringList{"Complete!", "Complete!", "2 file(s) were renamed"}));
        QCOMPARE(filesIn(bytesOf(dir)), (QByteArrayList{"X (Y).txt", "Y.TXT", "Z.txt"}));
        QCOMPARE(texts(win.file1()), (QStringList{"X (Y).txt", "Y.TXT", "Z.txt"}));
        QVERIFY(win.file1()->selectedItems().isEmpty());
        QVERIFY(win.get<QGroupBox>("frmOptions")->isEnabled());
        QVERIFY(win.file1()->isEnabled());
        QVERIFY(!QGuiApplication::overrideCursor());
    }

    void properCaseOfTheWholeFolder()
    {
        QTemporaryDir dir;
        makeFiles(bytesOf(dir), {"x (y).txt", "z.txt"});
        Window win(bytesOf(dir));
        win.choose(2);
        win.select({"z.txt"});
        win.w.cmdALL_Click();
        QCOMPARE(boxTexts(win.prompter), QStringList{"2 files were renamed"});
        QCOMPARE(filesIn(bytesOf(dir)), (QByteArrayList{"X (y).txt", "Z.txt"}));
    }

    void failingFileStillCounts()
    {
        QTemporaryDir dir;
        makeFiles(bytesOf(dir), {"a.txt", "A.TXT", "c.txt"});
        Window win(bytesOf(dir));
        win.choose(1);
        win.w.cmdALL_Click();
        QCOMPARE(boxTexts(win.prompter), QStringList{"3 files were renamed"});
        QCOMPARE(win.host.lines, QStringList{" Cannot access " + dir.path() + "/a.txt."});
        QCOMPARE(filesIn(bytesOf(dir)), (QByteArrayList{"A.TXT", "C.TXT", "a.txt"}));
    }

    void nothingSelectedCountsZero()
    {
        QTemporaryDir dir;
        makeFiles(bytesOf(dir), {"keep.txt"});
        Window win(bytesOf(dir));
        win.choose(1);
        win.w.cmdSELECTED_Click();
        QCOMPARE(boxTexts(win.prompter), QStringList{"0 file(s) were renamed"});
        QCOMPARE(filesIn(bytesOf(dir)), QByteArrayList{"keep.txt"});
    }

    // A run keeps to the folder and the entries it started with; a second run cannot start
    // inside it, and the window cannot be closed under it.
    void runIgnoresChangesMadeWhileItRuns()
    {
        QTemporaryDir dir;
        const QByteArray folder = bytesOf(dir);
        makeFiles(folder, {"a (b).txt", "c.txt"});
        QVERIFY(QDir(dir.path()).mkdir("other"));
        makeFiles(folder + "/other", {"d.txt"});
        Window win(folder);
        win.w.show();
        win.choose(2);
        win.select({"a (b).txt", "c.txt"});
        bool first = true;
        win.prompter.onAsk = [&](const FakePrompter::Box& box) {
            if (!first || box.text != QLatin1String("Complete!"))
                return;
            first = false;
            win.w.cmdSELECTED_Click();
            win.w.cmdALL_Click();
            win.w.close();
            win.w.setFolder(folder + "/other");
        };
        win.w.cmdSELECTED_Click();
        QCOMPARE(boxTexts(win.prompter), (QStringList{"Complete!", "Complete!", "2 file(s) were renamed"}));
        QCOMPARE(filesIn(folder), (QByteArrayList{"A (B).txt", "C.txt"}));
        QCOMPARE(filesIn(folder + "/other"), QByteArrayList{"d.txt"});
        QVERIFY(win.w.isVisible());
        QVERIFY(win.host.lines.isEmpty());
    }

    void namesThatAreNotUtf8()
    {
        QTemporaryDir dir;
        const QByteArray odd("\xff" "ABC.TXT");
        makeFiles(bytesOf(dir), {odd});
        Window win(bytesOf(dir));
        QCOMPARE(texts(win.file1()), QStringList{"\ufffdABC.TXT"});
        win.w.cmdALL_Click();
        QCOMPARE(filesIn(bytesOf(dir)), QByteArrayList{QByteArray("\xff" "abc.txt")});
        QVERIFY(win.host.lines.isEmpty());
        QCOMPARE(std::remove((bytesOf(dir) + "/\xff" "abc.txt").constData()), 0);
    }
};

int runRenameWindowTests(int argc, char** argv)
{
    RenameWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "RenameWindowTest.moc"
