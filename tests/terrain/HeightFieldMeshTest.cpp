#include "platform/system/Image.h"
#include "terrain/HeightField.h"
#include "terrain/TerrainImage.h"
#include "tests/terrain/TerrainTesting.h"

#include <array>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

constexpr char kFailure[] = "makeHeightField : failed to create bitmap\n";

// Vertex (i, j) worked out on its own, step by step as the build is described.
vertex describedVertex(const QImage& image, int n, int i, int j)
{
    const float width = float(image.width());
    const float step = width / float(n);
    const float rowPos = step * float(i);
    const float colPos = step * float(j);
    const float h = float(image.constScanLine(int(double(rowPos) + 0.5))[int(double(colPos) + 0.5)]);
    const float inverseWidth = 1.0f / width;
    const float detailScale = 32.0f / width;
    return {float(j) / float(n) - 0.5f,     h * 0.00390625f,           float(i) / float(n) - 0.5f,
            detailScale * colPos,          1.0f - detailScale * rowPos, colPos * inverseWidth,
            1.0f - rowPos * inverseWidth};
}

std::vector<std::uint32_t> indices(const HeightField& field)
{
    return {field.indices(), field.indices() + field.numberOfIndices()};
}

const vertex& at(const HeightField& field, int n, int i, int j)
{
    return field.vertices()[i * n + j];
}

class HeightFieldMesh : public testing::Test {
protected:
    std::unique_ptr<HeightField> build(const QImage& image, int gridSize)
    {
        auto field = std::make_unique<HeightField>();
        field->loadImage(files.write(image));
        field->makeHeightField(gridSize);
        return field;
    }
    ImageFiles files;
};

TEST_F(HeightFieldMesh, EveryRecordIsBitForBitTheDescribedArithmetic)
{
    struct Case {
        int width, height, gridSize, n;
    };
    for (const Case c : {Case{256, 256, 100, 100}, Case{256, 256, 64, 64}, Case{256, 256, 256, 256},
                         Case{256, 256, 257, 256}, Case{256, 256, -5, 256}, Case{7, 7, 3, 3}, Case{37, 50, 11, 11},
                         Case{5, 5, 2, 2}, Case{1, 1, 1, 1}, Case{300, 300, 299, 299}}) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " n=" << c.gridSize);
        const QImage image = greyImage(c.width, c.height, [](int row, int column) { return (row * 31 + column * 7) % 256; });
        const auto field = build(image, c.gridSize);
        ASSERT_EQ(field->numberOfVertices(), c.n * c.n);
        for (int i = 0; i < c.n; ++i)
            for (int j = 0; j < c.n; ++j) {
                const vertex expected = describedVertex(image, c.n, i, j);
                ASSERT_EQ(std::memcmp(&at(*field, c.n, i, j), &expected, sizeof(vertex)), 0) << i << "," << j;
            }
        std::vector<std::uint32_t> cells;
        for (int i = 0; i + 1 < c.n; ++i)
            for (int j = 0; j + 1 < c.n; ++j) {
                const std::uint32_t a = i * c.n + j, b = a + c.n;
                cells.insert(cells.end(), {a, a + 1, b, b + 1, b, a + 1});
            }
        EXPECT_EQ(indices(*field), cells);
        EXPECT_EQ(field->numberOfIndices(), 6 * (c.n - 1) * (c.n - 1));
    }
}

TEST_F(HeightFieldMesh, GridLinesSampleTheNearestPixelFromTheTopLeft)
{
    const auto byColumn = greyImage(256, 256, [](int, int column) { return column; });
    const auto byRow = greyImage(256, 256, [](int row, int) { return 255 - row; }); // the top row is the highest
    struct Case {
        int gridSize, line, pixel;
    };
    for (const Case c : {Case{100, 0, 0}, Case{100, 1, 3}, Case{100, 2, 5}, Case{100, 3, 8}, Case{100, 99, 253},
                         Case{64, 1, 4}, Case{64, 63, 252}, Case{256, 255, 255}, Case{257, 200, 200}, Case{-5, 17, 17}}) {
        const int n = c.gridSize > 0 && c.gridSize <= 256 ? c.gridSize : 256;
        EXPECT_EQ(at(*build(byColumn, c.gridSize), n, 0, c.line).y * 256.0f, float(c.pixel)) << c.gridSize;
        EXPECT_EQ(at(*build(byRow, c.gridSize), n, c.line, 0).y * 256.0f, float(255 - c.pixel)) << c.gridSize;
    }
}

TEST_F(HeightFieldMesh, CoordinatesOfAGridOfStepFour)
{
    const auto field = build(greyImage(256, 256, [](int row, int) { return row == 0 ? 255 : 0; }), 64);
    const vertex& first = at(*field, 64, 0, 0);
    const vertex& second = at(*field, 64, 0, 1);
    const vertex& last = at(*field, 64, 63, 63);
    EXPECT_EQ(first.x, -0.5f);
    EXPECT_EQ(first.z, -0.5f);
    EXPECT_EQ(last.x, 0.484375f);
    EXPECT_EQ(last.z, 0.484375f);
    EXPECT_EQ(second.detailS, 0.5f);
    EXPECT_EQ(second.lightS, 0.015625f);
    EXPECT_EQ(first.detailT, 1.0f);
    EXPECT_EQ(first.lightT, 1.0f);
    EXPECT_EQ(last.detailT, 1.0f - 31.5f);
    EXPECT_EQ(last.lightT, 1.0f / 64.0f);
    EXPECT_EQ(first.y, 0.99609375f);
    EXPECT_EQ(last.y, 0.0f);
}

TEST_F(HeightFieldMesh, GridsOfFewerThanTwoVerticesASideHaveNoTriangles)
{
    const QImage image = greyImage(8, 8, [](int row, int column) { return 100 + row + column; });
    struct Case {
        int gridSize, vertices;
        std::vector<std::uint32_t> indices;
    };
    for (const Case& c : {Case{0, 0, {}}, Case{1, 1, {}}, Case{2, 4, {0, 1, 2, 3, 2, 1}}}) {
        const auto field = build(image, c.gridSize);
        EXPECT_EQ(field->numberOfVertices(), c.vertices) << c.gridSize;
        EXPECT_EQ(field->numberOfIndices(), int(c.indices.size())) << c.gridSize;
        EXPECT_EQ(indices(*field), c.indices) << c.gridSize;
    }
    const auto single = build(image, 1);
    const vertex& only = single->vertices()[0];
    EXPECT_EQ(only.x, -0.5f);
    EXPECT_EQ(only.z, -0.5f);
    EXPECT_EQ(only.y, 100.0f / 256.0f);
}

// Whatever its size and grid size, an opened terrain's grid has its corners
// on its square's at its corner pixels' heights, reading its light map's
// edge texels, and with its apron covers the square of kApronReach.
TEST_F(HeightFieldMesh, AnOpenedTerrainReachesItsEdgesWhateverItsSize)
{
    for (const auto [width, gridSize, n] : {std::array{1, 256, 2}, {2, 256, 2}, {2, 1, 2}, {9, 0, 2}, {9, -5, 9}, {9, 5, 5}}) {
        SCOPED_TRACE(testing::Message() << width << " n=" << gridSize);
        const auto pixel = [&](int row, int column) { return 10 + 100 * (row == width - 1) + 40 * (column == width - 1); };
        const auto field = HeightField::heightFieldWithTerrain(
            *TerrainImage::open(files.write(greyImage(width, width, pixel)), 100.0f, 14.0f).terrain, "", gridSize);
        ASSERT_EQ(field->numberOfIndices(), 6 * (n - 1) * (n - 1) + 24 * n);
        for (const int i : {0, 1})
            for (const int j : {0, 1}) {
                const vertex& v = at(*field, n, i * (n - 1), j * (n - 1));
                EXPECT_EQ((std::array{v.x, v.z, v.y, v.lightS}), (std::array{j - 0.5f, i - 0.5f,
                          float(pixel(i * (width - 1), j * (width - 1))) / 256.0f, (j * (width - 1) + 0.5f) / float(width)}));
            }
        float area = 0.0f; // of the triangles seen from above
        for (const std::uint32_t* t = field->indices(); t < field->indices() + field->numberOfIndices(); t += 3) {
            const vertex &a = field->vertices()[t[0]], &b = field->vertices()[t[1]], &c = field->vertices()[t[2]];
            area += std::abs((b.x - a.x) * (c.z - a.z) - (c.x - a.x) * (b.z - a.z)) / 2.0f;
        }
        EXPECT_FLOAT_EQ(area, 4.0f * HeightField::kApronReach * HeightField::kApronReach);
    }
}

TEST_F(HeightFieldMesh, RebuildingReplacesTheMeshAndKeepsTheImage)
{
    auto field = build(greyImage(32, 32, [](int, int) { return 7; }), 16);
    const auto image = field->heightImage();
    field->makeHeightField(8);
    EXPECT_EQ(field->heightImage(), image);
    EXPECT_EQ(field->numberOfVertices(), 64);
    EXPECT_EQ(field->numberOfIndices(), 6 * 49);
    EXPECT_EQ(field->vertices()[63].x, 0.375f);
    EXPECT_EQ(field->indices()[6 * 49 - 1], 7u * 8u - 1u); // a + 1 of the last cell

    for (const QString& nothing : {QString(), QString("")}) {
        field->loadImage(nothing);
        EXPECT_EQ(field->heightImage(), image);
    }
}

// 16-bit samples keep their precision: heights s / 65536, 65536 of them
// between 0 and 1 where 8 bits have 256.
TEST_F(HeightFieldMesh, SixteenBitSamplesGiveHeightsOfSOver65536)
{
    constexpr int kWidth = 64;
    QImage ramp(kWidth, kWidth, QImage::Format_Grayscale16);
    const auto sample = [](int row, int column) { return std::uint16_t(row * 1021 + column * 17 + 1); };
    for (int row = 0; row < kWidth; ++row)
        for (int column = 0; column < kWidth; ++column)
            reinterpret_cast<std::uint16_t*>(ramp.scanLine(row))[column] = sample(row, column);
    const auto field = build(ramp, kWidth);
    ASSERT_EQ(field->numberOfVertices(), kWidth * kWidth);
    for (int i = 0; i < kWidth; ++i)
        for (int j = 0; j < kWidth; ++j)
            ASSERT_EQ(at(*field, kWidth, i, j).y, float(sample(i, j)) / 65536.0f) << i << ", " << j;
}

// However wide the image and whatever the setting, the mesh stays within
// memory: never more than kMaxGridSize vertices a side.
TEST_F(HeightFieldMesh, NoGridIsFinerThanTheLargest)
{
    constexpr int kWidth = HeightField::kMaxGridSize + 52;
    const QImage image = greyImage(kWidth, kWidth, [](int row, int column) { return (row + column) % 256; });
    const auto field = build(image, 2);
    for (const int gridSize : {kWidth, -5}) {
        field->makeHeightField(gridSize);
        EXPECT_EQ(field->numberOfVertices(), HeightField::kMaxGridSize * HeightField::kMaxGridSize) << gridSize;
        // The grid still spans the whole image: its last line samples near the far edge.
        const vertex& last = at(*field, HeightField::kMaxGridSize, HeightField::kMaxGridSize - 1, 0);
        EXPECT_NEAR(last.lightT, 1.0f / HeightField::kMaxGridSize, 1e-6f) << gridSize;
    }
}

TEST_F(HeightFieldMesh, AnUnusableImageIsLoggedOncePerBuildAndLeavesTheMesh)
{
    QByteArray huge = encode(greyImage(8, 8, [](int, int) { return 0; }));
    const auto putBigEndian = [&huge](int at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i)
            huge[at + i] = char(value >> (24 - 8 * i));
    };
    putBigEndian(16, 60000); // the header's width and height
    putBigEndian(20, 60000);
    std::uint32_t crc = 0xffffffffu;
    for (const char byte : huge.mid(12, 17)) {
        crc ^= std::uint8_t(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    putBigEndian(29, ~crc);

    const QString wide = files.write(greyImage(16, 8, [](int, int) { return 9; }));
    for (const QString& name : {QString("nothing-by-this-name.png"), QString("/nonexistent/heightmap.png"), files.writeBytes("not an image"), wide,
                                files.writeBytes(huge)}) {
        SCOPED_TRACE(name.toStdString());
        testing::internal::CaptureStderr();
        const auto fresh = HeightField::heightFieldWithFile(name, "", "", 16);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), kFailure);
        EXPECT_EQ(fresh->vertices(), nullptr);
        EXPECT_EQ(fresh->numberOfVertices(), 0);
        EXPECT_EQ(fresh->numberOfIndices(), 0);

        auto built = build(greyImage(8, 8, [](int, int) { return 1; }), 4);
        const vertex* before = built->vertices();
        built->loadImage(name);
        testing::internal::CaptureStderr();
        built->makeHeightField(2);
        built->makeHeightField(3);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), std::string(kFailure) + kFailure);
        EXPECT_EQ(built->vertices(), before);
        EXPECT_EQ(built->numberOfVertices(), 16);
        EXPECT_EQ(built->numberOfIndices(), 54);
    }
}

} // namespace
