#pragma once

#include "platform/system/ReadProgress.h"

#include <QByteArray>
#include <QIODevice>
#include <QImage>
#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

// The decoded samples of a height image: one 16-bit sample per pixel, rows
// from the top of the image downwards, each row exactly pixelsWide() samples
// (QImage pads rows; they are repacked here).
//
// What is accepted, and how it becomes one sample per pixel:
// - 8-bit grey: the byte h as s = 256 h, so that s / 65536 is exactly h / 256.
// - 16-bit grey: taken as it is.
// - colour, with or without alpha, and palette images: the luminance of the
//   colour (QImage's grey conversion), at 16 bits where the image has 16 bits
//   a channel, else at 8 bits and widened as above; alpha is ignored, so a
//   transparent pixel keeps the height its colour gives.
// - anything larger than kMaxDimension on a side or kMaxPixels in all is
//   refused from its header, before any pixel memory is allocated.
class BitmapImageRep : public std::enable_shared_from_this<BitmapImageRep> {
public:
    static constexpr int kMaxDimension = 16384;
    static constexpr std::int64_t kMaxPixels = std::int64_t(8192) * 8192;
    static inline const QString kNotAnImage = QStringLiteral("it is not an image Ferlow can read");
    static inline const QString kDamaged = QStringLiteral("the image is damaged or incomplete");

    // The bitmap, or why there is none, in words for the user ("the image is
    // damaged or incomplete").
    struct Decoded {
        std::shared_ptr<const BitmapImageRep> bitmap;
        QString failure;
    };
    static Decoded decode(const QByteArray& data);
    // Read from source as the decoder goes, so that a large file is never
    // held whole beside its pixels; progress is told how much of it has been
    // read, and once it answers no the decoder reads no more and the outcome
    // is kReadingStopped, soon, however large the image. An empty progress
    // lets it read to the end.
    static Decoded decode(QIODevice& source, const ReadProgress& progress);
    // An image decoded elsewhere (GDAL reads some that Qt cannot), its
    // samples made as decode makes a decoded image's.
    static Decoded fromImage(QImage decoded);
    // Why an image of that size is refused, in words for the user; empty
    // when it is within the limits.
    static QString sizeRefusal(const QSize& size);
    // The decoded bitmap, or nothing when the data is no image QImage can
    // read or the image is too large.
    static std::shared_ptr<const BitmapImageRep> fromData(const QByteArray& data);
    // Samples already made, width times height of them, row by row.
    static std::shared_ptr<const BitmapImageRep> fromSamples(int width, int height,
                                                                 std::vector<std::uint16_t> samples);

    const std::uint16_t* bitmapData() const { return mData; }
    int pixelsWide() const { return mWidth; }
    int pixelsHigh() const { return mHeight; }

    // The largest square in the middle: the middle columns of a wide image,
    // the middle rows of a tall one (an odd remainder leaves the extra column
    // or row on the right or at the bottom); a square image itself.
    std::shared_ptr<const BitmapImageRep> centredSquare() const;

private:
    BitmapImageRep(int width, int height, std::vector<std::uint16_t> samples);
    // Samples packed at the front of a decoded image's own pixels.
    BitmapImageRep(int width, int height, QImage packed);

    int mWidth;
    int mHeight;
    std::vector<std::uint16_t> mSamples;
    QImage mPacked;
    const std::uint16_t* mData;
};
