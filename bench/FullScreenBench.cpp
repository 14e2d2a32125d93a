// Full screen as a user waits for it: from F11 to the first full-screen frame
// on the main monitor, and from Escape to the window's first frame, with the
// display keeping its mode (/0) and switching to 800 x 600 (/1). The real
// ferlow program runs on an Xorg server with the dummy video driver that
// this program starts; keys go in through XTest and the frames are seen in
// the server's screen, polled as fast as it can be read (a few milliseconds
// for 1024 x 768), which bounds the resolution.
//
//   build/bench/ferlow_bench_fullscreen
#include "tests/e2e/Desktop.h"
#include "tests/e2e/FerlowRun.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <X11/keysym.h>
#include <benchmark/benchmark.h>
#include <memory>

namespace {

constexpr int kWaitMilliseconds = 30000;
const QRect kMonitor(0, 0, 1024, 768);

Desktop& desktop()
{
    static Desktop xorg(Desktop::Kind::XorgDummy);
    return xorg;
}

// The flight stands, so that the window's frame after Escape is the one it
// showed before F11.
struct StandingFerlow {
    std::unique_ptr<FerlowRun> run;
    QImage window;

    explicit StandingFerlow(bool switchMode)
    {
        const QString width = switchMode ? QStringLiteral("800") : QStringLiteral("0");
        const QString height = switchMode ? QStringLiteral("600") : QStringLiteral("0");
        run = std::make_unique<FerlowRun>(desktop(), QMap<QString, QString>{{QStringLiteral("FullScreenWidth"), width},
                                                                            {QStringLiteral("FullScreenHeight"), height}});
        run->waitUntilFlying();
        desktop().key(XK_space);
        window = Screen::settled(desktop());
    }
};

QRect fullScreenArea(bool switchMode)
{
    return switchMode ? QRect(0, 0, 800, 600) : kMonitor;
}

// The full-screen window covers the main monitor with a frame of the scene.
bool showsFullScreen(QRect area)
{
    if (desktop().topWindow() != area)
        return false;
    const QImage screen = desktop().capture();
    return QRect(QPoint(), screen.size()).contains(area) && Screen::blackShare(screen, area) < 0.5;
}

template <typename Condition>
double millisecondsUntil(unsigned long keysym, Condition condition, benchmark::State& state)
{
    QElapsedTimer clock;
    clock.start();
    desktop().key(keysym);
    if (!QTest::qWaitFor(condition, kWaitMilliseconds))
        state.SkipWithError("the screen never showed it");
    return double(clock.nsecsElapsed()) / 1e6;
}

void F11ToFirstFullScreenFrame(benchmark::State& state)
{
    const bool switchMode = state.range(0) != 0;
    StandingFerlow ferlow(switchMode);
    for (auto _ : state) {
        const double milliseconds
            = millisecondsUntil(XK_F11, [&] { return showsFullScreen(fullScreenArea(switchMode)); }, state);
        state.SetIterationTime(milliseconds / 1000.0);
        desktop().key(XK_Escape);
        if (!QTest::qWaitFor([&] { return desktop().capture() == ferlow.window; }, kWaitMilliseconds))
            state.SkipWithError("the window never came back");
    }
}

void EscapeToFirstWindowFrame(benchmark::State& state)
{
    const bool switchMode = state.range(0) != 0;
    StandingFerlow ferlow(switchMode);
    for (auto _ : state) {
        desktop().key(XK_F11);
        if (!QTest::qWaitFor([&] { return showsFullScreen(fullScreenArea(switchMode)); }, kWaitMilliseconds))
            state.SkipWithError("full screen never showed");
        const double milliseconds
            = millisecondsUntil(XK_Escape, [&] { return desktop().capture() == ferlow.window; }, state);
        state.SetIterationTime(milliseconds / 1000.0);
    }
}

BENCHMARK(F11ToFirstFullScreenFrame)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(EscapeToFirstWindowFrame)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
