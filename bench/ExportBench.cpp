// A flight video exported as File ▸ Export Flight Video and --export-video
// export it: the default terrain and settings, drawn offscreen, H.264 in
// MP4. Per frame: drawing, reading the pixels back, and encoding, which
// runs on a thread of its own beside the other two; the whole per frame
// and as a share of the video's own length (below 1: faster than real
// time); and the resident memory gained from half-way to the end, which a
// queue growing without bound would show.
//
//   xvfb-run -a -s "-screen 0 1920x1080x24" build/bench/ferlow_bench_export
#include "platform/system/SettingsStore.h"
#include "record/FlightRecorder.h"
#include "scene/Scene.h"
#include "tests/support/ResidentMemory.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

constexpr int kFps = 30;

void exportVideo(benchmark::State& state)
{
    const QSize size(int(state.range(0)), int(state.range(1)));
    const std::int64_t frames = state.range(2);
    QTemporaryDir folder;
    FlightRecorder::Outcome outcome;
    double residentHalfWay = 0.0;
    double residentAtTheEnd = 0.0;
    for (auto _ : state) {
        auto scene = std::make_unique<Scene>(SettingsStore::shared(), Clock());
        scene->flyTo(0.0);
        FlightRecorder recorder(std::move(scene));
        const std::atomic<bool> never{false};
        outcome = recorder.exportVideo(
            {folder.filePath(QStringLiteral("flight.mp4")), size, kFps, frames, 0},
            [&](std::int64_t done) {
                if (done == frames / 2)
                    residentHalfWay = residentMegabytes();
                if (done == frames)
                    residentAtTheEnd = residentMegabytes();
            },
            never);
        state.SetIterationTime(outcome.totalSeconds);
    }
    if (!outcome.error.isEmpty())
        state.SkipWithError(outcome.error.toStdString().c_str());
    const double perFrame = 1000.0 / double(frames);
    state.counters["draw_ms"] = outcome.drawingSeconds * perFrame;
    state.counters["readback_ms"] = outcome.readingBackSeconds * perFrame;
    state.counters["encode_ms"] = outcome.encodingSeconds * perFrame;
    state.counters["frame_ms"] = outcome.totalSeconds * perFrame;
    state.counters["of_real_time"] = outcome.totalSeconds / (double(frames) / kFps);
    state.counters["rss_gain_MB"] = residentAtTheEnd - residentHalfWay;
}

} // namespace

// 20 s at 720p; 10 s at 1080p and 4K.
BENCHMARK(exportVideo)
    ->Args({1280, 720, 600})
    ->Args({1920, 1080, 300})
    ->Args({3840, 2160, 300})
    ->ArgNames({"w", "h", "frames"})
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kSecond);
