#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>

class QFile;

namespace torvane {

// A folder name as report text: "&" becomes " and ", markup characters and line breaks become
// references, bytes that are not UTF-8 become U+FFFD; the result is always well-formed XML.
QString reportNameText(const QByteArray& name);

// The XML report "xmlOutput.xml" of one scan. It is written to a temporary file beside the
// report and renamed over it only by finish(), so an abandoned scan leaves the old report whole.
// A report that cannot be created is silently not written.
class ReportWriter {
public:
    ReportWriter();
    ~ReportWriter();

    void begin(const QString& path, std::uint64_t driveTotalBytes, const QByteArray& driveKey);
    void parentFolderOpen(std::uint64_t sizeBytes, const QByteArray& name);
    void subFolder(std::uint64_t sizeBytes, const QByteArray& name);
    void parentFolderClose();
    void finish();
    // Closes and removes the partial file; the previous report stays as it was.
    void abandon();
    bool isOpen() const;

private:
    void line(int tabs, const QString& text);
    QString path_;
    std::unique_ptr<QFile> file_;
};

} // namespace torvane
