// A stand-in for Ferlow in full screen, for the display tests: switches the
// main display to a mode of the given size, says "switched" on standard
// output, then either releases the displays and exits ("release"), or waits
// in its event loop with the orderly-exit handlers installed ("wait") until a
// signal ends it.
//
//   display_test_child <release|wait> <width> <height>

#include "platform/display/DisplayServices.h"
#include "platform/system/OrderlyExit.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

constexpr int kUsage = 2;
constexpr int kNotSwitched = 3;

bool switchMainDisplay(qint64 width, qint64 height)
{
    DisplayServices& services = DisplayServices::shared();
    const DisplayID display = services.mainDisplayID();
    for (const DisplayModeDictionary& mode : services.displayAvailableModes(display)) {
        if (mode.value(DisplayModeKey::Width).toLongLong() == width
            && mode.value(DisplayModeKey::Height).toLongLong() == height)
            return services.displaySwitchToMode(display, mode);
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4)
        return kUsage;
    const std::string_view behaviour = argv[1];
    QCoreApplication app(argc, argv);
    installOrderlyExitOnSignals();
    if (!switchMainDisplay(std::atoll(argv[2]), std::atoll(argv[3])))
        return kNotSwitched;
    std::puts("switched");
    std::fflush(stdout);
    if (behaviour == "release") {
        DisplayServices::shared().releaseAllDisplays();
        return 0;
    }
    return app.exec();
}
