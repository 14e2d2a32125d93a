#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

class BitmapImageRep;

// An image as loaded, by resource name or from a file: its encoded bytes.
// The bitmap is decoded on the first request and kept, so that rebuilding a
// mesh from the same image at another grid size does not decode it again.
class Image {
public:
    // The image resource of that name, extension included, in the main
    // bundle; nothing if there is none.
    static std::shared_ptr<Image> fromResource(const QString& name);
    // The image read from the file at path; nothing if it cannot be read.
    static std::shared_ptr<Image> fromFile(const QString& path);

    explicit Image(QByteArray encoded);
    // An image already decoded; it has no encoded data.
    explicit Image(std::shared_ptr<const BitmapImageRep> decoded);

    const QByteArray& encodedData() const { return mEncoded; }

    // The decoded bitmap, or null when the data cannot be decoded (the
    // outcome is kept either way).
    std::shared_ptr<const BitmapImageRep> bitmap() const;

private:
    QByteArray mEncoded;
    mutable bool mDecoded = false;
    mutable std::shared_ptr<const BitmapImageRep> mBitmap;
};
