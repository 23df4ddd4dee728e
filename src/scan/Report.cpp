#include "scan/Report.h"

#include "scan/FolderNode.h"

#include <QFile>

#include <cstdio>

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

ReportWriter::~ReportWriter()
{
    abandon();
}

void ReportWriter::abandon()
{
    if (file_) {   // never finished: the previous report stays as it was
        file_->close();
        file_->remove();
        file_.reset();
    }
}

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
    // One fixed name beside the report: a program ended in the middle of a scan leaves at most
    // this one file behind, and the next scan writes over it.
    path_ = path;
    file_ = std::make_unique<QFile>(path + QStringLiteral(".part"));
    if (!file_->open(QIODevice::WriteOnly | QIODevice::Truncate)) {
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
    const bool written = file_->flush() && file_->error() == QFileDevice::NoError;
    file_->close();
    if (!written || std::rename(QFile::encodeName(file_->fileName()).constData(), QFile::encodeName(path_).constData()) != 0)
        file_->remove();
    file_.reset();
}

} // namespace torvane
