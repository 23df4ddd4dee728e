// A generated hostile tree through the real file system, scan, report, trash and rename; and a
// walk whose folders are removed or swapped for links while it runs.

#include "FuzzSupport.h"
#include "HostileTree.h"

#include "fs/Keys.h"
#include "fs/LinuxFileSystem.h"
#include "fs/MountTable.h"
#include "desktop/LinuxShell.h"
#include "fs/PlatformError.h"
#include "fs/Walk.h"
#include "rename/RenameFile.h"
#include "scan/DriveScan.h"
#include "scan/FolderNode.h"
#include "scan/StatusText.h"
#include "support/FakePrompter.h"
#include "support/ScanRig.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QXmlStreamReader>

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>

using namespace torvane;
using namespace torvane::test;
namespace hostile = torvane::hostile;

namespace {

constexpr std::uint64_t kSeed = 20240607;
constexpr uid_t kNobody = 65534;
const char* const kRootVariable = "TORVANE_HOSTILE_ROOT";
const char* const kUnprivilegedVariable = "TORVANE_HOSTILE_UNPRIVILEGED";

QByteArray bytes(const std::string& s)
{
    return QByteArray(s.data(), qsizetype(s.size()));
}

std::string parentOf(const std::string& rel)
{
    const std::size_t slash = rel.rfind('/');
    return slash == std::string::npos ? std::string() : rel.substr(0, slash);
}

std::string nameOf(const std::string& rel)
{
    const std::size_t slash = rel.rfind('/');
    return slash == std::string::npos ? rel : rel.substr(slash + 1);
}

QByteArray printable(const std::string& s)
{
    return bytes(hostile::printable(s));
}

// A character that starts a new line in a text view or a log reader.
bool breaksLine(QChar c)
{
    const char16_t u = c.unicode();
    return u < 0x20 || u == 0x7f || (u >= 0x80 && u < 0xa0) || u == 0x2028 || u == 0x2029;
}

// lstat of a path below `root` of any length, one component at a time.
bool lstatBelow(const std::string& root, const std::string& rel, struct stat& st)
{
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::string rest = rel;
    for (std::size_t slash; fd >= 0 && (slash = rest.find('/')) != std::string::npos; rest.erase(0, slash + 1)) {
        const int next = ::openat(fd, rest.substr(0, slash).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        ::close(fd);
        fd = next;
    }
    if (fd < 0)
        return false;
    const bool ok = ::fstatat(fd, rest.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    ::close(fd);
    return ok;
}

// The names in a folder, byte-exact (QDir cannot hold names that are not UTF-8).
QByteArrayList entryNames(const QByteArray& folder)
{
    QByteArrayList names;
    if (DIR* dir = ::opendir(folder.constData())) {
        while (const dirent* e = ::readdir(dir)) {
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
                names << QByteArray(e->d_name);
        }
        ::closedir(dir);
    }
    return names;
}

// The oracle after `rel` and everything below it left the tree.
hostile::Oracle withoutSubtree(hostile::Oracle o, const std::string& rel)
{
    const std::uint64_t size = o.folderSizes.at(rel);
    for (auto it = o.folderSizes.begin(); it != o.folderSizes.end();)
        it = it->first == rel || it->first.rfind(rel + '/', 0) == 0 ? o.folderSizes.erase(it) : std::next(it);
    for (auto it = o.subfolders.begin(); it != o.subfolders.end();)
        it = it->first == rel || it->first.rfind(rel + '/', 0) == 0 ? o.subfolders.erase(it) : std::next(it);
    for (std::string up = rel; !up.empty();) {
        up = parentOf(up);
        o.folderSizes[up] -= size;
    }
    auto& siblings = o.subfolders[parentOf(rel)];
    siblings.erase(std::find(siblings.begin(), siblings.end(), nameOf(rel)));
    return o;
}

// The oracle after `rel` was renamed to `newName` in the same folder.
hostile::Oracle withRename(hostile::Oracle o, const std::string& rel, const std::string& newName)
{
    const std::string to = parentOf(rel).empty() ? newName : parentOf(rel) + '/' + newName;
    auto moved = [&](const std::string& key) {
        return key == rel ? to : key.rfind(rel + '/', 0) == 0 ? to + key.substr(rel.size()) : key;
    };
    hostile::Oracle out;
    for (const auto& [key, size] : o.folderSizes)
        out.folderSizes[moved(key)] = size;
    for (const auto& [key, names] : o.subfolders)
        out.subfolders[moved(key)] = names;
    out.unreadable = o.unreadable;
    auto& siblings = out.subfolders[parentOf(rel)];
    *std::find(siblings.begin(), siblings.end(), nameOf(rel)) = newName;
    std::sort(siblings.begin(), siblings.end());
    return out;
}

QByteArray firstDifference(const hostile::Oracle& a, const hostile::Oracle& b)
{
    for (const auto& [key, size] : a.folderSizes) {
        const auto it = b.folderSizes.find(key);
        if (it == b.folderSizes.end())
            return "only before: " + printable(key);
        if (it->second != size)
            return "size of " + printable(key) + ": " + QByteArray::number(qulonglong(size)) + " then "
                   + QByteArray::number(qulonglong(it->second));
    }
    for (const auto& [key, size] : b.folderSizes)
        if (!a.folderSizes.count(key))
            return "only after: " + printable(key);
    if (a.subfolders != b.subfolders)
        return "the folder listings differ";
    return {};
}

// The real file system, with the test's folder in its mount table, so it is scanned as a volume.
struct RealDisk {
    explicit RealDisk(const QByteArray& volume)
        : fs([volume] {
              std::vector<MountEntry> table = readMountTable();
              table.push_back(MountEntry{"test", volume, "ext4", "/", {}});
              return table;
          })
    {
    }
    LinuxFileSystem fs;
};

// The main window's scan controls on the real file system.
struct ScanRigOnDisk : RealDisk, ScanRig {
    explicit ScanRigOnDisk(const QByteArray& volume) : RealDisk(volume), ScanRig(fs, volume)
    {
        // The folder lies on a disk far above the large-drive threshold.
        prompter.answerNext(BoxAnswer::Ok);
    }
    // The walk's answer for a folder, waiting for it; -errno when it cannot be read.
    qint64 sizeOf(const QByteArray& path)
    {
        const QDeadlineTimer deadline(60000);
        while (!deadline.hasExpired()) {
            try {
                if (const std::optional<std::uint64_t> size = fs.folderSize(path))
                    return qint64(*size);
            } catch (const PlatformError& e) {
                return -e.number();
            }
            fs.waitForWalk(std::chrono::milliseconds(10));
        }
        return std::numeric_limits<qint64>::min();
    }
};

} // namespace

class HostileTest : public QObject {
    Q_OBJECT

    QTemporaryDir base_;
    std::string root_;
    hostile::Manifest manifest_;
    bool generated_ = false;

    QByteArray abs(const std::string& rel) const { return bytes(rel.empty() ? root_ : root_ + '/' + rel); }
    QByteArray home() const { return QFile::encodeName(base_.path()) + "/home"; }

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsSet(kRootVariable)) {
            root_ = qgetenv(kRootVariable).toStdString();
            return;
        }
        QVERIFY(base_.isValid());
        // Readable to the unprivileged child all the way down to the tree.
        QVERIFY(::chmod(QFile::encodeName(base_.path()).constData(), 0755) == 0);
        root_ = QFile::encodeName(base_.path()).toStdString() + "/tree";
        manifest_ = hostile::generate(root_, kSeed, hostile::Scale::Small);
        generated_ = true;
        // Never the real trash: the home trash lives in a temporary home on the tree's disk.
        QVERIFY(QDir().mkpath(QString::fromLocal8Bit(home()) + QStringLiteral("/.local/share")));
        qputenv("HOME", home());
        qputenv("XDG_DATA_HOME", home() + "/.local/share");
    }

    void cleanupTestCase()
    {
        // Also what QTemporaryDir cannot remove: locked folders, names that are not UTF-8.
        if (generated_)
            hostile::removeTree(QFile::encodeName(base_.path()).toStdString());
    }

    // Sizes, tree, report and status text of a scan equal what the plain walk finds, as whoever
    // runs the test; what cannot be read has its error line and nothing else.
    void scanMatchesOracle()
    {
        const hostile::Oracle oracle = hostile::measure(root_);
        if (::geteuid() != 0) {
            // Unprivileged (the child below, or a developer's account): the locked folders fail.
            for (const char* locked : {"locked-000", "locked-311", "locked-644", "perm/000", "perm/311", "perm/644"})
                QVERIFY2(oracle.unreadable.count(locked), locked);
        } else {
            QVERIFY(oracle.unreadable.empty());
        }
        QVERIFY(oracle.folderSizes.size() > 400);

        ScanRigOnDisk rig(abs(""));
        rig.scanner->scanVolume();
        QCOMPARE(rig.prompter.boxes.size(), 1);   // the large-drive question, nothing else

        // Every folder the oracle could read, at any depth, has its exact size; the others their error.
        QByteArrayList wrong;
        const auto expectSize = [&](const std::string& rel, qint64 expected) {
            const qint64 got = rig.sizeOf(abs(rel));
            if (got != expected)
                wrong << printable(rel) + ": " + QByteArray::number(got) + " expected " + QByteArray::number(expected);
        };
        for (const auto& [rel, size] : oracle.folderSizes)
            expectSize(rel, qint64(size));
        for (const auto& [rel, err] : oracle.unreadable)
            expectSize(rel, -err);

        // The tree and the report hold the top two levels; the status text every error.
        const QString status = rig.status.text();
        QStringList expectedParents, expectedSubs;
        int readingLines = 0;
        // One folder of those levels: false when it could not be read.
        const auto checkShown = [&](const std::string& rel, const std::string& name, bool top, QStringList& report) {
            const auto size = oracle.folderSizes.find(rel);
            if (size == oracle.folderSizes.end()) {
                const int err = oracle.unreadable.at(rel);
                const QString line = errorLine(bytes(name), err, PlatformError::fromErrno(err).description());
                if (!status.contains(top ? QStringLiteral("\r\n") + line + QStringLiteral("\r\n") : line))
                    wrong << "error line of " + printable(rel);
                if (top && rig.tree.find(folderKey(abs(rel))))
                    wrong << "no node for " + printable(rel);
                return false;
            }
            const QTreeWidgetItem* node = rig.tree.find(folderKey(abs(rel)));
            if (!node || node->text(0) != folderCaption(size->second, bytes(name)))
                wrong << "node of " + printable(rel);
            report << fuzz::reportReadBack(bytes(name));
            return true;
        };
        for (const std::string& top : oracle.subfolders.at("")) {
            if (!checkShown(top, top, true, expectedParents))
                continue;
            for (const std::string& child : oracle.subfolders.at(top))
                readingLines += checkShown(top + '/' + child, child, false, expectedSubs) ? 1 : 0;
        }

        // Expanding node after node down the chain that passes PATH_MAX reaches its bottom.
        if (!manifest_.longPathFolder.empty()) {
            std::string at = manifest_.longPathFolder.substr(0, manifest_.longPathFolder.find('/'));
            at += manifest_.longPathFolder.substr(at.size(), manifest_.longPathFolder.find('/', at.size() + 1) - at.size());
            while (at != manifest_.longPathFolder) {
                rig.scanner->listSubfolders(folderKey(abs(at)));
                const std::size_t next = manifest_.longPathFolder.find('/', at.size() + 1);
                at = manifest_.longPathFolder.substr(0, next);
                const QTreeWidgetItem* node = rig.tree.find(folderKey(abs(at)));
                if (!node || node->text(0) != folderCaption(oracle.folderSizes.at(at), bytes(nameOf(at)))) {
                    wrong << "expanding down to " + printable(at).right(60);
                    break;
                }
            }
        }

        // Nothing the user reads is broken in two by a name.
        const QStringList lines = status.split(QStringLiteral("\r\n"));
        const auto count = [&](const char* pattern) { return lines.filter(QRegularExpression(QLatin1String(pattern))).size(); };
        if (count("^Reading: ") != readingLines)
            wrong << "Reading: lines " + QByteArray::number(count("^Reading: ")) + " expected " + QByteArray::number(readingLines);
        if (count("^Error: ") != int(oracle.unreadable.size()))
            wrong << "Error: lines " + QByteArray::number(count("^Error: ")) + " expected "
                         + QByteArray::number(qulonglong(oracle.unreadable.size()));
        for (const QString& line : lines) {
            if (std::any_of(line.begin(), line.end(), breaksLine))
                wrong << "status line broken: " + line.toUtf8().toPercentEncoding(" :[]");
        }
        for (QTreeWidgetItemIterator it(&rig.view); *it; ++it) {
            const QString caption = (*it)->text(0);
            if (std::any_of(caption.begin(), caption.end(), breaksLine))
                wrong << "caption broken: " + caption.toUtf8().toPercentEncoding(" :[]");
        }

        // The report is well-formed and every name reads back.
        const QByteArray report = rig.report();
        QXmlStreamReader xml(report);
        QStringList parents, subs;
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isStartElement() && xml.name() == QLatin1String("ParentFolder"))
                parents << xml.attributes().value(QLatin1String("FolderName")).toString();
            else if (xml.isStartElement() && xml.name() == QLatin1String("SubFolder"))
                subs << xml.readElementText();
        }
        if (xml.hasError())
            wrong << "report: " + xml.errorString().toUtf8();
        if (parents != expectedParents)
            wrong << "report parents: " + parents.join(QLatin1Char('|')).toUtf8();
        if (subs != expectedSubs)
            wrong << "report subfolders: " + subs.join(QLatin1Char('|')).toUtf8();
        // Valid UTF-8 names come back exactly.
        for (const std::string& name : manifest_.names) {
            if (QString::fromUtf8(bytes(name)).toUtf8() == bytes(name) && name.find('&') == std::string::npos
                && std::none_of(name.begin(), name.end(), [](char c) { return c > 0 && c < 0x20 && c != '\t' && c != '\n' && c != '\r'; })
                && name.find("\xef\xbf\xbe") == std::string::npos   // U+FFFE: XML cannot carry it
                && !parents.contains(QString::fromUtf8(bytes(name))))
                wrong << "not in the report: " + printable(name);
        }
        QVERIFY2(wrong.isEmpty(), wrong.mid(0, 20).join('\n').constData());
    }

    // The same scan as an unprivileged user: the test runs itself again in a child process that
    // drops root before it starts.
    void scanAsUnprivilegedUser()
    {
        if (qEnvironmentVariableIsSet(kRootVariable))
            QSKIP("this is the child");
        if (::geteuid() != 0)
            QSKIP("already unprivileged: scanMatchesOracle covered it");
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QString::fromLatin1(kRootVariable), QString::fromLocal8Bit(abs("")));
        env.insert(QString::fromLatin1(kUnprivilegedVariable), QStringLiteral("1"));
        env.insert(QStringLiteral("HOME"), base_.path());
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("scanMatchesOracle")});
        QVERIFY(child.waitForFinished(120000));
        const QByteArray output = child.readAll();
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, output.constData());
        QVERIFY2(output.contains("PASS   : HostileTest::scanMatchesOracle()"), output.constData());
    }

    // Trash of the strangest names moves exactly those bytes and nothing else.
    void trashStrangeNames()
    {
        if (qEnvironmentVariableIsSet(kRootVariable))
            QSKIP("the child only scans");
        const QByteArray trash = home() + "/.local/share/Trash";

        LinuxShell shell;
        for (const std::string& rel : {manifest_.nonUtf8Folder, manifest_.newlineFolder, manifest_.longNameFolder,
                                       manifest_.longPathFolder}) {
            const hostile::Oracle before = hostile::measure(root_);
            struct stat st;
            QVERIFY(lstatBelow(root_, rel, st));
            try {
                shell.moveToTrash(abs(rel));
            } catch (const PlatformError& e) {
                QFAIL(qPrintable(QStringLiteral("trashing ...") + QString::fromLatin1(printable(rel).right(60)) + QStringLiteral(": ")
                                 + e.description()));
            }
            struct stat gone;
            QVERIFY2(!lstatBelow(root_, rel, gone), printable(rel).constData());
            const QByteArray problem = firstDifference(withoutSubtree(before, rel), hostile::measure(root_));
            QVERIFY2(problem.isEmpty(), problem.constData());

            // Exactly one .trashinfo leads back to the path, and its item in files/ is the same inode.
            QByteArrayList items;
            for (const QByteArray& infoName : entryNames(trash + "/info")) {
                QFile info;
                const int fd = ::open((trash + "/info/" + infoName).constData(), O_RDONLY | O_CLOEXEC);
                QVERIFY(fd >= 0 && info.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle));
                const QList<QByteArray> lines = info.readAll().split('\n');
                QCOMPARE(lines.value(0), QByteArray("[Trash Info]"));
                QVERIFY(lines.value(1).startsWith("Path="));
                if (QByteArray::fromPercentEncoding(lines.value(1).mid(5)) == abs(rel))
                    items << infoName.chopped(int(sizeof(".trashinfo") - 1));
            }
            QVERIFY2(items.size() == 1, printable(rel).constData());
            struct stat moved;
            QVERIFY(::lstat((trash + "/files/" + items.first()).constData(), &moved) == 0);
            QCOMPARE(moved.st_ino, st.st_ino);
            QCOMPARE(moved.st_dev, st.st_dev);
        }
    }

    // Renames among strange names, past PATH_MAX included, touch nothing else.
    void renameStrangeNames()
    {
        if (qEnvironmentVariableIsSet(kRootVariable))
            QSKIP("the child only scans");
        const std::string deep = parentOf(manifest_.longPathFolder);
        const std::vector<std::pair<std::string, std::string>> renames = {
            {"names/bad\xc3(seq", "renamed\n\xff\xfe"},
            {"names/cr\rname", std::string(254, '\xe9') + "x"},
            {"names/tab\there", "-leading\ttab"},
            {deep + "/file", "file renamed \xc3"},
        };
        for (const auto& [rel, newName] : renames) {
            const hostile::Oracle before = hostile::measure(root_);
            struct stat st;
            QVERIFY2(lstatBelow(root_, rel, st), printable(rel).constData());
            const std::string to = parentOf(rel) + '/' + newName;
            try {
                moveWithoutReplacing(abs(rel), abs(to), systemRenameOps());
            } catch (const PlatformError& e) {
                QFAIL(qPrintable(QStringLiteral("renaming ...") + QString::fromLatin1(printable(rel).right(60)) + QStringLiteral(": ")
                                 + e.description()));
            }
            struct stat after;
            QVERIFY(!lstatBelow(root_, rel, after));
            QVERIFY(lstatBelow(root_, to, after));
            QCOMPARE(after.st_ino, st.st_ino);
            const hostile::Oracle expected = S_ISDIR(st.st_mode) ? withRename(before, rel, newName) : before;
            const QByteArray problem = firstDifference(expected, hostile::measure(root_));
            QVERIFY2(problem.isEmpty(), problem.constData());
        }
    }

    // Folders removed, and swapped for a link to "/", while the walk is inside them: the walk
    // ends, and nothing outside the volume is counted.
    void foldersChangingUnderTheWalk()
    {
        if (qEnvironmentVariableIsSet(kRootVariable))
            QSKIP("the child only scans");
        const std::string work = QFile::encodeName(base_.path()).toStdString() + "/changing";
        QVERIFY(::mkdir(work.c_str(), 0755) == 0);
        for (int trial = 0; trial < 3; ++trial) {
            const std::string root = work + "/volume";
            QVERIFY(::mkdir(root.c_str(), 0755) == 0);
            // Chains of folders, so that the walk is likely to be somewhere inside when they change.
            auto fill = [](const std::string& folder, int files, int depth) {
                std::string at = folder;
                for (int level = 0; level <= depth; ++level) {
                    ::mkdir(at.c_str(), 0755);
                    for (int i = 0; i < files; ++i) {
                        const int fd = ::open((at + "/f" + std::to_string(i)).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
                        if (fd >= 0 && ::ftruncate(fd, 100 + i) == 0)
                            ::close(fd);
                    }
                    at += "/d";
                }
            };
            fill(root + "/keep", 50, 2);
            fill(root + "/victim-removed", 10, 60);
            fill(root + "/victim-swapped", 10, 60);
            const hostile::Oracle before = hostile::measure(root);
            const std::uint64_t total = before.folderSizes.at("");

            Walk walk(root, 2);
            if (trial > 0)
                QThread::msleep(1u << trial);
            const std::string moved = work + "/moved";
            QVERIFY(::rename((root + "/victim-removed").c_str(), (work + "/removed").c_str()) == 0);
            hostile::removeTree(work + "/removed");
            QVERIFY(::rename((root + "/victim-swapped").c_str(), moved.c_str()) == 0);
            QVERIFY(::symlink("/", (root + "/victim-swapped").c_str()) == 0);

            const QDeadlineTimer deadline(60000);
            while (!walk.finished() && !deadline.hasExpired())
                walk.waitFor(std::chrono::milliseconds(50));
            QVERIFY2(walk.finished(), "the walk did not end");
            const Walk::Answer all = walk.sizeOf("");
            QCOMPARE(all.state, Walk::State::Found);
            QVERIFY2(all.size <= total, QByteArray::number(qulonglong(all.size)).constData());
            const Walk::Answer keep = walk.sizeOf("keep");
            QCOMPARE(keep.state, Walk::State::Found);
            QCOMPARE(keep.size, before.folderSizes.at("keep"));
            const Walk::Answer swapped = walk.sizeOf("victim-swapped");
            if (swapped.state == Walk::State::Found)
                QVERIFY(swapped.size <= before.folderSizes.at("victim-swapped"));

            // A scan afterwards shows what exists: the link is no folder, the removed one is gone.
            ScanRigOnDisk rig(bytes(root));
            rig.scanner->scanVolume();
            QVERIFY(rig.tree.find(folderKey(bytes(root + "/keep"))));
            QVERIFY(!rig.tree.find(folderKey(bytes(root + "/victim-removed"))));
            QVERIFY(!rig.tree.find(folderKey(bytes(root + "/victim-swapped"))));
            // The link itself counts: its target "/" is one byte.
            QCOMPARE(rig.sizeOf(bytes(root)), qint64(before.folderSizes.at("keep") + 1));

            hostile::removeTree(root);
            hostile::removeTree(moved);
        }
    }
};

int main(int argc, char** argv)
{
    // The child of scanAsUnprivilegedUser drops root before anything else runs.
    if (qEnvironmentVariableIsSet(kUnprivilegedVariable) && ::geteuid() == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setresgid(kNobody, kNobody, kNobody) != 0
            || ::setresuid(kNobody, kNobody, kNobody) != 0) {
            std::perror("dropping root");
            return 3;
        }
    }
    QApplication app(argc, argv);
    HostileTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_hostile.moc"
