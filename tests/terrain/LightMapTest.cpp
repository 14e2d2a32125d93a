#include "terrain/LightMap.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <numbers>

namespace {

// Every map covers 100 world units, as the program's terrain does.
constexpr double kExtent = 100.0;

HeightGrid grid(int size, const std::function<double(int row, int column)>& height)
{
    HeightGrid grid{size, kExtent / size, std::vector<double>(std::size_t(size) * size)};
    for (int row = 0; row < size; ++row)
        for (int column = 0; column < size; ++column)
            grid.heights[std::size_t(row) * size + column] = height(row, column);
    return grid;
}

// Marching as an opened terrain's bake does.
std::vector<std::uint8_t> bake(const HeightGrid& grid, int threads = 0)
{
    return bakeLightMap(grid, lightMapMarchStep(kExtent), threads);
}

// The green byte of the light over the height image's pixel (row, column).
int lightOver(const std::vector<std::uint8_t>& map, int size, int row, int column)
{
    return map[(std::size_t(size - 1 - row) * size + column) * 3 + 1];
}

TEST(LightMap, FlatGroundIsEvenlyLit)
{
    const std::vector<std::uint8_t> map = bake(grid(64, [](int, int) { return 1.5; }));
    ASSERT_EQ(map.size(), 64u * 64u * 3u);
    for (std::size_t i = 3; i < map.size(); ++i)
        ASSERT_EQ(map[i], map[i % 3]) << "byte " << i;
}

// A wall 5 units high and 7.8 units thick right across the map, with the
// sun in the south-west: the shadow falls on the far side and reaches
// 5 / tan(35 degrees) along the sun's azimuth, which crosses the wall at
// 45 degrees. On the finer map the march steps over several pixels at a
// time, and the shadow must still end where the wall's height says.
TEST(LightMap, AWallCastsAShadowAwayFromTheSunAsLongAsItsHeightAllows)
{
    constexpr double kWallHeight = 5.0;
    struct Case {
        const char* wall;
        int firstRow, lastRow, firstColumn, lastColumn;
        int shadowRow, shadowColumn; // first pixel beyond the wall on the shadow side
        int stepRow, stepColumn;     // away from the wall on that side
        int sunnyRow, sunnyColumn;   // first pixel beyond the wall on the sun's side
    };
    const double elevation = kLightMapSunElevationDegrees * std::numbers::pi / 180.0;
    const double expectedUnits = kWallHeight / std::tan(elevation) / std::numbers::sqrt2;

    for (const int size : {256, 1024}) {
        const int k = size / 256; // positions below are given on the 256-pixel map
        const double unitsPerPixel = kExtent / size;
        const int lit = lightOver(bake(grid(size, [](int, int) { return 0.0; })), size, 0, 0);
        for (const Case c : {Case{"east-west, shadow to the north", 128 * k, 148 * k - 1, 0, size - 1, 128 * k - 1,
                                  128 * k, -1, 0, 148 * k, 128 * k},
                             Case{"north-south, shadow to the east", 0, size - 1, 108 * k, 128 * k - 1, 128 * k,
                                  128 * k, 0, 1, 128 * k, 108 * k - 1}}) {
            SCOPED_TRACE(testing::Message() << c.wall << ", " << size << " pixels");
            const std::vector<std::uint8_t> map = bake(grid(size, [&c](int row, int column) {
                return row >= c.firstRow && row <= c.lastRow && column >= c.firstColumn && column <= c.lastColumn
                           ? kWallHeight
                           : 0.0;
            }));
            const int shadow = lightOver(map, size, c.shadowRow, c.shadowColumn);
            ASSERT_LT(shadow, lit - 40);
            const int halfway = (lit + shadow) / 2;
            EXPECT_GT(lightOver(map, size, c.sunnyRow, c.sunnyColumn), halfway);
            int shaded = 0;
            while (lightOver(map, size, c.shadowRow + shaded * c.stepRow, c.shadowColumn + shaded * c.stepColumn) <
                   halfway)
                ++shaded;
            EXPECT_NEAR(shaded * unitsPerPixel, expectedUnits, 0.6);
        }
    }
}

TEST(LightMap, TheBytesDoNotDependOnTheNumberOfThreads)
{
    const HeightGrid hills = grid(101, [](int row, int column) {
        return 4.0 * std::sin(column / 9.0) * std::cos(row / 13.0) + std::sin((row + column) / 3.0);
    });
    const std::vector<std::uint8_t> single = bake(hills, 1);
    for (const int threads : {2, 3})
        EXPECT_EQ(bake(hills, threads), single) << threads << " threads";
}

// The renderer reads the light map bottom-up: a block along the top rows of
// the height image shades the light map's bottom rows, and nothing of it
// reaches the top half.
TEST(LightMap, RowsAreStoredBottomUp)
{
    constexpr int kSize = 64;
    const std::vector<std::uint8_t> flat = bake(grid(kSize, [](int, int) { return 0.0; }));
    const std::vector<std::uint8_t> map = bake(grid(kSize, [](int row, int) { return row < 2 ? 3.0 : 0.0; }));
    const auto half = std::ptrdiff_t(flat.size() / 2);
    EXPECT_TRUE(std::equal(map.begin(), map.begin() + half, flat.begin()));
    EXPECT_FALSE(std::equal(map.begin() + half, map.end(), flat.begin() + half));
}

} // namespace
