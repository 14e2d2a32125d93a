#pragma once

#include <QSize>
#include <QString>
#include <optional>

// What the command line asks for: `ferlow [options] [TERRAIN]`.
//
// Read before anything else of the program starts, so that --help,
// --version and a mistake need no display. File names keep the bytes of
// argv, UTF-8 or not (FilePath).
struct CommandLine {
    enum class Mode {
        Fly,          // the window, over TERRAIN when given
        SavePicture,  // offscreen, then exit
        ExportVideo,  // offscreen, then exit
        Exit,         // nothing to run: exit with `exitStatus` after printing `message`
    };
    // Exit statuses of a run that ends without flying.
    static constexpr int kFailed = 1;
    static constexpr int kUsageError = 2;

    Mode mode = Mode::Fly;
    QString terrain;
    QString output;
    // As asked; checked by the run.
    QSize size;
    int fps = 0;
    std::optional<double> seconds; // none: one whole loop of the path
    double start = 0.0;

    int exitStatus = 0;
    // For Exit: the help or the version (standard output, status 0), or
    // what is wrong and the usage (standard error).
    QString message;

    static CommandLine parse(int argc, char** argv);
};
