#include "platform/system/RegularFile.h"

#include "platform/system/FilePath.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

RegularFile openRegularFile(const QString& path)
{
    const QByteArray native = FilePath::toNative(path);
    // Opened without blocking and checked on the descriptor, so that a FIFO
    // put in the file's place after a check by name cannot hang the reader.
    const int descriptor = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0)
        return {{}, 0, errno == EISDIR ? QStringLiteral("it is a folder") : QString::fromLocal8Bit(std::strerror(errno))};
    auto file = std::make_unique<QFile>();
    if (!file->open(descriptor, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(descriptor);
        return {{}, 0, file->errorString()};
    }
    struct stat status {};
    if (fstat(descriptor, &status) != 0)
        return {{}, 0, QString::fromLocal8Bit(std::strerror(errno))};
    if (S_ISDIR(status.st_mode))
        return {{}, 0, QStringLiteral("it is a folder")};
    if (!S_ISREG(status.st_mode))
        return {{}, 0, QStringLiteral("it is not a regular file")};
    if (status.st_size == 0)
        return {{}, 0, QStringLiteral("the file is empty")};
    return {std::move(file), qint64(status.st_size), {}};
}

RegularFile openImageFile(const QString& path)
{
    RegularFile opened = openRegularFile(path);
    if (opened.file && opened.size > kMaxImageFileBytes)
        return {{}, 0, QStringLiteral("the file is larger than %1 MB").arg(kMaxImageFileBytes >> 20)};
    return opened;
}
