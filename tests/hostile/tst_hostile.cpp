// A generated hostile tree through the real file system, scan, tree, report and status text, as
// root and as an unprivileged user.

#include "FuzzSupport.h"
#include "WalkFixture.h"   // the hostile library, LinuxFileSystem and the system calls too

#include "fs/Keys.h"
#include "fs/MountTable.h"
#include "support/ScanRig.h"

#include <QApplication>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidgetItemIterator>
#include <QXmlStreamReader>


using namespace torvane;
using namespace torvane::test;
namespace hostile = torvane::hostile;

namespace {

constexpr std::uint64_t kSeed = 20240607;
// Set for the unprivileged child: the tree its parent generated.
const char* const kRootVariable = "TORVANE_HOSTILE_ROOT";

} // namespace

class HostileTest : public QObject {
    Q_OBJECT

    QTemporaryDir base_;
    std::string root_;
    hostile::Manifest manifest_;
    bool generated_ = false;

    QByteArray abs(const std::string& rel) const { return bytes(rel.empty() ? root_ : root_ + '/' + rel); }

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
        // Unprivileged (the child below, or a developer's account) the six locked folders, at least, fail.
        QVERIFY(::geteuid() == 0 ? oracle.unreadable.empty() : oracle.unreadable.size() >= 6);
        QVERIFY(oracle.folderSizes.size() > 400);

        // The real file system, with the test's folder in the mount table so it is scanned as a volume.
        LinuxFileSystem fs([volume = abs("")] {
            std::vector<MountEntry> table = readMountTable();
            table.push_back(MountEntry{"test", volume, "ext4", "/", {}});
            return table;
        });
        ScanRig rig(fs, abs(""));
        rig.prompter.answerNext(BoxAnswer::Ok);   // the folder lies on a disk far above the large-drive threshold
        rig.scanner->scanVolume();
        QCOMPARE(rig.prompter.boxes.size(), 1);   // the large-drive question, nothing else

        // Every folder the oracle could read, at any depth, has its exact size; the others their error.
        QByteArrayList wrong;
        const auto expectSize = [&](const std::string& rel, qint64 expected) {
            qint64 got = 0;
            if (const int err = errorOf([&] { got = qint64(sizeWhenReady(fs, abs(rel))); }))
                got = -err;
            if (got != expected)
                wrong << bytes(hostile::printable(rel)) + ": " + QByteArray::number(got) + " expected " + QByteArray::number(expected);
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
                    wrong << "error line of " + bytes(hostile::printable(rel));
                return false;
            }
            const QTreeWidgetItem* node = rig.tree.find(folderKey(abs(rel)));
            if (!node || node->text(0) != folderCaption(size->second, bytes(name)))
                wrong << "node of " + bytes(hostile::printable(rel));
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
        const std::string& longPath = manifest_.longPathFolder;
        for (std::size_t slash = longPath.find('/', longPath.find('/') + 1); slash != std::string::npos;
             slash = longPath.find('/', slash + 1)) {
            rig.scanner->listSubfolders(folderKey(abs(longPath.substr(0, slash))));
        }
        if (!longPath.empty() && (!rig.tree.find(folderKey(abs(longPath))) || !fs.folderExists(abs(longPath))
                                  || !fs.lastAccess(abs(longPath)).isValid()))
            wrong << "the bottom of the chain past PATH_MAX";

        // Nothing the user reads is broken in two by a name.
        const QStringList lines = status.split(QStringLiteral("\r\n"));
        const auto count = [&](const char* start) { return lines.filter(QRegularExpression(QLatin1String(start))).size(); };
        if (count("^Reading: ") != readingLines || count("^Error: ") != qsizetype(oracle.unreadable.size()))
            wrong << "the count of reading or error lines";
        // Characters that start a new line in a text view or a log reader.
        const QRegularExpression breaksLine(QStringLiteral("[\\x{0}-\\x{1f}\\x{7f}-\\x{9f}\\x{2028}\\x{2029}]"));
        QStringList shown = lines;
        for (QTreeWidgetItemIterator it(&rig.view); *it; ++it)
            shown << (*it)->text(0);
        for (const QString& text : shown.filter(breaksLine))
            wrong << "broken in two: " + text.toUtf8().toPercentEncoding(" :[]");

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
        if (xml.hasError() || parents != expectedParents || subs != expectedSubs)
            wrong << "the report: " + xml.errorString().toUtf8();
        QVERIFY2(wrong.isEmpty(), wrong.mid(0, 20).join('\n').constData());
    }

    // The same scan as nobody, in a child process that drops root before it starts.
    void scanAsUnprivilegedUser()
    {
        if (qEnvironmentVariableIsSet(kRootVariable))
            QSKIP("this is the child");
        if (::geteuid() != 0)
            QSKIP("already unprivileged: scanMatchesOracle covered it");
        const QByteArray failed = runAsNobody(*this, kRootVariable, QString::fromLocal8Bit(abs("")), {QStringLiteral("scanMatchesOracle")});
        QVERIFY2(failed.isEmpty(), failed.constData());
    }
};

int main(int argc, char** argv)
{
    return execDroppingRoot<QApplication, HostileTest>(kRootVariable, argc, argv);
}

#include "tst_hostile.moc"
