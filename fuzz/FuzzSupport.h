#pragma once

// Shared pieces of the fuzz targets: a headless application for code that needs one, property
// checks that abort (so libFuzzer keeps the input), and input slicing.

#include <QByteArray>
#include <QGuiApplication>
#include <QList>
#include <QString>

#include <cstdio>
#include <cstdlib>

namespace torvane::fuzz {

inline void ensureApplication()
{
    static int argc = 1;
    static char name[] = "torvane-fuzz";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static QGuiApplication app(argc, argv);
    }
}

[[noreturn]] inline void propertyFailed(const char* what, const char* file, int line, const QByteArray& detail)
{
    std::fprintf(stderr, "%s:%d: property failed: %s\n  %s\n", file, line, what, detail.toPercentEncoding(" ").constData());
    std::abort();
}

// How a folder name reads back from the report: UTF-8 with U+FFFD for invalid sequences, "&" as
// " and ", U+FFFD for the characters XML 1.0 cannot carry at all; tab, CR and LF as themselves.
inline QString reportReadBack(const QByteArray& name)
{
    QString out;
    for (const QChar c : QString::fromUtf8(name)) {
        const char16_t u = c.unicode();
        if (u == '&')
            out += QLatin1String(" and ");
        else if ((u < 0x20 && u != '\t' && u != '\n' && u != '\r') || u == 0xFFFE || u == 0xFFFF)
            out += QChar(0xFFFD);
        else
            out += c;
    }
    return out;
}

// The input cut at NUL bytes into at most `parts` pieces; the last one keeps any further NULs.
inline QList<QByteArray> slices(const char* data, std::size_t size, int parts)
{
    QList<QByteArray> out;
    QByteArray rest(data, qsizetype(size));
    while (out.size() + 1 < parts) {
        const qsizetype nul = rest.indexOf('\0');
        if (nul < 0)
            break;
        out.append(rest.left(nul));
        rest = rest.mid(nul + 1);
    }
    out.append(rest);
    while (out.size() < parts)
        out.append(QByteArray());
    return out;
}

} // namespace torvane::fuzz

#define FUZZ_CHECK(cond, detail)                                                        \
    do {                                                                                \
        if (!(cond))                                                                    \
            ::torvane::fuzz::propertyFailed(#cond, __FILE__, __LINE__, QByteArray(detail)); \
    } while (0)
