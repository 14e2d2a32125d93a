#include "terrain/TerrainImage.h"

#include "platform/system/Image.h"
#include "terrain/LightMap.h"

#include <QFileInfo>
#include <algorithm>

namespace {

constexpr double kSampleScale = 1.0 / 65536.0; // as the mesh scales its heights

// The heights in world units on a grid of at most kMaxLightMapSize a side,
// each the nearest sample of the image.
HeightGrid worldHeights(const BitmapImageRep& heights, float extent, float height)
{
    const int width = heights.pixelsWide();
    const int size = std::min(width, TerrainImage::kMaxLightMapSize);
    HeightGrid grid{size, double(extent) / size, std::vector<double>(std::size_t(size) * std::size_t(size))};
    const double scale = double(height) * kSampleScale;
    double* out = grid.heights.data();
    for (int row = 0; row < size; ++row) {
        const std::uint16_t* samples = heights.bitmapData() + std::size_t(std::int64_t(row) * width / size) * width;
        for (int column = 0; column < size; ++column)
            *out++ = samples[std::int64_t(column) * width / size] * scale;
    }
    return grid;
}

QImage lightMapImage(const HeightGrid& grid, float extent)
{
    std::vector<std::uint8_t> pixels = bakeLightMap(grid, lightMapMarchStep(extent));
    const int size = grid.size;
    QImage image(size, size, QImage::Format_RGB888);
    for (int row = 0; row < size; ++row)
        std::copy_n(pixels.data() + std::size_t(row) * 3 * size, 3 * size, image.scanLine(row));
    return image;
}

} // namespace

TerrainImage::TerrainImage(QString path, std::shared_ptr<const BitmapImageRep> heights, QImage lightMap)
    : mPath(std::move(path))
    , mHeights(std::move(heights))
    , mLightMap(std::move(lightMap))
{
}

TerrainImage::Opened TerrainImage::open(const QString& path, float extent, float height)
{
    const ImageFile file = readImageFile(path);
    if (!file.failure.isEmpty())
        return {nullptr, file.failure};
    const BitmapImageRep::Decoded decoded = BitmapImageRep::decode(file.bytes);
    if (!decoded.bitmap)
        return {nullptr, decoded.failure};
    std::shared_ptr<const BitmapImageRep> square = decoded.bitmap->centredSquare();
    QImage lightMap = lightMapImage(worldHeights(*square, extent, height), extent);
    return {std::shared_ptr<const TerrainImage>(
                new TerrainImage(QFileInfo(path).absoluteFilePath(), std::move(square), std::move(lightMap))),
            {}};
}

QString TerrainImage::name() const
{
    return QFileInfo(mPath).fileName();
}
