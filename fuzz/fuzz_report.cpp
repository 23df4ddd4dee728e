// The report's name escaping and the reading back of the report: whatever bytes a folder name
// holds, the report is well-formed XML and the name reads back as the display form of its bytes.

#include "FuzzSupport.h"

#include "scan/FolderNode.h"
#include "scan/Report.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QXmlStreamReader>

#include <cstdint>

using namespace torvane;

namespace {

bool plainUtf8(const QByteArray& name)
{
    if (QString::fromUtf8(name).toUtf8() != name)
        return false;
    for (const char c : name)
        if (c == '&' || (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r'))
            return false;
    return !name.contains("\xef\xbf\xbe") && !name.contains("\xef\xbf\xbf");
}

void checkAlone(const QByteArray& name)
{
    const QString text = reportNameText(name);
    const QString doc = QStringLiteral("<r a='") + text + QStringLiteral("' b=\"") + text + QStringLiteral("\">") + text
                        + QStringLiteral("</r>");
    QXmlStreamReader xml(doc);
    QString attrA, attrB, body;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            attrA = xml.attributes().value(QLatin1String("a")).toString();
            attrB = xml.attributes().value(QLatin1String("b")).toString();
            body = xml.readElementText();
        }
    }
    FUZZ_CHECK(!xml.hasError(), xml.errorString().toUtf8() + " in " + doc.toUtf8());
    const QString expected = fuzz::reportReadBack(name);
    FUZZ_CHECK(attrA == expected, attrA.toUtf8());
    FUZZ_CHECK(attrB == expected, attrB.toUtf8());
    FUZZ_CHECK(body == expected, body.toUtf8());
    if (plainUtf8(name))
        FUZZ_CHECK(body == QString::fromUtf8(name), name);
}

struct Read {
    QString drive;
    QStringList parents;
    QStringList subs;
    QStringList sizes;
};

Read readReport(const QByteArray& bytes)
{
    Read r;
    QXmlStreamReader xml(bytes);
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        const QXmlStreamAttributes a = xml.attributes();
        if (xml.name() == QLatin1String("DirectoryTree")) {
            r.drive = a.value(QLatin1String("Drive")).toString();
        } else if (xml.name() == QLatin1String("ParentFolder")) {
            r.parents << a.value(QLatin1String("FolderName")).toString();
            r.sizes << a.value(QLatin1String("Size")).toString();
        } else if (xml.name() == QLatin1String("SubFolder")) {
            r.sizes << a.value(QLatin1String("Size")).toString();
            r.subs << xml.readElementText();
        }
    }
    FUZZ_CHECK(!xml.hasError(), xml.errorString().toUtf8() + " in " + bytes);
    return r;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::ensureApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QList<QByteArray> names = QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)).split('\0').mid(0, 12);
    for (const QByteArray& name : names)
        checkAlone(name);

    // The whole writer: the first name is the drive, then parents, each followed by one subfolder.
    // The writer syncs the report to disk on finish; memory-backed storage keeps that cheap.
    static const QString folder = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    static const QString path = folder + QStringLiteral("/torvane-fuzz-report-") + QString::number(QCoreApplication::applicationPid())
                                + QStringLiteral(".xml");
    std::uint64_t size0 = 0;
    for (const char c : names.first())
        size0 = size0 * 131 + static_cast<unsigned char>(c);
    ReportWriter writer;
    writer.begin(path, size0, names.first());
    QStringList parents, subs, sizes;
    for (qsizetype i = 1; i < names.size(); i += 2) {
        const std::uint64_t s = size0 >> (i % 64);
        writer.parentFolderOpen(s, names[i]);
        parents << fuzz::reportReadBack(names[i]);
        sizes << QStringLiteral(" [ ") + mbText(s) + QStringLiteral(" MB]");
        if (i + 1 < names.size()) {
            writer.subFolder(s / 3, names[i + 1]);
            subs << fuzz::reportReadBack(names[i + 1]);
            sizes << QStringLiteral(" [ ") + mbText(s / 3) + QStringLiteral(" MB]");
        }
        writer.parentFolderClose();
    }
    writer.finish();
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::ReadOnly), path.toUtf8());
    const QByteArray bytes = file.readAll();
    file.close();
    QFile::remove(path);

    FUZZ_CHECK(QString::fromUtf8(bytes).toUtf8() == bytes, "the report is not UTF-8");
    FUZZ_CHECK(!bytes.contains('\n') || bytes.count('\n') == bytes.count("\r\n"), "a line end without CR");
    const Read r = readReport(bytes);
    FUZZ_CHECK(r.drive == fuzz::reportReadBack(names.first()), r.drive.toUtf8());
    FUZZ_CHECK(r.parents == parents, r.parents.join(QLatin1Char('|')).toUtf8());
    FUZZ_CHECK(r.subs == subs, r.subs.join(QLatin1Char('|')).toUtf8());
    FUZZ_CHECK(r.sizes == sizes, r.sizes.join(QLatin1Char('|')).toUtf8());
    return 0;
}
