#include "scan/Report.h"

#include "scan/FolderNode.h"

#include <QSaveFile>

namespace torvane {

QString reportNameText(const QByteArray& name)
{
    const QString text = QString::fromUtf8(name);   // invalid sequences become U+FFFD
    QString out;
    out.reserve(text.size() + 8);
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '&': out += QLatin1String(" and "); break;
        case '\'': out += QLatin1String("&apos;"); break;
        case '"': out += QLatin1String("&quot;"); break;
        case '<': out += QLatin1String("&lt;"); break;
        case '>': out += QLatin1String("&gt;"); break;
        case '\t': out += QLatin1String("&#9;"); break;
        case '\n': out += QLatin1String("&#10;"); break;
        case '\r': out += QLatin1String("&#13;"); break;
        default:
            // XML 1.0 cannot carry the other control characters even as references.
            if (c.unicode() < 0x20 || c.unicode() == 0xFFFE || c.unicode() == 0xFFFF)
                out += QChar(0xFFFD);
            else
                out += c;
        }
    }
    return out;
}

ReportWriter::ReportWriter() = default;
ReportWriter::~ReportWriter() = default;   // an unfinished QSaveFile discards its temporary file

bool ReportWriter::isOpen() const
{
    return file_ && file_->isOpen();
}

void ReportWriter::line(int tabs, const QString& text)
{
    if (!isOpen())
        return;
    QByteArray bytes(tabs, '\t');
    bytes += text.toUtf8();
    bytes += "\r\n";
    file_->write(bytes);
}

void ReportWriter::begin(const QString& path, std::uint64_t driveTotalBytes, const QByteArray& driveKey)
{
    file_ = std::make_unique<QSaveFile>(path);
    if (!file_->open(QIODevice::WriteOnly)) {
        file_.reset();
        return;
    }
    line(0, QStringLiteral("<?xml version='1.0' ?>"));
    line(1, QStringLiteral("<DirectoryTree Size='  [") + mbText(driveTotalBytes) + QStringLiteral(" MB]' Drive='")
                + reportNameText(driveKey) + QStringLiteral("'>"));
}

void ReportWriter::parentFolderOpen(std::uint64_t sizeBytes, const QByteArray& name)
{
    line(2, QStringLiteral("<ParentFolder Size=' [ ") + mbText(sizeBytes) + QStringLiteral(" MB]' FolderName='")
                + reportNameText(name) + QStringLiteral("'>"));
}

void ReportWriter::subFolder(std::uint64_t sizeBytes, const QByteArray& name)
{
    line(3, QStringLiteral("<SubFolder Size=' [ ") + mbText(sizeBytes) + QStringLiteral(" MB]'>") + reportNameText(name)
                + QStringLiteral("</SubFolder>"));
}

void ReportWriter::parentFolderClose()
{
    line(2, QStringLiteral("</ParentFolder>"));
}

void ReportWriter::finish()
{
    if (!isOpen())
        return;
    line(1, QStringLiteral("</DirectoryTree>"));
    file_->commit();
    file_.reset();
}

} // namespace torvane
