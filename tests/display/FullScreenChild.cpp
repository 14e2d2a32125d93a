// Ferlow as a user runs it, flying full screen at 800 x 600 on the display
// until a signal ends it: the test kills it and watches the mode come back.
// Prints "full screen" once the mode is switched.
#include "app/FerlowInterface.h"
#include "app/MainController.h"
#include "platform/Application.h"
#include "platform/OrderlyExit.h"
#include "prefs/PreferencesPanel.h"
#include "prefs/PrefsController.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>

int main(int argc, char** argv)
{
    prepareApplication();
    QApplication application(argc, argv);
    installOrderlyExitOnSignals();
    FerlowInterface interface;
    wakeInterface(interface);
    interface.showMainWindow();
    PopUpButton& menu = *interface.preferencesPanel()->resolutionPopUpButton;
    menu.selectItemAtIndex(menu.findText(QStringLiteral("800 x 600")));
    interface.prefsController()->selectResolution();
    QTimer::singleShot(200, [&] { interface.controller()->selectFullScreen(); });
    QTimer::singleShot(1200, [] {
        std::printf("full screen\n");
        std::fflush(stdout);
    });
    return QApplication::exec();
}
