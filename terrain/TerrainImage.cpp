#include "terrain/TerrainImage.h"

#include "platform/gl/TextureLoader.h"
#include "platform/system/BitmapImageRep.h"
#include "platform/system/FilePath.h"
#include "platform/system/RawHeightFile.h"
#include "platform/system/RegularFile.h"
#include "terrain/HeightField.h"
#include "terrain/LightMap.h"

#include <QFileInfo>
#include <algorithm>
#include <cmath>

namespace {

constexpr double kSampleScale = 1.0 / 65536.0; // as the mesh scales its heights

// The heights in world units on a grid of at most kMaxLightMapSize a side,
// each the nearest sample of the image. The mesh lays the image's first and
// last pixels on the square's edges and reads the light map's texel centres
// on the lines of a grid of the map's size, so texel k stands at
// k / (size - 1) of the square, and so does the sample it takes.
HeightGrid worldHeights(const BitmapImageRep& heights, float extent, float height)
{
    const int width = heights.pixelsWide();
    const int size = std::min(width, TerrainImage::kMaxLightMapSize);
    const int lines = std::max(1, size - 1);
    HeightGrid grid{size, double(extent) / lines, std::vector<double>(std::size_t(size) * std::size_t(size))};
    const double scale = double(height) * kSampleScale;
    const auto pixel = [&](int texel) { return (std::int64_t(texel) * (width - 1) + lines / 2) / lines; };
    double* out = grid.heights.data();
    for (int row = 0; row < size; ++row) {
        const std::uint16_t* samples = heights.bitmapData() + std::size_t(pixel(row)) * std::size_t(width);
        for (int column = 0; column < size; ++column)
            *out++ = samples[pixel(column)] * scale;
    }
    return grid;
}

// The highest sample of each cell of a kRideCells square grid over the
// image, as a fraction of the largest sample. The mesh lays pixel p at
// p / (width - 1) of the square, so a cell takes every pixel from the last
// at or before its start to the first at or after its end: the mesh over
// the cell lies between those, at least one pixel however small the image.
std::vector<float> cellMaxima(const BitmapImageRep& heights)
{
    constexpr int n = TerrainImage::kRideCells;
    const int width = heights.pixelsWide();
    const auto firstPixel = [width](int cell) { return cell * (width - 1) / n; };
    const auto endPixel = [width](int cell) { return ((cell + 1) * (width - 1) + n - 1) / n + 1; };
    std::vector<float> maxima(std::size_t(n) * n, 0.0f);
    for (int cellRow = 0; cellRow < n; ++cellRow)
        for (int row = firstPixel(cellRow); row < endPixel(cellRow); ++row) {
            const std::uint16_t* samples = heights.bitmapData() + std::size_t(row) * std::size_t(width);
            for (int cellColumn = 0; cellColumn < n; ++cellColumn) {
                const std::uint16_t* highest =
                    std::max_element(samples + firstPixel(cellColumn), samples + endPixel(cellColumn));
                float& maximum = maxima[std::size_t(cellRow) * n + cellColumn];
                maximum = std::max(maximum, float(*highest) * float(kSampleScale));
            }
        }
    return maxima;
}

// Each corner of the grid takes the highest of the cells within one cell of
// any cell it touches. Interpolated between the corners of the cell around
// a point, that lies above every sample of the cells next to it: each of
// the four corners does.
std::vector<float> rideCorners(const BitmapImageRep& heights)
{
    constexpr int n = TerrainImage::kRideCells;
    const std::vector<float> maxima = cellMaxima(heights);
    std::vector<float> corners(std::size_t(n + 1) * (n + 1));
    for (int row = 0; row <= n; ++row)
        for (int column = 0; column <= n; ++column) {
            float highest = 0.0f;
            for (int cellRow = std::max(0, row - 2); cellRow <= std::min(n - 1, row + 1); ++cellRow)
                for (int cellColumn = std::max(0, column - 2); cellColumn <= std::min(n - 1, column + 1); ++cellColumn)
                    highest = std::max(highest, maxima[std::size_t(cellRow) * n + cellColumn]);
            corners[std::size_t(row) * (n + 1) + column] = highest;
        }
    return corners;
}

// The light map with its mipmap levels.
std::vector<QImage> bakedLightMap(const HeightGrid& grid, float extent)
{
    std::vector<std::uint8_t> pixels = bakeLightMap(grid, lightMapMarchStep(extent));
    // In 32-bit pixels: Qt scales those for the mipmaps three times as fast
    // as 24-bit ones, which it would scale as they are.
    const int size = grid.size;
    QImage image(size, size, QImage::Format_RGB32);
    const std::uint8_t* rgb = pixels.data();
    for (int row = 0; row < size; ++row) {
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(row));
        for (int column = 0; column < size; ++column, rgb += 3)
            out[column] = qRgb(rgb[0], rgb[1], rgb[2]);
    }
    return TextureLoader::mipmapChain(image);
}

// The heights read, at most kMaxSide a side, or why there are none.
struct Square {
    std::shared_ptr<const BitmapImageRep> heights;
    std::optional<Relief> relief;
    QString failure;
};

constexpr int kMaxSide = HeightField::kMaxGridSize;
// How far an open has come once the heights are read; the bake takes the rest.
constexpr double kReadShare = 0.7;

ReadProgress readingProgress(const ReadProgress& progress)
{
    return [&progress](double fraction) { return progress(fraction * kReadShare); };
}

Square pictureSquare(const BitmapImageRep::Decoded& decoded)
{
    if (!decoded.bitmap)
        return {nullptr, {}, decoded.failure};
    return {decoded.bitmap->centredSquare(), {}, {}};
}

Square readPicture(const QString& path, const ReadProgress& progress)
{
    const RegularFile file = openImageFile(path);
    if (!file.file)
        return {nullptr, {}, file.failure};
    return pictureSquare(BitmapImageRep::decode(*file.file, readingProgress(progress)));
}

Square readElevation(const ElevationRaster& raster, const ReadProgress& progress)
{
    ElevationRaster::Heights read = raster.read(kMaxSide, readingProgress(progress));
    if (!read.samples)
        return {nullptr, {}, read.failure};
    return {std::move(read.samples), std::move(read.relief), {}};
}

Square readRaw(const QString& path, const ReadProgress& progress)
{
    const BitmapImageRep::Decoded decoded = RawHeightFile::read(path, kMaxSide, readingProgress(progress));
    return {decoded.bitmap, {}, decoded.failure};
}

// Elevation data goes to GDAL, and so does what Qt does not know but GDAL
// does, and the pictures GDAL reads better; everything else is read as a
// picture, as it always was.
Square readSquare(const QString& path, const ReadProgress& progress)
{
    if (RawHeightFile::claims(path))
        return readRaw(path, progress);
    const ElevationRaster::Opened raster = ElevationRaster::open(path);
    if (raster.raster && raster.raster->isElevation())
        return readElevation(*raster.raster, progress);
    if (raster.raster && raster.raster->isPicture())
        return pictureSquare(raster.raster->readPicture(readingProgress(progress)));
    Square picture = readPicture(path, progress);
    if (picture.failure != BitmapImageRep::kNotAnImage)
        return picture;
    if (raster.raster)
        return readElevation(*raster.raster, progress);
    if (!raster.failure.isEmpty())
        picture.failure = raster.failure;
    return picture;
}

// A length as the title gives it: kilometres, with a decimal below ten;
// metres below one.
struct Length {
    QString number;
    QString unit;
};

Length lengthOf(double metres)
{
    constexpr double kKilometre = 1000.0;
    constexpr double kWholeKilometres = 10.0;
    if (metres < kKilometre)
        return {QString::number(std::lround(metres)), QStringLiteral("m")};
    const double kilometres = metres / kKilometre;
    return {QString::number(kilometres, 'f', kilometres < kWholeKilometres ? 1 : 0), QStringLiteral("km")};
}

QString groundText(double width, double depth)
{
    const Length x = lengthOf(width);
    const Length z = lengthOf(depth);
    if (x.unit == z.unit)
        return QStringLiteral("%1 × %2 %3").arg(x.number, z.number, x.unit);
    return QStringLiteral("%1 %2 × %3 %4").arg(x.number, x.unit, z.number, z.unit);
}

} // namespace

TerrainImage::TerrainImage(QString path, std::shared_ptr<const BitmapImageRep> heights, std::optional<Relief> relief,
                           std::vector<QImage> lightMap)
    : mPath(std::move(path))
    , mHeights(std::move(heights))
    , mRelief(std::move(relief))
    , mLightMap(std::move(lightMap))
    , mRideCorners(rideCorners(*mHeights))
{
}

TerrainImage::Opened TerrainImage::open(const QString& path, float extent, float height, const ReadProgress& progress)
{
    Square square = readSquare(path, progress);
    if (!square.heights)
        return {nullptr, square.failure};
    if (!progress(kReadShare))
        return {nullptr, kReadingStopped};
    std::vector<QImage> lightMap = bakedLightMap(worldHeights(*square.heights, extent, height), extent);
    if (!progress(1.0))
        return {nullptr, kReadingStopped};
    auto terrain = std::shared_ptr<TerrainImage>(new TerrainImage(
        QFileInfo(path).absoluteFilePath(), std::move(square.heights), std::move(square.relief), std::move(lightMap)));
    terrain->mBakedHeight = height;
    return {std::move(terrain), {}};
}

std::shared_ptr<const TerrainImage> TerrainImage::withLightMapFor(float extent, float height) const
{
    auto rebaked = std::shared_ptr<TerrainImage>(new TerrainImage(*this));
    rebaked->mLightMap = bakedLightMap(worldHeights(*mHeights, extent, height), extent);
    rebaked->mBakedHeight = height;
    return rebaked;
}

QString TerrainImage::description() const
{
    if (!mRelief)
        return name();
    const QString heights = QStringLiteral("%1–%2 %3")
                                .arg(std::lround(mRelief->lowest))
                                .arg(std::lround(mRelief->highest))
                                .arg(mRelief->unit);
    if (!mRelief->groundWidth || !mRelief->groundDepth)
        return QStringLiteral("%1 (%2)").arg(name(), heights);
    return QStringLiteral("%1 (%2, %3)").arg(name(), groundText(*mRelief->groundWidth, *mRelief->groundDepth), heights);
}

std::optional<float> TerrainImage::trueProportionsHeight(float extent) const
{
    if (!mRelief || !mRelief->groundWidth || !mRelief->groundDepth || !mRelief->metresPerUnit
        || !(mRelief->highest > mRelief->lowest))
        return std::nullopt;
    const double relief = (mRelief->highest - mRelief->lowest) * *mRelief->metresPerUnit;
    const double ground = (*mRelief->groundWidth + *mRelief->groundDepth) / 2.0;
    return float(double(extent) * relief / ground);
}

float TerrainImage::rideHeight(float x, float z) const
{
    constexpr int n = kRideCells;
    const float column = std::clamp((x + 0.5f) * n, 0.0f, float(n));
    const float row = std::clamp((z + 0.5f) * n, 0.0f, float(n));
    const int c0 = std::min(int(column), n - 1);
    const int r0 = std::min(int(row), n - 1);
    const float fc = column - float(c0);
    const float fr = row - float(r0);
    const auto corner = [this](int r, int c) { return mRideCorners[std::size_t(r) * (n + 1) + c]; };
    const float top = corner(r0, c0) + (corner(r0, c0 + 1) - corner(r0, c0)) * fc;
    const float bottom = corner(r0 + 1, c0) + (corner(r0 + 1, c0 + 1) - corner(r0 + 1, c0)) * fc;
    return top + (bottom - top) * fr;
}

QString TerrainImage::name() const
{
    return FilePath::forDisplay(QFileInfo(mPath).fileName());
}
