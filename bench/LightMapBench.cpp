// The light-map bake, as the program runs it for a height image that comes
// without a light map, at 1024, 2048 and 4096 pixels on one thread and on two,
// and for comparison at 1024 marching a pixel at a time, as the resource
// generator does at 512 (bakeMarchingAPixelAtATime).
// The terrain is a fixed sum of sines with about the relief of the built-in
// one: up to 13 world units from the lowest point to the highest over the 100
// units that every map covers, in hills a few units across. The CPU time is
// that of all the threads; the speed-up from a second core shows in the real
// time.
//
//   build/bench/ferlow_bench_lightmap

#include "terrain/LightMap.h"

#include <benchmark/benchmark.h>
#include <cmath>

namespace {

constexpr double kWorldExtent = 100.0;

HeightGrid sineTerrain(int size)
{
    HeightGrid grid{size, kWorldExtent / size, std::vector<double>(std::size_t(size) * size)};
    for (int row = 0; row < size; ++row) {
        const double z = row * grid.unitsPerPixel;
        for (int column = 0; column < size; ++column) {
            const double x = column * grid.unitsPerPixel;
            grid.heights[std::size_t(row) * size + column] = 3.5 * std::sin(x / 7.0 + 0.3) * std::cos(z / 9.0) +
                                                             2.0 * std::sin((x + z) / 4.3) +
                                                             1.2 * std::sin(x / 2.1 - z / 3.4);
        }
    }
    return grid;
}

void bakeMarching(benchmark::State& state, double marchStep)
{
    const HeightGrid grid = sineTerrain(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(bakeLightMap(grid, marchStep, int(state.range(1))));
    state.SetItemsProcessed(std::int64_t(grid.heights.size()) * state.iterations());
}

void bake(benchmark::State& state)
{
    bakeMarching(state, lightMapMarchStep(kWorldExtent));
}

void bakeMarchingAPixelAtATime(benchmark::State& state)
{
    bakeMarching(state, kWorldExtent / double(state.range(0)));
}

} // namespace

BENCHMARK(bake)
    ->ArgNames({"size", "threads"})
    ->ArgsProduct({{1024, 2048, 4096}, {1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK(bakeMarchingAPixelAtATime)
    ->ArgNames({"size", "threads"})
    ->ArgsProduct({{1024}, {1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

BENCHMARK_MAIN();
