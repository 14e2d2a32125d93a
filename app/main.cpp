#include "app/MainWindow.h"
#include "platform/system/FilePath.h"
#include "platform/toolkit/Application.h"

// ferlow [HEIGHT-IMAGE]: flies that image, or the terrain flown last.
int main(int argc, char** argv)
{
    // Read from argv itself, which the application has cleared of its own
    // options by then: its arguments() would lose the bytes of a file name
    // that are no UTF-8.
    return applicationMain(argc, argv, [argc, argv] {
        return std::make_unique<MainWindow>(argc > 1 && argv[1] ? FilePath::fromNative(argv[1]) : QString());
    });
}
