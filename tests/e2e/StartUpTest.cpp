// The real ferlow program started as people start it, on what a hostile
// user or a poor machine hands it: a damaged settings file, a settings path
// that is no file, a driver without multisampling, a display that is not
// there, too little address space. Whatever it is handed, it shows the
// flight or ends at once with a message, and loses no setting.
#include "platform/system/SettingsStore.h"
#include "tests/e2e/Desktops.h"
#include "tests/e2e/FerlowRun.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <X11/keysym.h>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>

namespace {

// Stored before the start, so that the speed key's effect is known.
constexpr float kSpeed = 10.0f;
constexpr float kSpeedStep = 2.0f;
constexpr int kSaveMilliseconds = 15000;
constexpr int kQuitMilliseconds = 10000;
// A start that cannot go on ends well within this.
constexpr int kRefusalMilliseconds = 10000;
const char* const kHeadlessHint = "xvfb-run";
const char* const kQtAbort = "Reinstalling the application";

Desktop& desktop()
{
    return Desktops::get(Desktop::Kind::BareX);
}

int linesMentioning(const QString& log, const QString& text)
{
    int count = 0;
    for (const QString& line : log.split(QLatin1Char('\n')))
        count += line.contains(text);
    return count;
}

// The settings as the next run reads them: a copy at a path no store of
// this process has read.
class NextRun {
public:
    explicit NextRun(const QString& path)
    {
        const QString copy = mDir.filePath(QStringLiteral("ferlow.conf"));
        if (QFile::copy(path, copy))
            mStore = std::make_unique<SettingsStore>(copy);
    }
    const SettingsStore* operator->() const { return mStore.get(); }
    explicit operator bool() const { return mStore != nullptr; }

private:
    QTemporaryDir mDir;
    std::unique_ptr<SettingsStore> mStore;
};

bool speedBecomes(const QString& path, float value)
{
    return QTest::qWaitFor(
        [&] {
            const NextRun next(path);
            return next && next->floatForKey(QStringLiteral("Speed")) == value;
        },
        kSaveMilliseconds);
}

// Each case is one damaged line, first in its section so that every other
// setting follows it; or a whole file of another shape; or a path that is
// no file at all.
struct SettingsCase {
    const char* name;
    QByteArray firstLine;
    const char* missing; // the key of the damaged line, or none
    bool unreadable;     // whether the file has lines that cannot be read
};

void PrintTo(const SettingsCase& c, std::ostream* out)
{
    *out << c.name;
}

const QByteArray kGrid = "GridSize=16\n";
const QByteArray kFollowing = "Speed=10\n"
                              "FogColour=0.25, 0.5, 0.75, 1\n"
                              "; a comment of the user's\n"
                              "Unknown=kept\n";

QByteArray fileFor(const SettingsCase& c)
{
    const bool ownGrid = c.firstLine.startsWith("GridSize");
    const QByteArray text = "[General]\n" + c.firstLine + (ownGrid ? QByteArray() : kGrid) + kFollowing;
    if (QByteArray(c.name) == "Crlf")
        return QByteArray(text).replace("\n", "\r\n");
    if (QByteArray(c.name) == "ByteOrderMark")
        return "\xEF\xBB\xBF" + text;
    return text;
}

class DamagedSettings : public testing::TestWithParam<SettingsCase> {};

TEST_P(DamagedSettings, CostNoOtherSettingAndTheOriginalIsKept)
{
    const SettingsCase& c = GetParam();
    const QByteArray original = fileFor(c);
    FerlowRun ferlow(desktop(), [&](const QString& path) { writeBytes(path, original); });
    ferlow.waitUntilFlying();
    ASSERT_FALSE(testing::Test::HasFatalFailure());
    desktop().key(XK_Up);
    const bool saved = speedBecomes(ferlow.settingsPath(), kSpeed + kSpeedStep);
    ferlow.terminate();
    EXPECT_TRUE(ferlow.exitsWithin(kQuitMilliseconds));
    const QString log = ferlow.log();
    ASSERT_TRUE(saved) << "the speed key's value never reached the file\n" << log.toStdString();

    const NextRun next(ferlow.settingsPath());
    ASSERT_TRUE(next);
    const QString grid = QStringLiteral("GridSize");
    const qint64 storedGrid = c.firstLine.startsWith("GridSize") ? qint64(1) << 32 : 16;
    EXPECT_EQ(next->integerForKey(grid), storedGrid);
    EXPECT_EQ(next->objectForKey(QStringLiteral("FogColour")), (QVariantList{0.25, 0.5, 0.75, 1.0}));
    EXPECT_EQ(next->stringArrayForKey(QStringLiteral("Unknown")), QStringList{QStringLiteral("kept")});
    EXPECT_TRUE(readBytes(ferlow.settingsPath()).contains("; a comment of the user's\n"));
    if (c.missing) {
        EXPECT_EQ(next->objectForKey(QString::fromLatin1(c.missing)), QVariant()) << c.missing;
    }
    const QString copy = ferlow.settingsPath() + QStringLiteral(".damaged");
    if (c.unreadable) {
        EXPECT_EQ(readBytes(copy), original);
        EXPECT_EQ(linesMentioning(log, copy), 1) << log.toStdString();
    } else {
        EXPECT_FALSE(QFile::exists(copy));
        EXPECT_EQ(linesMentioning(log, QStringLiteral(".damaged")), 0) << log.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    StartUp, DamagedSettings,
    testing::Values(SettingsCase{"UnclosedQuote", "FogDensity=\"2\n", "FogDensity", true},
                    SettingsCase{"TrailingBackslash", "CameraHeight=3\\\n", "CameraHeight", true},
                    SettingsCase{"NoEquals", "CameraHeight 3\n", "CameraHeight", true},
                    SettingsCase{"BinaryBytes", QByteArray("FogDensity=\x01\xff\xfe\x00\x80\n", 17), "FogDensity", true},
                    SettingsCase{"Crlf", "CameraHeight=3\n", nullptr, false},
                    SettingsCase{"ByteOrderMark", "CameraHeight=3\n", nullptr, false},
                    SettingsCase{"SixtyFourBitInteger", "GridSize=4294967296\n", nullptr, false}),
    [](const testing::TestParamInfo<SettingsCase>& info) { return std::string(info.param.name); });

// Hand-edited values, the flight stopped at its start so that the picture
// is known: what cannot be read as its type flies as missing (the
// default), what lies beyond the panel's slider as the slider's end, with
// one line in the log each; the file keeps its bytes either way.
struct HandEditedCase {
    const char* name;
    QByteArray edited;
    QByteArray flownAs;
};

class HandEditedSettings : public testing::TestWithParam<HandEditedCase> {};

TEST_P(HandEditedSettings, FlyAsMissingOrAtTheSlidersEnd)
{
    QString log;
    const auto picture = [&](const QByteArray& settings) {
        const QByteArray file = "[General]\nSpeed=0\n" + settings;
        FerlowRun ferlow(desktop(), [&](const QString& path) { writeBytes(path, file); });
        ferlow.waitUntilShown();
        const QImage shown = Screen::settled(desktop());
        ferlow.terminate();
        EXPECT_TRUE(ferlow.exitsWithin(kQuitMilliseconds));
        EXPECT_EQ(readBytes(ferlow.settingsPath()), file);
        log += ferlow.log();
        return shown;
    };
    const QImage edited = picture(GetParam().edited);
    EXPECT_TRUE(edited == picture(GetParam().flownAs)) << Screen::keep(edited);
    const QList<QByteArray> lines = GetParam().edited.split('\n');
    const bool outOfRange = GetParam().flownAs.size() > 0;
    EXPECT_EQ(linesMentioning(log, QStringLiteral("in the settings lies outside")), outOfRange ? lines.size() - 1 : 0)
        << log.toStdString();
    for (const QByteArray& line : lines)
        EXPECT_TRUE(!outOfRange || line.isEmpty() || linesMentioning(log, QString::fromLatin1(line)) == 1) << line.data();
}

INSTANTIATE_TEST_SUITE_P(
    StartUp, HandEditedSettings,
    testing::Values(
        HandEditedCase{"Unreadable",
                       "FerlowHeight=high\nCameraHeight=\nLookAhead=far\nFogDensity=thick\nGridSize=fine\nFogColour=red\n",
                       ""},
        HandEditedCase{"BelowTheSliders",
                       "FerlowHeight=-14\nLookAhead=-3\nFogDensity=-1\nGridSize=1\nFogColour=-1, 0.5, -2, 1\n",
                       "FerlowHeight=0\nLookAhead=0\nFogDensity=0\nGridSize=2\nFogColour=0, 0.5, 0, 1\n"},
        HandEditedCase{"AboveTheSliders",
                       "FerlowHeight=1e6\nCameraHeight=900\nLookAhead=1e6\nFogColour=2, 0.5, 0.5, 1\n",
                       "FerlowHeight=40\nCameraHeight=30\nLookAhead=40\nFogColour=1, 0.5, 0.5, 1\n"},
        HandEditedCase{"UnderGroundInFog", "CameraHeight=-50\nFogDensity=1e6\n", "CameraHeight=-10\nFogDensity=25\n"}),
    [](const testing::TestParamInfo<HandEditedCase>& info) { return std::string(info.param.name); });

// A FIFO would block the first read until some writer came; a directory
// cannot be saved over. Neither is opened: the flight starts from the
// defaults, the log says so once, and the path stays what it was.
class SettingsPathNoFile : public testing::TestWithParam<bool> {};

TEST_P(SettingsPathNoFile, StartsFromTheDefaultsAndIsLeftAsItWas)
{
    const bool fifo = GetParam();
    FerlowRun ferlow(desktop(), [&](const QString& path) {
        ASSERT_TRUE(fifo ? mkfifo(QFile::encodeName(path).constData(), 0600) == 0 : QDir().mkdir(path));
    });
    ferlow.waitUntilFlying();
    desktop().key(XK_Up);
    ferlow.terminate();
    EXPECT_TRUE(ferlow.exitsWithin(kQuitMilliseconds));
    const QString log = ferlow.log();
    EXPECT_EQ(linesMentioning(log, ferlow.settingsPath()), 1) << log.toStdString();
    const QFileInfo path(ferlow.settingsPath());
    EXPECT_TRUE(fifo ? path.exists() && !path.isFile() && !path.isDir() : path.isDir());
    EXPECT_TRUE(QDir(path.absolutePath()).entryList(QDir::Files).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(StartUp, SettingsPathNoFile, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "Fifo" : "Directory");
                         });

// Mesa's softpipe offers no multisampled format: the view draws without
// antialiasing rather than not at all, and says so once.
TEST(StartUp, DriverWithoutMultisamplingStillShowsTheFlight)
{
    QProcessEnvironment softpipe;
    softpipe.insert(QStringLiteral("GALLIUM_DRIVER"), QStringLiteral("softpipe"));
    // Antialiasing asked for: a software renderer goes without by default.
    FerlowRun ferlow(
        desktop(), [](const QString& path) { writeBytes(path, "[General]\nGridSize=16\nAntialiasing=true\n"); },
        softpipe);
    ferlow.waitUntilFlying();
    ferlow.terminate();
    EXPECT_TRUE(ferlow.exitsWithin(kQuitMilliseconds));
    const QString log = ferlow.log();
    EXPECT_EQ(linesMentioning(log, QStringLiteral("multisampled")), 1) << log.toStdString();
}

// A start that cannot go on: how it ended, and what it said.
struct Refusal {
    bool ended = false;
    QProcess::ExitStatus status = QProcess::NormalExit;
    int exitCode = 0;
    std::string output;
};

Refusal runRefused(const QProcessEnvironment& environment, const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    Refusal refusal;
    refusal.ended = process.waitForFinished(kRefusalMilliseconds);
    if (!refusal.ended) {
        process.kill();
        process.waitForFinished();
    }
    refusal.status = process.exitStatus();
    refusal.exitCode = process.exitCode();
    refusal.output = process.readAll().toStdString();
    return refusal;
}

// A display number no server has taken on this machine.
QString unusedDisplay()
{
    for (int number = 900;; ++number) {
        const QString n = QString::number(number);
        if (!QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X") + n)
            && !QFileInfo::exists(QStringLiteral("/tmp/.X") + n + QStringLiteral("-lock")))
            return QStringLiteral(":") + n;
    }
}

// An X server that admits only clients with its cookie.
class GuardedServer {
public:
    QString name() const { return mServer.name(); }

private:
    QString authority() const
    {
        const QString authority = mDir.filePath(QStringLiteral("authority"));
        QProcess::execute(QStringLiteral("xauth"), {QStringLiteral("-q"), QStringLiteral("-f"), authority,
                                                    QStringLiteral("add"), QStringLiteral(":0"), QStringLiteral("."),
                                                    QStringLiteral("5eb1a7e3c0ffee0ddba11ad5eed0f00d")});
        return authority;
    }

    QTemporaryDir mDir;
    XServer mServer{XServer::Kind::Xvfb, {QStringLiteral("-auth"), authority()}};
};

struct DisplayCase {
    const char* name;
    std::function<void(QProcessEnvironment&)> set;
    QString named; // what the message names
};

void PrintTo(const DisplayCase& c, std::ostream* out)
{
    *out << c.name;
}

QProcessEnvironment withoutDisplays()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "WAYLAND_SOCKET", "QT_QPA_PLATFORM", "XDG_SESSION_TYPE"})
        environment.remove(QString::fromLatin1(name));
    return environment;
}

class DeadDisplay : public testing::TestWithParam<DisplayCase> {
public:
    // One server that refuses ferlow, made on first use, gone with the
    // suite, before the application object.
    static QString guardedServer()
    {
        if (!sGuarded)
            sGuarded = std::make_unique<GuardedServer>();
        return sGuarded->name();
    }
    static void TearDownTestSuite() { sGuarded.reset(); }

private:
    static inline std::unique_ptr<GuardedServer> sGuarded;
};

// No server, a malformed name, a refused connection, no compositor: one
// message that names the display and says how to run without one, status 1.
TEST_P(DeadDisplay, EndsWithAMessageAndStatusOne)
{
    const DisplayCase& c = GetParam();
    QTemporaryDir home;
    QProcessEnvironment environment = withoutDisplays();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path());
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path());
    c.set(environment);
    const Refusal refusal = runRefused(environment, QStringLiteral(FERLOW_PROGRAM), {});
    ASSERT_TRUE(refusal.ended) << "still running after " << kRefusalMilliseconds << " ms";
    EXPECT_EQ(refusal.status, QProcess::NormalExit) << refusal.output;
    EXPECT_EQ(refusal.exitCode, 1) << refusal.output;
    EXPECT_NE(refusal.output.find(c.named.toStdString()), std::string::npos) << refusal.output;
    EXPECT_NE(refusal.output.find(kHeadlessHint), std::string::npos) << refusal.output;
    EXPECT_EQ(refusal.output.find(kQtAbort), std::string::npos) << refusal.output;
}

const QString kUnusedDisplay = unusedDisplay();
const QString kWaylandSocket = QStringLiteral("wayland-ferlow-none");

INSTANTIATE_TEST_SUITE_P(
    StartUp, DeadDisplay,
    testing::Values(
        DisplayCase{"NoServer",
                    [](QProcessEnvironment& e) { e.insert(QStringLiteral("DISPLAY"), kUnusedDisplay); },
                    kUnusedDisplay},
        DisplayCase{"MalformedName",
                    [](QProcessEnvironment& e) { e.insert(QStringLiteral("DISPLAY"), QStringLiteral("no display")); },
                    QStringLiteral("no display")},
        DisplayCase{"Empty", [](QProcessEnvironment& e) { e.insert(QStringLiteral("DISPLAY"), QString()); },
                    QStringLiteral("DISPLAY")},
        DisplayCase{"RefusedConnection",
                    [](QProcessEnvironment& e) {
                        e.insert(QStringLiteral("DISPLAY"), DeadDisplay::guardedServer());
                        e.insert(QStringLiteral("XAUTHORITY"), QStringLiteral("/dev/null"));
                    },
                    QStringLiteral("DISPLAY \":")},
        DisplayCase{"WaylandWithoutCompositor",
                    [](QProcessEnvironment& e) { e.insert(QStringLiteral("WAYLAND_DISPLAY"), kWaylandSocket); },
                    kWaylandSocket}),
    [](const testing::TestParamInfo<DisplayCase>& info) { return std::string(info.param.name); });

// Under a small address-space limit start-up ends with a message and a
// status other than 0, never hangs (Qt waited for ever on a thread it could
// not start) and never crashes (the GL driver does not check its
// allocations).
TEST(StartUp, SmallAddressSpaceEndsWithAMessage)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer's shadow memory cannot start under an address-space limit";
#endif
    QTemporaryDir home;
    QProcessEnvironment environment = desktop().clientEnvironment(home.path());
    const Refusal refusal =
        runRefused(environment, QStringLiteral("bash"),
                   {QStringLiteral("-c"), QStringLiteral("ulimit -v 400000 && exec \"$0\""), QStringLiteral(FERLOW_PROGRAM)});
    ASSERT_TRUE(refusal.ended) << "still running after " << kRefusalMilliseconds << " ms\n" << refusal.output;
    EXPECT_EQ(refusal.status, QProcess::NormalExit) << refusal.output;
    EXPECT_NE(refusal.exitCode, 0) << refusal.output;
    EXPECT_NE(refusal.output.find("address space"), std::string::npos) << refusal.output;
}

} // namespace
