#include "app/HeadlessRecording.h"

#include "app/CommandLine.h"
#include "app/TerrainMenu.h"
#include "platform/gl/Renderer.h"
#include "platform/system/Defaults.h"
#include "platform/system/FilePath.h"
#include "platform/system/SettingsStore.h"
#include "platform/toolkit/Application.h"
#include "platform/toolkit/WindowSystem.h"
#include "platform/video/VideoEncoder.h"
#include "record/FlightRecorder.h"
#include "record/Recording.h"
#include "scene/Scene.h"
#include "terrain/TerrainImage.h"
#include "view/FerlowOpenGLView.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

std::atomic<bool> gCancelled{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

// How often a terminal's progress line changes, and a log's lines come.
constexpr std::chrono::milliseconds kTerminalUpdate{100};
constexpr int kLoggedSteps = 10;

int fail(const QString& why)
{
    std::fprintf(stderr, "ferlow: %s\n", qPrintable(why));
    return CommandLine::kFailed;
}

QString displayName(const QString& path)
{
    return FilePath::forDisplay(QFileInfo(path).fileName());
}

int failCancelled(const QString& path)
{
    return fail(QStringLiteral("Cancelled; %1 was not written.").arg(displayName(path)));
}

void cancelOnSignals()
{
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        std::signal(signal, [](int) { gCancelled.store(true); });
}

// Frames done and time left: on a terminal one line written over, in a log
// a line at every tenth.
class ProgressLine {
public:
    ProgressLine(const QString& name, std::int64_t frames)
        : mName(name)
        , mFrames(frames)
        , mOnTerminal(::isatty(STDERR_FILENO))
        , mStart(std::chrono::steady_clock::now())
    {
    }

    void frameDone(std::int64_t done)
    {
        const auto now = std::chrono::steady_clock::now();
        const int step = int(done * kLoggedSteps / mFrames);
        if (mOnTerminal ? now - mShown < kTerminalUpdate && done < mFrames : step == mStep)
            return;
        mShown = now;
        mStep = step;
        const double elapsed = std::chrono::duration<double>(now - mStart).count();
        const QString line = QStringLiteral("Exporting %1: frame %2 of %3 (%4%), %5 left")
                                 .arg(mName)
                                 .arg(done)
                                 .arg(mFrames)
                                 .arg(done * 100 / mFrames)
                                 .arg(Recording::clockText(Recording::secondsLeft(elapsed, done, mFrames)));
        std::fprintf(stderr, mOnTerminal ? "\r\033[K%s" : "%s\n", qPrintable(line));
    }

    ~ProgressLine()
    {
        if (mOnTerminal && mStep >= 0)
            std::fputc('\n', stderr);
    }

private:
    QString mName;
    std::int64_t mFrames;
    bool mOnTerminal;
    std::chrono::steady_clock::time_point mStart;
    std::chrono::steady_clock::time_point mShown{};
    int mStep = -1;
};

// What can be told wrong before any drawing.
QString requestProblem(const CommandLine& line)
{
    const bool video = line.mode == CommandLine::Mode::ExportVideo;
    const QString formatProblem =
        video ? VideoEncoder::unsupportedFormat(line.output) : Recording::pictureFormatProblem(line.output);
    for (const QString& problem : {formatProblem, Recording::sizeProblem(line.size),
                                   video ? Recording::fpsProblem(line.fps) : QString(),
                                   video && line.seconds ? Recording::secondsProblem(*line.seconds) : QString(),
                                   Recording::folderProblem(line.output)}) {
        if (!problem.isEmpty())
            return problem;
    }
    return {};
}

// The terrain named, else the one flown last (the built-in one when it
// cannot be opened any more, as in the window), else the built-in one.
QString setTerrain(Scene& scene, const QString& named)
{
    const QString stored = SettingsStore::shared().objectForKey(TerrainMenu::kTerrainImageKey).toString();
    const QString path = FilePath::fromStored(named.isEmpty() ? stored : named);
    if (path.isEmpty())
        return {};
    TerrainImage::Opened opened = TerrainImage::open(path, Scene::kTerrainExtent, scene.getFerlowHeight());
    if (opened.terrain)
        scene.setTerrain(std::move(opened.terrain));
    else if (!named.isEmpty())
        return QStringLiteral("Ferlow could not open the terrain \u201c%1\u201d: %2.")
            .arg(FilePath::forDisplay(path), opened.failure);
    else
        std::fprintf(stderr, "ferlow: the terrain flown last, %s, cannot be opened (%s); drawing the built-in one.\n",
                     qPrintable(FilePath::forDisplay(path)), qPrintable(opened.failure));
    return {};
}

int savePicture(const CommandLine& line, std::unique_ptr<Scene> scene)
{
    FlightRecorder recorder(std::move(scene));
    const FlightRecorder::Outcome outcome =
        recorder.savePicture(line.output, line.size, FlightRecorder::pictureSamples(line.size), gCancelled);
    if (outcome.cancelled)
        return failCancelled(line.output);
    if (!outcome.error.isEmpty())
        return fail(outcome.error);
    std::fprintf(stderr, "Saved %s (%d x %d) in %.1f s.\n", qPrintable(displayName(line.output)), line.size.width(),
                 line.size.height(), outcome.totalSeconds);
    return 0;
}

int exportVideo(const CommandLine& line, std::unique_ptr<Scene> scene)
{
    const std::optional<double> seconds = line.seconds ? line.seconds : scene->loopSeconds();
    if (!seconds)
        return fail(QStringLiteral("The flight stands still (speed 0), so it has no loop to film: give --seconds."));
    if (const QString problem = Recording::secondsProblem(*seconds); !problem.isEmpty())
        return fail(problem + QStringLiteral(" One loop takes that long at this speed: give --seconds."));
    FlightRecorder::Video video{line.output, Recording::evenSize(line.size), line.fps,
                                Recording::frameCount(*seconds, line.fps), 0};
    if (video.size != line.size)
        std::fprintf(stderr, "ferlow: videos have even sizes; making it %d x %d.\n", video.size.width(),
                     video.size.height());
    if (FerlowOpenGLView::antialiasingAsStored(SettingsStore::shared(), defaultRendererName()))
        video.samples = int(FerlowOpenGLView::kSamples);

    FlightRecorder recorder(std::move(scene));
    FlightRecorder::Outcome outcome;
    {
        ProgressLine progress(displayName(line.output), video.frames);
        outcome = recorder.exportVideo(video, [&progress](std::int64_t done) { progress.frameDone(done); }, gCancelled);
    }
    if (outcome.cancelled)
        return failCancelled(line.output);
    if (!outcome.error.isEmpty())
        return fail(outcome.error);
    std::fprintf(stderr,
                 "Wrote %s: %lld frames, %d x %d at %d fps, in %.1f s (drawing %.1f s, reading back %.1f s, "
                 "encoding %.1f s beside them).\n",
                 qPrintable(displayName(line.output)), static_cast<long long>(outcome.framesDone), video.size.width(),
                 video.size.height(), video.fps, outcome.totalSeconds, outcome.drawingSeconds,
                 outcome.readingBackSeconds, outcome.encodingSeconds);
    return 0;
}

} // namespace

int runHeadless(const CommandLine& line, int argc, char** argv)
{
    if (const QString problem = requestProblem(line); !problem.isEmpty())
        return fail(problem);
    if (const std::optional<std::string> unreachable = unreachableWindowSystem(argc, argv))
        return fail(QStringLiteral("no display to draw with: %1. Run it under a virtual X server, as "
                                   "xvfb-run -a ferlow --export-video flight.mp4.")
                        .arg(QString::fromStdString(*unreachable)));
    cancelOnSignals();
    prepareApplication();
    QGuiApplication application(argc, argv);
    Defaults::registerWithStandardStore();
    auto scene = std::make_unique<Scene>(SettingsStore::shared(), Clock());
    if (const QString problem = setTerrain(*scene, line.terrain); !problem.isEmpty())
        return fail(problem);
    scene->flyTo(line.start);
    return line.mode == CommandLine::Mode::SavePicture ? savePicture(line, std::move(scene))
                                                        : exportVideo(line, std::move(scene));
}
