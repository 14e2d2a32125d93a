// Runs a program against an X server of its own, started before it and
// stopped after it, however it ends:
//
//   ferlow-run-on-desktop [--xorg-dummy] -- <program> [arguments...]
//
// Xvfb at 1920 x 1080, 24 bits, or with --xorg-dummy Xorg with the dummy
// video driver, whose modes switch. Programs running side by side so never
// share focus, grabs or the screen, nor see one another come and go. The
// program's exit status is this one's (128 and the signal's number where a
// signal ended it); a hang-up, interrupt or termination is passed on to the
// program, and this ends as a shell does on it once the program has ended.
//
// Where Xvfb cannot start, the program does not run and this fails saying
// why. Where Xorg cannot, the program runs without DISPLAY and with
// FERLOW_XORG_UNAVAILABLE saying why, so that its tests skip with that
// reason instead of failing or testing another server.
#include "tests/support/XServer.h"

#include <QCoreApplication>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t gSignal = 0;
volatile std::sig_atomic_t gProgram = 0;

void passOn(int signal)
{
    gSignal = signal;
    if (gProgram > 0)
        ::kill(pid_t(gProgram), signal);
}

int run(char** command)
{
    const pid_t program = fork();
    if (program == 0) {
        // Also where this one is killed, which it cannot pass on.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        execvp(command[0], command);
        std::fprintf(stderr, "ferlow-run-on-desktop: cannot run %s: %s\n", command[0], std::strerror(errno));
        _exit(127);
    }
    if (program < 0) {
        std::perror("ferlow-run-on-desktop: fork");
        return 1;
    }
    gProgram = program;
    // A signal that came before the program's number was known.
    if (gSignal)
        ::kill(program, gSignal);
    int status = 0;
    while (waitpid(program, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace

int main(int argc, char** argv)
{
    const bool xorg = argc > 1 && std::strcmp(argv[1], "--xorg-dummy") == 0;
    const int separator = xorg ? 2 : 1;
    if (argc < separator + 2 || std::strcmp(argv[separator], "--") != 0) {
        std::fprintf(stderr, "usage: ferlow-run-on-desktop [--xorg-dummy] -- <program> [arguments...]\n");
        return 2;
    }
    struct sigaction action {};
    action.sa_handler = passOn;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGHUP, SIGINT, SIGTERM})
        sigaction(signal, &action, nullptr);

    int applicationArguments = 1;
    const QCoreApplication application(applicationArguments, argv);
    std::optional<XServer> server;
    try {
        if (xorg)
            server.emplace(XServer::Kind::XorgDummy);
        else
            server.emplace(XServer::Kind::Xvfb,
                           QStringList{QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("1920x1080x24")});
    } catch (const std::exception& error) {
        std::fprintf(stderr, "ferlow-run-on-desktop: %s\n", error.what());
        if (!xorg)
            return 1;
        unsetenv("DISPLAY");
        setenv("FERLOW_XORG_UNAVAILABLE", error.what(), 1);
    }
    if (gSignal)
        return 128 + gSignal;
    if (server) {
        setenv("DISPLAY", server->name().toLatin1().constData(), 1);
        unsetenv("FERLOW_XORG_UNAVAILABLE");
        // Qt would take a Wayland session over this server.
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        unsetenv("WAYLAND_DISPLAY");
    }
    const int status = run(argv + separator + 1);
    return gSignal ? 128 + gSignal : status;
}
