#pragma once

#include <cstdint>
#include <vector>

// Heights in world units, size * size of them, row-major, row 0 = the height
// image's top row (north, -z); the square map covers size x size pixels of
// unitsPerPixel world units each.
struct HeightGrid {
    int size = 0;
    double unitsPerPixel = 0.0;
    std::vector<double> heights;
};

// The height at a position between pixel centres, column and row in pixels,
// interpolated between the four pixels around it; a position off the map
// takes the height at the nearest edge. The grid needs two pixels a side.
double bilinearHeight(const HeightGrid& grid, double column, double row);

// The sun of the baked light, in the south-west and fairly low so that the
// relief reads well from the low-flying camera: azimuth clockwise from north
// (-z, the top row of the height image), elevation above the horizon.
inline constexpr double kLightMapSunAzimuthDegrees = 225.0;
inline constexpr double kLightMapSunElevationDegrees = 35.0;

// The light that the terrain's texture is modulated by: sky light dimmed by
// ambient occlusion, plus sunlight on slopes that face the sun and lie
// outside cast shadows. RGB bytes, 3 per pixel, size * size pixels, rows
// stored flipped (the light map's bottom row lies over the height image's top
// row), ready for a GL_RGB upload with rows packed at 3 * size bytes.
//
// Each pixel finds its horizons by marching across the terrain a fixed
// distance in world units, marchStep units at first and longer steps
// further out. With a march step of the grid's own pixel the work grows
// with size cubed; with a fixed step, with the pixel count alone.
// The bytes do not depend on the number of threads (0: one per core).
std::vector<std::uint8_t> bakeLightMap(const HeightGrid& grid, double marchStep, int threads = 0);

// The march step of the built-in terrain's light map, for a terrain
// extent world units across: that of a map 512 pixels a side. A finer map
// marched with it shows the same shading in finer detail, since every pixel
// still takes its own slope and its own horizons.
inline constexpr double lightMapMarchStep(double extent)
{
    return extent / 512.0;
}
