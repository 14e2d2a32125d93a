#include "platform/system/NewFile.h"

#include "platform/system/FilePath.h"

#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString quoted(const QString& path)
{
    return QStringLiteral("\u201c%1\u201d").arg(FilePath::forDisplay(path));
}

// The folder a file goes into and its name there, as bytes.
struct Place {
    QByteArray folder;
    QByteArray name;
};

Place placeOf(const QByteArray& native)
{
    const qsizetype slash = native.lastIndexOf('/');
    if (slash < 0)
        return {".", native};
    return {slash == 0 ? QByteArray("/") : native.left(slash), native.mid(slash + 1)};
}

QString folderForDisplay(const Place& place)
{
    return quoted(QFileInfo(FilePath::fromNative(place.folder)).absoluteFilePath());
}

// errno's own text only where no plainer words fit.
struct Wording {
    int error;
    const char* sentence;
    bool aboutFolder;
};
constexpr Wording kWordings[] = {
    {ENOSPC, "There is no room left on the disk for %1.", false},
    {EDQUOT, "Your disk quota leaves no room for %1.", false},
    {ENOENT, "The folder %1 does not exist.", true},
    {ENOTDIR, "%1 is not a folder.", true},
    {EACCES, "Ferlow is not allowed to write in the folder %1.", true},
    {EPERM, "Ferlow is not allowed to write in the folder %1.", true},
    {EROFS, "The folder %1 is on a disk that cannot be written to.", true},
    {EISDIR, "%1 is a folder.", false},
    {ENAMETOOLONG, "The name %1 is too long.", false},
    {EIO, "The disk failed while %1 was written.", false},
};

// A hidden file beside the target, made by open(2) rather than mkstemp so
// that it gets the permissions the umask gives any new document, not 0600.
// Returns the descriptor, or -1 with errno set.
int createTemporary(const Place& place, QByteArray* temporary)
{
    // The name is cut so that the suffixes still fit into a file name's
    // 255 bytes when the target's own name nearly fills them.
    const QByteArray stem = place.folder + "/." + place.name.left(200) + '.';
    for (int attempt = 0; attempt < 100; ++attempt) {
        QByteArray tag(6, '\0');
        for (char& c : tag)
            c = "abcdefghijklmnopqrstuvwxyz0123456789"[QRandomGenerator::global()->bounded(36)];
        *temporary = stem + tag + ".unfinished";
        const int descriptor = ::open(temporary->constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (descriptor >= 0 || errno != EEXIST)
            return descriptor;
    }
    return -1;
}

} // namespace

QString NewFile::failure(int error, const QString& path)
{
    const Place place = placeOf(FilePath::toNative(path));
    // Folders such as /proc refuse new files as if they were not there.
    struct stat status {};
    if (error == ENOENT && ::stat(place.folder.constData(), &status) == 0 && S_ISDIR(status.st_mode))
        error = EACCES;
    for (const Wording& wording : kWordings)
        if (wording.error == error)
            return QString::fromUtf8(wording.sentence).arg(wording.aboutFolder ? folderForDisplay(place) : quoted(path));
    return QStringLiteral("%1 could not be written: %2.").arg(quoted(path), QString::fromLocal8Bit(std::strerror(error)));
}

std::unique_ptr<NewFile> NewFile::create(const QString& path, QString* error)
{
    const QByteArray native = FilePath::toNative(path);
    // Found out now rather than by the last rename.
    if (struct stat status {}; ::stat(native.constData(), &status) == 0 && S_ISDIR(status.st_mode)) {
        *error = failure(EISDIR, path);
        return nullptr;
    }
    QByteArray temporary;
    const int descriptor = createTemporary(placeOf(native), &temporary);
    if (descriptor < 0) {
        *error = failure(errno, path);
        return nullptr;
    }
    return std::unique_ptr<NewFile>(new NewFile(path, std::move(temporary), descriptor));
}

NewFile::NewFile(QString path, QByteArray temporary, int descriptor)
    : mPath(std::move(path))
    , mTemporary(std::move(temporary))
    , mDescriptor(descriptor)
{
}

NewFile::~NewFile()
{
    discard();
}

void NewFile::discard()
{
    if (mDescriptor < 0)
        return;
    ::close(mDescriptor);
    mDescriptor = -1;
    ::unlink(mTemporary.constData());
}

bool NewFile::write(const QByteArray& bytes, QString* error)
{
    for (qsizetype written = 0; written < bytes.size();) {
        const ssize_t now = ::write(mDescriptor, bytes.constData() + written, std::size_t(bytes.size() - written));
        if (now < 0 && errno == EINTR)
            continue;
        if (now < 0) {
            *error = failure(errno, mPath);
            discard();
            return false;
        }
        written += now;
    }
    return true;
}

bool NewFile::commit(QString* error)
{
    if (::fsync(mDescriptor) != 0 || ::rename(mTemporary.constData(), FilePath::toNative(mPath).constData()) != 0) {
        *error = failure(errno, mPath);
        discard();
        return false;
    }
    ::close(mDescriptor);
    mDescriptor = -1;
    const QByteArray folder = placeOf(FilePath::toNative(mPath)).folder;
    if (const int directory = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); directory >= 0) {
        ::fsync(directory);
        ::close(directory);
    }
    return true;
}
