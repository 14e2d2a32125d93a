#include "platform/system/OrderlyExit.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

constexpr std::array kOrderlyExitSignals{SIGINT, SIGTERM, SIGHUP};

// Written by the handlers, read on the event loop. Non-blocking on both ends:
// a handler must never wait, and the reader drains until empty.
int gSignalPipe[2] = {-1, -1};
constexpr int kReadEnd = 0;
constexpr int kWriteEnd = 1;

void noteSignal(int signal)
{
    const int savedErrno = errno;
    const auto number = static_cast<unsigned char>(signal);
    // A full pipe already holds a request to quit; losing this byte is fine.
    [[maybe_unused]] const ssize_t written = write(gSignalPipe[kWriteEnd], &number, sizeof number);
    errno = savedErrno;
}

bool ensurePipe()
{
    return gSignalPipe[kReadEnd] >= 0 || pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) == 0;
}

void drainPipe()
{
    unsigned char buffer[64];
    while (read(gSignalPipe[kReadEnd], buffer, sizeof buffer) > 0) {
    }
}

// One notifier per application object; it goes with the application.
void watchPipe()
{
    static QPointer<QSocketNotifier> notifier;
    if (notifier)
        return;
    notifier = new QSocketNotifier(gSignalPipe[kReadEnd], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier.data(), &QSocketNotifier::activated, notifier.data(), [] {
        drainPipe();
        QCoreApplication::quit();
    });
}

} // namespace

void installOrderlyExitOnSignals()
{
    if (!QCoreApplication::instance() || !ensurePipe())
        return;
    watchPipe();
    struct sigaction action {};
    action.sa_handler = noteSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (const int signal : kOrderlyExitSignals)
        sigaction(signal, &action, nullptr);
}

bool orderlyExitRequested()
{
    if (gSignalPipe[kReadEnd] < 0)
        return false;
    pollfd pending{gSignalPipe[kReadEnd], POLLIN, 0};
    return poll(&pending, 1, 0) > 0;
}
