#pragma once

#include <QByteArray>
#include <QString>

class QUrl;

// A file's name on Linux is bytes, most often UTF-8 but not always (a
// "caf\xe9.png" from an old Latin-1 disk). Qt turns the bytes that are no
// UTF-8 into U+FFFD, after which the file can no longer be named. Here
// each such byte becomes one of the lone surrogates U+DC80 to U+DCFF, so that
// a path kept as a QString names the same bytes again; the functions below
// are the only ways between the two.
namespace FilePath {

QString fromNative(const QByteArray& bytes);
QByteArray toNative(const QString& path);
// The path of a file:// URL, its percent-encoded bytes kept; empty for any
// other URL.
QString fromUrl(const QUrl& url);
// The path for people to read: each byte that is no UTF-8 shows as U+FFFD.
QString forDisplay(const QString& path);
// The path as the settings file keeps it: as it is where it is text, as a
// file:// URL where it has bytes that are not, which fromStored reads back.
QString toStored(const QString& path);
// A stored path, or a file:// URL from any source.
QString fromStored(const QString& stored);
bool isFile(const QString& path);

} // namespace FilePath
