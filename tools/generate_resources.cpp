// Generates Ferlow's terrain resources: the height map, the baked light map, the
// tileable grass texture and the default settings that go with them.
//
// Everything is derived from fixed seeds and our own integer hash, so running the
// tool twice gives byte-identical files and the resources in the repository can be
// reproduced exactly. The terrain is shaped around the camera's flight path, and the
// tool checks (and refuses to write anything if it fails) that the default flight
// never touches the ground.
//
// Usage: ferlow-resource-generator <output-directory>

#include "scene/FlightPath.h"
#include "terrain/LightMap.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QString>
#include <QTextStream>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <vector>

namespace {

constexpr double kPi = std::numbers::pi;

// ---------------------------------------------------------------------------
// World layout as the renderer sees it
// ---------------------------------------------------------------------------

constexpr int kMapSize = 512;             // height and light map edge, pixels
constexpr double kWorldExtent = 100.0;    // terrain covers [-50, 50) on x and z
constexpr double kUnitsPerPixel = kWorldExtent / kMapSize;

// Defaults written to Defaults.plist. The terrain below is carved for exactly these
// values, so they live here rather than in a hand-edited file.
struct FlightDefaults {
    double speed = 24.0;         // ~1.7 world units per second
    double lookAhead = 14.0;
    double cameraHeight = 1.5;   // absolute world height of the eye
    double heightScale = 14.0;  // vertical extent of the whole terrain
    double fogDensity = 1.4;
    int gridSize = 256;
    std::array<double, 4> fogColour{0.6, 0.8, 0.98, 1.0};  // the sky dome's rim colour
};
constexpr FlightDefaults kDefaults;

using FlightPath::kPathFrequency;
using FlightPath::kPathPeriod;
using FlightPath::kPathRadius;

constexpr double kVerticalFovDegrees = 30.0;

struct Vec2 {
    double x = 0.0;
    double z = 0.0;
};

Vec2 pathPoint(double t) {
    const FlightPath::GroundPoint eye = FlightPath::eyeAt(t);
    return {eye.x, eye.z};
}

Vec2 pathDirection(double t) {
    const double dx = -kPathRadius * std::sin(t);
    const double dz = kPathRadius * kPathFrequency * std::cos(kPathFrequency * t);
    const double length = std::hypot(dx, dz);
    return {dx / length, dz / length};
}

// Pixel (column, row) centre <-> world (x, z), matching how the renderer samples the map.
double pixelToWorld(double pixel) { return pixel * kUnitsPerPixel - kWorldExtent / 2.0; }
double worldToPixel(double world) { return (world + kWorldExtent / 2.0) / kUnitsPerPixel; }

// ---------------------------------------------------------------------------
// Small maths helpers
// ---------------------------------------------------------------------------

double clamp01(double v) { return std::clamp(v, 0.0, 1.0); }
double mix(double a, double b, double f) { return a + (b - a) * f; }

double smoothstep(double edge0, double edge1, double v) {
    const double f = clamp01((v - edge0) / (edge1 - edge0));
    return f * f * (3.0 - 2.0 * f);
}

// Polynomial smooth minimum: never above min(a, b), so it can enforce a ceiling
// without leaving a crease where the ceiling takes over.
double smoothMin(double a, double b, double softness) {
    const double h = clamp01(0.5 + 0.5 * (b - a) / softness);
    return mix(b, a, h) - softness * h * (1.0 - h);
}

// Square scalar field over the map, stored row-major; (column, row) like
// image pixels. Between pixels it is sampled as the light-map bake samples
// heights.
class Field {
public:
    explicit Field(int size, double fill = 0.0) : grid_{size, kUnitsPerPixel, std::vector<double>(size * size, fill)} {}

    int size() const { return grid_.size; }
    const HeightGrid& grid() const { return grid_; }
    double& at(int column, int row) { return grid_.heights[row * grid_.size + column]; }
    double at(int column, int row) const { return grid_.heights[row * grid_.size + column]; }

    double clampedAt(int column, int row) const {
        return at(std::clamp(column, 0, size() - 1), std::clamp(row, 0, size() - 1));
    }

    double bilinear(double column, double row) const { return bilinearHeight(grid_, column, row); }

private:
    HeightGrid grid_;
};

// ---------------------------------------------------------------------------
// Deterministic hashing and noise
// ---------------------------------------------------------------------------

// "lowbias32" integer finaliser: good avalanche, identical on every platform.
std::uint32_t hash32(std::uint32_t v) {
    v ^= v >> 16;
    v *= 0x7feb352dU;
    v ^= v >> 15;
    v *= 0x846ca68bU;
    v ^= v >> 16;
    return v;
}

std::uint32_t hashCell(int x, int y, std::uint32_t seed) {
    return hash32(seed ^ hash32(static_cast<std::uint32_t>(x) * 0x9e3779b1U +
                                hash32(static_cast<std::uint32_t>(y) + 0x632be5abU)));
}

double hashUnit(std::uint32_t h) { return (h >> 8) * (1.0 / 16777216.0); }  // [0, 1)

// Tiny sequential generator for scattering things (grass blades).
class Random {
public:
    explicit Random(std::uint32_t seed) : state_(seed) {}
    double next() {
        state_ += 0x9e3779b9U;
        return hashUnit(hash32(state_));
    }
    double range(double lo, double hi) { return lo + (hi - lo) * next(); }

private:
    std::uint32_t state_;
};

// Gradient (Perlin-style) noise with hashed gradients. With a period the lattice
// wraps, which is what makes the grass texture tile.
class GradientNoise {
public:
    explicit GradientNoise(std::uint32_t seed, int period = 0) : seed_(seed), period_(period) {
        for (int i = 0; i < kGradientCount; ++i) {
            const double angle = 2.0 * kPi * (i + 0.5) / kGradientCount;
            gradients_[i] = {std::cos(angle), std::sin(angle)};
        }
    }

    // Roughly [-1, 1].
    double operator()(double x, double y) const {
        const double fx = std::floor(x);
        const double fy = std::floor(y);
        const int ix = static_cast<int>(fx);
        const int iy = static_cast<int>(fy);
        const double dx = x - fx;
        const double dy = y - fy;
        const double n00 = corner(ix, iy, dx, dy);
        const double n10 = corner(ix + 1, iy, dx - 1.0, dy);
        const double n01 = corner(ix, iy + 1, dx, dy - 1.0);
        const double n11 = corner(ix + 1, iy + 1, dx - 1.0, dy - 1.0);
        const double u = fade(dx);
        const double v = fade(dy);
        return kScale * mix(mix(n00, n10, u), mix(n01, n11, u), v);
    }

private:
    static constexpr int kGradientCount = 64;
    static constexpr double kScale = 1.4;  // brings 2-D Perlin output close to [-1, 1]

    static double fade(double t) { return t * t * t * (t * (t * 6.0 - 15.0) + 10.0); }

    double corner(int ix, int iy, double dx, double dy) const {
        if (period_ > 0) {
            ix = ((ix % period_) + period_) % period_;
            iy = ((iy % period_) + period_) % period_;
        }
        const Vec2& g = gradients_[hashCell(ix, iy, seed_) % kGradientCount];
        return g.x * dx + g.z * dy;
    }

    std::uint32_t seed_;
    int period_;
    std::array<Vec2, kGradientCount> gradients_{};
};

// Octave offsets keep successive octaves from sharing lattice points.
constexpr double kOctaveShift = 17.31;

double fbm(const GradientNoise& noise, double x, double y, int octaves) {
    double sum = 0.0, amplitude = 1.0, norm = 0.0, frequency = 1.0;
    for (int o = 0; o < octaves; ++o) {
        sum += amplitude * noise(x * frequency + o * kOctaveShift, y * frequency - o * kOctaveShift);
        norm += amplitude;
        amplitude *= 0.5;
        frequency *= 2.03;
    }
    return sum / norm;
}

// Musgrave's ridged multifractal: sharp crests, and detail that fades away in the
// hollows because each octave is weighted by the one before. Roughly [0, 1].
double ridged(const GradientNoise& noise, double x, double y, int octaves) {
    double sum = 0.0, amplitude = 1.0, norm = 0.0, frequency = 1.0, weight = 1.0;
    for (int o = 0; o < octaves; ++o) {
        double signal = 1.0 - std::abs(noise(x * frequency + o * kOctaveShift,
                                             y * frequency - o * kOctaveShift));
        signal *= signal * weight;
        weight = clamp01(signal * 2.0);
        sum += amplitude * signal;
        norm += amplitude;
        amplitude *= 0.5;
        frequency *= 2.1;
    }
    return sum / norm;
}

// ---------------------------------------------------------------------------
// Terrain heights (world units)
// ---------------------------------------------------------------------------

// How far the flight path's influence is tracked; beyond this only the outer
// mountains matter.
constexpr double kPathReach = 8.0;

// Distance in world units from every pixel centre to the nearest point of the path,
// capped at kPathReach.
Field distanceToPath() {
    // The path moves at most ~50 units per unit of t, so this spacing keeps
    // consecutive samples about 0.05 units apart.
    constexpr int kSamples = 60000;
    const int reachPixels = static_cast<int>(std::ceil(kPathReach / kUnitsPerPixel));

    Field squared(kMapSize, kPathReach * kPathReach);
    for (int s = 0; s < kSamples; ++s) {
        const Vec2 p = pathPoint(kPathPeriod * s / kSamples);
        const int centreColumn = static_cast<int>(std::lround(worldToPixel(p.x)));
        const int centreRow = static_cast<int>(std::lround(worldToPixel(p.z)));
        const int firstRow = std::max(0, centreRow - reachPixels);
        const int lastRow = std::min(kMapSize - 1, centreRow + reachPixels);
        const int firstColumn = std::max(0, centreColumn - reachPixels);
        const int lastColumn = std::min(kMapSize - 1, centreColumn + reachPixels);
        for (int row = firstRow; row <= lastRow; ++row) {
            const double dz = pixelToWorld(row) - p.z;
            for (int column = firstColumn; column <= lastColumn; ++column) {
                const double dx = pixelToWorld(column) - p.x;
                double& best = squared.at(column, row);
                best = std::min(best, dx * dx + dz * dz);
            }
        }
    }
    for (int row = 0; row < kMapSize; ++row)
        for (int column = 0; column < kMapSize; ++column)
            squared.at(column, row) = std::sqrt(squared.at(column, row));
    return squared;
}

// Height of a grey level as the renderer computes it.
double levelToWorld(double level) {
    return kDefaults.heightScale * (level / 256.0) - kDefaults.heightScale / 2.0;
}
double worldToLevel(double y) {
    return (y + kDefaults.heightScale / 2.0) / kDefaults.heightScale * 256.0;
}

// Shape of the land, in world units. With FerlowHeight 14, grey level = (y + 7) / 14 * 256.
constexpr double kValleyFloor = -4.9;         // grey level ~38
constexpr double kFloorUndulation = 0.5;
constexpr double kValleyHalfWidth = 0.7;      // flat strip along the path
constexpr double kValleyWallRun = 2.2;        // distance over which the walls rise
constexpr double kValleySmoothing = 1.0;      // rounds the crests where two valleys meet
constexpr double kSmoothingOvershoot = 0.85;  // about how far smoothing lifts the distance near the path

constexpr double kLowlandLevel = -4.4;        // meadows inside the flown area
constexpr double kHillBase = 1.6;             // hilly districts stand this much higher
constexpr double kKnollHeight = 5.0;          // rounded hills between the loops
constexpr double kFoothillLevel = -3.4;       // where the mountains start from
constexpr double kRimLift = 8.0;              // mountains around the flown area
constexpr double kCrestHeight = 3.5;          // sharp ridges on top of them
constexpr double kRimStart = 0.5;             // measured outside the path's bounding square
constexpr double kRimWander = 3.0;            // how far the foothills' edge strays in or out
constexpr double kRimFull = 24.0;
constexpr double kPeakKnee = 5.4;             // start rounding off before white clips

// Ceiling that keeps the flight clear of the ground: below eye height minus the
// margin within kClearRadius of the path, then rising no steeper than kCeilingSlope.
constexpr double kClearanceMargin = 1.3;
constexpr double kClearRadius = 2.0;
constexpr double kCeilingSlope = 1.7;
constexpr double kCeilingSoftness = 0.5;

// Distance outside the square the path stays inside; the outer mountains grow with it.
double distanceOutsidePathSquare(double x, double z) {
    const double ox = std::max(0.0, std::abs(x) - kPathRadius);
    const double oz = std::max(0.0, std::abs(z) - kPathRadius);
    return std::hypot(ox, oz);
}

struct TerrainNoise {
    GradientNoise warp{0x51a7e001U};
    GradientNoise ridges{0x51a7e002U};
    GradientNoise districts{0x51a7e003U};
    GradientNoise floor{0x51a7e004U};
    GradientNoise knolls{0x51a7e005U};
    GradientNoise massifs{0x51a7e006U};
};

// Inside the flown area: open meadows in some districts, clusters of rounded hills
// in others, so the regular lattice of the path's loops does not show as rows of
// identical mounds.
double lowlandHeight(const TerrainNoise& noise, double x, double z, double wx, double wz) {
    const double hilliness = smoothstep(-0.25, 0.35, fbm(noise.districts, x / 16.0, z / 16.0, 3));
    const double knolls = smoothstep(0.0, 0.7, fbm(noise.knolls, wx / 6.0, wz / 6.0, 4));
    return kLowlandLevel + hilliness * (kHillBase + kKnollHeight * knolls);
}

// The land as it would be without the valleys: the lowland above, and mountains
// growing toward the map edges.
double naturalHeight(const TerrainNoise& noise, double x, double z) {
    // Domain warping bends the ridge lines so they do not look grid-aligned.
    const double wx = x + 5.0 * fbm(noise.warp, x / 24.0, z / 24.0, 3);
    const double wz = z + 5.0 * fbm(noise.warp, x / 24.0 + 40.0, z / 24.0 - 40.0, 3);

    // The foothills' edge wanders so the basin does not read as a square.
    const double rimEdge = distanceOutsidePathSquare(x, z) + kRimWander * fbm(noise.warp, x / 9.0 - 70.0, z / 9.0, 3);
    const double rim = smoothstep(kRimStart, kRimFull, rimEdge);
    const double massif = 0.75 + 0.4 * fbm(noise.massifs, x / 18.0, z / 18.0, 3);
    const double crests = ridged(noise.ridges, wx / 16.0, wz / 16.0, 5);

    return mix(lowlandHeight(noise, x, z, wx, wz), kFoothillLevel, rim) +
           rim * (kRimLift * massif + kCrestHeight * crests);
}

// Roughly Gaussian blur (three box passes each way) with about the given standard
// deviation in world units; edges are clamped.
Field blurred(const Field& source, double sigma) {
    const int radius = std::max(1, static_cast<int>(std::lround(sigma / kUnitsPerPixel)));
    const int n = source.size();
    Field current = source;
    for (int pass = 0; pass < 3; ++pass) {
        for (int horizontal = 0; horizontal < 2; ++horizontal) {
            Field next(n);
            for (int row = 0; row < n; ++row) {
                for (int column = 0; column < n; ++column) {
                    double sum = 0.0;
                    for (int k = -radius; k <= radius; ++k)
                        sum += horizontal ? current.clampedAt(column + k, row) : current.clampedAt(column, row + k);
                    next.at(column, row) = sum / (2 * radius + 1);
                }
            }
            current = std::move(next);
        }
    }
    return current;
}

double ceilingNearPath(double distance) {
    return kDefaults.cameraHeight - kClearanceMargin +
           kCeilingSlope * std::max(0.0, distance - kClearRadius);
}

// Compress the last stretch below the top grey level instead of clipping flat summits.
double roundPeaks(double y) {
    const double top = levelToWorld(253.0);
    if (y <= kPeakKnee)
        return y;
    const double room = top - kPeakKnee;
    return kPeakKnee + room * std::tanh((y - kPeakKnee) / room);
}

Field buildHeights(const Field& pathDistance) {
    const TerrainNoise noise;
    const Field smoothDistance = blurred(pathDistance, kValleySmoothing);
    Field heights(kMapSize);
    for (int row = 0; row < kMapSize; ++row) {
        const double z = pixelToWorld(row);
        for (int column = 0; column < kMapSize; ++column) {
            const double x = pixelToWorld(column);
            const double d = pathDistance.at(column, row);
            const double floor = kValleyFloor + kFloorUndulation * fbm(noise.floor, x / 14.0, z / 14.0, 3);
            const double walls = smoothstep(kValleyHalfWidth, kValleyHalfWidth + kValleyWallRun,
                                            smoothDistance.at(column, row));
            double y = mix(floor, naturalHeight(noise, x, z), walls);
            if (d < kPathReach) {
                // The smoothed distance keeps the ceiling from creasing hilltops; never
                // exceeding the true distance keeps it at least as strict as needed.
                const double ceilingDistance = std::min(d, smoothDistance.at(column, row) - kSmoothingOvershoot);
                y = smoothMin(y, ceilingNearPath(ceilingDistance), kCeilingSoftness);
            }
            heights.at(column, row) = roundPeaks(y);
        }
    }
    return heights;
}

// The heights the renderer will actually see, after 8-bit quantisation.
Field quantise(const Field& heights, QImage& image) {
    image = QImage(kMapSize, kMapSize, QImage::Format_Grayscale8);
    Field rendered(kMapSize);
    for (int row = 0; row < kMapSize; ++row) {
        uchar* line = image.scanLine(row);
        for (int column = 0; column < kMapSize; ++column) {
            const long level = std::clamp(std::lround(worldToLevel(heights.at(column, row))), 0L, 255L);
            line[column] = static_cast<uchar>(level);
            rendered.at(column, row) = levelToWorld(static_cast<double>(level));
        }
    }
    return rendered;
}

// ---------------------------------------------------------------------------
// Flight checks
// ---------------------------------------------------------------------------

// Ground is checked within these distances of the eye; the wider one also covers
// triangles of the coarser grids whose vertices lie just outside the narrow one.
constexpr double kEyeRadiusNear = 1.5;
constexpr double kEyeRadiusWide = 2.0;

struct FlightReport {
    double clearanceNear = HUGE_VAL;  // eye height minus highest ground within kEyeRadiusNear
    double clearanceWide = HUGE_VAL;  // same within kEyeRadiusWide
    double unblockedSightFraction = 0.0;
    double viewDownDegrees = 0.0;
    double lowestLevel = 255.0;
    double highestLevel = 0.0;
};

double highestGroundAround(const Field& rendered, Vec2 centre, double radius) {
    const double column = worldToPixel(centre.x);
    const double row = worldToPixel(centre.z);
    const int reach = static_cast<int>(std::ceil(radius / kUnitsPerPixel)) + 1;
    double highest = -HUGE_VAL;
    for (int r = static_cast<int>(row) - reach; r <= static_cast<int>(row) + reach; ++r) {
        for (int c = static_cast<int>(column) - reach; c <= static_cast<int>(column) + reach; ++c) {
            if (r < 0 || c < 0 || r >= kMapSize || c >= kMapSize)
                continue;
            if (std::hypot(pixelToWorld(c) - centre.x, pixelToWorld(r) - centre.z) <= radius)
                highest = std::max(highest, rendered.at(c, r));
        }
    }
    return highest;
}

// Whether the straight line from the eye down to the look-at point clears the ground.
bool sightLineClear(const Field& rendered, Vec2 eye, Vec2 direction) {
    constexpr double kStep = 0.05;
    const int steps = static_cast<int>(kDefaults.lookAhead / kStep);
    for (int s = 1; s <= steps; ++s) {
        const double along = kDefaults.lookAhead * s / steps;
        const double lineHeight = kDefaults.cameraHeight * (1.0 - along / kDefaults.lookAhead);
        const double x = eye.x + direction.x * along;
        const double z = eye.z + direction.z * along;
        if (rendered.bilinear(worldToPixel(x), worldToPixel(z)) >= lineHeight)
            return false;
    }
    return true;
}

FlightReport checkFlight(const Field& rendered) {
    FlightReport report;
    constexpr int kClearanceSamples = 100000;
    for (int s = 0; s < kClearanceSamples; ++s) {
        const Vec2 eye = pathPoint(kPathPeriod * s / kClearanceSamples);
        report.clearanceNear = std::min(
            report.clearanceNear, kDefaults.cameraHeight - highestGroundAround(rendered, eye, kEyeRadiusNear));
        report.clearanceWide = std::min(
            report.clearanceWide, kDefaults.cameraHeight - highestGroundAround(rendered, eye, kEyeRadiusWide));
    }

    constexpr int kSightSamples = 20000;
    int clear = 0;
    for (int s = 0; s < kSightSamples; ++s) {
        // Half-step offsets avoid t = 5 pi and 15 pi, where the path stops in a corner
        // and retraces itself, so there is no direction of travel to look along.
        const double t = kPathPeriod * (s + 0.5) / kSightSamples;
        clear += sightLineClear(rendered, pathPoint(t), pathDirection(t)) ? 1 : 0;
    }
    report.unblockedSightFraction = static_cast<double>(clear) / kSightSamples;
    report.viewDownDegrees =
        std::atan(kDefaults.cameraHeight / kDefaults.lookAhead) * 180.0 / kPi;

    for (int row = 0; row < kMapSize; ++row) {
        for (int column = 0; column < kMapSize; ++column) {
            const double level = worldToLevel(rendered.at(column, row));
            report.lowestLevel = std::min(report.lowestLevel, level);
            report.highestLevel = std::max(report.highestLevel, level);
        }
    }
    return report;
}

// ---------------------------------------------------------------------------
// Light map
// ---------------------------------------------------------------------------

// Baked from the heights before quantisation, marching a pixel at a time.
QImage buildLightMap(const Field& heights) {
    static_assert(lightMapMarchStep(kWorldExtent) == kUnitsPerPixel);
    const std::vector<std::uint8_t> pixels = bakeLightMap(heights.grid(), kUnitsPerPixel);
    // The bytes are packed at 3 * kMapSize a row, as QImage lays out RGB888
    // rows of that width; copy() detaches the image from the vector.
    return QImage(pixels.data(), kMapSize, kMapSize, 3 * kMapSize, QImage::Format_RGB888).copy();
}

// ---------------------------------------------------------------------------
// Grass texture
// ---------------------------------------------------------------------------

constexpr int kGrassSize = 256;
constexpr int kGrassBlades = 9000;

using Rgb = std::array<double, 3>;

Rgb mixRgb(const Rgb& a, const Rgb& b, double f) {
    return {mix(a[0], b[0], f), mix(a[1], b[1], f), mix(a[2], b[2], f)};
}

// Periodic fBm over the tile: each octave's lattice divides the tile evenly.
double tileFbm(const std::vector<GradientNoise>& octaves, int firstPeriod, double u, double v) {
    double sum = 0.0, amplitude = 1.0, norm = 0.0;
    int period = firstPeriod;
    for (const GradientNoise& noise : octaves) {
        sum += amplitude * noise(u * period, v * period);
        norm += amplitude;
        amplitude *= 0.55;
        period *= 2;
    }
    return sum / norm;
}

std::vector<GradientNoise> tileOctaves(std::uint32_t seed, int firstPeriod, int count) {
    std::vector<GradientNoise> octaves;
    for (int o = 0; o < count; ++o)
        octaves.emplace_back(seed + o, firstPeriod << o);
    return octaves;
}

// Base colour: lush and dry grass in patches, with a little bare soil.
std::vector<Rgb> grassGround() {
    const Rgb lush{0.58, 0.80, 0.36};
    const Rgb dry{0.80, 0.82, 0.48};
    const Rgb soil{0.74, 0.66, 0.50};
    const auto patches = tileOctaves(0x9a55001U, 4, 4);
    const auto soilPatches = tileOctaves(0x9a55101U, 8, 3);
    const auto grain = tileOctaves(0x9a55201U, 32, 3);

    std::vector<Rgb> ground(kGrassSize * kGrassSize);
    for (int y = 0; y < kGrassSize; ++y) {
        for (int x = 0; x < kGrassSize; ++x) {
            const double u = static_cast<double>(x) / kGrassSize;
            const double v = static_cast<double>(y) / kGrassSize;
            const double dryness = smoothstep(-0.35, 0.45, tileFbm(patches, 4, u, v));
            const double bare = smoothstep(0.25, 0.6, tileFbm(soilPatches, 8, u, v));
            Rgb colour = mixRgb(mixRgb(lush, dry, dryness), soil, 0.7 * bare);
            const double shade = 1.0 + 0.12 * tileFbm(grain, 32, u, v) +
                                 0.06 * (hashUnit(hashCell(x, y, 0x9a55301U)) - 0.5);
            for (double& c : colour)
                c *= shade;
            ground[y * kGrassSize + x] = colour;
        }
    }
    return ground;
}

// Short blades seen from above, drawn with wrap-around so the tile stays seamless.
void scatterBlades(std::vector<Rgb>& pixels) {
    Random random(0x6b1ade5U);
    const Rgb light{0.86, 0.95, 0.55};
    const Rgb dark{0.36, 0.52, 0.22};
    for (int b = 0; b < kGrassBlades; ++b) {
        const double x0 = random.range(0.0, kGrassSize);
        const double y0 = random.range(0.0, kGrassSize);
        const double angle = random.range(0.0, 2.0 * kPi);
        const double length = random.range(3.0, 9.0);
        const double tone = random.next();
        const Rgb colour = mixRgb(dark, light, tone);
        const double strength = random.range(0.25, 0.6);
        const int steps = static_cast<int>(length * 2.0);
        for (int s = 0; s <= steps; ++s) {
            const double along = length * s / steps;
            const int x = static_cast<int>(std::floor(x0 + std::cos(angle) * along));
            const int y = static_cast<int>(std::floor(y0 + std::sin(angle) * along));
            const int wx = ((x % kGrassSize) + kGrassSize) % kGrassSize;
            const int wy = ((y % kGrassSize) + kGrassSize) % kGrassSize;
            // Blades taper toward the tip.
            const double weight = strength * (1.0 - 0.6 * along / length);
            pixels[wy * kGrassSize + wx] = mixRgb(pixels[wy * kGrassSize + wx], colour, weight);
        }
    }
}

QImage buildGrassTexture() {
    std::vector<Rgb> pixels = grassGround();
    scatterBlades(pixels);
    QImage image(kGrassSize, kGrassSize, QImage::Format_RGB888);
    for (int y = 0; y < kGrassSize; ++y) {
        uchar* line = image.scanLine(y);
        for (int x = 0; x < kGrassSize; ++x)
            for (int channel = 0; channel < 3; ++channel)
                line[x * 3 + channel] =
                    static_cast<uchar>(std::lround(255.0 * clamp01(pixels[y * kGrassSize + x][channel])));
    }
    return image;
}

// ---------------------------------------------------------------------------
// Defaults property list
// ---------------------------------------------------------------------------

QString plistReal(double value) {
    QString text = QString::number(value, 'g', 6);
    if (!text.contains(u'.') && !text.contains(u'e'))
        text += QStringLiteral(".0");  // reads as a real even to a careless eye
    return QStringLiteral("<real>%1</real>").arg(text);
}

bool writeDefaults(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QTextStream out(&file);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">\n<dict>\n";
    const auto entry = [&out](const char* key, const QString& value) {
        out << "\t<key>" << key << "</key>\n\t" << value << "\n";
    };
    entry("Speed", plistReal(kDefaults.speed));
    entry("LookAhead", plistReal(kDefaults.lookAhead));
    entry("CameraHeight", plistReal(kDefaults.cameraHeight));
    entry("FerlowHeight", plistReal(kDefaults.heightScale));
    entry("FogDensity", plistReal(kDefaults.fogDensity));
    entry("GridSize", QStringLiteral("<integer>%1</integer>").arg(kDefaults.gridSize));
    out << "\t<key>FogColour</key>\n\t<array>\n";
    for (double component : kDefaults.fogColour)
        out << "\t\t" << plistReal(component) << "\n";
    out << "\t</array>\n</dict>\n</plist>\n";
    out.flush();
    return file.error() == QFileDevice::NoError;
}

// ---------------------------------------------------------------------------

constexpr double kRequiredClearance = 1.0;
constexpr double kMaxViewDownDegrees = 8.0;

bool save(const QImage& image, const QString& path, const char* format, int quality = -1) {
    if (image.save(path, format, quality))
        return true;
    std::fprintf(stderr, "could not write %s\n", qPrintable(path));
    return false;
}

}  // namespace

int main(int argc, char* argv[]) {
    // Image format plugins (JPEG) are found through the application's library paths.
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output-directory>\n", argv[0]);
        return 2;
    }
    const QDir outDir(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(outDir.absolutePath())) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }

    const auto started = std::chrono::steady_clock::now();

    QImage heightImage;
    const Field heights = buildHeights(distanceToPath());
    const Field rendered = quantise(heights, heightImage);
    const FlightReport report = checkFlight(rendered);

    std::printf("grey levels used:            %.0f .. %.0f\n", report.lowestLevel, report.highestLevel);
    std::printf("min clearance (r = %.1f):     %.3f world units\n", kEyeRadiusNear, report.clearanceNear);
    std::printf("min clearance (r = %.1f):     %.3f world units\n", kEyeRadiusWide, report.clearanceWide);
    std::printf("unblocked sight lines:       %.1f %%\n", 100.0 * report.unblockedSightFraction);
    std::printf("view-down angle:             %.2f degrees (half the field of view: %.1f)\n",
                report.viewDownDegrees, kVerticalFovDegrees / 2.0);

    if (report.clearanceWide < kRequiredClearance || report.viewDownDegrees > kMaxViewDownDegrees) {
        std::fprintf(stderr, "terrain does not leave the default flight clear; nothing written\n");
        return 1;
    }

    const bool ok = save(heightImage, outDir.filePath("heightmap.png"), "PNG") &&
                    save(buildLightMap(heights), outDir.filePath("lightmap.png"), "PNG") &&
                    save(buildGrassTexture(), outDir.filePath("grass.jpg"), "JPEG", 92) &&
                    writeDefaults(outDir.filePath("Defaults.plist"));
    if (!ok)
        return 1;

    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("written to %s in %.1f s\n", qPrintable(outDir.absolutePath()), seconds);
    return 0;
}
