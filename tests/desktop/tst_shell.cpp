#include "desktop/LinuxShell.h"
#include "fs/Keys.h"
#include "fs/PlatformError.h"
#include "fs/MountTable.h"
#include "desktop/PropertiesWindow.h"
#include "desktop/Prompter.h"
#include "desktop/TrashTree.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QPointer>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

using namespace torvane;

namespace {

// The error a shell call threw; number -1 when it returned as if it had done its work.
PlatformError thrownBy(const std::function<void()>& call)
{
    try {
        call();
    } catch (const PlatformError& e) {
        return e;
    }
    return PlatformError(-1, QStringLiteral("no error"));
}

} // namespace

// Stands in for the desktop's opener: QDesktopServices hands it every file URL.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls.append(url); }
};

class ShellTest : public QObject {
    Q_OBJECT

private slots:
    void openFolderPassesTheExactBytes_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("root") << QByteArray();
        QTest::newRow("plain") << QByteArray("Music");
        QTest::newRow("URL marks") << QByteArray("50% off #2?x=1 y");
        QTest::newRow("UTF-8") << QByteArray("\xc3\xa9t\xc3\xa9");
        QTest::newRow("not UTF-8") << QByteArray("caf\xe9\xff");
    }

    void openFolderPassesTheExactBytes()
    {
        QFETCH(QByteArray, name);
        QTemporaryDir dir;
        QByteArray path = "/";
        if (!name.isEmpty()) {
            path = QFile::encodeName(dir.path()) + '/' + name;
            QCOMPARE(::mkdir(path.constData(), 0755), 0);
        }
        UrlRecorder recorder;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "open");
        LinuxShell shell;
        shell.openFolder(path);
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        if (!name.isEmpty())
            QCOMPARE(::rmdir(path.constData()), 0);

        QCOMPARE(recorder.urls.size(), 1);
        const QUrl url = recorder.urls.first();
        QVERIFY(url.isLocalFile());
        QCOMPARE(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()), path);
    }

    void openFailsWithTheReason()
    {
        // The offscreen platform has no opener for files, as a desktop without one.
        QTemporaryDir dir;
        LinuxShell shell;
        const QString reason = thrownBy([&] { shell.openFolder(QFile::encodeName(dir.path())); }).description();
        QVERIFY2(reason.startsWith(QLatin1String("No program could open the folder")), qPrintable(reason));
        QCOMPARE(thrownBy([&] { shell.openFile(dir.filePath(QStringLiteral("torvane.log"))); }).number(), ENOENT);

        // A folder that is gone is not handed to the desktop at all.
        UrlRecorder recorder;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "open");
        QCOMPARE(thrownBy([&] { shell.openFolder(QFile::encodeName(dir.path()) + "/gone"); }).number(), ENOENT);
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QVERIFY(recorder.urls.isEmpty());
    }

    void startProgramRunsDetachedOrSaysWhy()
    {
        QTemporaryDir dir;
        const QString marker = dir.filePath(QStringLiteral("ran"));
        const QString script = dir.filePath(QStringLiteral("installer.sh"));
        {
            QFile file(script);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("#!/bin/sh\necho started > '" + QFile::encodeName(marker) + "'\n");
        }
        LinuxShell shell;
        // Not executable yet: the caller's job, and the failure says why.
        const PlatformError notExecutable = thrownBy([&] { shell.startProgram(script); });
        QVERIFY2(notExecutable.description().contains(script), qPrintable(notExecutable.description()));
        if (::geteuid() != 0)
            QCOMPARE(notExecutable.number(), EACCES);
        QCOMPARE(thrownBy([&] { shell.startProgram(dir.filePath(QStringLiteral("missing"))); }).number(), ENOENT);

        QVERIFY(QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        shell.startProgram(script);
        QTRY_VERIFY(QFile::exists(marker));
    }

    void propertiesWindowShowsFieldsAndTotals()
    {
        QTemporaryDir dir;
        const QByteArray root = QFile::encodeName(dir.path()) + "/Fotos \xe9";   // not UTF-8
        for (const char* folder : {"", "/a", "/a/b", "/c"})
            QCOMPARE(::mkdir((root + folder).constData(), 0755), 0);
        QCOMPARE(::chmod(root.constData(), 0750), 0);
        auto write = [](const QByteArray& path, qsizetype size) {
            const int fd = ::creat(path.constData(), 0644);
            return fd >= 0 && ::ftruncate(fd, size) == 0 && ::close(fd) == 0;
        };
        QVERIFY(write(root + "/one", 1000));
        QVERIFY(write(root + "/a/two", 2000));
        QVERIFY(write(root + "/a/b/three", 1048576));
        QCOMPARE(::symlink("/usr", (root + "/c/link").constData()), 0);

        QWidget parent;
        LinuxShell shell;
        shell.showProperties(root, &parent);
        const QList<PropertiesWindow*> windows = parent.findChildren<PropertiesWindow*>();
        QCOMPARE(windows.size(), 1);
        PropertiesWindow* window = windows.first();
        QVERIFY(window->isWindow());
        QVERIFY(window->isVisible());
        QVERIFY(!window->isModal());
        auto field = [window](const char* name) {
            const auto* label = window->findChild<QLabel*>(QLatin1String(name));
            return label ? label->text() : QStringLiteral("(missing)");
        };

        const quint64 bytes = 1000 + 2000 + 1048576 + 4;   // the link counts as its own 4 bytes
        QTRY_COMPARE(field("files"), QLocale().toString(4));
        QCOMPARE(field("folders"), QLocale().toString(3));
        QCOMPARE(field("size"), QStringLiteral("1.00 MB (%1 bytes)").arg(QLocale().toString(bytes)));
        QCOMPARE(field("name"), QStringLiteral("Fotos \ufffd"));
        QCOMPARE(field("path"), QString::fromUtf8(root));
        QCOMPARE(field("permissions"), QStringLiteral("drwxr-x--- (0750)"));
        QVERIFY2(!field("owner").isEmpty(), qPrintable(field("owner")));
        QVERIFY2(!field("modified").isEmpty() && !field("accessed").isEmpty(), qPrintable(field("modified")));
        QVERIFY2(field("fileSystem").contains(QLatin1Char('(')), qPrintable(field("fileSystem")));
        delete window;
        removeTree(AT_FDCWD, root);   // QTemporaryDir cannot remove a name that is not UTF-8
    }

    void propertiesPastPathMaxShowTheFolder()
    {
        QTemporaryDir dir;
        const QByteArrayList names = QByteArrayList(18, QByteArray(250, 'p')) << "Deep \xe9";
        // QTemporaryDir cannot remove a tree this deep.
        const auto removeChain = qScopeGuard([&dir, &names] {
            try {
                removeTree(AT_FDCWD, QFile::encodeName(dir.path()) + '/' + names.first());
            } catch (const PlatformError&) {
            }
        });
        // Made by calls relative to descriptors: no single path reaches the bottom.
        QByteArray deep = QFile::encodeName(dir.path());
        int fd = ::open(deep.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        for (const QByteArray& name : names) {
            const int next = ::mkdirat(fd, name.constData(), 0755) == 0 ? ::openat(fd, name.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
            ::close(fd);
            QVERIFY(next >= 0);
            fd = next;
            deep += '/' + name;
        }
        QVERIFY(deep.size() > PATH_MAX);
        QCOMPARE(::mkdirat(fd, "inner", 0700), 0);
        const int file = ::openat(fd, "inner/data", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        QVERIFY(file >= 0 && ::ftruncate(file, 3000) == 0 && ::close(file) == 0);
        QCOMPARE(::fchmod(fd, 0711), 0);
        ::close(fd);

        QWidget parent;
        LinuxShell shell;
        shell.showProperties(deep, &parent);
        const QList<PropertiesWindow*> windows = parent.findChildren<PropertiesWindow*>();
        QCOMPARE(windows.size(), 1);
        auto field = [window = windows.first()](const char* name) {
            const auto* label = window->findChild<QLabel*>(QLatin1String(name));
            return label ? label->text() : QStringLiteral("(missing)");
        };
        QTRY_COMPARE(field("files"), QLocale().toString(1));
        QCOMPARE(field("folders"), QLocale().toString(1));
        QCOMPARE(field("size"), QStringLiteral("0.00 MB (%1 bytes)").arg(QLocale().toString(3000)));
        QCOMPARE(field("name"), QStringLiteral("Deep \ufffd"));
        QCOMPARE(field("path"), displayName(deep));
        QCOMPARE(field("permissions"), QStringLiteral("drwx--x--x (0711)"));
        for (const char* name : {"owner", "modified", "accessed"})
            QVERIFY2(!field(name).isEmpty(), name);
        const QString holder = mountDescription(readMountTable(), QFile::encodeName(QFileInfo(dir.path()).canonicalFilePath()));
        QVERIFY(!holder.isEmpty());
        QCOMPARE(field("fileSystem"), holder);
        delete windows.first();
    }

    void propertiesForNothingShowNothing()
    {
        QWidget parent;
        LinuxShell shell;
        shell.showProperties(QByteArray(), &parent);
        shell.showProperties("/no/such/folder/anywhere", &parent);
        QVERIFY(parent.findChildren<PropertiesWindow*>().isEmpty());
        QCOMPARE(showPropertiesWindow(QByteArray(), nullptr), nullptr);
    }

    void closingDuringCalculationIsSafe()
    {
        // /usr is large enough that the walk is still running when the window closes.
        QPointer<PropertiesWindow> window = showPropertiesWindow("/usr", nullptr);
        QVERIFY(window);
        QCOMPARE(window->findChild<QLabel*>(QStringLiteral("size"))->text(), QStringLiteral("Calculating…"));
        window->close();
        QTRY_VERIFY(window.isNull());
    }

    void mountDescriptionPicksTheHoldingMount()
    {
        const QByteArray table =
            "22 1 8:2 / / rw,relatime shared:1 - ext4 /dev/sda2 rw\n"
            "30 22 8:3 / /home rw,relatime shared:2 - xfs /dev/sda3 rw\n"
            "31 22 8:17 / /media/my\\040disk rw - vfat /dev/sdb1 rw,uid=1000\n"
            "40 30 0:50 / /home/nas rw - nfs4 server:/export rw\n"
            "41 30 0:51 / /home/nas rw - cifs //server/share rw\n"
            "garbage line\n";
        const std::vector<MountEntry> mounts = parseMountInfo(table);
        QCOMPARE(mountDescription(mounts, "/etc/fstab"), QStringLiteral("ext4 (/dev/sda2) at /"));
        QCOMPARE(mountDescription(mounts, "/home"), QStringLiteral("xfs (/dev/sda3) at /home"));
        QCOMPARE(mountDescription(mounts, "/home2/x"), QStringLiteral("ext4 (/dev/sda2) at /"));
        QCOMPARE(mountDescription(mounts, "/media/my disk/Photos"), QStringLiteral("vfat (/dev/sdb1) at /media/my disk"));
        // Mounted over: the later mount on the same point is the one in use.
        QCOMPARE(mountDescription(mounts, "/home/nas/a"), QStringLiteral("cifs (//server/share) at /home/nas"));
        QCOMPARE(mountDescription(parseMountInfo(""), "/"), QString());
    }

    void messageBoxesShowMarkupAsText()
    {
        struct Box {
            BoxIcon icon;
            BoxButtons buttons;
            QMessageBox::StandardButton click;
            BoxAnswer answer;
        };
        const Box boxes[] = {
            {BoxIcon::Information, BoxButtons::Ok, QMessageBox::Ok, BoxAnswer::Ok},
            {BoxIcon::None, BoxButtons::OkCancel, QMessageBox::Cancel, BoxAnswer::Cancel},
            {BoxIcon::Critical, BoxButtons::YesNo, QMessageBox::No, BoxAnswer::No},
        };
        // A folder name and release notes as a download might bring them.
        const QString text = QStringLiteral("Move <b>x</b> to the trash?\n<img src=\"/usr/share/pixmaps/a.png\"> "
                                            "<a href=\"https://example.invalid\">notes</a> &amp; 1 < 2");
        for (const Box& expected : boxes) {
            QString shown;
            Qt::TextFormat format = Qt::AutoText;
            QTimer poll;
            // The box is modal: the timer runs inside its event loop, reads the label and answers.
            connect(&poll, &QTimer::timeout, &poll, [&] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                if (!box || !box->isVisible())
                    return;
                poll.stop();
                if (const auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
                    shown = label->text();
                    format = label->textFormat();
                }
                if (QAbstractButton* button = box->button(expected.click))
                    button->click();
                else
                    box->reject();
            });
            poll.start(10);
            MessageBoxPrompter prompter;
            const BoxAnswer answer = prompter.ask(text, expected.icon, expected.buttons, QStringLiteral("Torvane"));
            QCOMPARE(answer, expected.answer);
            QCOMPARE(shown, text);
            QCOMPARE(format, Qt::PlainText);
        }
    }
};

QTEST_MAIN(ShellTest)
#include "tst_shell.moc"
