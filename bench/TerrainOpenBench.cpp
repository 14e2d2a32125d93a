// Opening a height image of one's own, from "open" to the first frame of the
// new terrain, in the real main window: a 1024 x 1024 16-bit PNG at the
// default grid size. Then where the time goes: reading and decoding the
// file, baking the light map, and the rest (mesh, textures, list, frame).
//
//   xvfb-run -a -s "-screen 0 1920x1080x24" build/bench/ferlow_bench_terrain_open
#include "app/FerlowInterface.h"
#include "app/MainController.h"
#include "app/TerrainMenu.h"
#include "platform/system/Image.h"
#include "platform/toolkit/Window.h"
#include "scene/Scene.h"
#include "terrain/LightMap.h"
#include "terrain/TerrainImage.h"
#include "tests/support/WaitUntil.h"
#include "view/FerlowOpenGLView.h"

#include <QEventLoop>
#include <QImage>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cmath>

namespace {

constexpr int kSize = 1024;

// Rolling hills in 16-bit samples, saved as PNG.
QString writeHills(const QTemporaryDir& folder)
{
    QImage image(kSize, kSize, QImage::Format_Grayscale16);
    for (int y = 0; y < kSize; ++y) {
        auto* row = reinterpret_cast<std::uint16_t*>(image.scanLine(y));
        for (int x = 0; x < kSize; ++x)
            row[x] = std::uint16_t(32767.5 + 16000.0 * std::sin(x / 47.0) * std::cos(y / 61.0)
                                   + 12000.0 * std::sin((x + y) / 23.0));
    }
    const QString path = folder.filePath(QStringLiteral("hills.png"));
    image.save(path);
    return path;
}

// Opens path and waits until it flies (true) or has failed.
bool openAndWait(TerrainMenu& menu, const QString& path)
{
    bool flying = false;
    QEventLoop loop;
    QObject::connect(&menu, &TerrainMenu::opened, &loop, [&](bool opened) {
        flying = opened;
        loop.quit();
    });
    menu.openTerrain(path, TerrainMenu::Failure::StandardError);
    loop.exec();
    return flying;
}

void openToFirstFrame(benchmark::State& state)
{
    QTemporaryDir folder;
    const QString path = writeHills(folder);
    FerlowInterface interface;
    wakeInterface(interface);
    interface.controller()->stopAnimationTimer();
    interface.showMainWindow();
    if (!waitUntilShown(interface))
        state.SkipWithError("the window was never shown");
    FerlowOpenGLView& view = *interface.view();
    const std::uint64_t framesBefore = view.framesDrawn();
    for (auto _ : state) {
        if (!openAndWait(*interface.terrainMenu(), path))
            state.SkipWithError("the terrain did not open");
        state.PauseTiming();
        interface.terrainMenu()->openBuiltInTerrain();
        state.ResumeTiming();
    }
    // Each open and each way back draws one frame.
    state.counters["frames"] = double(view.framesDrawn() - framesBefore) / 2.0 / double(state.iterations());
    state.counters["gridSize"] = view.getScene()->getGridSize();
}

void readAndDecode(benchmark::State& state)
{
    QTemporaryDir folder;
    const QString path = writeHills(folder);
    for (auto _ : state)
        benchmark::DoNotOptimize(BitmapImageRep::decode(*openImageFile(path).file, nullptr).bitmap->centredSquare());
}

void readDecodeAndBake(benchmark::State& state)
{
    QTemporaryDir folder;
    const TerrainImage::Opened opened = TerrainImage::open(writeHills(folder), Scene::kTerrainExtent, 14.0f);
    for (auto _ : state)
        benchmark::DoNotOptimize(TerrainImage::open(opened.terrain->path(), Scene::kTerrainExtent, 14.0f));
}

} // namespace

BENCHMARK(openToFirstFrame)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(readAndDecode)->Unit(benchmark::kMillisecond)->UseRealTime();
// Read, decode and bake: the bake is this less the line above.
BENCHMARK(readDecodeAndBake)->Unit(benchmark::kMillisecond)->UseRealTime();
