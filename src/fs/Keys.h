#pragma once

#include <QByteArray>
#include <QString>

namespace torvane {

// Tree keys. On Linux a key is the exact path: file systems tell Foo from FOO. A case-insensitive
// platform would upper-case here and nowhere else.
QByteArray folderKey(const QByteArray& path);
// The mount path with exactly one trailing '/': "/", "/home/", "/media/usb/".
QByteArray driveKey(const QByteArray& mountPath);
// parent + '/' + name, without doubling a '/' that parent already ends with.
QByteArray joinPath(const QByteArray& parent, const QByteArray& name);
// The last component of a path ("" for "/").
QByteArray lastComponent(const QByteArray& path);
// Bytes shown to a person: invalid UTF-8 becomes U+FFFD, control characters become visible
// escapes (\n, \t, \r, \xNN) so a name never breaks a line in two, and direction overrides
// become \uNNNN so a name never reverses the text after it.
QString displayName(const QByteArray& bytes);

} // namespace torvane
