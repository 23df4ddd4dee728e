#include "FakeRenameHost.h"
#include "desktop/TrashTestKit.h"
#include "support/ClippedCaptions.h"
#include "support/FakePrompter.h"

#include "rename/RenameWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <functional>

using namespace torvane;
using namespace torvane::test;
using namespace torvane::trashtest;

namespace {

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

// Opens the window as the main window does and hands it to look once it is up, then closes it.
// look is not called when no window opens.
void openAndLook(FakePrompter& prompter, FakeRenameHost& host, const QByteArray& key,
                 const std::function<void(RenameWindow&)>& look)
{
    QObject scope;   // ends the probe with the call, whether or not it ran
    QTimer::singleShot(0, &scope, [&] {
        if (auto* w = qobject_cast<RenameWindow*>(QApplication::activeModalWidget())) {
            look(*w);
            w->closeClicked();
        }
    });
    openRenameWindow(nullptr, prompter, host, key);
    QCoreApplication::processEvents();
}

// The window with its controls found by name, as the other windows reach them.
struct Window {
    FakePrompter prompter;
    FakeRenameHost host;
    RenameWindow w{prompter, host};

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
    // The caption check the listing test relies on: every kind of control it knows is caught once
    // its caption no longer fits.
    void clippedCaptionsSeesEveryKind()
    {
        QWidget window;
        const QList<QWidget*> controls{new QLabel(QStringLiteral("A label of some length"), &window),
                                       new QCheckBox(QStringLiteral("A check box"), &window),
                                       new QRadioButton(QStringLiteral("An option button"), &window),
                                       new QPushButton(QStringLiteral("A &push button"), &window),
                                       new QGroupBox(QStringLiteral("A frame's title"), &window)};
        QStringList names;
        for (QWidget* c : controls) {
            c->setObjectName(QString::fromLatin1(c->metaObject()->className()));
            c->resize(c->sizeHint().expandedTo(c->minimumSizeHint()));
            names << c->objectName();
        }
        auto clippedNames = [&window] {
            QStringList out;
            for (const QString& line : clippedCaptions(&window))
                out << line.section(u' ', 0, 0);
            return out;
        };
        QCOMPARE(clippedNames(), QStringList());
        for (QWidget* c : controls)
            c->resize(c->width() - 30, c->height());
        QCOMPARE(clippedNames(), names);
    }

    void openingNeedsAFolderThatExists()
    {
        QTemporaryDir dir;
        const QByteArray gone = bytesOf(dir) + "/deleted";
        const struct {
            QByteArray key, folder;   // no folder: no window
            QString current;
        } cases[] = {
            {QByteArray(), {}, {}},   // no folder in File1: nothing at all
            {gone, {}, {}},           // a folder gone since: a box
            {bytesOf(dir) + '/', bytesOf(dir), QDir(dir.path()).dirName()},
            {"/", "/", "/"},          // the root volume's key is a single "/", and a folder like any other
        };
        FakePrompter prompter;
        FakeRenameHost host;
        for (const auto& c : cases) {
            QByteArray folder;
            QString current;
            openAndLook(prompter, host, c.key, [&](RenameWindow& w) {
                folder = w.folder();
                current = w.findChild<QListWidget*>("Dir1")->currentItem()->text().trimmed();
            });
            QCOMPARE(folder, c.folder);
            QCOMPARE(current, c.current);
        }
        QCOMPARE(boxTexts(prompter), QStringList{"The folder " + QString::fromUtf8(gone) + " no longer exists."});
    }

    // The window as laid out, and its lists: ancestors, subfolders and files.
    void layoutAndLists()
    {
        QTemporaryDir dir;
        const QByteArray folder = bytesOf(dir);
        makeTree(folder, {"sub/", "sub/deeper/", "top.txt", ".hidden", "sub/inner.txt"});
        QVERIFY(::symlink("top.txt", (folder + "/link.txt").constData()) == 0);
        Window win(folder);
        QCOMPARE(win.file1()->selectionMode(), QAbstractItemView::ExtendedSelection);
        QVERIFY2(clippedCaptions(&win.w).isEmpty(), qPrintable(clippedCaptions(&win.w).join(u'\n')));

        const QStringList dirs = texts(win.dir1());
        const int depth = int(folder.count('/'));
        QCOMPARE(dirs.size(), depth + 2);
        QCOMPARE(dirs.first(), QStringLiteral("/"));
        QCOMPARE(dirs.last().trimmed(), QStringLiteral("sub"));
        QCOMPARE(win.dir1()->currentRow(), depth);
        // Hidden files too, but no links.
        QCOMPARE(texts(win.file1()), (QStringList{".hidden", "top.txt"}));
        emit win.file1()->itemClicked(win.file1()->item(1));
        QCOMPARE(win.get<QLineEdit>("txtNAME")->text(), QStringLiteral("top.txt"));

        emit win.dir1()->itemActivated(win.dir1()->item(depth + 1));
        QCOMPARE(win.w.folder(), folder + "/sub");
        QCOMPARE(texts(win.file1()), QStringList{"inner.txt"});
        QCOMPARE(texts(win.dir1()).last().trimmed(), QStringLiteral("deeper"));

        emit win.dir1()->itemActivated(win.dir1()->item(depth));
        QCOMPARE(win.w.folder(), folder);
    }

    // A run renames the files it was asked for, says how many it counted, switches the main
    // window's timer on and off around itself and lists the new names.
    void runRenamesAndCounts()
    {
        const struct {
            QByteArrayList files;
            int choice;
            QStringList selected;
            bool wholeFolder;
            QStringList boxes;
            QString line;   // %1: the folder
            QByteArrayList after;
        } cases[] = {
            {{"a.txt", "B.TXT"}, 1, {}, true, {"2 files were renamed"}, {}, {"A.TXT", "B.TXT"}},
            // The parenthesis rule and the selection belong to "Rename Selected File(s)" only.
            {{"x (y).txt", "z.txt"}, 2, {"z.txt"}, true, {"2 files were renamed"}, {}, {"X (y).txt", "Z.txt"}},
            {{"x (y).txt", "z.txt", "Y.TXT"}, 2, {"x (y).txt", "z.txt"}, false,
             {"Complete!", "Complete!", "2 file(s) were renamed"}, {}, {"X (Y).txt", "Y.TXT", "Z.txt"}},
            // A failing file still counts.
            {{"a.txt", "A.TXT", "c.txt"}, 1, {}, true, {"3 files were renamed"}, " Cannot access %1/a.txt.",
             {"A.TXT", "C.TXT", "a.txt"}},
            {{"keep.txt"}, 1, {}, false, {"0 file(s) were renamed"}, {}, {"keep.txt"}},   // nothing selected
            {{"\xff" "ABC.TXT"}, 0, {}, true, {"1 files were renamed"}, {}, {"\xff" "abc.txt"}},
        };
        for (const auto& c : cases) {
            QTemporaryDir dir;
            makeTree(bytesOf(dir), c.files);
            Window win(bytesOf(dir));
            win.choose(c.choice);
            win.select(c.selected);
            win.prompter.onAsk = [&](const FakePrompter::Box& box) {
                if (box.text != QLatin1String("Complete!"))
                    return;
                // While a box is up mid-run, nothing may start another run or change the folder.
                QVERIFY(!win.get<QGroupBox>("frmOptions")->isEnabled());
                QVERIFY(!win.dir1()->isEnabled());
                QVERIFY(!win.file1()->isEnabled());
                QCOMPARE(win.host.timerSwitches, QList<bool>{true});
                QVERIFY(QGuiApplication::overrideCursor());
                QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
            };
            c.wholeFolder ? win.w.renameAllClicked() : win.w.renameSelectedClicked();

            QCOMPARE(boxTexts(win.prompter), c.boxes);
            QCOMPARE(win.host.lines.join(u'\n'), QString(c.line).replace(QStringLiteral("%1"), dir.path()));
            QCOMPARE(win.host.timerSwitches, (QList<bool>{true, false}));
            QCOMPARE(filesIn(bytesOf(dir)), c.after);
            QStringList shown = texts(win.file1());
            shown.sort();
            QCOMPARE(shown, QString::fromUtf8(c.after.join('/')).split(u'/'));
            QVERIFY(win.file1()->selectedItems().isEmpty());
            QVERIFY(win.get<QGroupBox>("frmOptions")->isEnabled());
            QVERIFY(win.file1()->isEnabled());
            QVERIFY(!QGuiApplication::overrideCursor());
            // QTemporaryDir cannot remove a name that is not UTF-8.
            for (const QByteArray& name : c.after)
                std::remove((bytesOf(dir) + '/' + name).constData());
        }
    }

    // A run keeps to the folder and the entries it started with; a second run cannot start
    // inside it, and the window cannot be closed under it.
    void runIgnoresChangesMadeWhileItRuns()
    {
        QTemporaryDir dir;
        const QByteArray folder = bytesOf(dir);
        makeTree(folder, {"a (b).txt", "c.txt", "other/", "other/d.txt"});
        Window win(folder);
        win.w.show();
        win.choose(2);
        win.select({"a (b).txt", "c.txt"});
        bool first = true;
        win.prompter.onAsk = [&](const FakePrompter::Box& box) {
            if (!first || box.text != QLatin1String("Complete!"))
                return;
            first = false;
            win.w.renameSelectedClicked();
            win.w.renameAllClicked();
            win.w.close();
            win.w.setFolder(folder + "/other");
        };
        win.w.renameSelectedClicked();
        QCOMPARE(boxTexts(win.prompter), (QStringList{"Complete!", "Complete!", "2 file(s) were renamed"}));
        QCOMPARE(filesIn(folder), (QByteArrayList{"A (B).txt", "C.txt"}));
        QCOMPARE(filesIn(folder + "/other"), QByteArrayList{"d.txt"});
        QVERIFY(win.w.isVisible());
        QVERIFY(win.host.lines.isEmpty());
    }
};

int runRenameFileTests(int argc, char** argv);   // the case rules and the file calls

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    RenameWindowTest windowTest;
    return runRenameFileTests(argc, argv) + QTest::qExec(&windowTest, argc, argv);
}

#include "RenameWindowTest.moc"
