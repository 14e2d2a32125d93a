#include "app/CommandLine.h"

#include "platform/system/FilePath.h"
#include "record/Recording.h"

#include <QCommandLineParser>
#include <QStringList>
#include <cmath>

namespace {

const QString kSavePicture = QStringLiteral("save-picture");
const QString kExportVideo = QStringLiteral("export-video");
const QString kSize = QStringLiteral("size");
const QString kFps = QStringLiteral("fps");
const QString kSeconds = QStringLiteral("seconds");
const QString kStart = QStringLiteral("start");

void describe(QCommandLineParser& parser)
{
    parser.setApplicationDescription(
        QStringLiteral("Flies a camera over a terrain; with --save-picture or --export-video draws\n"
                       "offscreen, writes the file and exits."));
    // Not addHelpOption: its --help-all would list the options of an
    // application object, which does not exist yet.
    parser.addOption({{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Displays help on commandline options.")});
    parser.addVersionOption();
    parser.addOptions({
        {kSavePicture, QStringLiteral("Save a picture of the flight (.png or .jpg) and exit."), QStringLiteral("FILE")},
        {kExportVideo, QStringLiteral("Export a video of the flight (.mp4: H.264, .webm: VP9) and exit."),
         QStringLiteral("FILE")},
        {kSize, QStringLiteral("Size of the picture or video in pixels (default 1920x1080; at most 7680x4320)."),
         QStringLiteral("WxH"), QStringLiteral("1920x1080")},
        {kFps, QStringLiteral("Frames per second of the video (default 30; 1 to 240)."), QStringLiteral("N"),
         QStringLiteral("30")},
        {kSeconds, QStringLiteral("Length of the video in seconds (default: one whole loop of the flight path)."),
         QStringLiteral("S")},
        {kStart, QStringLiteral("Seconds along the flight path to begin at (default 0)."), QStringLiteral("S"),
         QStringLiteral("0")},
    });
    parser.addPositionalArgument(
        QStringLiteral("TERRAIN"),
        QStringLiteral("A height image or elevation file to fly; without it, the terrain flown last, else the "
                       "built-in one."),
        QStringLiteral("[TERRAIN]"));
}

CommandLine exitWith(int status, const QString& message)
{
    CommandLine line;
    line.mode = CommandLine::Mode::Exit;
    line.exitStatus = status;
    // Every message ends its line, as a terminal's next prompt expects.
    line.message = message.endsWith(QLatin1Char('\n')) ? message : message + QLatin1Char('\n');
    return line;
}

std::optional<double> number(const QString& text)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok && std::isfinite(value) ? std::optional(value) : std::nullopt;
}

// The values of the options, or what is wrong with the first that is.
QString readValues(const QCommandLineParser& parser, CommandLine& line)
{
    const std::optional<QSize> size = Recording::parseSize(parser.value(kSize));
    if (!size)
        return QStringLiteral("--size takes a width and a height in pixels, as 1920x1080, not \u201c%1\u201d.")
            .arg(parser.value(kSize));
    line.size = *size;
    bool fpsIsNumber = false;
    line.fps = parser.value(kFps).toInt(&fpsIsNumber);
    if (!fpsIsNumber)
        return QStringLiteral("--fps takes a whole number of frames a second, not \u201c%1\u201d.").arg(parser.value(kFps));
    if (parser.isSet(kSeconds)) {
        line.seconds = number(parser.value(kSeconds));
        if (!line.seconds)
            return QStringLiteral("--seconds takes a number of seconds, not \u201c%1\u201d.").arg(parser.value(kSeconds));
    }
    const std::optional<double> start = number(parser.value(kStart));
    if (!start)
        return QStringLiteral("--start takes a number of seconds, not \u201c%1\u201d.").arg(parser.value(kStart));
    line.start = *start;
    return {};
}

} // namespace

CommandLine CommandLine::parse(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << FilePath::fromNative(argv[i]);
    QCommandLineParser parser;
    describe(parser);
    // Qt knows the program's name only from an application object.
    const QString usage = parser.helpText().replace(QStringLiteral("<executable_name>"), QStringLiteral("ferlow"));
    if (!parser.parse(arguments))
        return exitWith(kUsageError, parser.errorText() + QStringLiteral("\n\n") + usage);
    if (parser.isSet(QStringLiteral("help")))
        return exitWith(0, usage);
    if (parser.isSet(QStringLiteral("version")))
        return exitWith(0, QStringLiteral("ferlow %1\n").arg(QStringLiteral(FERLOW_VERSION)));
    if (parser.positionalArguments().size() > 1)
        return exitWith(kUsageError, QStringLiteral("Ferlow flies one terrain at a time.\n\n") + usage);
    if (parser.isSet(kSavePicture) && parser.isSet(kExportVideo))
        return exitWith(kUsageError, QStringLiteral("Give --save-picture or --export-video, not both.\n\n") + usage);

    CommandLine line;
    line.terrain = parser.positionalArguments().value(0);
    if (const QString wrong = readValues(parser, line); !wrong.isEmpty())
        return exitWith(kFailed, wrong);
    if (parser.isSet(kSavePicture)) {
        line.mode = Mode::SavePicture;
        line.output = parser.value(kSavePicture);
    } else if (parser.isSet(kExportVideo)) {
        line.mode = Mode::ExportVideo;
        line.output = parser.value(kExportVideo);
    }
    return line;
}
