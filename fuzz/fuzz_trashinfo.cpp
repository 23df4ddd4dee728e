// The .trashinfo written for a trashed path: whatever bytes the path holds, the file is three
// lines a file manager can read, and the Path= value decodes to exactly those bytes.

#include "FuzzSupport.h"

#include "desktop/TrashInfo.h"

#include <QRegularExpression>

#include <cstdint>
#include <cstring>
#include <ctime>

using namespace torvane;

namespace {

bool unreservedOrSlash(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_'
           || c == '~' || c == '/';
}

bool hex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

// Reads a .trashinfo the way the freedesktop trash describes it: a group header, then key=value
// lines; the path is percent-decoded.
struct Info {
    bool valid = false;
    QByteArray path;
    QByteArray date;
};

Info readInfo(const QByteArray& text)
{
    Info info;
    QList<QByteArray> lines = text.split('\n');
    if (lines.isEmpty() || lines.takeFirst() != "[Trash Info]")
        return info;
    int paths = 0, dates = 0;
    for (const QByteArray& line : lines) {
        if (line.startsWith("Path=")) {
            info.path = QByteArray::fromPercentEncoding(line.mid(5));
            ++paths;
        } else if (line.startsWith("DeletionDate=")) {
            info.date = line.mid(13);
            ++dates;
        } else if (!line.isEmpty()) {
            return info;
        }
    }
    info.valid = paths == 1 && dates == 1;
    return info;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The first eight bytes pick the deletion time, the rest is the path.
    std::int64_t seconds = 0;
    if (size >= 8) {
        std::memcpy(&seconds, data, 8);
        data += 8;
        size -= 8;
    }
    const QByteArray path(reinterpret_cast<const char*>(data), qsizetype(size));

    const QByteArray encoded = encodeTrashPath(path);
    for (qsizetype i = 0; i < encoded.size(); ++i) {
        if (encoded.at(i) == '%') {
            FUZZ_CHECK(i + 2 < encoded.size() + 0 && hex(encoded.at(i + 1)) && hex(encoded.at(i + 2)), encoded);
            i += 2;
        } else {
            FUZZ_CHECK(unreservedOrSlash(encoded.at(i)), encoded);
        }
    }
    FUZZ_CHECK(QByteArray::fromPercentEncoding(encoded) == path, encoded);

    // Times as the trash gets them: any moment localtime_r can describe.
    const std::time_t when = std::time_t(seconds % (std::int64_t(1) << 44));
    std::tm local{};
    if (!::gmtime_r(&when, &local))
        return 0;
    const QByteArray text = trashInfoText(path, local);
    FUZZ_CHECK(text.endsWith('\n') && text.count('\n') == 3, text);
    const Info info = readInfo(text);
    FUZZ_CHECK(info.valid, text);
    FUZZ_CHECK(info.path == path, text);
    if (local.tm_year >= -1900 && local.tm_year < 10000 - 1900) {
        static const QRegularExpression iso(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d$"));
        FUZZ_CHECK(iso.match(QString::fromLatin1(info.date)).hasMatch(), info.date);
    }
    return 0;
}
