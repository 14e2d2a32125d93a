// The main of the benchmarks that need the application object: windows and
// OpenGL contexts are made as Ferlow makes them, and the defaults are
// registered as at Ferlow's start.
#include "platform/system/Defaults.h"
#include "tests/support/OffscreenGL.h"

#include <benchmark/benchmark.h>

int main(int argc, char** argv)
{
    ensureGuiApplication();
    Defaults::registerWithStandardStore();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
