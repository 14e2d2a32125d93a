#include "terrain/LightMap.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <numbers>

namespace {

// Every map covers 100 world units, as the program's terrain does.
HeightGrid grid(int size, const std::function<double(int row, int column)>& height)
{
    HeightGrid grid{size, 100.0 / size, std::vector<double>(std::size_t(size) * size)};
    for (int row = 0; row < size; ++row)
        for (int column = 0; column < size; ++column)
            grid.heights[std::size_t(row) * size + column] = height(row, column);
    return grid;
}

// The green byte of the light over the height image's pixel (row, column).
int lightOver(const std::vector<std::uint8_t>& map, int size, int row, int column)
{
    return map[(std::size_t(size - 1 - row) * size + column) * 3 + 1];
}

TEST(LightMap, FlatGroundIsEvenlyLit)
{
    const std::vector<std::uint8_t> map = bakeLightMap(grid(64, [](int, int) { return 1.5; }));
    ASSERT_EQ(map.size(), 64u * 64u * 3u);
    for (std::size_t i = 3; i < map.size(); ++i)
        ASSERT_EQ(map[i], map[i % 3]) << "byte " << i;
}

// A wall 5 units high and 20 pixels thick right across the map, with the
// sun in the south-west: the shadow falls on the far side and reaches
// 5 / tan(35 degrees) along the sun's azimuth, which crosses the wall at
// 45 degrees.
TEST(LightMap, AWallCastsAShadowAwayFromTheSunAsLongAsItsHeightAllows)
{
    constexpr int kSize = 256;
    constexpr double kWallHeight = 5.0;
    struct Case {
        const char* wall;
        int firstRow, lastRow, firstColumn, lastColumn;
        int shadowRow, shadowColumn; // first pixel beyond the wall on the shadow side
        int stepRow, stepColumn;     // away from the wall on that side
        int sunnyRow, sunnyColumn;   // first pixel beyond the wall on the sun's side
    };
    const double unitsPerPixel = 100.0 / kSize;
    const double elevation = kLightMapSunElevationDegrees * std::numbers::pi / 180.0;
    const double expectedPixels = kWallHeight / std::tan(elevation) / std::numbers::sqrt2 / unitsPerPixel;
    const int lit = lightOver(bakeLightMap(grid(kSize, [](int, int) { return 0.0; })), kSize, 0, 0);

    for (const Case c : {Case{"east-west, shadow to the north", 128, 147, 0, kSize - 1, 127, 128, -1, 0, 148, 128},
                         Case{"north-south, shadow to the east", 0, kSize - 1, 108, 127, 128, 128, 0, 1, 128, 107}}) {
        SCOPED_TRACE(c.wall);
        const std::vector<std::uint8_t> map = bakeLightMap(grid(kSize, [&c](int row, int column) {
            return row >= c.firstRow && row <= c.lastRow && column >= c.firstColumn && column <= c.lastColumn
                       ? kWallHeight
                       : 0.0;
        }));
        const int shadow = lightOver(map, kSize, c.shadowRow, c.shadowColumn);
        ASSERT_LT(shadow, lit - 40);
        const int halfway = (lit + shadow) / 2;
        EXPECT_GT(lightOver(map, kSize, c.sunnyRow, c.sunnyColumn), halfway);
        int shaded = 0;
        while (lightOver(map, kSize, c.shadowRow + shaded * c.stepRow, c.shadowColumn + shaded * c.stepColumn) <
               halfway)
            ++shaded;
        EXPECT_NEAR(shaded, expectedPixels, 1.5);
    }
}

TEST(LightMap, TheBytesDoNotDependOnTheNumberOfThreads)
{
    const HeightGrid hills = grid(101, [](int row, int column) {
        return 4.0 * std::sin(column / 9.0) * std::cos(row / 13.0) + std::sin((row + column) / 3.0);
    });
    const std::vector<std::uint8_t> single = bakeLightMap(hills, 1);
    for (const int threads : {2, 3})
        EXPECT_EQ(bakeLightMap(hills, threads), single) << threads << " threads";
}

// The renderer reads the light map bottom-up: a block along the top rows of
// the height image shades the light map's bottom rows, and nothing of it
// reaches the top half.
TEST(LightMap, RowsAreStoredBottomUp)
{
    constexpr int kSize = 64;
    const std::vector<std::uint8_t> flat = bakeLightMap(grid(kSize, [](int, int) { return 0.0; }));
    const std::vector<std::uint8_t> map = bakeLightMap(grid(kSize, [](int row, int) { return row < 2 ? 3.0 : 0.0; }));
    const auto half = std::ptrdiff_t(flat.size() / 2);
    EXPECT_TRUE(std::equal(map.begin(), map.begin() + half, flat.begin()));
    EXPECT_FALSE(std::equal(map.begin() + half, map.end(), flat.begin() + half));
}

} // namespace
