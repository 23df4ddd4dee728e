#include "insight/LargestFilesWindow.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>

using namespace torvane;

namespace {

constexpr std::uint64_t kMiB = 1048576;

// Five files of the volume /data, A to E largest first. A is sparse; C and its folder are not
// UTF-8; D holds a newline and sits at the volume's root. By default in no useful order, as a
// list comes: the window has to sort it.
std::vector<LargeFile> handMadeFiles(const QString& letters = QStringLiteral("ECADB"))
{
    const auto at = [](int y, int mo, int d, int h, int mi) { return QDateTime(QDate(y, mo, d), QTime(h, mi)); };
    const LargeFile byLetter[] = {
        {"/data/vm/disk.img", 100 * kMiB, 4096, at(2024, 3, 4, 13, 5)},
        {"/data/iso/ubuntu.ISO", 10 * kMiB, 10 * kMiB + 4096, at(2023, 1, 2, 8, 0)},
        {"/data/caf\xe9/bad\xffname.bin", 9 * kMiB + kMiB / 2, 9 * kMiB + kMiB / 2, at(2025, 6, 7, 21, 30)},
        {"/data/two\nlines.iso.bak", kMiB + kMiB / 2, kMiB + kMiB / 2 + 4096, at(2020, 12, 31, 23, 59)},
        {"/data/notes/iso-list.txt", 2048, 8192, at(2024, 3, 4, 9, 0)},
    };
    std::vector<LargeFile> files;
    for (const QChar letter : letters)
        files.push_back(byLetter[letter.unicode() - u'A']);
    return files;
}

std::vector<QByteArray> pathsOf(const QString& letters)
{
    std::vector<QByteArray> paths;
    for (const LargeFile& file : handMadeFiles(letters))
        paths.push_back(file.path);
    return paths;
}

struct Rig {
    std::vector<QByteArray> opened, shown, trashed;
    std::vector<QByteArray> refuse;   // files whose move to the trash fails
    std::function<void()> duringTrash;   // once, while the first file is asked about
    LargestFilesWindow window{LargestFilesActions{
        [this](const QByteArray& folder) { opened.push_back(folder); },
        [this](const QByteArray& folder) { shown.push_back(folder); },
        [this](const QByteArray& file) {
            trashed.push_back(file);
            if (const auto hook = std::exchange(duringTrash, nullptr))
                hook();
            return std::find(refuse.begin(), refuse.end(), file) == refuse.end();
        }}};
    QTableView* table = window.findChild<QTableView*>(QStringLiteral("largestTable"));

    Rig()
    {
        window.setChosenVolume("/data");
        window.setFiles(handMadeFiles(), "/data");
        window.show();
    }
    QStringList column(int c) const
    {
        QStringList texts;
        for (int row = 0; row < table->model()->rowCount(); ++row)
            texts << table->model()->index(row, c).data().toString();
        return texts;
    }
    // The rows top to bottom as the letters of handMadeFiles(), known by their names.
    QString letters() const
    {
        static const QStringList names{QStringLiteral("disk.img"), QStringLiteral("ubuntu.ISO"), QStringLiteral("bad\uFFFDname.bin"),
                                       QStringLiteral("two\\nlines.iso.bak"), QStringLiteral("iso-list.txt")};
        QString out;
        for (const QString& name : column(1))
            out += QLatin1Char(char('A' + names.indexOf(name)));
        return out;
    }
    void click(const char* button, const QString& selected)
    {
        table->clearSelection();
        const QString all = letters();
        for (const QChar letter : selected)
            table->selectionModel()->select(table->model()->index(int(all.indexOf(letter)), 0),
                                            QItemSelectionModel::Select | QItemSelectionModel::Rows);
        window.findChild<QToolButton*>(QLatin1String(button))->click();
    }
};

} // namespace

class LargestFilesTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }

    void largestFirstWithEscapedNamesLocaleDatesAndSizesOnDisk()
    {
        Rig rig;
        QCOMPARE(rig.column(0), QStringList({"100.00 MB", "10.00 MB", "9.50 MB", "1.50 MB", "0.00 MB"}));
        QCOMPARE(rig.column(1), QStringList({"disk.img", "ubuntu.ISO", "bad\uFFFDname.bin", "two\\nlines.iso.bak", "iso-list.txt"}));
        QCOMPARE(rig.column(2), QStringList({"/data/vm", "/data/iso", "/data/caf\uFFFD", "/data/", "/data/notes"}));
        QCOMPARE(rig.column(3), QStringList({"04.03.24 13:05", "02.01.23 08:00", "07.06.25 21:30", "31.12.20 23:59", "04.03.24 09:00"}));
        QCOMPARE(rig.table->model()->index(0, 0).data(Qt::ToolTipRole).toString(), QStringLiteral("104.857.600 bytes"));

        rig.window.setSizeOnDisk(true);
        QCOMPARE(rig.letters(), QStringLiteral("BCDEA"));
        QCOMPARE(rig.column(0), QStringList({"10.00 MB", "9.50 MB", "1.50 MB", "0.01 MB", "0.00 MB"}));
    }

    void sortsEachColumnByMeaningAndFiltersByPartOfTheNameOrAnExtension()
    {
        // Sizes as text would put 9.50 above 100.00, dates as text 31.12.20 below 07.06.25.
        const QString bySizeNameFolderModified[] = {"EDCBA", "CAEDB", "DCBEA", "DBEAC"};
        Rig rig;
        for (int column = 0; column < 4; ++column) {
            rig.table->sortByColumn(column, Qt::AscendingOrder);
            QCOMPARE(rig.letters(), bySizeNameFolderModified[column]);
        }

        // Still in date order: a dot starts an extension, which has to end the name; a folder's
        // name is not the file's.
        const std::pair<QString, QString> textAndRows[] = {
            {"iso", "DBE"}, {"NAME", "C"}, {".iso", "B"}, {"  .img ", "A"}, {"vm", ""}, {"", "DBEAC"},
        };
        auto* filter = rig.window.findChild<QLineEdit*>(QStringLiteral("largestFilter"));
        for (const auto& [text, rows] : textAndRows) {
            filter->setText(text);
            QCOMPARE(rig.letters(), rows);
        }
    }

    void saysWhenThereIsNoListForTheChosenVolume()
    {
        LargestFilesWindow window({});
        auto* message = window.findChild<QLabel*>(QStringLiteral("largestMessage"));
        auto* table = window.findChild<QTableView*>(QStringLiteral("largestTable"));
        const auto shows = [&](const QString& text) {
            return message->isVisibleTo(&window) && !table->isVisibleTo(&window) && message->text() == text;
        };
        window.setChosenVolume("/");
        QVERIFY(shows(QStringLiteral("No scan yet.")));
        window.setFiles(handMadeFiles(), "/data");
        QVERIFY(shows(QStringLiteral("The list shows /data; scan / to see its largest files.")));
        window.setChosenVolume("/data/");
        QVERIFY(table->isVisibleTo(&window) && !message->isVisibleTo(&window));
        // An empty list of the chosen volume is a list, not a missing one.
        window.setFiles({}, "/data");
        QVERIFY(table->isVisibleTo(&window) && table->model()->rowCount() == 0);
    }

    void commandsGetTheFirstSelectedRowsFolderAsBytesAndTheMenuTrashes()
    {
        Rig rig;
        for (const char* button : {"largestOpenFolder", "largestShowInTree", "largestMoveToTrash"})
            QVERIFY(!rig.window.findChild<QToolButton*>(QLatin1String(button))->isEnabled());
        rig.click("largestOpenFolder", QStringLiteral("C"));
        rig.click("largestShowInTree", QStringLiteral("DB"));
        rig.click("largestOpenFolder", QStringLiteral("D"));
        QCOMPARE(rig.opened, std::vector<QByteArray>({"/data/caf\xe9", "/data/"}));
        QCOMPARE(rig.shown, std::vector<QByteArray>({"/data/iso"}));
        QVERIFY(rig.trashed.empty());

        // The menu of the row under the pointer: its last entry moves the file to the trash.
        QTimer::singleShot(0, &rig.window, [&] {
            if (auto* menu = rig.window.findChild<QMenu*>()) {
                menu->actions().constLast()->trigger();
                menu->close();
            }
        });
        const QRect rect = rig.table->visualRect(rig.table->model()->index(3, 1));
        QContextMenuEvent event(QContextMenuEvent::Mouse, rect.center(), rig.table->viewport()->mapToGlobal(rect.center()));
        QApplication::sendEvent(rig.table->viewport(), &event);
        QCOMPARE(rig.trashed, pathsOf(QStringLiteral("D")));
        QCOMPARE(rig.letters(), QStringLiteral("ABCE"));
    }

    void moveToTrashTriesEverySelectedFileAndDropsOnlyTheGoneOnes()
    {
        struct Case {
            QString selected, refused;
            QString rescanned;   // the list a new scan gives while the first file is asked about
            QString trashed, rows;
        };
        // One refusal stops only its file; C gone in a rescan moves the rows below it.
        const Case cases[] = {{"CB", "B", "", "BC", "ABDE"}, {"AE", "", "EADB", "AE", "BD"}};
        for (const Case& c : cases) {
            Rig rig;
            rig.refuse = pathsOf(c.refused);
            if (!c.rescanned.isEmpty())
                rig.duringTrash = [&] { rig.window.setFiles(handMadeFiles(c.rescanned), "/data"); };
            rig.click("largestMoveToTrash", c.selected);
            QCOMPARE(rig.trashed, pathsOf(c.trashed));
            QCOMPARE(rig.letters(), c.rows);
        }
    }
};

QTEST_MAIN(LargestFilesTest)
#include "tst_largest.moc"
