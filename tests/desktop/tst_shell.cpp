#include "TrashTestKit.h"

#include "desktop/LinuxShell.h"
#include "desktop/PropertiesWindow.h"
#include "desktop/Prompter.h"
#include "fs/MountTable.h"

#include <QAbstractButton>
#include <QDesktopServices>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPointer>
#include <QScopeGuard>
#include <QTimer>
#include <QUrl>

using namespace torvane;
using namespace torvane::trashtest;

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
    void openFolderPassesTheExactBytes()
    {
        // The root, URL marks, UTF-8, and a name that is not UTF-8.
        for (const QByteArray& name : {QByteArray(), QByteArray("50% off #2?x=1 y"), QByteArray("\xc3\xa9t\xc3\xa9"),
                                       QByteArray("caf\xe9\xff")}) {
            QTemporaryDir dir;
            const QByteArray path = name.isEmpty() ? QByteArray("/") : QFile::encodeName(dir.path()) + '/' + name;
            if (!name.isEmpty())
                QCOMPARE(::mkdir(path.constData(), 0755), 0);
            UrlRecorder recorder;
            QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "open");
            LinuxShell shell;
            shell.openFolder(path);
            // A folder that is gone is not handed to the desktop at all.
            const int gone = thrownBy([&] { shell.openFolder(path + "/gone"); }).number();
            QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
            if (!name.isEmpty())
                QCOMPARE(::rmdir(path.constData()), 0);   // QTemporaryDir cannot remove a name that is not UTF-8

            QCOMPARE(gone, ENOENT);
            QCOMPARE(recorder.urls.size(), 1);
            QVERIFY(recorder.urls.first().isLocalFile());
            QCOMPARE(QByteArray::fromPercentEncoding(recorder.urls.first().path(QUrl::FullyEncoded).toLatin1()), path);
        }
    }

    void failuresSayWhyAndProgramsRunDetached()
    {
        QTemporaryDir dir;
        LinuxShell shell;
        // The offscreen platform has no opener for files, as a desktop without one.
        const QString reason = thrownBy([&] { shell.openFolder(QFile::encodeName(dir.path())); }).description();
        QVERIFY2(reason.startsWith(QLatin1String("No program could open the folder")), qPrintable(reason));
        QCOMPARE(thrownBy([&] { shell.openFile(dir.filePath(QStringLiteral("torvane.log"))); }).number(), ENOENT);

        const QString marker = dir.filePath(QStringLiteral("ran"));
        const QString script = dir.filePath(QStringLiteral("installer.sh"));
        writeFile(QFile::encodeName(script), "#!/bin/sh\necho started > '" + QFile::encodeName(marker) + "'\n");
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
        TrashHome home;   // its temporary folder can be removed also past PATH_MAX
        QVERIFY(home.setUp());
        const auto removeHome = qScopeGuard([&home] { home.tearDown(); });
        // Made by calls relative to descriptors: no single path reaches it. Its name is not UTF-8.
        const QByteArray root = makeChain(home.work(), QByteArrayList(18, QByteArray(250, 'p')) << "Fotos \xe9");
        QVERIFY(root.size() > PATH_MAX);
        const int fd = openFolder(root, O_RDONLY);
        for (const char* folder : {"a", "a/b", "c"})
            QCOMPARE(::mkdirat(fd, folder, 0755), 0);
        for (const auto& [name, size] : {std::pair("one", 1000), std::pair("a/two", 2000), std::pair("a/b/three", 1048576)}) {
            const int file = ::openat(fd, name, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            QVERIFY(file >= 0 && ::ftruncate(file, size) == 0 && ::close(file) == 0);
        }
        // The link leads to a folder of the temporary home, which a walk that followed it would
        // count, and a removal that followed it would empty, rather than a folder of the system.
        const QByteArray linked = home.base() + "/elsewhere";
        makeTree(home.base(), {"elsewhere/", "elsewhere/counted-if-followed"});
        QCOMPARE(::symlinkat(linked.constData(), fd, "c/link"), 0);
        QCOMPARE(::fchmod(fd, 0750), 0);
        ::close(fd);

        QWidget parent;
        LinuxShell shell;
        shell.showProperties(root, &parent);
        // A second window would still be there after this one is deleted below.
        PropertiesWindow* window = parent.findChild<PropertiesWindow*>();
        QVERIFY(window && window->isVisible() && !window->isModal());
        auto field = [window](const char* name) {
            const auto* label = window->findChild<QLabel*>(QLatin1String(name));
            return label ? label->text() : QStringLiteral("(missing)");
        };

        const quint64 bytes = 1000 + 2000 + 1048576 + linked.size();   // the link counts as its own length
        const QString real = QFileInfo(QFile::decodeName(home.base())).canonicalFilePath();
        const QString holder = mountDescription(readMountTable(), QFile::encodeName(real));
        QVERIFY(!holder.isEmpty());
        QTRY_COMPARE(field("files"), QLocale().toString(4));
        QStringList fields;
        for (const char* name : {"folders", "size", "name", "path", "permissions", "fileSystem"})
            fields << field(name);
        QCOMPARE(fields, QStringList({QLocale().toString(3), QStringLiteral("1.00 MB (%1 bytes)").arg(QLocale().toString(bytes)),
                                      QStringLiteral("Fotos \ufffd"), QString::fromUtf8(root),
                                      QStringLiteral("drwxr-x--- (0750)"), holder}));
        delete window;

        shell.showProperties(QByteArray(), &parent);
        shell.showProperties(root + "/gone", &parent);
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
        using Row = std::tuple<BoxIcon, BoxButtons, QMessageBox::StandardButton, BoxAnswer>;
        const Row boxes[] = {
            {BoxIcon::Information, BoxButtons::Ok, QMessageBox::Ok, BoxAnswer::Ok},
            {BoxIcon::None, BoxButtons::OkCancel, QMessageBox::Cancel, BoxAnswer::Cancel},
            {BoxIcon::Critical, BoxButtons::YesNo, QMessageBox::No, BoxAnswer::No},
        };
        // A folder name and release notes as a download might bring them.
        const QString text = QStringLiteral("Move <b>x</b> to the trash?\n<img src=\"/usr/share/pixmaps/a.png\"> "
                                            "<a href=\"https://example.invalid\">notes</a> &amp; 1 < 2");
        for (const auto& [icon, buttons, click, answer] : boxes) {
            QString shown;
            QObject scope;   // ends the probe with the round
            // The box is modal: the timer fires inside its event loop, reads the label and answers.
            QTimer::singleShot(0, &scope, [&, click = click] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                const auto* label = box ? box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label")) : nullptr;
                shown = label && label->textFormat() == Qt::PlainText ? label->text() : QStringLiteral("(not plain)");
                if (QAbstractButton* button = box ? box->button(click) : nullptr)
                    button->click();
                else if (box)
                    box->reject();
            });
            MessageBoxPrompter prompter;
            QCOMPARE(prompter.ask(text, icon, buttons, QStringLiteral("Torvane")), answer);
            QCOMPARE(shown, text);
        }
    }
};

QTEST_MAIN(ShellTest)
#include "tst_shell.moc"
