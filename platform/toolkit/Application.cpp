#include "platform/toolkit/Application.h"

#include "platform/system/OrderlyExit.h"
#include "platform/system/SystemLog.h"
#include "platform/system/SystemMemory.h"
#include "platform/toolkit/WindowSystem.h"

#include <QApplication>
#include <QIcon>
#include <QWidget>
#include <QSurfaceFormat>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr const char* kHowToRunHeadless = "Start it from a desktop session, or without one under a virtual X server:\n"
                                          "  xvfb-run -a -s \"-screen 0 1920x1080x24\" ferlow\n";

// Qt reports a thread it could not create (no memory, address space or
// process slots left) only with this warning, and then waits for the thread
// to start: D-Bus, for one, before the first window shows.
void endOnThreadsThatCannotStart()
{
    static const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString& message) {
            previous(type, context, message);
            if (message.startsWith(QLatin1String("QThread::start: Thread creation error"))) {
                systemLog("Ferlow: could not start a thread it needs; out of memory?");
                std::_Exit(EXIT_FAILURE);
            }
        });
}

// Whether the run cannot start; if so, standard error says why.
bool cannotStart(int argc, char** argv)
{
    if (const std::optional<std::string> unreachable = unreachableWindowSystem(argc, argv)) {
        std::fprintf(stderr, "Ferlow needs a graphical display: %s.\n%s", unreachable->c_str(), kHowToRunHeadless);
        return true;
    }
    if (const std::optional<std::size_t> limit = addressSpaceLimitTooSmallToStart()) {
        constexpr std::size_t kMiB = std::size_t(1) << 20;
        std::fprintf(stderr,
                     "Ferlow needs about %zu MiB of address space to start, more than this process may still use "
                     "(ulimit -v allows %zu MiB in all).\n",
                     kStartUpAddressSpace / kMiB, *limit / kMiB);
        return true;
    }
    return false;
}

} // namespace

void prepareApplication()
{
    keepLargeBlocksOutOfTheHeap();
    keepFewMallocArenas();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setDepthBufferSize(24);
    QSurfaceFormat::setDefaultFormat(format);
    QCoreApplication::setOrganizationName(QStringLiteral("ferlow"));
    QCoreApplication::setApplicationName(QStringLiteral("ferlow"));
    // No display name: Qt would append it to every window title, and the
    // main window's title names the application first, then the terrain.
    QGuiApplication::setDesktopFileName(QStringLiteral("ferlow"));
}

int applicationMain(int argc, char** argv, const std::function<std::unique_ptr<QWidget>()>& createMainWindow)
{
    if (cannotStart(argc, argv))
        return 1;
    endCleanlyWhenMemoryRunsOut();
    endOnThreadsThatCannotStart();
    prepareApplication();
    QApplication application(argc, argv);
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("ferlow"), QIcon(QStringLiteral(":/ferlow.svg"))));
    const std::unique_ptr<QWidget> mainWindow = createMainWindow();
    mainWindow->show();
    mainWindow->raise();
    mainWindow->activateWindow();
    // SIGINT, SIGTERM and SIGHUP end the run as closing the window does, so
    // that a switched display gets its mode back.
    installOrderlyExitOnSignals();
    return QApplication::exec();
}
