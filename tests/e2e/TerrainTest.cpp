// Flying a height image of one's own, through the real ferlow program and
// only as a user reaches it: the command line, the File menu (its dialog,
// Open Recent, Built-in Terrain), a file dragged from another program's
// window, the next start. The effects are read where
// a user sees them: the window's title, the settings file, the program's
// output. A file that cannot be flown costs nothing: the flight goes on and
// the settings file keeps its bytes.
#include "tests/e2e/Desktops.h"
#include "tests/e2e/FerlowRun.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFile>
#include <QImage>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <X11/keysym.h>
#include <cstdio>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>

namespace {

constexpr int kWaitMilliseconds = 20000;
const QString kTitle = QStringLiteral("Ferlow");
const QString kKey = QStringLiteral("TerrainImage");

Desktop& desktop()
{
    return Desktops::get(Desktop::Kind::BareX);
}

// A 16-bit grey image of ridges, small enough to open in a moment.
QString writeTerrain(const QTemporaryDir& folder, const QString& name)
{
    QImage image(256, 192, QImage::Format_Grayscale16);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            reinterpret_cast<std::uint16_t*>(image.scanLine(y))[x] = std::uint16_t((x * 977 + y * 331) % 65536);
    const QString path = folder.filePath(name);
    EXPECT_TRUE(image.save(path));
    return path;
}

QString stored(const FerlowRun& run, const QString& key)
{
    return QSettings(run.settingsPath(), QSettings::IniFormat).value(key).toString();
}

bool storedBecomes(const FerlowRun& run, const QString& key, const QString& value)
{
    return QTest::qWaitFor([&] { return stored(run, key) == value; }, kWaitMilliseconds);
}

// An SRTM tile of 1201 samples a side, rising from 236 m in the west to
// 1076 m in the east.
QString writeSrtmTile(const QTemporaryDir& folder)
{
    constexpr int kSide = 1201;
    QByteArray bytes(2 * kSide * kSide, Qt::Uninitialized);
    for (int i = 0; i < kSide * kSide; ++i) {
        const int metres = 236 + 840 * (i % kSide) / (kSide - 1);
        bytes[2 * i] = char(metres >> 8);
        bytes[2 * i + 1] = char(metres & 0xff);
    }
    const QString path = folder.filePath(QStringLiteral("N33W098.hgt"));
    writeBytes(path, bytes);
    return path;
}

// Waits for a window of that title; the titles there are otherwise.
testing::AssertionResult windowTitled(const QString& title)
{
    if (QTest::qWaitFor([&] { return desktop().windowTitles().contains(title); }, kWaitMilliseconds))
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "no window titled \"" << title.toStdString() << "\"; there are \""
                                       << desktop().windowTitles().join(QStringLiteral("\", \"")).toStdString() << "\"";
}

bool noWindowTitled(const QString& title)
{
    return QTest::qWaitFor([&] { return !desktop().windowTitles().contains(title); }, kWaitMilliseconds);
}

// Waits for a window of that title to show and have the keyboard.
testing::AssertionResult keyboardWith(const QString& title)
{
    if (QTest::qWaitFor([&] { return desktop().keyboardWindowTitle() == title; }, kWaitMilliseconds))
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "the keyboard is with \"" << desktop().keyboardWindowTitle().toStdString()
                                       << "\", not \"" << title.toStdString() << "\"";
}

std::unique_ptr<FerlowRun> startWith(const QStringList& arguments, const QMap<QString, QString>& settings = {})
{
    auto run = std::make_unique<FerlowRun>(desktop(), settings, QStringLiteral(FERLOW_PROGRAM), arguments);
    run->waitUntilFlying();
    return run;
}

// Opens the file through File ▸ Open Terrain…, typing its path.
void openWithDialog(const QString& path)
{
    desktop().key(XK_o, {XK_Control_L});
    ASSERT_TRUE(keyboardWith(QStringLiteral("Open Terrain")));
    desktop().type(path);
    desktop().key(XK_Return);
    ASSERT_TRUE(noWindowTitled(QStringLiteral("Open Terrain"))) << Screen::keep(desktop().capture(), "-dialog");
}

// Another program's window at the screen's bottom right corner, as a file
// manager's, showing one file to drag.
class FileSource {
public:
    explicit FileSource(const QString& file)
    {
        const QSize screen = desktop().screenSize();
        mWindow = QRect(screen.width() - 2 * kSide, screen.height() - 2 * kSide, kSide, kSide);
        mProcess.setProcessEnvironment(desktop().clientEnvironment(mHome.path()));
        mProcess.start(QStringLiteral(FERLOW_FILE_SOURCE),
                       {file, QString::number(mWindow.x()), QString::number(mWindow.y()), QString::number(kSide)});
    }

    ~FileSource()
    {
        mProcess.kill();
        mProcess.waitForFinished();
    }

    QPoint centre() const { return mWindow.center(); }

    // Waits for the program to say this line.
    bool says(const QByteArray& line)
    {
        return QTest::qWaitFor(
            [&] {
                mOutput += mProcess.readAllStandardOutput();
                return mOutput.split('\n').contains(line);
            },
            kWaitMilliseconds);
    }

    QByteArray output() const { return mOutput; }

private:
    static constexpr int kSide = 96;
    QTemporaryDir mHome;
    QProcess mProcess;
    QRect mWindow;
    QByteArray mOutput;
};

// Beyond Qt's distance that starts a drag (10), within the source's window.
constexpr int kDragStartDistance = 30;

// Drags the source's file onto the flight and lets go once the window has
// answered that it takes it, as a user sees the pointer change first. The
// source has to stay until the drop's effect shows: Ferlow asks it for the
// file's name after the button went up.
testing::AssertionResult dropOnto(const FerlowRun& run, FileSource& source)
{
    if (!source.says("shown"))
        return testing::AssertionFailure() << "the window to drag from never showed: " << source.output().toStdString();
    // The drag begins within the source, as a hand's does, and only then
    // heads for the window: a busy source would otherwise begin it with
    // the pointer over the window already, where nothing moves it again.
    const QPoint begun = source.centre() + QPoint(kDragStartDistance, 0);
    desktop().pressAndMove(source.centre(), begun);
    if (!source.says("dragging"))
        return testing::AssertionFailure() << "the drag never began: " << source.output().toStdString();
    desktop().moveInSteps(begun, run.viewCentre());
    const bool accepted = source.says("accepted");
    desktop().release();
    if (!accepted)
        return testing::AssertionFailure() << "the window did not take the file: " << source.output().toStdString();
    if (!source.says("dropped copy"))
        return testing::AssertionFailure() << "the drop was not taken: " << source.output().toStdString();
    return testing::AssertionSuccess();
}

// The message box a file that cannot be flown brings, closed with Return:
// then the terrain of that title flies on and the settings file keeps its
// bytes.
void closeTheRefusal(const FerlowRun& run, const QString& title, const QByteArray& settingsBefore)
{
    ASSERT_TRUE(keyboardWith(QStringLiteral("Could Not Open Terrain")));
    desktop().key(XK_Return);
    EXPECT_TRUE(noWindowTitled(QStringLiteral("Could Not Open Terrain")));
    EXPECT_TRUE(windowTitled(title));
    EXPECT_EQ(readBytes(run.settingsPath()), settingsBefore);
}

// The name is no UTF-8, Latin-1 "café.png", valid on Linux: it reaches the
// program through a shell, as QProcess would lose its byte.
TEST(Terrain, TheCommandLineFliesNamesAndRemembersTheFileForTheNextStart)
{
    QTemporaryDir folder;
    const QByteArray latin1 = QFile::encodeName(folder.path()) + "/caf\xe9.png";
    ASSERT_EQ(::rename(QFile::encodeName(writeTerrain(folder, QStringLiteral("ridges.png"))), latin1), 0);
    const QString title = QStringLiteral("Ferlow — caf\uFFFD.png");
    const QString url = QStringLiteral("file://") + QString::fromLatin1(latin1.toPercentEncoding("/"));
    {
        FerlowRun run(desktop(), [](const QString&) {}, {}, QStringLiteral("/bin/sh"),
                      {QStringLiteral("-c"), QStringLiteral("exec \"$0\" \"$1/caf$(printf '\\351').png\""),
                       QStringLiteral(FERLOW_PROGRAM), folder.path()});
        run.waitUntilFlying();
        ASSERT_FALSE(testing::Test::HasFatalFailure());
        EXPECT_TRUE(windowTitled(title));
        EXPECT_TRUE(storedBecomes(run, kKey, url));
    }
    {
        const auto restarted = startWith({}, {{kKey, url}});
        ASSERT_FALSE(testing::Test::HasFatalFailure());
        EXPECT_TRUE(windowTitled(title));
    }
    // Elevation data, named as a file manager hands it over: the title says
    // what ground it covers and how high.
    const auto tile = startWith({QUrl::fromLocalFile(writeSrtmTile(folder)).toString()});
    ASSERT_FALSE(testing::Test::HasFatalFailure());
    EXPECT_TRUE(windowTitled(QStringLiteral("Ferlow — N33W098.hgt (93 × 111 km, 236–1076 m)")));
}

// Gone by the next start: the built-in terrain flies, one line says why, and
// the choice stays stored for when the file is back.
TEST(Terrain, ARememberedFileThatIsGoneGivesTheBuiltInTerrainAndOneLine)
{
    QTemporaryDir folder;
    const QString gone = folder.filePath(QStringLiteral("gone.png"));
    const auto run = startWith({}, {{kKey, gone}});
    ASSERT_FALSE(testing::Test::HasFatalFailure());
    EXPECT_TRUE(windowTitled(kTitle));
    EXPECT_TRUE(QTest::qWaitFor([&] { return run->log().contains(QStringLiteral("could not be opened")); },
                                kWaitMilliseconds));
    const QString log = run->log();
    EXPECT_EQ(log.count(QStringLiteral("could not be opened")), 1) << log.toStdString();
    EXPECT_EQ(stored(*run, kKey), gone);
}

struct BadFile {
    const char* name;
    // Makes the file (or whatever stands at its path) in the folder.
    std::function<QString(const QTemporaryDir&)> make;
    const char* reason;
};

void PrintTo(const BadFile& file, std::ostream* out)
{
    *out << file.name;
}

QByteArray truncatedPng()
{
    QByteArray bytes;
    QImage image(64, 64, QImage::Format_Grayscale8);
    image.fill(7);
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes.left(bytes.size() / 2);
}

const BadFile kBadFiles[] = {
    {"Missing", [](const QTemporaryDir& d) { return d.filePath(QStringLiteral("missing.png")); },
     "No such file or directory"},
    {"Folder",
     [](const QTemporaryDir& d) {
         const QString path = d.filePath(QStringLiteral("folder.png"));
         QDir().mkpath(path);
         return path;
     },
     "it is a folder"},
    {"Fifo",
     [](const QTemporaryDir& d) {
         const QString path = d.filePath(QStringLiteral("fifo.png"));
         mkfifo(QFile::encodeName(path).constData(), 0600);
         return path;
     },
     "it is not a regular file"},
    {"Empty",
     [](const QTemporaryDir& d) {
         const QString path = d.filePath(QStringLiteral("empty.png"));
         writeBytes(path, {});
         return path;
     },
     "the file is empty"},
    {"NoImage",
     [](const QTemporaryDir& d) {
         const QString path = d.filePath(QStringLiteral("notes.png"));
         writeBytes(path, "these are notes, not heights");
         return path;
     },
     "it is not an image Ferlow can read"},
    {"Truncated",
     [](const QTemporaryDir& d) {
         const QString path = d.filePath(QStringLiteral("half.png"));
         writeBytes(path, truncatedPng());
         return path;
     },
     "the image is damaged or incomplete"},
    {"TooLarge",
     [](const QTemporaryDir& d) {
         // A grey PGM whose header announces more pixels than are read.
         const QString path = d.filePath(QStringLiteral("huge.pgm"));
         writeBytes(path, QByteArray("P5\n20000 20000\n65535\n") + QByteArray(64, '\x7f'));
         return path;
     },
     "the image is 20000 × 20000 pixels; Ferlow reads images of up to 67108864 pixels, 16384 on a side"},
    {"CutShortSrtmTile",
     [](const QTemporaryDir& d) {
         const QString path = d.filePath(QStringLiteral("N00E000.hgt"));
         writeBytes(path, QByteArray(1000, '\x01'));
         return path;
     },
     "the SRTM height file is damaged or incomplete (1000 bytes)"},
    {"RawNotSquare",
     [](const QTemporaryDir& d) {
         const QString path = d.filePath(QStringLiteral("odd.raw"));
         writeBytes(path, QByteArray(1000, '\x01'));
         return path;
     },
     "a raw height file must be square: 1000 bytes is not"},
    {"NoValidHeight",
     [](const QTemporaryDir& d) {
         const QString path = d.filePath(QStringLiteral("void.asc"));
         writeBytes(path, "ncols 2\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value -9999\n"
                          "-9999 -9999\n-9999 -9999\n");
         return path;
     },
     "it holds no valid height"},
};

class BadFiles : public testing::TestWithParam<BadFile> {};

// From the command line: one line on standard error, the built-in terrain,
// and the settings file, with another terrain remembered in it, keeps its
// bytes.
TEST_P(BadFiles, FromTheCommandLineGiveOneLineAndTheBuiltInTerrain)
{
    QTemporaryDir folder;
    const QString remembered = writeTerrain(folder, QStringLiteral("remembered.png"));
    const QString bad = GetParam().make(folder);
    const auto run = startWith({bad}, {{kKey, remembered}});
    ASSERT_FALSE(testing::Test::HasFatalFailure());
    const QByteArray settingsBefore = readBytes(run->settingsPath());
    EXPECT_TRUE(windowTitled(kTitle));
    const QString line = QStringLiteral("“%1” could not be opened: %2.")
                             .arg(QFileInfo(bad).fileName(), QString::fromUtf8(GetParam().reason));
    // The file opens beside the flight, which shows first.
    EXPECT_TRUE(QTest::qWaitFor([&] { return run->log().contains(line); }, kWaitMilliseconds));
    const QString log = run->log();
    // Ours alone: no decoder's own complaint beside it.
    EXPECT_EQ(log.trimmed(), QStringLiteral("ferlow: %1 Flying the built-in terrain.").arg(line)) << log.toStdString();
    EXPECT_EQ(readBytes(run->settingsPath()), settingsBefore);
    EXPECT_EQ(stored(*run, kKey), remembered);
}

INSTANTIATE_TEST_SUITE_P(Terrain, BadFiles, testing::ValuesIn(kBadFiles),
                         [](const auto& info) { return std::string(info.param.name); });

// The File menu's ways in, one after the other as a user would take them.
TEST(Terrain, TheMenuOpensThroughTheDialogFromRecentAndGoesBackToTheBuiltIn)
{
    QTemporaryDir folder;
    const QString first = writeTerrain(folder, QStringLiteral("first.png"));
    const QString second = writeTerrain(folder, QStringLiteral("second.png"));
    const QString notes = kBadFiles[4].make(folder);
    const auto run = startWith({});
    ASSERT_FALSE(testing::Test::HasFatalFailure());
    ASSERT_TRUE(windowTitled(kTitle));

    openWithDialog(first);
    EXPECT_TRUE(windowTitled(QStringLiteral("Ferlow — first.png")));
    EXPECT_TRUE(storedBecomes(*run, kKey, first));
    openWithDialog(second);
    EXPECT_TRUE(windowTitled(QStringLiteral("Ferlow — second.png")));
    EXPECT_TRUE(storedBecomes(*run, kKey, second));

    // File ▸ Built-in Terrain
    desktop().key(XK_i, {XK_Alt_L});
    desktop().key(XK_b);
    EXPECT_TRUE(windowTitled(kTitle));
    EXPECT_TRUE(storedBecomes(*run, kKey, QString()));

    // File ▸ Open Recent ▸ the second item: the first file, the newest but one.
    desktop().key(XK_i, {XK_Alt_L});
    desktop().key(XK_r);
    desktop().key(XK_Down);
    desktop().key(XK_Return);
    EXPECT_TRUE(windowTitled(QStringLiteral("Ferlow — first.png")));
    EXPECT_TRUE(storedBecomes(*run, kKey, first));

    // A bad file from the dialog: a message box, and nothing else changes.
    const QByteArray settingsBefore = readBytes(run->settingsPath());
    openWithDialog(notes);
    closeTheRefusal(*run, QStringLiteral("Ferlow — first.png"), settingsBefore);
}

// A drop flies the file and remembers it; a file that cannot be flown gives
// a message box, and the flight and the settings file stay as they were.
TEST(Terrain, AFileDroppedOnTheWindowFliesAndABadOneCostsNothing)
{
    QTemporaryDir folder;
    const QString dropped = writeTerrain(folder, QStringLiteral("dropped.png"));
    const QString notes = kBadFiles[4].make(folder);
    const auto run = startWith({});
    ASSERT_FALSE(testing::Test::HasFatalFailure());
    ASSERT_TRUE(windowTitled(kTitle));

    {
        FileSource source(dropped);
        ASSERT_TRUE(dropOnto(*run, source)) << Screen::keep(desktop().capture(), "-drop");
        EXPECT_TRUE(windowTitled(QStringLiteral("Ferlow — dropped.png")));
        EXPECT_TRUE(storedBecomes(*run, kKey, dropped));
    }
    const QByteArray settingsBefore = readBytes(run->settingsPath());
    FileSource source(notes);
    ASSERT_TRUE(dropOnto(*run, source)) << Screen::keep(desktop().capture(), "-bad-drop");
    closeTheRefusal(*run, QStringLiteral("Ferlow — dropped.png"), settingsBefore);
}

QString writeFlat(const QTemporaryDir& folder, const QString& name, int grey)
{
    QImage flat(8, 8, QImage::Format_Grayscale8);
    flat.fill(grey);
    EXPECT_TRUE(flat.save(folder.filePath(name)));
    return folder.filePath(name);
}

// Sky along the view's top, ground along its bottom, as an eye above the
// ground sees them; one inside the terrain sees its underside above.
void expectSkyAboveGround(const FerlowRun& run, const char* when)
{
    const auto sky = [](QRgb pixel) { return qBlue(pixel) > qGreen(pixel) && qGreen(pixel) > qRed(pixel); };
    const auto skyOrBlack = [&](QRgb pixel) { return sky(pixel) || (pixel & 0xffffffu) == 0; };
    const QRect view = run.view();
    const QImage screen = Screen::settled(desktop());
    EXPECT_GT(Screen::share(screen, view.adjusted(0, 0, 0, -view.height() * 9 / 10), sky), 0.9) << Screen::keep(screen, when);
    EXPECT_LT(Screen::share(screen, view.adjusted(0, view.height() * 3 / 4, 0, 0), skyOrBlack), 0.1) << when;
}

// The camera rides above an opened terrain however high it lies: a plateau
// at the top of the height scale opened while the flight stands, then
// stepped into with the arrows past the look-at point 14 ahead.
TEST(Terrain, TheCameraRidesAboveAnOpenedTerrainHoweverHighItLies)
{
    QTemporaryDir folder;
    const auto run = startWith({});
    ASSERT_FALSE(testing::Test::HasFatalFailure());
    desktop().key(XK_space);
    openWithDialog(writeFlat(folder, QStringLiteral("plateau.png"), 255));
    ASSERT_TRUE(windowTitled(QStringLiteral("Ferlow — plateau.png")));
    expectSkyAboveGround(*run, "-opened");
    for (int step = 0; step < 200; ++step)
        desktop().key(XK_Up);
    expectSkyAboveGround(*run, "-stepped");
}

// Ground at the bottom of the highest height scale, the eye as far below it
// as the preferences allow, below the sky's rim, flying at the fastest
// speed the slider allows: a stretch of the path shows no clear colour.
TEST(Terrain, NothingBlackShowsBeyondTheEdgeOfALowTerrain)
{
    constexpr int kFlownMilliseconds = 10000;
    QTemporaryDir folder;
    const auto run = startWith({writeFlat(folder, QStringLiteral("low.png"), 0)},
                               {{QStringLiteral("FerlowHeight"), QStringLiteral("40")},
                                {QStringLiteral("CameraHeight"), QStringLiteral("-10")},
                                {QStringLiteral("Speed"), QStringLiteral("50")}});
    ASSERT_TRUE(windowTitled(QStringLiteral("Ferlow — low.png")));
    QElapsedTimer flown;
    int frames = 0;
    for (flown.start(); flown.elapsed() < kFlownMilliseconds; ++frames) {
        const QImage screen = desktop().capture();
        ASSERT_EQ(Screen::blackShare(screen, run->view()), 0.0) << frames << Screen::keep(screen, "-edge");
    }
    EXPECT_GT(frames, 10);
}

} // namespace
