#include "mainwindow/ReportWindow.h"

#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

using namespace torvane;

class ReportWindowTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QWidget parent_;

    // The window on a report of `content`; no report file at all when `content` is null.
    QPointer<QWidget> open(const QByteArray& content)
    {
        const QString path = dir_.filePath(QStringLiteral("xmlOutput.xml"));
        QFile::remove(path);
        QFile file(path);
        if (!content.isNull() && (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size()))
            return nullptr;
        file.close();
        return showReportWindow(path, &parent_);
    }

private slots:
    void showsTheElementTreeOrWhyNot()
    {
        // As a scan writes it: tabs, single quotes, CR LF, a name with an escaped ampersand.
        QPointer<QWidget> window = open("<?xml version='1.0' ?>\r\n"
                                        "\t<DirectoryTree Size='  [1024.00 MB]' Drive='/'>\r\n"
                                        "\t\t<ParentFolder Size=' [ 12.50 MB]' FolderName='home'>\r\n"
                                        "\t\t\t<SubFolder Size=' [ 12.00 MB]'>alice</SubFolder>\r\n"
                                        "\t\t\t<SubFolder Size=' [ 0.50 MB]'>Tom and Jerry &amp; co</SubFolder>\r\n"
                                        "\t\t</ParentFolder>\r\n"
                                        "\t\t<ParentFolder Size=' [ 0.00 MB]' FolderName='empty'>\r\n"
                                        "\t\t</ParentFolder>\r\n"
                                        "\t</DirectoryTree>\r\n");
        QVERIFY(window && window->isWindow() && window->isVisible() && !window->isModal());
        QVERIFY(!window->findChild<QLabel*>(QStringLiteral("reportMessage")));

        // Each element as "depth: tag | text", depth first.
        auto* tree = window->findChild<QTreeWidget*>(QStringLiteral("reportTree"));
        QVERIFY(tree);
        QStringList items;
        for (QTreeWidgetItemIterator it(tree); *it; ++it) {
            int depth = 0;
            for (const QTreeWidgetItem* up = (*it)->parent(); up; up = up->parent())
                ++depth;
            items << QStringLiteral("%1: %2 | %3").arg(depth).arg((*it)->text(0), (*it)->text(1));
        }
        QCOMPARE(items, (QStringList{"0: <DirectoryTree Size=\"  [1024.00 MB]\" Drive=\"/\"> | ",
                                     "1: <ParentFolder Size=\" [ 12.50 MB]\" FolderName=\"home\"> | ",
                                     "2: <SubFolder Size=\" [ 12.00 MB]\"> | alice",
                                     "2: <SubFolder Size=\" [ 0.50 MB]\"> | Tom and Jerry & co",
                                     "1: <ParentFolder Size=\" [ 0.00 MB]\" FolderName=\"empty\"> | "}));
        QVERIFY(tree->topLevelItem(0)->isExpanded());

        // No report: a page that says so. A report cut short by an ended scan, followed by a stray
        // closing tag: what was read, and where reading stopped.
        window = open(QByteArray());
        QVERIFY(window);
        auto* message = window->findChild<QLabel*>(QStringLiteral("reportMessage"));
        QVERIFY(message && message->isVisible());
        QVERIFY2(message->text().startsWith(QLatin1String("No report yet")), qPrintable(message->text()));
        QVERIFY(!window->findChild<QTreeWidget*>());

        window = open("<?xml version='1.0' ?>\r\n\t<DirectoryTree Size='  [1.00 MB]' Drive='/'>\r\n"
                      "\t\t<ParentFolder Size=' [ 0.00 MB]' FolderName='a'>\r\n"
                      "\t\t\t<SubFolder Size=' [ 0.00 MB]'>b</SubFolder>\r\n\t</DirectoryTree>\r\n");
        QVERIFY(window);
        tree = window->findChild<QTreeWidget*>(QStringLiteral("reportTree"));
        QVERIFY(tree && tree->topLevelItemCount() == 1);
        message = window->findChild<QLabel*>(QStringLiteral("reportMessage"));
        QVERIFY(message && message->isVisible());
        QVERIFY2(message->text().contains(QLatin1String("line 5")), qPrintable(message->text()));
        // It stays open on its own until closed, then goes away.
        window->close();
        QTRY_VERIFY(window.isNull());
    }
};

QTEST_MAIN(ReportWindowTest)
#include "tst_reportwindow.moc"
