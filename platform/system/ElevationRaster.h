#pragma once

#include "platform/system/BitmapImageRep.h"
#include "platform/system/ReadProgress.h"

#include <QString>
#include <memory>
#include <optional>

class GDALDataset;

// What elevation data tells of the ground it covers.
struct Relief {
    // The lowest and highest valid height, in unit ("m" unless the file
    // names another).
    double lowest = 0.0;
    double highest = 0.0;
    QString unit;
    // Empty when the unit is no length Ferlow knows.
    std::optional<double> metresPerUnit;
    // The ground under the heights read, in metres: x east-west, z
    // north-south. Empty without georeferencing in known units.
    std::optional<double> groundWidth;
    std::optional<double> groundDepth;
};

// A raster file as GDAL reads it: digital elevation models of every kind
// (GeoTIFF, SRTM .hgt, ASCII grids, virtual rasters, ...), but also many a
// picture. GDAL's own messages never reach the terminal; their gist ends up
// in a failure where it explains it. Safe on any thread, one raster to a
// thread.
class ElevationRaster {
public:
    struct Opened {
        std::unique_ptr<ElevationRaster> raster;
        // Set when GDAL recognised the file but could not open it; neither
        // is set for a file GDAL knows nothing of.
        QString failure;
    };
    static Opened open(const QString& path);
    ~ElevationRaster();

    // One band with what only elevation data has: samples other than 8 or
    // 16-bit unsigned, georeferencing or a no-data value (not a picture's
    // transparent colour, which GDAL reports as one).
    bool isElevation() const;

    // TGA, a picture GDAL reads better than Qt: Qt's reader leaves the grey,
    // palette and run-length kinds alone and misreads true colour at 16 bits
    // or behind an image ID, and Qt's cursor reader takes true colour without
    // an ID for a cursor and fails on it.
    bool isPicture() const;
    // The whole picture, its samples made as Qt's decoded pictures' are (see
    // BitmapImageRep): the heights a PNG of the same pixels gives. A file cut
    // short is refused.
    BitmapImageRep::Decoded readPicture(const ReadProgress& progress) const;

    struct Heights {
        // 16-bit samples, the lowest valid height 0 and the highest 65535.
        std::shared_ptr<const BitmapImageRep> samples;
        Relief relief;
        // In words for the user; a read that progress stopped fails too.
        QString failure;
    };
    // The largest centred square of the raster, averaged down to at most
    // maxSide a side (through the file's overviews where it has them), its
    // missing heights (no-data, not a number, infinite) filled in from the
    // valid ones around them. Only the samples that make up the square are
    // read, so that the memory needed stays that of the square read.
    Heights read(int maxSide, const ReadProgress& progress) const;

private:
    struct Closer {
        void operator()(GDALDataset* dataset) const;
    };
    explicit ElevationRaster(GDALDataset* dataset);

    std::unique_ptr<GDALDataset, Closer> mDataset;
};
