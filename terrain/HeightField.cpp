#include "terrain/HeightField.h"

#include "platform/gl/GL.h"
#include "platform/gl/TextureLoader.h"
#include "platform/system/BitmapImageRep.h"
#include "platform/system/Image.h"
#include "platform/system/ResourceBundle.h"
#include "platform/system/SystemLog.h"
#include "platform/system/SystemMemory.h"
#include "terrain/TerrainImage.h"

#include <algorithm>
#include <cstddef>
#include <vector>

namespace {

constexpr char kBitmapFailure[] = "makeHeightField : failed to create bitmap";
constexpr float kHeightScale = 1.0f / 65536.0f; // a sample of 65535 stays just under 1; 256 h gives h / 256
constexpr float kDetailRepeats = 32.0f;     // detail tiles across the image's width
constexpr GLsizei kStride = sizeof(vertex);
constexpr std::int32_t kMinEdgeToEdgeGrid = 2; // so that a 1 x 1 image still flies, as a plain
constexpr std::size_t kApronIndicesPerLine = 4 * 6; // 4n cells of two triangles round a grid of n

// The pixel row or column nearest a sampling position, halves going up: the
// sum is formed in double precision and truncated.
std::uint32_t nearestPixel(float position)
{
    return static_cast<std::uint32_t>(static_cast<double>(position) + 0.5);
}

// What a vertex takes from its grid column alone, the same in every row.
struct ColumnTerms {
    std::uint32_t pixel;
    float x;
    float detailS;
    float lightS;
};

// target[k] = source[k] + offset for count entries; the blocks do not overlap.
void addToEach(const std::uint32_t* __restrict source, std::size_t count, std::uint32_t offset,
               std::uint32_t* __restrict target)
{
    for (std::size_t k = 0; k < count; ++k)
        target[k] = source[k] + offset;
}

// Two triangles over the cell of these corners, as every cell of the mesh
// is cut; returns where the next cell goes.
std::uint32_t* writeCell(std::uint32_t* out, std::uint32_t corner, std::uint32_t right, std::uint32_t below,
                         std::uint32_t belowRight)
{
    *out++ = corner;
    *out++ = right;
    *out++ = below;
    *out++ = belowRight;
    *out++ = below;
    *out++ = right;
    return out;
}

// The record of line (i, j), each from -1 to n, of an edge-to-edge grid of
// n extended by the apron's outer lines: the grid's own records row by row,
// then the apron's rows -1 and n, then its columns -1 and n.
std::uint32_t extendedIndex(std::int32_t n, std::int32_t i, std::int32_t j)
{
    const auto grid = static_cast<std::uint32_t>(n * n);
    const auto outerRow = static_cast<std::uint32_t>(n + 2);
    if (i < 0)
        return grid + static_cast<std::uint32_t>(j + 1);
    if (i >= n)
        return grid + outerRow + static_cast<std::uint32_t>(j + 1);
    if (j < 0)
        return grid + 2 * outerRow + static_cast<std::uint32_t>(i);
    if (j >= n)
        return grid + 2 * outerRow + static_cast<std::uint32_t>(n + i);
    return static_cast<std::uint32_t>(i * n + j);
}

// The width W is used for both directions, so rows beyond the first W are
// never read, but fewer than W rows would be read past their end.
bool coversSquare(const BitmapImageRep& bitmap)
{
    return bitmap.pixelsHigh() >= bitmap.pixelsWide();
}

std::unique_ptr<TextureInfo> textureNamed(const QString& name)
{
    const auto path = ResourceBundle::mainBundle().pathForResource(ResourceBundle::stringByDeletingPathExtension(name),
                                                                   ResourceBundle::pathExtension(name));
    return path ? TextureLoader::textureWithContentsOfFile(*path) : nullptr;
}

// A missing texture reads as name 0, whose default texture holds no image:
// the unit then draws as if untextured.
GLuint nameOf(const std::unique_ptr<TextureInfo>& texture)
{
    return texture ? texture->name() : 0;
}

// The address of one field of the first record, as the array pointers take
// it; null when there is no mesh, which then draws nothing.
const GLvoid* firstRecord(const vertex* block, const float vertex::*field)
{
    return block ? &(block->*field) : nullptr;
}

// Sets the repeat wrap modes of the bound 2D texture.
void repeatBoundTexture()
{
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
}

} // namespace

std::unique_ptr<HeightField> HeightField::heightFieldWithFile(const QString& file, const QString& detailTexture,
                                                              const QString& lightTexture, std::int32_t gridSize)
{
    auto field = std::make_unique<HeightField>();
    field->loadImage(file);
    field->makeHeightField(gridSize);
    field->loadDetailTexture(detailTexture);
    field->loadLightingTexture(lightTexture);
    return field;
}

HeightField::HeightField() = default;

HeightField::~HeightField()
{
    deleteList();
}

std::unique_ptr<HeightField> HeightField::heightFieldWithTerrain(const TerrainImage& terrain,
                                                                 const QString& detailTexture, std::int32_t gridSize)
{
    auto field = std::make_unique<HeightField>();
    field->mHeightImage = std::make_shared<Image>(terrain.heights());
    field->mLightMapSize = std::max(1, terrain.lightMap().width());
    field->makeHeightField(gridSize);
    field->loadDetailTexture(detailTexture);
    field->mLightTexture = TextureLoader::textureWithMipmaps(terrain.lightMapLevels());
    return field;
}

void HeightField::loadImage(const QString& name)
{
    if (name.isEmpty())
        return;
    mHeightImage = Image::fromResource(name);
    if (!mHeightImage)
        mHeightImage = Image::fromFile(name);
}

void HeightField::makeHeightField(std::int32_t gridSize)
{
    const auto bitmap = mHeightImage ? mHeightImage->bitmap() : nullptr;
    if (!bitmap || !coversSquare(*bitmap)) {
        systemLog(kBitmapFailure);
        return;
    }
    if (mLightMapSize > 0) {
        buildEdgeToEdge(*bitmap, gridSize);
        return;
    }
    const Sampling sampling = samplingFor(bitmap->pixelsWide(), gridSize);
    buildVertices(*bitmap, sampling);
    buildIndices(sampling.gridSize);
}

// A grid larger than the image, or negative, samples every pixel of a row,
// up to kMaxGridSize. A grid size of 0 gives an infinite step and an empty
// grid.
HeightField::Sampling HeightField::samplingFor(int width, std::int32_t gridSize)
{
    const float step = static_cast<float>(width) / static_cast<float>(gridSize);
    const Sampling sampling = step < 1.0f ? Sampling{width, 1.0f} : Sampling{gridSize, step};
    if (sampling.gridSize > kMaxGridSize)
        return {kMaxGridSize, static_cast<float>(width) / static_cast<float>(kMaxGridSize)};
    return sampling;
}

// Row i and column j of the grid sample the pixel nearest (step * i,
// step * j). Everything that depends on the column alone is worked out once
// per column and everything that depends on the row once per row, with the
// same single-precision operations as per vertex, so the records come out
// bit for bit as if each were computed on its own.
void HeightField::buildVertices(const BitmapImageRep& bitmap, Sampling sampling)
{
    const int width = bitmap.pixelsWide();
    const float inverseWidth = 1.0f / static_cast<float>(width);
    const float detailScale = kDetailRepeats / static_cast<float>(width);
    const std::int32_t n = sampling.gridSize;
    const float size = static_cast<float>(n);

    std::vector<ColumnTerms> columns(static_cast<std::size_t>(n));
    for (std::int32_t j = 0; j < n; ++j) {
        const float colPos = sampling.step * static_cast<float>(j);
        columns[static_cast<std::size_t>(j)] = {nearestPixel(colPos), static_cast<float>(j) / size - 0.5f,
                                                detailScale * colPos, colPos * inverseWidth};
    }

    mNumberOfVertices = n * n;
    mVertices.reset();
    mVertices = std::make_unique_for_overwrite<vertex[]>(static_cast<std::size_t>(mNumberOfVertices));
    vertex* out = mVertices.get();
    for (std::int32_t i = 0; i < n; ++i) {
        const float rowPos = sampling.step * static_cast<float>(i);
        const std::uint16_t* samples = bitmap.bitmapData() + std::size_t(nearestPixel(rowPos)) * std::size_t(width);
        const float z = static_cast<float>(i) / size - 0.5f;
        const float detailT = 1.0f - detailScale * rowPos;
        const float lightT = 1.0f - rowPos * inverseWidth;
        for (const ColumnTerms& column : columns) {
            const float y = static_cast<float>(samples[column.pixel]) * kHeightScale;
            *out++ = {column.x, y, z, column.detailS, detailT, column.lightS, lightT};
        }
    }
}

// Two triangles per cell, (a, a+1, b) and (b+1, b, a+1), with a the cell's
// corner in grid row i and b the corner below it in row i + 1. A grid of
// fewer than two vertices a side has no cells and gets no indices. Room is
// left after them for the apron's.
// Each later row of cells holds the entries of the first row plus i * n, so
// only the first row is worked out cell by cell; the others are one
// addition per entry, which the compiler turns into vector operations.
void HeightField::buildIndices(std::int32_t gridSize, std::size_t apronIndices)
{
    const std::int32_t cells = gridSize >= 2 ? gridSize - 1 : 0;
    mNumberOfIndices = 6 * cells * cells + static_cast<std::int32_t>(apronIndices);
    mIndices.reset();
    mIndices = std::make_unique_for_overwrite<std::uint32_t[]>(static_cast<std::size_t>(mNumberOfIndices));
    const auto n = static_cast<std::uint32_t>(gridSize);
    std::uint32_t* const firstRow = mIndices.get();
    std::uint32_t* out = firstRow;
    for (std::uint32_t a = 0; a < std::uint32_t(cells); ++a)
        out = writeCell(out, a, a + 1, a + n, a + n + 1);
    const std::size_t rowLength = 6 * static_cast<std::size_t>(cells);
    for (std::uint32_t i = 1; i < std::uint32_t(cells); ++i)
        addToEach(firstRow, rowLength, i * n, firstRow + i * rowLength);
}

std::int32_t HeightField::edgeToEdgeGridSize(int width, std::int32_t gridSize)
{
    const std::int32_t lines = gridSize < 0 || gridSize > width ? width : gridSize;
    return std::clamp(lines, kMinEdgeToEdgeGrid, kMaxGridSize);
}

// Line k of n samples the pixel nearest k (width - 1) / (n - 1) and lies at
// k / (n - 1) of the square's width; the apron's outer lines, -1 and n, lie
// kApronReach from the centre and take the nearest edge line's height and
// light.
void HeightField::buildEdgeToEdge(const BitmapImageRep& bitmap, std::int32_t gridSize)
{
    const int width = bitmap.pixelsWide();
    const std::int32_t n = edgeToEdgeGridSize(width, gridSize);
    const float step = static_cast<float>(width - 1) / static_cast<float>(n - 1);
    const auto fraction = [n](std::int32_t line) {
        if (line < 0)
            return 0.5f - kApronReach;
        return line < n ? static_cast<float>(line) / static_cast<float>(n - 1) : 0.5f + kApronReach;
    };
    const auto edgeLine = [n](std::int32_t line) { return std::clamp(line, 0, n - 1); };
    const auto pixel = [step](std::int32_t line) { return nearestPixel(step * static_cast<float>(line)); };

    mNumberOfVertices = n * n + 4 * n + 4;
    mVertices.reset();
    mVertices = std::make_unique_for_overwrite<vertex[]>(static_cast<std::size_t>(mNumberOfVertices));
    for (std::int32_t i = -1; i <= n; ++i) {
        const std::int32_t row = edgeLine(i);
        const std::uint16_t* samples = bitmap.bitmapData() + std::size_t(pixel(row)) * std::size_t(width);
        const float v = fraction(i);
        const float lightT = 1.0f - lightCoordinate(fraction(row));
        for (std::int32_t j = -1; j <= n; ++j) {
            const std::int32_t column = edgeLine(j);
            const float u = fraction(j);
            mVertices[extendedIndex(n, i, j)] = {u - 0.5f,
                                                 static_cast<float>(samples[pixel(column)]) * kHeightScale,
                                                 v - 0.5f,
                                                 kDetailRepeats * u,
                                                 1.0f - kDetailRepeats * v,
                                                 lightCoordinate(fraction(column)),
                                                 lightT};
        }
    }
    buildIndices(n, kApronIndicesPerLine * static_cast<std::size_t>(n));
    buildApronIndices(n);
}

// The cells of the extended grid that the grid's own do not cover, cut as
// they are, after the grid's indices.
void HeightField::buildApronIndices(std::int32_t n)
{
    std::uint32_t* out = mIndices.get() + 6 * std::size_t(n - 1) * std::size_t(n - 1);
    const auto inside = [n](std::int32_t line) { return line >= 0 && line < n - 1; };
    for (std::int32_t i = -1; i < n; ++i)
        for (std::int32_t j = -1; j < n; ++j) {
            if (inside(i) && inside(j))
                continue;
            out = writeCell(out, extendedIndex(n, i, j), extendedIndex(n, i, j + 1), extendedIndex(n, i + 1, j),
                            extendedIndex(n, i + 1, j + 1));
        }
}

// Where a line at this fraction of the square's width reads the light map:
// the map's texel centres lie on the lines of a grid of its own size, so the
// edges read their edge texels' centres, whatever the wrap mode.
float HeightField::lightCoordinate(float fraction) const
{
    const auto texels = static_cast<float>(mLightMapSize);
    return (fraction * (texels - 1.0f) + 0.5f) / texels;
}

void HeightField::loadDetailTexture(const QString& name)
{
    if (!name.isNull())
        mDetailTexture = textureNamed(name);
}

void HeightField::loadLightingTexture(const QString& name)
{
    if (!name.isNull())
        mLightTexture = textureNamed(name);
}

void HeightField::setLightMap(const std::vector<QImage>& levels)
{
    if (mLightTexture && TextureLoader::replaceMipmaps(*mLightTexture, levels))
        return;
    mLightTexture = TextureLoader::textureWithMipmaps(levels);
    deleteList();
}

// The array pointers, client unit selections and client-state enables take
// effect while the list is recorded and are not part of it; glDrawElements
// is recorded with the vertices it reads then. The list therefore replays
// this mesh and this polygon mode until it is deleted. State left behind: see
// the header.
void HeightField::render(bool wireFrame)
{
    if (mListId != 0) {
        glCallList(mListId);
        return;
    }
    mListId = kListId;
    {
        const LargeBlocksFromTheHeap driverTemporaries;
        glNewList(mListId, GL_COMPILE_AND_EXECUTE);
        glPolygonMode(GL_FRONT_AND_BACK, wireFrame ? GL_LINE : GL_FILL);
        glVertexPointer(3, GL_FLOAT, kStride, firstRecord(mVertices.get(), &vertex::x));
        setUpDetailUnit();
        setUpLightUnit();
        glDrawElements(GL_TRIANGLES, mNumberOfIndices, GL_UNSIGNED_INT, mIndices.get());
        releaseUnits();
        glEndList();
    }
    // The driver has freed its recording temporaries, tens of megabytes for a
    // large grid; without this they would stay resident until the next list.
    returnFreeMemoryWhenIdle();
}

// Leaves unit 0 active for server and client, 2D texturing on with the detail
// texture bound and repeating, its coordinate array and the vertex array on.
void HeightField::setUpDetailUnit() const
{
    glActiveTextureARB(GL_TEXTURE0_ARB);
    glClientActiveTextureARB(GL_TEXTURE0_ARB);
    glEnable(GL_TEXTURE_2D);
    glTexCoordPointer(2, GL_FLOAT, kStride, firstRecord(mVertices.get(), &vertex::detailS));
    glBindTexture(GL_TEXTURE_2D, nameOf(mDetailTexture));
    repeatBoundTexture();
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnableClientState(GL_VERTEX_ARRAY);
}

// Leaves unit 1 active for server and client, 2D texturing on with the light
// map bound and repeating, modulating what unit 0 gives, its coordinate
// array and the vertex array on.
void HeightField::setUpLightUnit() const
{
    glActiveTextureARB(GL_TEXTURE1_ARB);
    glClientActiveTextureARB(GL_TEXTURE1_ARB);
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glTexCoordPointer(2, GL_FLOAT, kStride, firstRecord(mVertices.get(), &vertex::lightS));
    glBindTexture(GL_TEXTURE_2D, nameOf(mLightTexture));
    repeatBoundTexture();
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnableClientState(GL_VERTEX_ARRAY);
}

// Expects unit 1 active. Leaves unit 0 active for server and client, 2D
// texturing and the vertex and coordinate arrays off on both units.
void HeightField::releaseUnits()
{
    glDisable(GL_TEXTURE_2D);
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glActiveTextureARB(GL_TEXTURE0_ARB);
    glClientActiveTextureARB(GL_TEXTURE0_ARB);
    glDisable(GL_TEXTURE_2D);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
}

void HeightField::deleteList()
{
    if (mListId == 0)
        return;
    glDeleteLists(mListId, 1);
    mListId = 0;
}
