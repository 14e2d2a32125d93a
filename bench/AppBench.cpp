// Frame cost of the real main window against Scene::render alone, in the same
// process and at the same size, and the same frame through a QOpenGLWidget,
// the alternative to the view's own native surface.
//
//   xvfb-run -a -s "-screen 0 1920x1080x24" build/bench/ferlow_bench_app
#include "app/FerlowInterface.h"
#include "app/MainController.h"
#include "platform/gl/PixelFormat.h"
#include "platform/system/Clock.h"
#include "platform/system/SettingsStore.h"
#include "platform/toolkit/Application.h"
#include "platform/toolkit/Window.h"
#include "scene/Scene.h"
#include "tests/support/OffscreenGL.h"
#include "view/FerlowOpenGLView.h"

#include <QApplication>
#include <QOpenGLWidget>
#include <QTest>
#include <benchmark/benchmark.h>

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;

// A clock that moves 1/60 s per frame from the same start, given to a scene
// whose flight starts afresh, so every benchmark draws the same frames: what
// a frame costs depends on what is on screen.
Clock steadyClock()
{
    return Clock([now = 1000.0]() mutable { return now += 1.0 / 60.0; });
}

std::unique_ptr<Scene> steadyScene()
{
    return std::make_unique<Scene>(SettingsStore::standardUserDefaults(), steadyClock());
}

void windowFrame(benchmark::State& state)
{
    FerlowInterface interface;
    wakeInterface(interface);
    interface.controller()->stopAnimationTimer(); // frames are drawn here, not on ticks
    interface.showMainWindow();
    FerlowOpenGLView* view = interface.view();
    QWidget* container = view->container();
    interface.window()->resize(interface.window()->size() + QSize(kWidth, kHeight) - container->size());
    if (!QTest::qWaitForWindowExposed(view))
        state.SkipWithError("the window was never shown");
    QTest::qWait(50);
    Scene& scene = *view->getScene();
    scene.setClock(steadyClock());
    scene.setPathState({});
    scene.setAnimate(true);
    for (auto _ : state)
        view->display();
    state.counters["width"] = view->width();
    state.counters["height"] = view->height();
}

// Into a framebuffer with the window's antialiasing, so that the difference
// is what presenting in a window costs.
void bareRender(benchmark::State& state)
{
    const int samples =
        PixelFormat::initWithAttributes(FerlowOpenGLView::pixelFormatAttributes(true))->surfaceFormat().samples();
    OffscreenGL gl(kWidth, kHeight, samples);
    const std::unique_ptr<Scene> scene = steadyScene();
    scene->setViewportRect({0, 0, double(kWidth), double(kHeight)});
    for (auto _ : state)
        scene->render();
}

class SceneWidget : public QOpenGLWidget {
public:
    SceneWidget()
    {
        setFormat(PixelFormat::initWithAttributes(FerlowOpenGLView::pixelFormatAttributes(true))->surfaceFormat());
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

BENCHMARK(bareRender)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(windowFrame)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(widgetFrame)->Unit(benchmark::kMillisecond)->MinTime(3.0);

} // namespace
