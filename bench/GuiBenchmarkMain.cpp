// The main of the benchmarks that need the application object: windows and
// OpenGL contexts are made as Ferlow makes them.
#include "tests/support/OffscreenGL.h"

#include <benchmark/benchmark.h>

int main(int argc, char** argv)
{
    ensureGuiApplication();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
