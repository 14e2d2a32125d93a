// Pictures and videos of the flight, made through the real ferlow program
// as users make them: from the command line, as scripts do, and from the
// File menu. Videos are read back with FFmpeg's libraries; what the program
// leaves in the folder is checked after every failure and every Cancel.
#include "tests/e2e/Desktops.h"
#include "tests/e2e/FerlowRun.h"
#include "tests/support/VideoProbe.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <X11/keysym.h>
#include <gtest/gtest.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/mount.h>
#include <unistd.h>

namespace {

constexpr int kRunMilliseconds = 120000;
constexpr int kWaitMilliseconds = 20000;

Desktop& desktop()
{
    return Desktops::get(Desktop::Kind::BareX);
}

struct Ended {
    int exitCode = -1;
    QString output; // standard output and error
};

// ferlow with these arguments, with settings of its own; on `display`, or
// with no display at all.
Ended ferlow(const QStringList& arguments, bool display = true)
{
    QTemporaryDir home;
    QProcessEnvironment environment = desktop().clientEnvironment(home.path());
    if (!display)
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QString::fromLatin1(name));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral(FERLOW_PROGRAM), arguments);
    const bool ended = process.waitForFinished(kRunMilliseconds);
    EXPECT_TRUE(ended) << "still running: " << arguments.join(QLatin1Char(' ')).toStdString();
    if (!ended) {
        process.kill();
        process.waitForFinished();
    }
    return {ended ? process.exitCode() : -1, QString::fromLocal8Bit(process.readAll())};
}

// Hidden ones too: a temporary file left behind is a fault.
QStringList filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

// The mean difference of two pictures of one size, 0 to 255 a channel.
double meanDifference(const QImage& a, const QImage& b)
{
    double sum = 0.0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * a.width() * a.height());
}

// Ground below, sky above: the lower half holds no single colour over most
// of it, as a textured, lit terrain does not.
bool showsTexturedTerrainUnderSky(const QImage& picture)
{
    QMap<QRgb, int> colours;
    for (int y = picture.height() / 2; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            ++colours[picture.pixel(x, y) & 0xF8F8F8];
    const int most = *std::max_element(colours.cbegin(), colours.cend());
    const QRgb sky = picture.pixel(picture.width() / 2, 0);
    return colours.size() > 50 && most < picture.width() * picture.height() / 8 && qBlue(sky) > qRed(sky);
}

// Once the flight shows, Ctrl+Shift+`key` opens the dialog `title`, which
// is given `path` as its file and accepted; false when it does not open.
bool askInTheWindow(FerlowRun& run, unsigned long key, const QString& title, const QString& path)
{
    run.waitUntilFlying();
    desktop().key(key, {XK_Control_L, XK_Shift_L});
    if (!QTest::qWaitFor([&] { return desktop().keyboardWindowTitle() == title; }, kWaitMilliseconds))
        return false;
    desktop().key(XK_A, {XK_Control_L});
    desktop().type(path);
    desktop().key(XK_Return);
    return true;
}

} // namespace

// A clip of either format plays as any player reads it, moves with the
// camera, and begins with the picture saved at the same point of the path.
class VideoFormats : public testing::TestWithParam<const char*> {};

TEST_P(VideoFormats, PlayBackAsAskedAndBeginWithThePicture)
{
    QTemporaryDir folder;
    const QString video = folder.filePath(QStringLiteral("clip.") + QString::fromLatin1(GetParam()));
    const QString picture = folder.filePath(QStringLiteral("still.png"));
    const QStringList at{QStringLiteral("--size"), QStringLiteral("320x240"), QStringLiteral("--start"), QStringLiteral("30")};
    const Ended exported = ferlow(QStringList{QStringLiteral("--export-video"), video, QStringLiteral("--fps"),
                                            QStringLiteral("10"), QStringLiteral("--seconds"), QStringLiteral("1.5")}
                                + at);
    ASSERT_EQ(exported.exitCode, 0) << exported.output.toStdString();
    const Ended saved = ferlow(QStringList{QStringLiteral("--save-picture"), picture} + at);
    ASSERT_EQ(saved.exitCode, 0) << saved.output.toStdString();

    const VideoFacts facts = probeVideo(video);
    ASSERT_TRUE(facts.error.isEmpty()) << facts.error.toStdString();
    EXPECT_EQ(facts.codec, QString::fromLatin1(GetParam()) == QLatin1String("mp4") ? "h264" : "vp9");
    EXPECT_EQ(QSize(facts.width, facts.height), QSize(320, 240));
    EXPECT_EQ(facts.pixelFormat, QStringLiteral("yuv420p"));
    EXPECT_EQ(facts.frameCount, 15);
    EXPECT_NEAR(facts.durationSeconds, 1.5, 0.1);
    EXPECT_TRUE(facts.firstFrameIsKeyframe);
    ASSERT_EQ(facts.frames.size(), 15);
    EXPECT_GT(meanDifference(facts.frames.front(), facts.frames.back()), 4.0) << "the camera did not move";
    const QImage still(picture);
    ASSERT_EQ(still.size(), QSize(320, 240));
    EXPECT_TRUE(showsTexturedTerrainUnderSky(still));
    // The codec's loss and the picture's antialiasing, no more.
    EXPECT_LT(meanDifference(facts.frames.front(), still.convertToFormat(QImage::Format_RGB32)), 6.0);
    EXPECT_EQ(filesIn(folder.path()), (QStringList{QStringLiteral("clip.") + QString::fromLatin1(GetParam()),
                                                   QStringLiteral("still.png")}));
}

INSTANTIATE_TEST_SUITE_P(Recording, VideoFormats, testing::Values("mp4", "webm"));

// What a script may get wrong, and what the program may not: a clear line
// and the status, nothing left in the folder. Help, version and the usage
// need no display.
struct Request {
    const char* name;
    QStringList arguments; // "DIR" stands for the folder the file goes in
    int exitCode;
    const char* says;
    bool display = true;
};

void PrintTo(const Request& r, std::ostream* out)
{
    *out << r.name;
}

class Requests : public testing::TestWithParam<Request> {};

TEST_P(Requests, EndWithOneClearLineAndNoFileLeft)
{
    const Request& r = GetParam();
    QTemporaryDir folder;
    QStringList arguments = r.arguments;
    arguments.replaceInStrings(QStringLiteral("DIR"), folder.path());
    const Ended run = ferlow(arguments, r.display);
    EXPECT_EQ(run.exitCode, r.exitCode) << run.output.toStdString();
    EXPECT_TRUE(run.output.contains(QString::fromUtf8(r.says))) << run.output.toStdString();
    if (r.exitCode != 0) {
        EXPECT_EQ(filesIn(folder.path()), QStringList()) << run.output.toStdString();
    }
}

const QString kVideo = QStringLiteral("--export-video");
const QString kPicture = QStringLiteral("--save-picture");
const QString kSize = QStringLiteral("--size");

INSTANTIATE_TEST_SUITE_P(
    Recording, Requests,
    testing::Values(
        Request{"Help", {QStringLiteral("--help")}, 0, "--export-video <FILE>", false},
        Request{"Version", {QStringLiteral("--version")}, 0, "ferlow 0.1.0", false},
        Request{"UnknownOption", {QStringLiteral("--frames"), QStringLiteral("9")}, 2, "Usage: ferlow", false},
        Request{"NoDisplay", {kPicture, QStringLiteral("DIR/a.png")}, 1, "xvfb-run", false},
        Request{"ZeroSize", {kPicture, QStringLiteral("DIR/a.png"), kSize, QStringLiteral("0x0")}, 1, "nothing to show"},
        Request{"NoSize", {kPicture, QStringLiteral("DIR/a.png"), kSize, QStringLiteral("wide")}, 1, "not \u201cwide\u201d.\n"},
        Request{"Oversized", {kVideo, QStringLiteral("DIR/a.mp4"), kSize, QStringLiteral("7682x4320")}, 1, "at most 7680 x 4320"},
        Request{"NoFrames", {kVideo, QStringLiteral("DIR/a.mp4"), QStringLiteral("--fps"), QStringLiteral("0")}, 1, "1 to 240"},
        Request{"TooManyFrames", {kVideo, QStringLiteral("DIR/a.mp4"), QStringLiteral("--fps"), QStringLiteral("1000")}, 1, "1 to 240"},
        Request{"NoLength", {kVideo, QStringLiteral("DIR/a.mp4"), QStringLiteral("--seconds"), QStringLiteral("0")}, 1, "more than 0 seconds"},
        Request{"NegativeLength", {kVideo, QStringLiteral("DIR/a.mp4"), QStringLiteral("--seconds=-3")}, 1, "more than 0 seconds"},
        Request{"MissingFolder", {kVideo, QStringLiteral("DIR/gone/a.mp4")}, 1, "does not exist"},
        Request{"NoEncoder", {kVideo, QStringLiteral("DIR/a.avi")}, 1, ".mp4 (H.264) or .webm (VP9)"},
        Request{"NoPictureFormat", {kPicture, QStringLiteral("DIR/a.gif")}, 1, ".png or .jpg"},
        Request{"OddSize",
                {kVideo, QStringLiteral("DIR/a.mp4"), kSize, QStringLiteral("161x91"), QStringLiteral("--seconds"),
                 QStringLiteral("0.2")},
                0, "162 x 92"}),
    [](const testing::TestParamInfo<Request>& info) { return std::string(info.param.name); });

// A folder that takes no files and a disk that fills up half-way: the
// message says so and no part of the file is left. Root writes to any
// folder, so both are read-only and tiny file systems of the test's own.
struct Mounted {
    const char* name;
    const char* options;
    const char* file;
    const char* says;
};

class FileSystems : public testing::TestWithParam<Mounted> {};

TEST_P(FileSystems, RefuseTheFileAndKeepNothing)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a file system of the test's own needs root";
    QTemporaryDir folder;
    if (::mount("tmpfs", folder.path().toLocal8Bit().constData(), "tmpfs", 0, GetParam().options) != 0)
        GTEST_SKIP() << "no file system of the test's own here: " << std::strerror(errno);
    const QString file = QString::fromLatin1(GetParam().file);
    const Ended run = ferlow({file.endsWith(QLatin1String(".png")) ? kPicture : kVideo, folder.filePath(file), kSize,
                              QStringLiteral("1280x720"), QStringLiteral("--seconds"), QStringLiteral("3")});
    const QStringList left = filesIn(folder.path());
    ::umount(folder.path().toLocal8Bit().constData());
    EXPECT_EQ(run.exitCode, 1) << run.output.toStdString();
    EXPECT_TRUE(run.output.contains(QString::fromUtf8(GetParam().says))) << run.output.toStdString();
    EXPECT_EQ(left, QStringList());
}

INSTANTIATE_TEST_SUITE_P(Recording, FileSystems,
                         testing::Values(Mounted{"ReadOnly", "ro,size=1m", "a.mp4", "cannot be written to"},
                                         Mounted{"Full", "size=96k", "a.mp4", "no room left"},
                                         Mounted{"FullForAPicture", "size=96k", "a.png", "no room left"}),
                         [](const testing::TestParamInfo<Mounted>& info) { return std::string(info.param.name); });

// Ctrl+C in the terminal mid-way: the export ends at once and keeps nothing.
TEST(Recording, InterruptedExportLeavesNoFile)
{
    QTemporaryDir folder;
    QTemporaryDir home;
    QProcess process;
    process.setProcessEnvironment(desktop().clientEnvironment(home.path()));
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral(FERLOW_PROGRAM), {kVideo, folder.filePath(QStringLiteral("a.webm"))});
    QByteArray output;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (output += process.readAll()).contains("frame"); }, kWaitMilliseconds));
    ::kill(pid_t(process.processId()), SIGINT);
    ASSERT_TRUE(process.waitForFinished(kWaitMilliseconds));
    output += process.readAll();
    EXPECT_EQ(process.exitCode(), 1) << output.toStdString();
    EXPECT_TRUE(output.contains("Cancelled")) << output.toStdString();
    EXPECT_EQ(filesIn(folder.path()), QStringList());
}

// Ctrl+Shift+S in the window: a picture at the view's size, of what it shows.
TEST(Recording, SavedPictureFromTheWindowHasTheViewsSize)
{
    QTemporaryDir folder;
    FerlowRun run(desktop(), QMap<QString, QString>());
    const QString path = folder.filePath(QStringLiteral("still.jpg"));
    ASSERT_TRUE(askInTheWindow(run, XK_S, QStringLiteral("Save Picture"), path));
    QImage saved;
    EXPECT_TRUE(QTest::qWaitFor([&] { return saved.load(path); }, kWaitMilliseconds)) << run.log().toStdString();
    EXPECT_EQ(saved.size(), run.view().size());
    EXPECT_TRUE(showsTexturedTerrainUnderSky(saved)) << Screen::keep(saved, "-saved");
}

// From the window: Export Flight Video, Escape in its progress under way,
// and nothing is left while the flight on screen has gone on throughout.
TEST(Recording, CancelledExportLeavesNoFileAndTheFlightGoesOn)
{
    QTemporaryDir folder;
    FerlowRun run(desktop(), QMap<QString, QString>());
    ASSERT_TRUE(askInTheWindow(run, XK_E, QStringLiteral("Export Flight Video"),
                               folder.filePath(QStringLiteral("cancelled.mp4"))));
    // Mid-way: the video has begun to be written.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !filesIn(folder.path()).isEmpty(); }, kWaitMilliseconds))
        << run.log().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([] { return desktop().keyboardWindowTitle().startsWith(QLatin1String("Exporting")); },
                                kWaitMilliseconds))
        << desktop().keyboardWindowTitle().toStdString();
    desktop().key(XK_Escape);
    EXPECT_TRUE(QTest::qWaitFor([&] { return filesIn(folder.path()).isEmpty(); }, kWaitMilliseconds))
        << filesIn(folder.path()).join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(QTest::qWaitFor([] { return !desktop().windowTitles().join(QLatin1Char(' ')).contains(QLatin1String("Exporting")); },
                                kWaitMilliseconds));
    const QImage now = desktop().capture();
    EXPECT_TRUE(Screen::changesFrom(desktop(), now, run.view(), kWaitMilliseconds)) << Screen::keep(now, "-stood");
}
