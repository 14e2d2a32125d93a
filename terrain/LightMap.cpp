#include "terrain/LightMap.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <thread>

// The resource generator bakes the committed light map with this code, and
// the committed bytes are checked against a fresh bake: every value must
// come out of the same double operations in the same order.

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

class Heights {
public:
    explicit Heights(const HeightGrid& grid)
        : size_(grid.size), unitsPerPixel_(grid.unitsPerPixel), values_(grid.heights.data())
    {
    }

    int size() const { return size_; }
    double unitsPerPixel() const { return unitsPerPixel_; }
    double at(int column, int row) const { return values_[row * size_ + column]; }

    double clampedAt(int column, int row) const
    {
        return at(std::clamp(column, 0, size_ - 1), std::clamp(row, 0, size_ - 1));
    }

    double bilinear(double column, double row) const
    {
        const double c = std::clamp(column, 0.0, size_ - 1.0);
        const double r = std::clamp(row, 0.0, size_ - 1.0);
        const int c0 = std::min(static_cast<int>(c), size_ - 2);
        const int r0 = std::min(static_cast<int>(r), size_ - 2);
        const double fc = c - c0;
        const double fr = r - r0;
        const double top = mix(at(c0, r0), at(c0 + 1, r0), fc);
        const double bottom = mix(at(c0, r0 + 1), at(c0 + 1, r0 + 1), fc);
        return mix(top, bottom, fr);
    }

private:
    int size_;
    double unitsPerPixel_;
    const double* values_;
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

// Highest elevation angle (radians) of the terrain seen from a point along a
// horizontal direction, up to a distance in world units. Steps grow with
// distance because far occluders only matter if they are large.
double horizonAngle(const Heights& heights, int column, int row, double dirX, double dirZ, double reach)
{
    const double unitsPerPixel = heights.unitsPerPixel();
    const double last = heights.size() - 1.0;
    const double base = heights.at(column, row);
    double steepest = -HUGE_VAL;
    double along = unitsPerPixel;
    while (along <= reach) {
        const double c = column + dirX * along / unitsPerPixel;
        const double r = row + dirZ * along / unitsPerPixel;
        if (c < 0.0 || r < 0.0 || c > last || r > last)
            break;
        steepest = std::max(steepest, (heights.bilinear(c, r) - base) / along);
        along += unitsPerPixel * (1.0 + along / 6.0);
    }
    return steepest == -HUGE_VAL ? 0.0 : std::atan(steepest);
}

double sunVisibility(const Heights& heights, int column, int row, Vec3 sun)
{
    const double horizontal = std::hypot(sun.x, sun.z);
    const double horizon = horizonAngle(heights, column, row, sun.x / horizontal, sun.z / horizontal, kShadowReach);
    const double elevation = kLightMapSunElevationDegrees * kPi / 180.0;
    const double softness = kShadowSoftnessDegrees * kPi / 180.0;
    return 1.0 - smoothstep(elevation - softness, elevation + softness, horizon);
}

// 1 for open ground, lower in gullies and at the foot of slopes.
double ambientOcclusion(const Heights& heights, int column, int row)
{
    double occlusion = 0.0;
    for (int d = 0; d < kOcclusionDirections; ++d) {
        const double angle = 2.0 * kPi * d / kOcclusionDirections;
        const double horizon = horizonAngle(heights, column, row, std::cos(angle), std::sin(angle), kOcclusionReach);
        occlusion += std::sin(std::max(0.0, horizon));
    }
    return 1.0 - occlusion / kOcclusionDirections;
}

// Keeps highlights from clipping hard on slopes facing the sun.
double shoulder(double v)
{
    constexpr double kKnee = 0.86;
    if (v <= kKnee)
        return v;
    return kKnee + (1.0 - kKnee) * std::tanh((v - kKnee) / (1.0 - kKnee));
}

void bakeRows(const Heights& heights, int firstRow, int endRow, std::uint8_t* pixels)
{
    const Vec3 sun = sunDirection();
    const int size = heights.size();
    for (int row = firstRow; row < endRow; ++row) {
        // The renderer reads the light map bottom-up, so it is stored flipped.
        std::uint8_t* line = pixels + std::size_t(size - 1 - row) * size * 3;
        for (int column = 0; column < size; ++column) {
            const double sky = kAmbientStrength * mix(0.75, 1.0, ambientOcclusion(heights, column, row));
            const double direct =
                kSunStrength * lambert(heights, column, row, sun) * sunVisibility(heights, column, row, sun);
            for (int channel = 0; channel < 3; ++channel) {
                const double light = shoulder(sky * kSkyColour[channel] + direct * kSunColour[channel]);
                line[column * 3 + channel] = static_cast<std::uint8_t>(std::lround(255.0 * clamp01(light)));
            }
        }
    }
}

} // namespace

std::vector<std::uint8_t> bakeLightMap(const HeightGrid& grid, int threads)
{
    const Heights heights(grid);
    const int size = grid.size;
    std::vector<std::uint8_t> pixels(std::size_t(size) * size * 3);
    if (threads <= 0)
        threads = int(std::max(1u, std::thread::hardware_concurrency()));
    threads = std::min(threads, size);
    // Each thread bakes a band of whole rows, and every pixel depends on the
    // heights alone, so the split cannot change a byte.
    std::vector<std::jthread> workers;
    for (int t = 1; t < threads; ++t)
        workers.emplace_back(bakeRows, std::cref(heights), size * t / threads, size * (t + 1) / threads, pixels.data());
    bakeRows(heights, 0, size / threads, pixels.data());
    return pixels;
}
