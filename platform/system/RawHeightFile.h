#pragma once

#include "platform/system/BitmapImageRep.h"
#include "platform/system/ReadProgress.h"

#include <QString>

// A headerless height file, named .r16 or .raw: a square of little-endian
// unsigned 16-bit samples, its side the square root of the sample count; or,
// for a .raw whose size is a square number of bytes but no square of 16-bit
// samples, a square of 8-bit heights. Its samples become a bitmap's as an
// image's do (16 bits as they are, 8-bit h as 256 h).
class RawHeightFile {
public:
    // Whether the file at path is one, by its extension.
    static bool claims(const QString& path);

    // The heights of the file, at most maxSide a side: a larger square gives
    // every (side / maxSide)-th row and column, and only those rows are read.
    // A failure is in words for the user; a read that progress stopped fails
    // too.
    static BitmapImageRep::Decoded read(const QString& path, int maxSide, const ReadProgress& progress);
};
