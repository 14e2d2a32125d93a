// The terrain's costs away from the frame path: building the mesh for a grid
// size, measured against merely writing as many bytes into freshly allocated
// memory (the floor any build must pay), and recording the display list
// against replaying it.
//
// Run under a display, e.g.
//   xvfb-run -a -s "-screen 0 1920x1080x24" build-terrain/bench/ferlow_bench_terrain

#include "platform/gl/GL.h"
#include "terrain/HeightField.h"
#include "tests/support/OffscreenGL.h"

#include <QImage>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <algorithm>
#include <cstring>
#include <random>

namespace {

constexpr int kImageSize = 1024;

// A 1024 x 1024 grey height image of uneven samples, written once.
const QString& heightImagePath()
{
    static QTemporaryDir directory;
    static const QString path = [] {
        QImage image(kImageSize, kImageSize, QImage::Format_Grayscale8);
        std::minstd_rand random(7);
        for (int row = 0; row < kImageSize; ++row)
            for (int column = 0; column < kImageSize; ++column)
                image.scanLine(row)[column] = static_cast<uchar>(random());
        const QString file = directory.filePath(QStringLiteral("height.png"));
        image.save(file);
        return file;
    }();
    return path;
}

std::size_t vertexBytes(std::int64_t n)
{
    return std::size_t(n * n) * sizeof(vertex);
}

std::size_t indexBytes(std::int64_t n)
{
    return std::size_t(6 * (n - 1) * (n - 1)) * sizeof(std::uint32_t);
}

void makeHeightField(benchmark::State& state)
{
    const auto n = std::int32_t(state.range(0));
    HeightField field;
    field.loadImage(heightImagePath());
    field.makeHeightField(n); // decodes the image, which later builds reuse
    for (auto _ : state) {
        field.makeHeightField(n);
        benchmark::DoNotOptimize(field.vertices());
        benchmark::DoNotOptimize(field.indices());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(std::int64_t(vertexBytes(n) + indexBytes(n)) * state.iterations());
}

std::unique_ptr<std::byte[]> freshlyWritten(std::size_t bytes)
{
    auto block = std::make_unique_for_overwrite<std::byte[]>(bytes);
    std::memset(block.get(), 1, bytes);
    return block;
}

// The same allocations as a build (the old blocks freed first, then one for
// the vertices and one for the indices), filled with memset.
void writeSameBytes(benchmark::State& state)
{
    const auto n = state.range(0);
    std::unique_ptr<std::byte[]> vertices;
    std::unique_ptr<std::byte[]> indices;
    for (auto _ : state) {
        vertices.reset();
        vertices = freshlyWritten(vertexBytes(n));
        indices.reset();
        indices = freshlyWritten(indexBytes(n));
        benchmark::DoNotOptimize(vertices.get());
        benchmark::DoNotOptimize(indices.get());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(std::int64_t(vertexBytes(n) + indexBytes(n)) * state.iterations());
}

// The same again with ordinary 16-byte stores, as any loop that works out its
// values writes. memset writes whole cache lines without reading them first;
// ordinary stores read each line in before they write it, which costs most
// once the blocks no longer fit in the cache.
struct Quad {
    std::uint32_t lanes[4];
};

std::unique_ptr<Quad[]> freshlyFilled(std::size_t bytes)
{
    auto block = std::make_unique_for_overwrite<Quad[]>(bytes / sizeof(Quad));
    std::fill_n(block.get(), bytes / sizeof(Quad), Quad{{1, 2, 3, 4}});
    return block;
}

void fillSameBytes(benchmark::State& state)
{
    const auto n = state.range(0);
    std::unique_ptr<Quad[]> vertices;
    std::unique_ptr<Quad[]> indices;
    for (auto _ : state) {
        vertices.reset();
        vertices = freshlyFilled(vertexBytes(n));
        indices.reset();
        indices = freshlyFilled(indexBytes(n));
        benchmark::DoNotOptimize(vertices.get());
        benchmark::DoNotOptimize(indices.get());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(std::int64_t(vertexBytes(n) + indexBytes(n)) * state.iterations());
}

// The textured terrain seen from above in an offscreen framebuffer.
struct DrawnTerrain {
    explicit DrawnTerrain(std::int32_t n)
        : gl(640, 480)
        , field(HeightField::heightFieldWithFile(heightImagePath(), QStringLiteral("grass.jpg"),
                                                 QStringLiteral("lightmap.png"), n))
    {
        glMatrixMode(GL_MODELVIEW);
        glRotatef(90.0f, 1.0f, 0.0f, 0.0f);
        glScalef(2.0f, 0.1f, 2.0f);
        glActiveTexture(GL_TEXTURE0);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    }
    void draw()
    {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        field->render(false);
        glFinish();
    }
    OffscreenGL gl;
    std::unique_ptr<HeightField> field;
};

void recordTerrainList(benchmark::State& state)
{
    DrawnTerrain terrain(std::int32_t(state.range(0)));
    for (auto _ : state) {
        terrain.field->deleteList();
        terrain.draw();
    }
}

void replayTerrainList(benchmark::State& state)
{
    DrawnTerrain terrain(std::int32_t(state.range(0)));
    terrain.draw();
    for (auto _ : state)
        terrain.draw();
}

} // namespace

BENCHMARK(makeHeightField)->Arg(256)->Arg(512)->Arg(1024)->Unit(benchmark::kMillisecond);
BENCHMARK(writeSameBytes)->Arg(256)->Arg(512)->Arg(1024)->Unit(benchmark::kMillisecond);
BENCHMARK(fillSameBytes)->Arg(256)->Arg(512)->Arg(1024)->Unit(benchmark::kMillisecond);
BENCHMARK(recordTerrainList)->Arg(256)->Arg(512)->Unit(benchmark::kMillisecond);
BENCHMARK(replayTerrainList)->Arg(256)->Arg(512)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
