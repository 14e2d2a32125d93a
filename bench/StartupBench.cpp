// From process start to the first frame on screen, with the real main
// window: settings, resources, the GL context, the height image decoded,
// the mesh built, both textures uploaded with mipmaps and the first frame
// drawn and presented. Prints where the time goes.
//
//   xvfb-run -a -s "-screen 0 1920x1080x24" build/bench/ferlow_startup_bench
#include "app/MainWindow.h"
#include "platform/toolkit/Application.h"
#include "view/FerlowOpenGLView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <fstream>
#include <time.h>
#include <unistd.h>

namespace {

// Milliseconds since this process started, from /proc/self/stat.
double sinceProcessStart()
{
    std::ifstream stat("/proc/self/stat");
    std::string field;
    for (int i = 0; i < 21 && stat >> field; ++i) {
    }
    unsigned long long startTicks = 0;
    stat >> startTicks;
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const double ticks = double(sysconf(_SC_CLK_TCK));
    return (now.tv_sec + now.tv_nsec * 1e-9 - startTicks / ticks) * 1000.0;
}

} // namespace

int main(int argc, char** argv)
{
    const double atMain = sinceProcessStart();
    prepareApplication();
    QApplication application(argc, argv);
    const double atApplication = sinceProcessStart();
    MainWindow mainWindow;
    const double atInterface = sinceProcessStart();
    mainWindow.show();
    mainWindow.activateWindow();
    FerlowOpenGLView* view = mainWindow.view();
    while (view->framesDrawn() == 0)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    const double atFirstFrame = sinceProcessStart();
    std::printf("process start to main           %7.1f ms\n", atMain);
    std::printf("QApplication                    %7.1f ms\n", atApplication - atMain);
    std::printf("main window made                 %7.1f ms\n", atInterface - atApplication);
    std::printf("window shown, first frame drawn %7.1f ms\n", atFirstFrame - atInterface);
    std::printf("process start to first frame    %7.1f ms\n", atFirstFrame);
    return 0;
}
