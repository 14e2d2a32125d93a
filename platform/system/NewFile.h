#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

// A file of the user's that appears under its name only once it is whole:
// it is written under a hidden temporary name in the same folder, with the
// permissions the umask gives any new document, and commit() renames it onto
// its name once it is on the disk. Dropped before that, or after a failure,
// the temporary file goes, and whatever was under the name stays as it was.
//
// Names are FilePath strings: a name that is no UTF-8 keeps its bytes.
class NewFile {
public:
    // The temporary file made, open for writing; nothing, with *error saying
    // why in words for the user, where it cannot be.
    static std::unique_ptr<NewFile> create(const QString& path, QString* error);
    ~NewFile();
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    // Where to write meanwhile, as bytes, and the descriptor open on it.
    const QByteArray& temporaryPath() const { return mTemporary; }
    int descriptor() const { return mDescriptor; }
    // All of `bytes`, at the end of what is written so far.
    bool write(const QByteArray& bytes, QString* error);
    // Onto the disk, then under its name; the folder synced after, so that
    // the name survives a crash too.
    bool commit(QString* error);

    // Why the file at path could not be made or written, errno `error`, in
    // words for the user, naming the file or, where the fault lies there,
    // its folder.
    static QString failure(int error, const QString& path);

private:
    NewFile(QString path, QByteArray temporary, int descriptor);
    void discard();

    QString mPath;
    QByteArray mTemporary;
    int mDescriptor = -1;
};
