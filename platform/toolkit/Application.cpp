#include "platform/toolkit/Application.h"

#include "platform/display/OrderlyExit.h"
#include "platform/system/SystemMemory.h"

#include <QApplication>
#include <QIcon>
#include <QSurfaceFormat>
#include <cstdio>
#include <cstdlib>

void prepareApplication()
{
    keepLargeBlocksOutOfTheHeap();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setDepthBufferSize(24);
    QSurfaceFormat::setDefaultFormat(format);
    QCoreApplication::setOrganizationName(QStringLiteral("ferlow"));
    QCoreApplication::setApplicationName(QStringLiteral("ferlow"));
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Ferlow"));
    QGuiApplication::setDesktopFileName(QStringLiteral("ferlow"));
}

bool displayAvailable()
{
    const auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value && *value;
    };
    return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}

int applicationMain(int argc, char** argv, const std::function<std::unique_ptr<MainInterface>()>& loadInterface)
{
    if (!displayAvailable()) {
        std::fprintf(stderr,
                     "Ferlow needs a graphical display: neither DISPLAY nor WAYLAND_DISPLAY is set.\n"
                     "Start it from a desktop session, or without one under a virtual X server:\n"
                     "  xvfb-run -a -s \"-screen 0 1920x1080x24\" ferlow\n");
        return 1;
    }
    prepareApplication();
    QApplication application(argc, argv);
    // SIGINT, SIGTERM and SIGHUP end the run as closing the window does, so
    // that a switched display gets its mode back.
    installOrderlyExitOnSignals();
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("ferlow"), QIcon(QStringLiteral(":/ferlow.svg"))));
    const std::unique_ptr<MainInterface> interface = loadInterface();
    wakeInterface(*interface);
    QApplication::setQuitOnLastWindowClosed(interface->delegate().applicationShouldTerminateAfterLastWindowClosed());
    interface->showMainWindow();
    return QApplication::exec();
}

void wakeInterface(MainInterface& interface)
{
    for (InterfaceObject* object : interface.awakeOrder())
        object->awakeFromNib();
}
