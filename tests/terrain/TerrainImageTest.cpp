#include "platform/system/Image.h"
#include "terrain/TerrainImage.h"
#include "tests/terrain/TerrainTesting.h"

#include <gtest/gtest.h>

namespace {

constexpr float kExtent = 100.0f;
constexpr float kHeight = 14.0f;

std::shared_ptr<const TerrainImage> openImage(ImageFiles& files, const QImage& image)
{
    const TerrainImage::Opened opened = TerrainImage::open(files.write(image), kExtent, kHeight);
    EXPECT_TRUE(opened.terrain) << opened.failure.toStdString();
    return opened.terrain;
}

// The ride height over the vertex of pixel (row, column), as the mesh lays
// the pixels out from edge to edge.
float rideOver(const TerrainImage& terrain, int row, int column)
{
    const float width = float(terrain.heights()->pixelsWide() - 1);
    return terrain.rideHeight(float(column) / width - 0.5f, float(row) / width - 0.5f);
}

// Flat ground at a quarter of the height scale with one needle of full
// height: the ride clears every pixel, and the needle lifts it only nearby,
// over the cells around the needle's own.
TEST(TerrainImage, TheRideHeightClearsEveryPixelAndRisesOnlyNearAPeak)
{
    constexpr int kSize = 300;
    constexpr int kNeedleRow = 150, kNeedleColumn = 40;
    const QImage image = greyImage(kSize, kSize, [](int row, int column) {
        return row == kNeedleRow && column == kNeedleColumn ? 255 : 64;
    });
    ImageFiles files;
    const auto terrain = openImage(files, image);
    ASSERT_TRUE(terrain);
    const float cellPixels = float(kSize) / TerrainImage::kRideCells;
    for (int row = 0; row < kSize; ++row)
        for (int column = 0; column < kSize; ++column) {
            const float ride = rideOver(*terrain, row, column);
            const float sample = float(terrain->heights()->bitmapData()[row * kSize + column]) / 65536.0f;
            ASSERT_GE(ride, sample) << row << ", " << column;
            const float distance = float(std::max(std::abs(row - kNeedleRow), std::abs(column - kNeedleColumn)));
            if (distance > 3.0f * cellPixels) {
                ASSERT_EQ(ride, 0.25f) << row << ", " << column;
            }
            if (distance < cellPixels) {
                ASSERT_EQ(ride, 255.0f / 256.0f) << row << ", " << column;
            }
        }
    // Off the square: as at its nearest edge.
    EXPECT_EQ(terrain->rideHeight(-3.0f, 0.0f), rideOver(*terrain, kSize / 2, 0));
    EXPECT_EQ(terrain->rideHeight(0.0f, 9.0f), 0.25f);
}

// An image smaller than the ride grid still gives every cell a pixel.
TEST(TerrainImage, TheRideHeightOfATinyImageCoversEveryPixel)
{
    const QImage image = greyImage(5, 5, [](int row, int column) { return row * 50 + column; });
    ImageFiles files;
    const auto terrain = openImage(files, image);
    ASSERT_TRUE(terrain);
    for (int row = 0; row < 5; ++row)
        for (int column = 0; column < 5; ++column)
            EXPECT_GE(rideOver(*terrain, row, column), float(row * 50 + column) / 256.0f) << row << ", " << column;
    // Between the pixels too, where the mesh runs up to the higher ones.
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 4; ++column)
            EXPECT_GE(terrain->rideHeight((column + 0.5f) / 4.0f - 0.5f, (row + 0.5f) / 4.0f - 0.5f),
                      float((row + 1) * 50 + column + 1) / 256.0f) << row << ", " << column;
}

} // namespace
