#pragma once

#include <QFile>
#include <QString>
#include <memory>

// The file at path opened for reading, or why it cannot be read, in words
// for the user ("it is a folder", "the file is empty"). Only a regular file
// is opened: a FIFO or a device would block or never end.
struct RegularFile {
    std::unique_ptr<QFile> file;
    qint64 size = 0;
    QString failure;
};
RegularFile openRegularFile(const QString& path);

// The image file at path opened as openRegularFile opens it, for a decoder
// that reads it as it goes; files beyond kMaxImageFileBytes are refused
// unread.
inline constexpr qint64 kMaxImageFileBytes = qint64(1) << 30;
RegularFile openImageFile(const QString& path);
