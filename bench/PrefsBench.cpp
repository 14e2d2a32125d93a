// A grid-size change from the slider to the next frame on screen: the mesh
// rebuilt, the display list recorded anew and the frame drawn and presented,
// in the real main window at its default size.
//
//   xvfb-run -a -s "-screen 0 1920x1080x24" build/bench/ferlow_bench_prefs
#include "app/MainWindow.h"
#include "app/MainController.h"
#include "platform/toolkit/Application.h"
#include "prefs/PreferencesPanel.h"
#include "tests/support/OffscreenGL.h"
#include "tests/support/WaitUntil.h"
#include "view/FerlowOpenGLView.h"

#include <QTest>
#include <benchmark/benchmark.h>

namespace {

void gridSizeChange(benchmark::State& state)
{
    const int from = int(state.range(0));
    const int to = int(state.range(1));
    MainWindow mainWindow;
    mainWindow.controller()->stopAnimationTimer(); // only the changes draw
    mainWindow.show();
    mainWindow.activateWindow();
    if (!waitUntilShown(mainWindow))
        state.SkipWithError("the window was never shown");
    FloatSlider& slider = *mainWindow.preferencesPanel()->row(SceneSettingId::GridSize).slider;
    const auto moveTo = [&slider](int size) {
        slider.setValue(size - int(slider.minValue())); // one step per grid size; valueChanged follows
    };
    moveTo(from);
    for (auto _ : state) {
        moveTo(to);
        state.PauseTiming();
        moveTo(from);
        state.ResumeTiming();
    }
    state.counters["frames"] = double(mainWindow.view()->framesDrawn());
}

BENCHMARK(gridSizeChange)->Args({256, 512})->Args({512, 256})->Args({128, 256})->Unit(benchmark::kMillisecond);

} // namespace
