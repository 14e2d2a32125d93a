#include "app/CommandLine.h"
#include "app/HeadlessRecording.h"
#include "app/MainWindow.h"
#include "platform/toolkit/Application.h"

#include <cstdio>

// ferlow [options] [TERRAIN]: flies that terrain, or the one flown last; or
// draws a picture or a video of the flight without a window (CommandLine).
int main(int argc, char** argv)
{
    const CommandLine line = CommandLine::parse(argc, argv);
    switch (line.mode) {
    case CommandLine::Mode::Exit:
        std::fprintf(line.exitStatus == 0 ? stdout : stderr, line.exitStatus == 0 ? "%s" : "ferlow: %s",
                     qPrintable(line.message));
        return line.exitStatus;
    case CommandLine::Mode::SavePicture:
    case CommandLine::Mode::ExportVideo:
        return runHeadless(line, argc, argv);
    case CommandLine::Mode::Fly:
        break;
    }
    return applicationMain(argc, argv, [&line] { return std::make_unique<MainWindow>(line.terrain); });
}
