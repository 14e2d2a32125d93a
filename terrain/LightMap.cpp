#include "terrain/LightMap.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <numbers>
#include <thread>
#include <utility>

// The resource generator bakes the committed light map with this code, and
// the committed bytes are checked against a fresh bake. A change to the
// arithmetic that moves a value by its last bit can still move a byte where
// the value lies on a rounding boundary: that check tells.

// The march's inner loop is compiled for the vector units of recent x86-64
// processors besides the baseline, and the loader picks the widest that the
// processor has. Every version gives the same bytes, since
// -ffp-contract=off keeps each multiply and add rounded on its own.
#if defined(__x86_64__)
#define VECTOR_CLONES __attribute__((target_clones("arch=x86-64-v4", "arch=x86-64-v3", "default")))
#else
#define VECTOR_CLONES
#endif

namespace {

constexpr double kPi = std::numbers::pi;

constexpr double kShadowSoftnessDegrees = 2.0;
constexpr double kShadowReach = 30.0; // world units; nothing taller can reach further

constexpr double kAmbientStrength = 0.5;
constexpr double kSunStrength = 0.72;
constexpr int kOcclusionDirections = 8;
constexpr double kOcclusionReach = 8.0; // world units

constexpr std::array<double, 3> kSunColour{1.0, 0.95, 0.84};
constexpr std::array<double, 3> kSkyColour{0.74, 0.84, 1.0};

struct Vec3 {
    double x, y, z;
};

double clamp01(double v)
{
    return std::clamp(v, 0.0, 1.0);
}

double mix(double a, double b, double f)
{
    return a + (b - a) * f;
}

double smoothstep(double edge0, double edge1, double v)
{
    const double f = clamp01((v - edge0) / (edge1 - edge0));
    return f * f * (3.0 - 2.0 * f);
}

// The grid seen by the bake: its heights by pixel, and a row at a time.
class Heights {
public:
    explicit Heights(const HeightGrid& grid) : grid_(grid) {}

    int size() const { return grid_.size; }
    double unitsPerPixel() const { return grid_.unitsPerPixel; }
    double at(int column, int row) const { return grid_.heights[std::size_t(row) * grid_.size + column]; }
    const double* row(int row) const { return grid_.heights.data() + std::size_t(row) * grid_.size; }

    double clampedAt(int column, int row) const
    {
        return at(std::clamp(column, 0, size() - 1), std::clamp(row, 0, size() - 1));
    }

    double bilinear(double column, double row) const { return bilinearHeight(grid_, column, row); }

private:
    const HeightGrid& grid_;
};

Vec3 sunDirection()
{
    const double azimuth = kLightMapSunAzimuthDegrees * kPi / 180.0;
    const double elevation = kLightMapSunElevationDegrees * kPi / 180.0;
    // Azimuth 0 = north (-z), 90 = east (+x).
    return {std::sin(azimuth) * std::cos(elevation), std::sin(elevation), -std::cos(azimuth) * std::cos(elevation)};
}

double lambert(const Heights& heights, int column, int row, Vec3 sun)
{
    const double slopeX = (heights.clampedAt(column + 1, row) - heights.clampedAt(column - 1, row)) /
                          (2.0 * heights.unitsPerPixel());
    const double slopeZ = (heights.clampedAt(column, row + 1) - heights.clampedAt(column, row - 1)) /
                          (2.0 * heights.unitsPerPixel());
    const double length = std::sqrt(slopeX * slopeX + 1.0 + slopeZ * slopeZ);
    return std::max(0.0, (-slopeX * sun.x + sun.y - slopeZ * sun.z) / length);
}

// The march of the horizon along one horizontal direction, up to a distance
// in world units. Step k lies along[k] world units away, at the same offset
// (column + columnOffset[k], row + rowOffset[k]) from every pixel. Steps grow
// with distance because far occluders only matter if they are large.
struct March {
    std::vector<double> along;
    std::vector<double> columnOffset;
    std::vector<double> rowOffset;
};

March march(double dirX, double dirZ, double reach, double step, double unitsPerPixel)
{
    March m;
    double along = step;
    while (along <= reach) {
        m.along.push_back(along);
        m.columnOffset.push_back(dirX * along / unitsPerPixel);
        m.rowOffset.push_back(dirZ * along / unitsPerPixel);
        along += step * (1.0 + along / 6.0);
    }
    return m;
}

// The first and the last column whose sample at this column offset lies on
// the map, the sample position worked out as the march does. Rounding keeps
// the position's order, so the columns in between are on the map too.
std::pair<int, int> columnsOnMap(double offset, int size)
{
    const double last = size - 1.0;
    int firstColumn = offset < 0.0 ? std::min(size, static_cast<int>(std::ceil(-offset))) : 0;
    int lastColumn = offset < 0.0 ? size - 1 : std::max(-1, static_cast<int>(std::floor(last - offset)));
    while (firstColumn > 0 && (firstColumn - 1) + offset >= 0.0)
        --firstColumn;
    while (firstColumn < size && firstColumn + offset < 0.0)
        ++firstColumn;
    while (lastColumn < size - 1 && (lastColumn + 1) + offset <= last)
        ++lastColumn;
    while (lastColumn >= 0 && lastColumn + offset > last)
        --lastColumn;
    return {firstColumn, lastColumn};
}

// steepest[column] = max(steepest[column], (height at the sample - base[column]) / along)
// for the columns from firstColumn to lastColumn, whose samples lie between
// the rows top and bottom at row weight fr, and at column + offset, of which
// column + shift is the whole part. The heights are read straight along the
// rows, which vectorizes; the one column whose sample may lie on the map's
// last column goes through Heights::bilinear, which takes the cell to its
// left there.
VECTOR_CLONES void sampleRun(const Heights& heights, const double* __restrict top, const double* __restrict bottom,
                             const double* __restrict base, double* __restrict steepest, int firstColumn,
                             int lastColumn, int shift, double offset, double r, double fr, double along)
{
    const int straightEnd = std::min(lastColumn, heights.size() - 2 - shift);
    for (int column = firstColumn; column <= straightEnd; ++column) {
        const int c0 = column + shift;
        const double fc = (column + offset) - c0;
        const double upper = mix(top[c0], top[c0 + 1], fc);
        const double lower = mix(bottom[c0], bottom[c0 + 1], fc);
        steepest[column] = std::max(steepest[column], (mix(upper, lower, fr) - base[column]) / along);
    }
    for (int column = std::max(firstColumn, straightEnd + 1); column <= lastColumn; ++column)
        steepest[column] = std::max(steepest[column], (heights.bilinear(column + offset, r) - base[column]) / along);
}

// For every pixel of a block of rows, the steepest slope (rise over
// distance) of the terrain seen along a march, -HUGE_VAL where the march
// leaves the map at once; steepest holds the block's rows one after another.
//
// The march goes one step at a time for the whole block. A sample's row, and
// so its row weight, is the same for every pixel of a row; once off the map
// a pixel's march never comes back, so each step only shrinks the span of
// columns and rows still marching. Within that span a sample's left column
// is the pixel's column plus the offset's whole part, or one more where
// rounding the position carries it to the next whole column: that happens,
// if at all, from some column on, since larger columns round more coarsely.
// From one step or row to the next, much the same rows of heights are read,
// and stay in the cache.
void steepestAlong(const Heights& heights, const March& m, int firstRow, int rows, double* steepest)
{
    const int size = heights.size();
    const double last = size - 1.0;
    std::fill_n(steepest, std::size_t(rows) * size, -HUGE_VAL);
    for (std::size_t k = 0; k < m.along.size(); ++k) {
        const double offset = m.columnOffset[k];
        const auto [firstColumn, lastColumn] = columnsOnMap(offset, size);
        if (firstColumn > lastColumn)
            return;
        const int shift = static_cast<int>(std::floor(offset));
        const auto carries = [offset, shift](int column) { return column + offset >= column + shift + 1; };
        // The first column that carries, found by halving the span between
        // one that does and one that does not.
        int carried = lastColumn + 1;
        if (carries(lastColumn)) {
            int below = firstColumn - 1;
            carried = lastColumn;
            while (carried - below > 1) {
                const int middle = below + (carried - below) / 2;
                if (carries(middle))
                    carried = middle;
                else
                    below = middle;
            }
        }
        bool marching = false;
        for (int row = firstRow; row < firstRow + rows; ++row) {
            const double r = row + m.rowOffset[k];
            if (r < 0.0 || r > last)
                continue;
            marching = true;
            const int r0 = std::min(static_cast<int>(r), size - 2);
            const double fr = r - r0;
            const double* top = heights.row(r0);
            const double* bottom = heights.row(r0 + 1);
            const double* base = heights.row(row);
            double* rowSteepest = steepest + std::size_t(row - firstRow) * size;
            const double along = m.along[k];
            sampleRun(heights, top, bottom, base, rowSteepest, firstColumn, carried - 1, shift, offset, r, fr, along);
            sampleRun(heights, top, bottom, base, rowSteepest, carried, lastColumn, shift + 1, offset, r, fr, along);
        }
        if (!marching)
            return;
    }
}

// How much of the sun a pixel sees, from its steepest slope toward the sun:
// all of it while the horizon stays below the sun's elevation less the
// softness, none once the horizon passes the elevation plus the softness.
// Slopes further from the tangents of those two angles than atan's error
// (an ulp or so; the margin is ten million times that) are told without
// calling atan.
class SunVisibility {
public:
    double operator()(double steepest) const
    {
        if (steepest < seenBelow_)
            return 1.0;
        if (steepest > hiddenAbove_)
            return 0.0;
        return 1.0 - smoothstep(kElevation - kSoftness, kElevation + kSoftness, std::atan(steepest));
    }

private:
    static constexpr double kElevation = kLightMapSunElevationDegrees * kPi / 180.0;
    static constexpr double kSoftness = kShadowSoftnessDegrees * kPi / 180.0;
    double seenBelow_ = std::tan(kElevation - kSoftness) * (1.0 - 1e-9);
    double hiddenAbove_ = std::tan(kElevation + kSoftness) * (1.0 + 1e-9);
};

// Keeps highlights from clipping hard on slopes facing the sun.
double shoulder(double v)
{
    constexpr double kKnee = 0.86;
    if (v <= kKnee)
        return v;
    return kKnee + (1.0 - kKnee) * std::tanh((v - kKnee) / (1.0 - kKnee));
}

// The marches every pixel makes: ambient occlusion's around the compass,
// then the sun's.
struct Marches {
    Marches(double step, double unitsPerPixel)
    {
        for (int d = 0; d < kOcclusionDirections; ++d) {
            const double angle = 2.0 * kPi * d / kOcclusionDirections;
            occlusion[d] = march(std::cos(angle), std::sin(angle), kOcclusionReach, step, unitsPerPixel);
        }
        const double horizontal = std::hypot(sun.x, sun.z);
        toSun = march(sun.x / horizontal, sun.z / horizontal, kShadowReach, step, unitsPerPixel);
    }

    Vec3 sun = sunDirection();
    std::array<March, kOcclusionDirections> occlusion;
    March toSun;
    SunVisibility sunVisibility;
};

// Rows are baked in blocks of about this many pixels: a block's slopes and
// the rows of heights its marches read at one step fit in the core's own
// cache together.
constexpr int kBlockPixels = 16384;

// Bakes the rows from firstRow on, rows of them, into the light map's
// pixels, with room in occlusion and steepest for as many rows.
void bakeBlock(const Heights& heights, const Marches& marches, int firstRow, int rows, double* occlusion,
               double* steepest, std::uint8_t* pixels)
{
    const int size = heights.size();
    const std::size_t count = std::size_t(rows) * size;
    // 1 - occlusion / kOcclusionDirections is 1 for open ground, lower in
    // gullies and at the foot of slopes.
    std::fill_n(occlusion, count, 0.0);
    for (const March& m : marches.occlusion) {
        steepestAlong(heights, m, firstRow, rows, steepest);
        // The horizon's sine, sin(max(0, atan(steepest))): 0 where the
        // ground falls away, and otherwise worked out without atan and sin,
        // which cost as much as the march itself.
        for (std::size_t i = 0; i < count; ++i)
            if (steepest[i] > 0.0)
                occlusion[i] += steepest[i] / std::sqrt(1.0 + steepest[i] * steepest[i]);
    }
    steepestAlong(heights, marches.toSun, firstRow, rows, steepest);
    for (int row = firstRow; row < firstRow + rows; ++row) {
        // The renderer reads the light map bottom-up, so it is stored flipped.
        std::uint8_t* line = pixels + std::size_t(size - 1 - row) * size * 3;
        const std::size_t rowStart = std::size_t(row - firstRow) * size;
        for (int column = 0; column < size; ++column) {
            const double ambientOcclusion = 1.0 - occlusion[rowStart + column] / kOcclusionDirections;
            const double sky = kAmbientStrength * mix(0.75, 1.0, ambientOcclusion);
            const double direct = kSunStrength * lambert(heights, column, row, marches.sun) *
                                  marches.sunVisibility(steepest[rowStart + column]);
            for (int channel = 0; channel < 3; ++channel) {
                const double light = shoulder(sky * kSkyColour[channel] + direct * kSunColour[channel]);
                line[column * 3 + channel] = static_cast<std::uint8_t>(std::lround(255.0 * clamp01(light)));
            }
        }
    }
}

} // namespace

std::vector<std::uint8_t> bakeLightMap(const HeightGrid& grid, double marchStep, int threads)
{
    const Heights heights(grid);
    const Marches marches(marchStep, grid.unitsPerPixel);
    const int size = grid.size;
    std::vector<std::uint8_t> pixels(std::size_t(size) * size * 3);
    if (threads <= 0)
        threads = int(std::max(1u, std::thread::hardware_concurrency()));
    const int blockRows = std::clamp(kBlockPixels / std::max(size, 1), 1, 16);
    const int blocks = (size + blockRows - 1) / blockRows;
    threads = std::min(threads, blocks);
    // The threads take blocks one at a time, as each finishes the last:
    // blocks near the edges, whose marches leave the map early, cost less.
    // Every pixel depends on the heights alone, so the split cannot change a
    // byte.
    std::atomic<int> nextBlock = 0;
    const auto bakeBlocks = [&] {
        std::vector<double> occlusion(std::size_t(blockRows) * size);
        std::vector<double> steepest(std::size_t(blockRows) * size);
        for (int block = nextBlock++; block < blocks; block = nextBlock++) {
            const int firstRow = block * blockRows;
            bakeBlock(heights, marches, firstRow, std::min(blockRows, size - firstRow), occlusion.data(),
                      steepest.data(), pixels.data());
        }
    };
    std::vector<std::jthread> workers;
    for (int t = 1; t < threads; ++t)
        workers.emplace_back(bakeBlocks);
    bakeBlocks();
    return pixels;
}

double bilinearHeight(const HeightGrid& grid, double column, double row)
{
    const Heights heights(grid);
    const double c = std::clamp(column, 0.0, grid.size - 1.0);
    const double r = std::clamp(row, 0.0, grid.size - 1.0);
    const int c0 = std::min(static_cast<int>(c), grid.size - 2);
    const int r0 = std::min(static_cast<int>(r), grid.size - 2);
    const double fc = c - c0;
    const double fr = r - r0;
    const double top = mix(heights.at(c0, r0), heights.at(c0 + 1, r0), fc);
    const double bottom = mix(heights.at(c0, r0 + 1), heights.at(c0 + 1, r0 + 1), fc);
    return mix(top, bottom, fr);
}
