// ferlow-display-guardian: gives the displays back the layout they had before
// Ferlow switched a mode, when Ferlow ends without doing it itself (a crash,
// SIGKILL, a hang killed from outside).
//
// Ferlow starts it before its first mode switch, with the name of its X
// display as the one argument and one end of a socket as standard input, and
// reports the whole layout (every CRTC and the screen's size) and every
// switch over that socket (see DisplayGuardianProtocol.h). The guardian holds
// no X connection while it waits. When the socket closes without a
// "release", Ferlow is gone with the displays still switched: the guardian
// connects to the X server and, while every output Ferlow switched still
// shows the mode Ferlow set, puts the whole layout back, since a switch may
// have moved other outputs too. An output showing anything else was changed
// by the user meanwhile, and then the layout is the user's and left alone.

#include "platform/display/DisplayGuardianProtocol.h"
#include "platform/display/XRandRConfiguration.h"

#include <algorithm>
#include <cerrno>
#include <optional>
#include <ranges>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace DisplayGuardianProtocol;

constexpr int kLink = STDIN_FILENO;
constexpr int kFailure = 1;

class Guardian {
public:
    // Whether the guarding goes on after this message.
    bool handle(const Message& message)
    {
        if (const auto* layout = std::get_if<Layout>(&message))
            mLayout = *layout;
        else if (const auto* set = std::get_if<ModeSet>(&message))
            noteModeSet(*set);
        return !std::holds_alternative<Release>(message);
    }

    bool restore(const char* displayName) const
    {
        // Ferlow may end before its first switch: then there is nothing to
        // look at, and no reason to connect.
        if (!mLayout || mModesSet.empty())
            return true;
        const DisplayConnection display = openDisplayConnection(displayName);
        if (!display)
            return false;
        XErrorTrap trap(display.get());
        ServerGrab grab(display.get());
        if (stillAsFerlowSetThem(display.get()))
            applyLayout(display.get(), *mLayout);
        return !trap.caughtError();
    }

private:
    void noteModeSet(const ModeSet& set)
    {
        auto known = std::ranges::find(mModesSet, set.output, &ModeSet::output);
        if (known != mModesSet.end())
            known->mode = set.mode;
        else
            mModesSet.push_back(set);
    }

    bool stillAsFerlowSetThem(Display* display) const
    {
        return std::ranges::all_of(mModesSet,
                                   [&](const ModeSet& set) { return currentModeOf(display, set.output) == set.mode; });
    }

    std::optional<Layout> mLayout;
    std::vector<ModeSet> mModesSet;
};

// Leaves Ferlow's process: the process Ferlow started exits at once, so Ferlow
// reaps it without waiting, and the guardian lives on as a child of init.
// Ferlow started it in a session of its own, so no terminal hang-up or
// Ctrl-C meant for Ferlow reaches it.
bool detach()
{
    const pid_t child = fork();
    if (child < 0)
        return false;
    if (child > 0)
        _exit(0);
    // Holds no directory busy that the user may want to unmount.
    return chdir("/") == 0;
}

bool tellReady()
{
    std::string line(kReady);
    line += '\n';
    return send(kLink, line.data(), line.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(line.size());
}

// Reads messages until Ferlow releases the displays (true) or its end of the
// link closes without a release (false).
bool waitForRelease(Guardian& guardian)
{
    std::string pending;
    char buffer[512];
    for (;;) {
        const ssize_t count = read(kLink, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return false;
        pending.append(buffer, static_cast<std::size_t>(count));
        for (std::size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
            const auto message = decode(std::string_view(pending).substr(0, end));
            if (message && !guardian.handle(*message))
                return true;
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2 || !detach())
        return kFailure;
    // Without the answer Ferlow does not switch; a guardian that cannot give
    // it has nothing to guard.
    if (!tellReady())
        return kFailure;
    Guardian guardian;
    if (waitForRelease(guardian))
        return 0;
    return guardian.restore(argv[1]) ? 0 : kFailure;
}
