// Arbitrary bytes as the terrain's height image: the first two bytes are a
// signed grid size (little-endian), the rest is the image file, decoded as the
// height field decodes it and built into a mesh at that grid size; then
// opened as a user's terrain is (any shape, 8 or 16 bits, cropped to its
// centred square, a light map baked from it) and built the same way. Besides
// what the sanitizers catch, every build must give a mesh whose counts agree
// and whose indices stay inside its vertices, and every bake a light map of
// the square's size, up to the largest.

#include "platform/system/Image.h"
#include "terrain/HeightField.h"
#include "terrain/TerrainImage.h"

#include <QString>
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

    const TerrainImage::Opened opened = TerrainImage::open(path, 100.0f, 14.0f);
    if (!opened.terrain)
        return 0;
    const int side = opened.terrain->heights()->pixelsWide();
    if (opened.terrain->heights()->pixelsHigh() != side
        || opened.terrain->lightMap().width() != std::min(side, TerrainImage::kMaxLightMapSize))
        std::abort();
    if (!consistent(*HeightField::heightFieldWithTerrain(*opened.terrain, QString(), gridSize)))
        std::abort();
    return 0;
}
