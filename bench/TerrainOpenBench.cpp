// Opening a height image of one's own, from "open" to the first frame of the
// new terrain, in the real main window: a 1024 x 1024 16-bit PNG at the
// default grid size. Then where the time goes: reading and decoding the
// file, baking the light map, and the rest (mesh, textures, list, frame).
// Then elevation data as large as it comes: a 3601 x 3601 SRTM tile and a
// 10 000 x 10 000 Float32 GeoTIFF (deflate, tiled), made once by the process
// (the GeoTIFF takes a while), opened to the first frame and on their own,
// with the resident memory the open takes beyond what it started from; and
// the largest picture read whole, an 8192 x 8192 16-bit RGBA PNG. Last, the
// light map baked again for a new height scale.
//
//   xvfb-run -a -s "-screen 0 1920x1080x24" build/bench/ferlow_bench_terrain_open
#include "app/MainWindow.h"
#include "app/MainController.h"
#include "app/TerrainMenu.h"
#include "platform/gl/GL.h"
#include "platform/gl/OpenGLContext.h"
#include "platform/system/BitmapImageRep.h"
#include "platform/system/ReadProgress.h"
#include "platform/system/RegularFile.h"
#include "scene/Scene.h"
#include "terrain/LightMap.h"
#include "terrain/TerrainImage.h"
#include "tests/support/ResidentMemory.h"
#include "tests/support/WaitUntil.h"
#include "view/FerlowOpenGLView.h"

#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cmath>
#include <gdal.h>
#include <map>
#include <ogr_srs_api.h>

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

// Hills of some 240 m on a 10 m grid, in metres.
float hillHeight(int row, int column)
{
    return float(620.0 + 150.0 * std::sin(column / 470.0) * std::cos(row / 610.0) + 90.0 * std::sin((column + row) / 230.0));
}

constexpr int kTileSide = 3601;
constexpr int kGeoTiffSide = 10000;
constexpr int kRowsPerWrite = 256;

QString writeSrtmTile(const QTemporaryDir& folder)
{
    QByteArray bytes(2 * kTileSide * kTileSide, Qt::Uninitialized);
    for (int i = 0; i < kTileSide * kTileSide; ++i) {
        const auto height = std::int16_t(hillHeight(i / kTileSide, i % kTileSide));
        bytes[2 * i] = char(height >> 8);
        bytes[2 * i + 1] = char(height & 0xff);
    }
    const QString path = folder.filePath(QStringLiteral("N33W098.hgt"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return {};
    return path;
}

// In UTM zone 14 north, 100 km a side.
QString writeLargeGeoTiff(const QTemporaryDir& folder)
{
    GDALAllRegister();
    const QString path = folder.filePath(QStringLiteral("hills.tif"));
    const char* options[] = {"TILED=YES", "COMPRESS=DEFLATE", "NUM_THREADS=ALL_CPUS", "BIGTIFF=YES", nullptr};
    const GDALDatasetH dataset = GDALCreate(GDALGetDriverByName("GTiff"), QFile::encodeName(path).constData(),
                                            kGeoTiffSide, kGeoTiffSide, 1, GDT_Float32, const_cast<char**>(options));
    double transform[6] = {500000.0, 10.0, 0.0, 3700000.0, 0.0, -10.0};
    GDALSetGeoTransform(dataset, transform);
    OGRSpatialReferenceH utm = OSRNewSpatialReference(nullptr);
    OSRImportFromEPSG(utm, 32614);
    GDALSetSpatialRef(dataset, utm);
    OSRDestroySpatialReference(utm);
    std::vector<float> rows(std::size_t(kGeoTiffSide) * kRowsPerWrite);
    for (int top = 0; top < kGeoTiffSide; top += kRowsPerWrite) {
        const int count = std::min(kRowsPerWrite, kGeoTiffSide - top);
        for (int i = 0; i < count * kGeoTiffSide; ++i)
            rows[std::size_t(i)] = hillHeight(top + i / kGeoTiffSide, i % kGeoTiffSide);
        if (GDALRasterIO(GDALGetRasterBand(dataset, 1), GF_Write, 0, top, kGeoTiffSide, count, rows.data(),
                         kGeoTiffSide, count, GDT_Float32, 0, 0)
            != CE_None)
            return {};
    }
    GDALClose(dataset);
    return path;
}

// The largest picture Ferlow reads whole: 8192 x 8192, 16-bit RGBA, the
// hills in grey with an opaque alpha, stored with little compression (some
// 540 MB), the worst case for memory.
QString writeLargePng(const QTemporaryDir& folder)
{
    constexpr int kSide = 8192;
    QImage image(kSide, kSide, QImage::Format_RGBA64);
    for (int y = 0; y < kSide; ++y) {
        auto* row = reinterpret_cast<std::uint16_t*>(image.scanLine(y));
        for (int x = 0; x < kSide; ++x) {
            const auto grey = std::uint16_t(hillHeight(y, x) * 64.0f);
            row[4 * x] = row[4 * x + 1] = row[4 * x + 2] = grey;
            row[4 * x + 3] = 0xFFFF;
        }
    }
    const QString path = folder.filePath(QStringLiteral("large.png"));
    QImageWriter writer(path);
    writer.setCompression(1);
    return writer.write(image) ? path : QString();
}

// Each made once for the process, in a folder that lasts as long.
const QString& elevationFile(QString (*write)(const QTemporaryDir&))
{
    static const QTemporaryDir folder;
    static std::map<QString (*)(const QTemporaryDir&), QString> made;
    const auto known = made.find(write);
    return known != made.end() ? known->second : made.emplace(write, write(folder)).first->second;
}

void openToFirstFrame(benchmark::State& state, QString (*write)(const QTemporaryDir&))
{
    QTemporaryDir folder;
    const QString path = write == writeHills ? writeHills(folder) : elevationFile(write);
    MainWindow mainWindow;
    mainWindow.controller()->stopAnimationTimer();
    mainWindow.show();
    mainWindow.activateWindow();
    if (!waitUntilShown(mainWindow))
        state.SkipWithError("the window was never shown");
    FerlowOpenGLView& view = *mainWindow.view();
    const std::uint64_t framesBefore = view.framesDrawn();
    for (auto _ : state) {
        if (!openAndWait(*mainWindow.terrainMenu(), path))
            state.SkipWithError("the terrain did not open");
        state.PauseTiming();
        mainWindow.terrainMenu()->openBuiltInTerrain();
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
        benchmark::DoNotOptimize(BitmapImageRep::decode(*openImageFile(path).file, {}).bitmap->centredSquare());
}

void readDecodeAndBake(benchmark::State& state)
{
    QTemporaryDir folder;
    const TerrainImage::Opened opened = TerrainImage::open(writeHills(folder), Scene::kTerrainExtent, 14.0f);
    for (auto _ : state)
        benchmark::DoNotOptimize(TerrainImage::open(opened.terrain->path(), Scene::kTerrainExtent, 14.0f));
}

// A new height scale over an opened 1024 x 1024 terrain: its light map
// baked again (in the program, off the main thread) and put, with its
// mipmaps, into the texture its list binds.
void rebakeForNewHeightScale(benchmark::State& state)
{
    QTemporaryDir folder;
    const QString path = writeHills(folder);
    MainWindow mainWindow;
    mainWindow.controller()->stopAnimationTimer();
    mainWindow.show();
    mainWindow.activateWindow();
    if (!waitUntilShown(mainWindow) || !openAndWait(*mainWindow.terrainMenu(), path))
        state.SkipWithError("the terrain did not open");
    FerlowOpenGLView& view = *mainWindow.view();
    Scene& scene = *view.getScene();
    float height = scene.getFerlowHeight();
    view.openGLContext()->makeCurrentContext();
    for (auto _ : state) {
        height = height == 14.0f ? 20.0f : 14.0f;
        scene.setTerrainLightMap(scene.terrain()->withLightMapFor(Scene::kTerrainExtent, height));
        glFinish();
    }
}

// The open alone, and how much more it holds resident at its fullest than
// before it started, sampled at each report of its progress.
void openOnly(benchmark::State& state, QString (*write)(const QTemporaryDir&))
{
    const QString& path = elevationFile(write);
    double peak = 0.0;
    for (auto _ : state) {
        const double before = residentMegabytes();
        const ReadProgress sample = [&](double) {
            peak = std::max(peak, residentMegabytes() - before);
            return true;
        };
        if (!TerrainImage::open(path, Scene::kTerrainExtent, 14.0f, sample).terrain)
            state.SkipWithError("the terrain did not open");
    }
    state.counters["peakResidentMB"] = peak;
}

} // namespace

BENCHMARK_CAPTURE(openToFirstFrame, png, writeHills)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK_CAPTURE(openToFirstFrame, srtmTile, writeSrtmTile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(openToFirstFrame, largeGeoTiff, writeLargeGeoTiff)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(openToFirstFrame, largePng, writeLargePng)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(openOnly, srtmTile, writeSrtmTile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(openOnly, largeGeoTiff, writeLargeGeoTiff)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(openOnly, largePng, writeLargePng)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(rebakeForNewHeightScale)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(readAndDecode)->Unit(benchmark::kMillisecond)->UseRealTime();
// Read, decode and bake: the bake is this less the line above.
BENCHMARK(readDecodeAndBake)->Unit(benchmark::kMillisecond)->UseRealTime();
