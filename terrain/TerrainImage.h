#pragma once

#include "platform/system/ElevationRaster.h"
#include "platform/system/ReadProgress.h"

#include <QImage>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

class BitmapImageRep;

// A height image the user opened, made ready to fly: its heights as the
// largest centred square of the image, and a light map baked from them,
// since such an image comes without one. Everything here is computed on
// opening, before anything is shown; nothing needs an OpenGL context.
//
// Three kinds of file are read:
// - pictures (PNG, JPEG, BMP, PGM, TIFF, ...), through BitmapImageRep, which
//   says how their pixels become heights;
// - raw height files (.r16, .raw; see RawHeightFile), whose samples are
//   taken as a picture's are;
// - elevation data (see ElevationRaster): a single band that is not 8 or
//   16-bit unsigned, or georeferenced, or with a no-data value, or any single
//   band GDAL reads that is no picture Qt reads. Its relief is stretched over
//   the whole height scale, its lowest height at the floor; what it tells of
//   the ground it covers is kept (relief()).
// Raw height files and elevation data give at most HeightField::kMaxGridSize
// samples a side, as many as the mesh takes, whatever their size.
class TerrainImage {
public:
    // The light map is never finer than this: its bake takes 0.09 s at 1024,
    // 0.44 s at 2048 and 2.2 s at 4096 on two cores (bench/LightMapBench.cpp),
    // and finer shading than a texel of 0.1 world units is lost among the
    // mesh's vertices anyway.
    static constexpr int kMaxLightMapSize = 1024;

    struct Opened {
        std::shared_ptr<const TerrainImage> terrain;
        // Why there is none, in words for the user ("it is not an image
        // Ferlow can read").
        QString failure;
    };
    // The file at path, its light map baked for a terrain extent world units
    // across and height high (the scene's scale when it is opened). Safe on
    // any thread. progress is told how far the open is (0 to 1, from the
    // opening thread); once it answers no, the open ends as soon as it can
    // with the failure kReadingStopped.
    static Opened open(const QString& path, float extent, float height, const ReadProgress& progress);
    static Opened open(const QString& path, float extent, float height)
    {
        return open(path, extent, height, [](double) { return true; });
    }

    // The absolute path it was opened from and the file's name.
    const QString& path() const { return mPath; }
    QString name() const;
    const std::shared_ptr<const BitmapImageRep>& heights() const { return mHeights; }
    // What elevation data tells of itself; nothing for a picture.
    const std::optional<Relief>& relief() const { return mRelief; }
    // What the window's title says of it: the file's name, and for elevation
    // data the ground it covers (east-west × north-south) where known and
    // its heights: "N33W098.hgt (93 × 111 km, 236–1076 m)", "dem.asc (236–1076 m)".
    QString description() const;
    // The height scale (world units for the whole relief) at which a metre
    // up is a metre across on a terrain extent world units wide: the extent
    // times the relief in metres over the ground's size, taken as the mean of
    // its width and depth, since the square is flown both ways. Empty when
    // the ground's size or the heights' unit is unknown or the relief is flat.
    std::optional<float> trueProportionsHeight(float extent) const;
    // RGB, rows stored as the light map lies over the mesh (see HeightField).
    const QImage& lightMap() const { return mLightMap.front(); }
    // It and its smaller levels, made with it off the main thread, so that
    // putting them into a texture is all that is left for the main thread.
    const std::vector<QImage>& lightMapLevels() const { return mLightMap; }
    // The height scale the light map was baked for.
    float bakedHeight() const { return mBakedHeight; }
    // The same heights with the light map baked for another height scale,
    // so that the shadows match the relief. Safe on any thread; 0.1 s at
    // kMaxLightMapSize on two cores.
    std::shared_ptr<const TerrainImage> withLightMapFor(float extent, float height) const;

    // How high a camera over (x, z) of the terrain's unit square (from -0.5
    // to 0.5, as the mesh lies from edge to edge) has to be to clear the
    // ground, as a fraction
    // of the height scale: never below the ground at the point or within a
    // cell of it (kRideCells a side), and continuous, so that a camera
    // riding above it never enters a hill and never jolts. Off the square,
    // that of the nearest edge.
    float rideHeight(float x, float z) const;
    static constexpr int kRideCells = 64;

private:
    TerrainImage(QString path, std::shared_ptr<const BitmapImageRep> heights, std::optional<Relief> relief,
                 std::vector<QImage> lightMap);

    QString mPath;
    std::shared_ptr<const BitmapImageRep> mHeights;
    std::optional<Relief> mRelief;
    std::vector<QImage> mLightMap; // never empty
    float mBakedHeight = 0.0f;
    // (kRideCells + 1) squared corners, row by row from -z, 0 to 1.
    std::vector<float> mRideCorners;
};
