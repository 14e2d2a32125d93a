// Arbitrary bytes as the terrain's height image: the first two bytes are a
// signed grid size (little-endian), the rest is the image file, decoded as the
// height field decodes it and built into a mesh at that grid size; then
// opened as a user's terrain is (any shape, 8 or 16 bits, cropped to its
// centred square, a light map baked from it) and built the same way; and
// opened once more under a name whose extension the first byte picks, so
// that raw height files, SRTM tiles and other elevation data named as such
// go their own ways. Besides what the sanitizers catch, every build must
// give a mesh whose counts agree and whose indices stay inside its vertices,
// every bake a light map of the square's size, up to the largest, and
// elevation data a relief from sample 0 up to the top of the scale.

#include "platform/system/BitmapImageRep.h"
#include "terrain/HeightField.h"
#include "terrain/TerrainImage.h"

#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <QtGlobal>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// The height field reads its image from a path; a file in memory gives it one
// without touching the disk on every input.
class MemoryFile {
public:
    MemoryFile()
        : mDescriptor(memfd_create("ferlow-height-image", 0))
        , mPath(QStringLiteral("/proc/self/fd/%1").arg(mDescriptor))
    {
        if (mDescriptor < 0)
            std::abort();
    }
    const QString& holding(const std::uint8_t* data, std::size_t size)
    {
        if (ftruncate(mDescriptor, 0) != 0 || pwrite(mDescriptor, data, size, 0) != ssize_t(size))
            std::abort();
        return mPath;
    }

private:
    int mDescriptor;
    QString mPath;
};

// Files whose names choose how they are read.
class NamedFile {
public:
    const QString& holding(const std::uint8_t* data, std::size_t size, std::uint8_t choice)
    {
        static const char* const kNames[] = {"heights.raw", "heights.r16", "N33W098.hgt", "dem.asc", "dem.xyz",
                                             "dem.tif"};
        mPath = mDir.filePath(QLatin1String(kNames[choice % std::size(kNames)]));
        QFile file(mPath);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
            || file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size))
            std::abort();
        return mPath;
    }
    ~NamedFile() { QFile::remove(mPath); }

private:
    QTemporaryDir mDir;
    QString mPath;
};

bool consistent(const HeightField& field)
{
    const std::int64_t vertices = field.numberOfVertices();
    std::int64_t side = 0;
    while (side * side < vertices)
        ++side;
    if (side * side != vertices || field.numberOfIndices() != (side < 2 ? 0 : 6 * (side - 1) * (side - 1)))
        return false;
    for (std::int32_t i = 0; i < field.numberOfIndices(); ++i)
        if (field.indices()[i] >= std::uint32_t(vertices))
            return false;
    for (std::int32_t i = 0; i < field.numberOfVertices(); ++i)
        if (!(field.vertices()[i].y >= 0.0f && field.vertices()[i].y < 1.0f))
            return false;
    return true;
}

// Elevation data's relief reaches from the floor to the top of the scale,
// unless it is flat.
bool spansTheScale(const TerrainImage& terrain)
{
    if (!terrain.relief())
        return true;
    const BitmapImageRep& heights = *terrain.heights();
    const auto [lowest, highest] = std::minmax_element(
        heights.bitmapData(), heights.bitmapData() + std::size_t(heights.pixelsWide()) * heights.pixelsHigh());
    return *lowest == 0 && (*highest == 65535 || terrain.relief()->highest == terrain.relief()->lowest);
}

void checkOpened(const QString& path, std::int16_t gridSize)
{
    const TerrainImage::Opened opened = TerrainImage::open(path, 100.0f, 14.0f);
    if (!opened.terrain)
        return;
    const int side = opened.terrain->heights()->pixelsWide();
    if (opened.terrain->heights()->pixelsHigh() != side || (side > HeightField::kMaxGridSize && opened.terrain->relief())
        || opened.terrain->lightMap().width() != std::min(side, TerrainImage::kMaxLightMapSize)
        || !spansTheScale(*opened.terrain))
        std::abort();
    if (!consistent(*HeightField::heightFieldWithTerrain(*opened.terrain, QString(), gridSize)))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    // Decoder warnings about broken files are expected by the thousand.
    static const auto silenced = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    (void)silenced;
    static MemoryFile file;
    const auto gridSize = static_cast<std::int16_t>(data[0] | data[1] << 8);
    const QString& path = file.holding(data + 2, size - 2);
    HeightField field;
    field.loadImage(path);
    field.makeHeightField(gridSize);
    if (!consistent(field))
        std::abort();

    checkOpened(path, gridSize);
    static NamedFile named;
    checkOpened(named.holding(data + 2, size - 2, data[0]), gridSize);
    return 0;
}
