#pragma once

#include "platform/display/DisplayGuardianProtocol.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

// Ferlow's end of the display guardian, the small ferlow-display-guardian
// program that gives the displays their original layout back when Ferlow
// ends without releasing them (see DisplayGuardianMain.cpp).
//
// The guardian is spawned, not forked: Qt's threads run in this process, and
// a forked copy of it could only call async-signal-safe functions, while the
// restore needs Xlib. posix_spawn starts the program from a clean image with
// nothing of Ferlow's but one end of a socket: the X connection and every
// other descriptor stay behind, in a session of its own so that Ctrl-C and
// terminal hang-ups meant for Ferlow do not reach it. The guardian reparents
// itself to init, so it outlives Ferlow and is never left as a zombie.
class DisplayGuardian {
public:
    // A small program starts within milliseconds, on a loaded machine or in a
    // sanitizer build within a few hundred; one that has not answered by then
    // is stuck, and the user is not kept looking at a black screen for it.
    static constexpr std::chrono::seconds kAnswerTimeout{5};

    // Starts a guardian for the X display `displayName` and waits until it
    // runs on its own; nullptr when it cannot be found or started, does not
    // answer within kAnswerTimeout, or a signal asks the program to quit
    // meanwhile. The wait never blocks for long at a stretch: it looks for
    // that signal (OrderlyExit.h) every few milliseconds. Each failure but
    // the quit writes one line to the system log.
    static std::unique_ptr<DisplayGuardian> start(const std::string& displayName);
    // Closes the link. Without a release before, the guardian restores every
    // display that still shows the mode set here.
    ~DisplayGuardian();
    DisplayGuardian(const DisplayGuardian&) = delete;
    DisplayGuardian& operator=(const DisplayGuardian&) = delete;

    // Each returns whether the guardian got the message; one that did not is
    // gone and guards nothing.
    bool save(const Layout& layout);
    // Sent before the switch itself, so that a crash right after the switch
    // still finds the guardian knowing the mode to look for.
    bool modeSet(RROutput output, RRMode mode);
    // The displays are back as they were: the guardian exits without
    // touching them.
    void release();

    // The guardian program for the executable at `executable`: beside it (a
    // build tree, or an installation that keeps the two together), else in
    // the folder for helper programs of an installation with ferlow in bin/
    // (../libexec/ferlow); nothing when neither holds one that can run.
    static std::optional<std::filesystem::path> programFor(const std::filesystem::path& executable);

private:
    explicit DisplayGuardian(int link);
    bool send(const DisplayGuardianProtocol::Message& message);

    int mLink;
};
