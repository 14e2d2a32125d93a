// Frame cost of the real main window against Scene::render alone, in the same
// process and at the same size, and the same frame through a QOpenGLWidget,
// the alternative to the view's own native surface.
//
//   xvfb-run -a -s "-screen 0 1920x1080x24" build/bench/ferlow_bench_app
#include "app/FerlowInterface.h"
#include "app/MainController.h"
#include "platform/gl/PixelFormat.h"
#include "platform/system/Clock.h"
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

// A clock that moves 1/60 s per frame from the same start, and the flight
// from its beginning, so every benchmark draws the same frames: what a frame
// costs depends on what is on screen.
void steadyClock()
{
    static double now;
    now = 1000.0;
    Clock::replace([] { return now += 1.0 / 60.0; });
    Scene::pathState() = {};
}

void windowFrame(benchmark::State& state)
{
    steadyClock();
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
    view->getScene()->setAnimate(true);
    for (auto _ : state)
        view->display();
    state.counters["width"] = view->width();
    state.counters["height"] = view->height();
}

// Into a framebuffer with the window's antialiasing, so that the difference
// is what presenting in a window costs.
void bareRender(benchmark::State& state)
{
    steadyClock();
    const int samples =
        PixelFormat::initWithAttributes(FerlowOpenGLView::pixelFormatAttributes(true))->surfaceFormat().samples();
    OffscreenGL gl(kWidth, kHeight, samples);
    Scene scene;
    scene.setViewportRect({0, 0, double(kWidth), double(kHeight)});
    for (auto _ : state)
        scene.render();
}

class SceneWidget : public QOpenGLWidget {
public:
    SceneWidget()
    {
        setFormat(PixelFormat::initWithAttributes(FerlowOpenGLView::pixelFormatAttributes(true))->surfaceFormat());
    }
    std::unique_ptr<Scene> scene;

protected:
    void initializeGL() override { scene = std::make_unique<Scene>(); }
    void resizeGL(int w, int h) override
    {
        const double ratio = devicePixelRatioF();
        scene->setViewportRect({0, 0, w * ratio, h * ratio});
    }
    void paintGL() override { scene->render(); }
};

void widgetFrame(benchmark::State& state)
{
    steadyClock();
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
