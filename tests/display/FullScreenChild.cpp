// Ferlow as a user runs it, flying full screen at 800 x 600 on the display
// until a signal ends it: the test kills it and watches the mode come back.
// Prints "full screen" once the display runs at 800 x 600 and the full-screen
// loop draws, however long the switch took.
#include "app/MainWindow.h"
#include "app/MainController.h"
#include "platform/display/DisplayServices.h"
#include "platform/system/OrderlyExit.h"
#include "platform/toolkit/Application.h"
#include "prefs/PreferencesPanel.h"
#include "prefs/PrefsController.h"
#include "view/FerlowOpenGLView.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>

namespace {

bool displayIs800x600()
{
    DisplayServices& display = DisplayServices::shared();
    const DisplayID main = display.mainDisplayID();
    return display.displayPixelsWide(main) == 800 && display.displayPixelsHigh(main) == 600;
}

} // namespace

int main(int argc, char** argv)
{
    prepareApplication();
    QApplication application(argc, argv);
    installOrderlyExitOnSignals();
    MainWindow mainWindow;
    mainWindow.show();
    mainWindow.activateWindow();
    QComboBox& menu = *mainWindow.preferencesPanel()->resolutionPopUpButton;
    menu.setCurrentIndex(menu.findText(QStringLiteral("800 x 600")));
    mainWindow.prefsController()->selectResolution();

    // Full screen once the window is on screen, as after a user's click; the
    // watch goes on inside the full-screen loop, which lasts until the signal.
    MainController& controller = *mainWindow.controller();
    bool entered = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!entered && mainWindow.view()->isExposed()) {
            entered = true;
            QTimer::singleShot(0, [&] { controller.selectFullScreen(); });
        } else if (controller.inFullScreenLoop() && controller.isInFullScreenMode() && displayIs800x600()) {
            std::printf("full screen\n");
            std::fflush(stdout);
            watch.stop();
        }
    });
    watch.start(20);
    return QApplication::exec();
}
