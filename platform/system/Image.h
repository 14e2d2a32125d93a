#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

// The decoded samples of a height image: one byte per pixel, rows from the
// top of the image downwards, each row exactly pixelsWide() bytes (QImage
// pads rows to four bytes; they are repacked here).
//
// What is accepted, and how it becomes one grey byte per pixel:
// - 8-bit grey: taken as it is.
// - 16-bit grey: the nearest 8-bit value.
// - colour, with or without alpha, and palette images: the luminance of the
//   colour (QImage's grey conversion); alpha is ignored, so a transparent
//   pixel keeps the height its colour gives.
// - anything larger than kMaxDimension on a side or kMaxPixels in all is
//   refused from its header, before any pixel memory is allocated.
class BitmapImageRep {
public:
    static constexpr int kMaxDimension = 16384;
    static constexpr std::int64_t kMaxPixels = std::int64_t(8192) * 8192;

    // The decoded bitmap, or nothing when the data is no image QImage can
    // read or the image is too large.
    static std::shared_ptr<const BitmapImageRep> initWithData(const QByteArray& data);

    const std::uint8_t* bitmapData() const { return mSamples.data(); }
    int pixelsWide() const { return mWidth; }
    int pixelsHigh() const { return mHeight; }

private:
    BitmapImageRep(int width, int height, std::vector<std::uint8_t> samples);

    int mWidth;
    int mHeight;
    std::vector<std::uint8_t> mSamples;
};

// An image as loaded, by resource name or from a file: its encoded bytes.
// The bitmap is decoded on the first request and kept, so that rebuilding a
// mesh from the same image at another grid size does not decode it again.
class Image {
public:
    // The image resource of that name, extension included, in the main
    // bundle; nothing if there is none.
    static std::shared_ptr<Image> imageNamed(const QString& name);
    // The image read from the file at path; nothing if it cannot be read.
    static std::shared_ptr<Image> initWithContentsOfFile(const QString& path);

    explicit Image(QByteArray encoded);

    const QByteArray& encodedData() const { return mEncoded; }

    // The decoded bitmap, or null when the data cannot be decoded (the
    // outcome is kept either way).
    std::shared_ptr<const BitmapImageRep> bitmap() const;

private:
    QByteArray mEncoded;
    mutable bool mDecoded = false;
    mutable std::shared_ptr<const BitmapImageRep> mBitmap;
};
