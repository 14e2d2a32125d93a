// Frame cost of the real main window against Scene::render alone, in the same
// process, at the same size and with the same antialiasing (arguments:
// width, height, antialiasing), and the same frame through a QOpenGLWidget,
// the alternative to the view's own native surface. Then what a user sees
// of it: frames per second of the flying window over 10 s, and the frame
// that records the terrain anew when wire frame is toggled.
//
//   xvfb-run -a -s "-screen 0 1920x1080x24" build/bench/ferlow_bench_app
#include "app/MainWindow.h"
#include "app/MainController.h"
#include "platform/gl/GL.h"
#include "platform/gl/PixelFormat.h"
#include "platform/gl/Renderer.h"
#include "platform/system/Clock.h"
#include "platform/system/SettingsStore.h"
#include "platform/toolkit/Application.h"
#include "scene/Scene.h"
#include "tests/support/OffscreenGL.h"
#include "tests/support/WaitUntil.h"
#include "view/FerlowOpenGLView.h"

#include <QApplication>
#include <QOpenGLWidget>
#include <QTest>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <utility>

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;
constexpr double kFlightSeconds = 10.0;
// Longer than the second of quiet after which memory goes back to the system.
constexpr int kIdleWait = 1500;

// A clock that moves 1/60 s per frame from the same start, given to a scene
// whose flight starts afresh, so every benchmark draws the same frames: what
// a frame costs depends on what is on screen.
Clock steadyClock()
{
    return Clock([now = 1000.0]() mutable { return now += 1.0 / 60.0; });
}

std::unique_ptr<Scene> steadyScene()
{
    return std::make_unique<Scene>(SettingsStore::shared(), steadyClock());
}

// The main window shown with its view at the given size and
// antialiasing; the flight is drawn here, not on the timer's ticks.
struct ShownWindow {
    ShownWindow(benchmark::State& state, int width, int height, bool antialiasing)
    {
        mainWindow.controller()->stopAnimationTimer();
        mainWindow.show();
        mainWindow.activateWindow();
        view = mainWindow.view();
        view->setFullSceneAntialiasing(antialiasing);
        QWidget* container = view->container();
        mainWindow.window()->resize(mainWindow.window()->size() + QSize(width, height) - container->size());
        if (!waitUntilShown(mainWindow))
            state.SkipWithError("the window was never shown");
        QTest::qWait(50);
        Scene& scene = *view->getScene();
        scene.setClock(steadyClock());
        scene.setPathState({});
        scene.setAnimate(true);
        state.counters["width"] = view->width();
        state.counters["height"] = view->height();
    }
    MainWindow mainWindow;
    FerlowOpenGLView* view = nullptr;
};

void windowFrame(benchmark::State& state)
{
    ShownWindow window(state, int(state.range(0)), int(state.range(1)), state.range(2) != 0);
    for (auto _ : state)
        window.view->display();
}

// Into a framebuffer with the window's antialiasing, so that the difference
// is what presenting in a window costs.
void bareRender(benchmark::State& state)
{
    const int width = int(state.range(0));
    const int height = int(state.range(1));
    const bool antialiasing = state.range(2) != 0;
    const int samples = PixelFormat::fromAttributes(FerlowOpenGLView::pixelFormatAttributes(antialiasing))
                            ->surfaceFormat()
                            .samples();
    OffscreenGL gl(width, height, std::max(samples, 0));
    const std::unique_ptr<Scene> scene = steadyScene();
    scene->setViewportRect({0, 0, double(width), double(height)});
    for (auto _ : state) {
        scene->render();
        glFinish(); // as the window's swap waits for the frame
    }
}

// The flight as a user sees it: on the timer, at the default antialiasing.
void flightFramesPerSecond(benchmark::State& state)
{
    MainWindow mainWindow;
    mainWindow.show();
    mainWindow.activateWindow();
    FerlowOpenGLView* view = mainWindow.view();
    QWidget* container = view->container();
    mainWindow.window()->resize(mainWindow.window()->size() + QSize(kWidth, kHeight) - container->size());
    if (!waitUntilShown(mainWindow))
        state.SkipWithError("the window was never shown");
    for (auto _ : state) {
        const std::uint64_t before = view->framesDrawn();
        QTest::qWait(int(kFlightSeconds * 1000));
        state.counters["fps"] = double(view->framesDrawn() - before) / kFlightSeconds;
    }
    state.counters["antialiasing"] = view->fullSceneAntialiasing();
}

// The frame after a wire-frame toggle, which records the terrain's list
// anew, at the default grid size and antialiasing.
// Back to back, as a user toggling again and again; after idle, once the
// memory of the last recording has gone back to the system.
void wireFrameToggleFrame(benchmark::State& state)
{
    const bool afterIdle = state.range(0) != 0;
    const bool antialiasing =
        FerlowOpenGLView::antialiasingAsStored(SettingsStore::shared(), defaultRendererName());
    ShownWindow window(state, kWidth, kHeight, antialiasing);
    MainController& controller = *window.mainWindow.controller();
    for (auto _ : state) {
        controller.toggleWireFrame();
        window.view->display();
        if (afterIdle) {
            state.PauseTiming();
            QTest::qWait(kIdleWait);
            state.ResumeTiming();
        }
    }
}

class SceneWidget : public QOpenGLWidget {
public:
    SceneWidget()
    {
        setFormat(PixelFormat::fromAttributes(FerlowOpenGLView::pixelFormatAttributes(true))->surfaceFormat());
    }
    std::unique_ptr<Scene> scene;

protected:
    void initializeGL() override { scene = steadyScene(); }
    void resizeGL(int w, int h) override
    {
        const double ratio = devicePixelRatioF();
        scene->setViewportRect({0, 0, w * ratio, h * ratio});
    }
    void paintGL() override { scene->render(); }
};

void widgetFrame(benchmark::State& state)
{
    SceneWidget widget;
    widget.resize(kWidth, kHeight);
    widget.show();
    if (!QTest::qWaitForWindowExposed(&widget))
        state.SkipWithError("the window was never shown");
    QTest::qWait(50);
    for (auto _ : state) {
        widget.repaint(); // paints into the widget's framebuffer, then composes it into the window
        QCoreApplication::sendPostedEvents();
    }
}

void frameSizes(benchmark::internal::Benchmark* benchmark)
{
    for (const auto& [width, height] : {std::pair{1280, 720}, std::pair{1920, 1080}})
        for (const int antialiasing : {0, 1})
            benchmark->Args({width, height, antialiasing});
    benchmark->ArgNames({"w", "h", "aa"});
}

// The driver's threads do the drawing: the wall clock is what counts.
BENCHMARK(bareRender)->Apply(frameSizes)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();
BENCHMARK(windowFrame)->Apply(frameSizes)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();
BENCHMARK(widgetFrame)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();
BENCHMARK(wireFrameToggleFrame)->ArgName("afterIdle")->Arg(0)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();
BENCHMARK(wireFrameToggleFrame)->ArgName("afterIdle")->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(8)->UseRealTime();
BENCHMARK(flightFramesPerSecond)->Unit(benchmark::kSecond)->Iterations(1);

} // namespace
