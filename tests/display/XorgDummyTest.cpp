// Mode listing, switching and restoring against a private Xorg server with
// the dummy video driver (xorg-dummy.conf), which ferlow-run-on-desktop
// starts around this program. The display guardian is tested through
// display_test_child, a stand-in for Ferlow that switches the mode and then
// releases, exits on a signal or gets killed.

// Qt's and GoogleTest's headers first: Xlib's macros (Bool, Status, None)
// break them.
#include <QCoreApplication>
#include <QProcess>
#include <gtest/gtest.h>

#include "platform/display/XRandRDisplayServices.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr auto kGuardianTimeout = 10s;
constexpr int kChildTimeoutMs = 10000;
constexpr double kRefreshTolerance = 0.005;

// The modes xorg-dummy.conf lists: size and refresh rate from its timings.
struct ConfiguredMode {
    qint64 width;
    qint64 height;
    double refreshRate;
};
const ConfiguredMode k1024x768at60{1024, 768, 65.00e6 / (1344.0 * 806.0)};
const ConfiguredMode k1024x768at75{1024, 768, 78.75e6 / (1312.0 * 800.0)};
const ConfiguredMode k800x600{800, 600, 40.00e6 / (1056.0 * 628.0)};
const ConfiguredMode k1280x720{1280, 720, 74.25e6 / (1650.0 * 750.0)};
const ConfiguredMode k1920x1080{1920, 1080, 148.50e6 / (2200.0 * 1125.0)};

bool matches(const DisplayModeDictionary& mode, const ConfiguredMode& configured)
{
    return mode.value(DisplayModeKey::Width).toLongLong() == configured.width
           && mode.value(DisplayModeKey::Height).toLongLong() == configured.height
           && std::abs(mode.value(DisplayModeKey::RefreshRate).toDouble() - configured.refreshRate) < kRefreshTolerance;
}

RRMode modeID(const DisplayModeDictionary& mode)
{
    return static_cast<RRMode>(mode.value(DisplayModeKey::ModeID).toULongLong());
}

void ensureCoreApplication()
{
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "display_xorg_tests";
    static char* argv[] = {name, nullptr};
    new QCoreApplication(argc, argv); // lives until the process ends
}

std::vector<std::string> commandLine(const std::filesystem::path& process)
{
    std::ifstream in(process / "cmdline", std::ios::binary);
    std::vector<std::string> arguments;
    for (std::string argument; std::getline(in, argument, '\0');)
        arguments.push_back(argument);
    return arguments;
}

// The guardian processes watching the X server `displayName`.
std::vector<pid_t> guardians(const std::string& displayName)
{
    std::vector<pid_t> found;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const auto arguments = commandLine(entry.path());
        if (arguments.size() == 2 && std::filesystem::path(arguments[0]).filename() == "ferlow-display-guardian"
            && arguments[1] == displayName)
            found.push_back(std::stoi(name));
    }
    return found;
}

struct ProcessIds {
    pid_t parent = 0;
    pid_t session = 0;
};

ProcessIds processIds(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    std::getline(in, stat);
    // pid (name) state ppid pgrp session ...; the name may hold spaces.
    std::istringstream fields(stat.substr(stat.rfind(')') + 1));
    char state = 0;
    ProcessIds ids;
    pid_t group = 0;
    fields >> state >> ids.parent >> group >> ids.session;
    return ids;
}

std::set<std::string> openFiles(pid_t pid)
{
    std::set<std::string> files;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd"))
        files.insert(fd.path().filename().string() + " -> " + std::filesystem::read_symlink(fd.path()).string());
    return files;
}

template <typename Condition>
bool eventually(Condition condition)
{
    const auto deadline = std::chrono::steady_clock::now() + kGuardianTimeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

class XorgDummy : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const char* reason = std::getenv("FERLOW_XORG_UNAVAILABLE"))
            GTEST_SKIP() << "no Xorg server with the dummy driver: " << reason;
        ensureCoreApplication();
        mX = openDisplayConnection(nullptr);
        ASSERT_TRUE(mX) << "cannot connect to the dummy server";
        mServices = XRandRDisplayServices::connect();
        ASSERT_TRUE(mServices);
        mMain = mServices->mainDisplayID();
        ASSERT_NE(mMain, kNoDisplay);
        mOriginal = crtcSetting();
        mOriginalScreen = currentScreenSize(mX.get());
        mOriginalLayout = layout();
        mOriginalPrimary = XRRGetOutputPrimary(mX.get(), DefaultRootWindow(mX.get()));
        ASSERT_EQ(mOriginal.mode, modeID(mode(k1024x768at60))) << "the server did not start in its first mode";
        // A released guardian exits on its own time; one of an earlier test
        // may still be on its way out.
        ASSERT_TRUE(eventually([&] { return guardianGone(); }));
    }

    // Leaves the next test the server as it started, also after a failure.
    void TearDown() override
    {
        mServices.reset();
        if (!mX)
            return;
        XErrorTrap trap(mX.get());
        ServerGrab grab(mX.get());
        XRRSetOutputPrimary(mX.get(), DefaultRootWindow(mX.get()), mOriginalPrimary);
        if (currentLayout(mX.get()) != mOriginalLayout) {
            EXPECT_TRUE(applyLayout(mX.get(), mOriginalLayout));
        }
    }

    DisplayModeDictionary mode(const ConfiguredMode& configured) const { return modeOf(mMain, configured); }
    DisplayModeDictionary modeOf(DisplayID display, const ConfiguredMode& configured) const
    {
        for (const auto& offered : mServices->displayAvailableModes(display)) {
            if (matches(offered, configured))
                return offered;
        }
        ADD_FAILURE() << "no mode " << configured.width << "x" << configured.height << " at "
                      << configured.refreshRate;
        return {};
    }

    CrtcSetting crtcSetting(RROutput display = None) const
    {
        const ScreenResources resources = currentScreenResources(mX.get());
        const OutputInfo output = outputInfo(mX.get(), resources.get(), display == None ? mMain : display);
        return crtcSettingOf(output->crtc, *crtcInfo(mX.get(), resources.get(), output->crtc));
    }

    Layout layout() const
    {
        XErrorTrap trap(mX.get());
        return currentLayout(mX.get()).value();
    }

    RROutput outputNamed(std::string_view name) const
    {
        XErrorTrap trap(mX.get());
        const ScreenResources resources = currentScreenResources(mX.get());
        for (int i = 0; i < resources->noutput; ++i) {
            const OutputInfo info = outputInfo(mX.get(), resources.get(), resources->outputs[i]);
            if (info && name == info->name)
                return resources->outputs[i];
        }
        ADD_FAILURE() << "no output " << name;
        return None;
    }

    // A second monitor, the main one, to the right of the first, as
    // `xrandr` sets it up for a user; the services then see it as the main
    // display.
    void secondMonitorRightOfTheFirst()
    {
        for (const QStringList& arguments :
             {QStringList{"--addmode", "DUMMY1", "1024x768"}, QStringList{"--addmode", "DUMMY1", "800x600"},
              QStringList{"--output", "DUMMY1", "--mode", "1024x768", "--right-of", "DUMMY0", "--primary"}}) {
            QProcess xrandr;
            xrandr.start(QStringLiteral("xrandr"), arguments);
            ASSERT_TRUE(xrandr.waitForFinished(kChildTimeoutMs));
            ASSERT_EQ(xrandr.exitCode(), 0) << xrandr.readAllStandardError().toStdString();
        }
        // The dummy driver tells a monitor connected once it shows a mode, and
        // the server learns that at its next probe of the outputs, as any
        // desktop's display settings make one.
        ScreenResources(XRRGetScreenResources(mX.get(), DefaultRootWindow(mX.get())));
        mMain = mServices->mainDisplayID();
        ASSERT_EQ(mMain, outputNamed("DUMMY1"));
    }

    RRMode shownMode() const { return crtcSetting().mode; }

    // Changes the mode behind the services' back, as the user's display
    // settings would.
    void userSets(const CrtcSetting& setting) const
    {
        XErrorTrap trap(mX.get());
        ServerGrab grab(mX.get());
        ASSERT_TRUE(applyCrtcSetting(mX.get(), setting));
    }

    void userSwitches(const ConfiguredMode& configured) const
    {
        CrtcSetting setting = crtcSetting();
        setting.mode = modeID(mode(configured));
        userSets(setting);
    }

    // As a desktop does when a monitor beside it changes its size.
    void desktopMoves(RROutput output, int x, int y) const
    {
        CrtcSetting setting = crtcSetting(output);
        setting.x = x;
        setting.y = y;
        userSets(setting);
    }

    std::string displayName() const { return DisplayString(mX.get()); }

    // Starts the stand-in for Ferlow and waits until it has switched.
    std::unique_ptr<QProcess> startChild(const char* behaviour, const ConfiguredMode& configured) const
    {
        auto child = std::make_unique<QProcess>();
        child->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child->start(DISPLAY_TEST_CHILD, {behaviour, QString::number(configured.width),
                                          QString::number(configured.height)});
        EXPECT_TRUE(child->waitForStarted(kChildTimeoutMs));
        EXPECT_TRUE(child->waitForReadyRead(kChildTimeoutMs)) << "the child never said it switched";
        EXPECT_EQ(child->readLine().trimmed().toStdString(), "switched");
        return child;
    }

    bool guardianGone() const { return guardians(displayName()).empty(); }

    DisplayConnection mX;
    std::unique_ptr<XRandRDisplayServices> mServices;
    DisplayID mMain = kNoDisplay;
    CrtcSetting mOriginal;
    ScreenSize mOriginalScreen;
    Layout mOriginalLayout;
    RROutput mOriginalPrimary = None;
};

TEST_F(XorgDummy, ListsTheMainOutputsModesInTheServersOrder)
{
    EXPECT_EQ(mMain, XRRGetOutputPrimary(mX.get(), DefaultRootWindow(mX.get())));
    EXPECT_TRUE(mServices->canSwitchModes());

    const auto modes = mServices->displayAvailableModes(mMain);
    const ScreenResources resources = currentScreenResources(mX.get());
    const OutputInfo output = outputInfo(mX.get(), resources.get(), mMain);
    ASSERT_EQ(modes.size(), static_cast<std::size_t>(output->nmode));
    const qint64 depth = DefaultDepth(mX.get(), DefaultScreen(mX.get()));
    for (std::size_t i = 0; i < modes.size(); ++i) {
        EXPECT_EQ(modeID(modes[i]), output->modes[i]);
        EXPECT_EQ(modes[i].value(DisplayModeKey::BitsPerPixel).toLongLong(), depth);
        EXPECT_EQ(modes[i].value(DisplayModeKey::IOFlags).toLongLong(), 0);
    }
    for (const auto& configured : {k1024x768at60, k1024x768at75, k800x600, k1280x720, k1920x1080})
        EXPECT_EQ(std::ranges::count_if(modes, [&](const auto& m) { return matches(m, configured); }), 1)
            << configured.width << "x" << configured.height << " at " << configured.refreshRate;
    EXPECT_NE(modeID(mode(k1024x768at60)), modeID(mode(k1024x768at75)));
}

TEST_F(XorgDummy, CurrentModeIsWhatTheCrtcShows)
{
    const auto current = mServices->displayCurrentMode(mMain);
    ASSERT_TRUE(current);
    EXPECT_TRUE(matches(*current, k1024x768at60));
    EXPECT_EQ(modeID(*current), shownMode());
    EXPECT_EQ(mServices->displayPixelsWide(mMain), 1024);
    EXPECT_EQ(mServices->displayPixelsHigh(mMain), 768);
}

TEST_F(XorgDummy, SwitchesWithTheScreenAndReleasesToTheOriginal)
{
    ASSERT_TRUE(mServices->displaySwitchToMode(mMain, mode(k1920x1080)));
    EXPECT_EQ(shownMode(), modeID(mode(k1920x1080)));
    EXPECT_EQ(mServices->displayPixelsWide(mMain), 1920);
    EXPECT_EQ(mServices->displayPixelsHigh(mMain), 1080);
    EXPECT_EQ(currentScreenSize(mX.get()).width, 1920);
    EXPECT_EQ(currentScreenSize(mX.get()).height, 1080);

    ASSERT_TRUE(mServices->displaySwitchToMode(mMain, mode(k800x600)));
    EXPECT_EQ(mServices->displayPixelsWide(mMain), 800);
    EXPECT_EQ(mServices->displayPixelsHigh(mMain), 600);
    EXPECT_EQ(currentScreenSize(mX.get()).width, 800);
    EXPECT_EQ(currentScreenSize(mX.get()).height, 600);

    // Same size, other refresh rate: a mode of its own.
    ASSERT_TRUE(mServices->displaySwitchToMode(mMain, mode(k1024x768at75)));
    EXPECT_TRUE(matches(mServices->displayCurrentMode(mMain).value(), k1024x768at75));

    mServices->releaseAllDisplays();
    EXPECT_EQ(crtcSetting(), mOriginal);
    EXPECT_EQ(currentScreenSize(mX.get()), mOriginalScreen);
    EXPECT_TRUE(eventually([&] { return guardianGone(); }));

    mServices->releaseAllDisplays();
    EXPECT_EQ(crtcSetting(), mOriginal);
}

TEST_F(XorgDummy, SwitchesTheMainMonitorAloneAndReleasesTheWholeLayout)
{
    secondMonitorRightOfTheFirst();
    const RROutput first = outputNamed("DUMMY0");
    const Layout before = layout();
    const CrtcSetting firstBefore = crtcSetting(first);
    EXPECT_EQ(mServices->displayBounds(mMain), QRect(1024, 0, 1024, 768));

    ASSERT_TRUE(mServices->displaySwitchToMode(mMain, mode(k800x600)));
    EXPECT_EQ(mServices->displayBounds(mMain), QRect(1024, 0, 800, 600));
    EXPECT_EQ(crtcSetting(first), firstBefore);
    EXPECT_EQ(currentScreenSize(mX.get()).width, 1824);
    EXPECT_EQ(currentScreenSize(mX.get()).height, 768);

    desktopMoves(first, 0, 100);
    mServices->releaseAllDisplays();
    EXPECT_EQ(layout(), before);
}

TEST_F(XorgDummy, TheOriginalIsTheModeBeforeTheFirstSwitchSinceTheLastRelease)
{
    ASSERT_TRUE(mServices->displaySwitchToMode(mMain, mode(k1920x1080)));
    mServices->releaseAllDisplays();
    userSwitches(k800x600);

    ASSERT_TRUE(mServices->displaySwitchToMode(mMain, mode(k1280x720)));
    ASSERT_TRUE(mServices->displaySwitchToMode(mMain, mode(k1920x1080)));
    mServices->releaseAllDisplays();
    EXPECT_EQ(shownMode(), modeID(mode(k800x600)));
    EXPECT_EQ(currentScreenSize(mX.get()).width, 800);
}

TEST_F(XorgDummy, RefusesWhatIsNotAModeOfTheDisplay)
{
    auto withoutID = mode(k1280x720);
    withoutID.remove(DisplayModeKey::ModeID);
    EXPECT_FALSE(mServices->displaySwitchToMode(mMain, withoutID));

    auto foreign = mode(k1280x720);
    foreign[DisplayModeKey::ModeID] = qint64(DefaultRootWindow(mX.get()));
    EXPECT_FALSE(mServices->displaySwitchToMode(mMain, foreign));

    const auto notADisplay = static_cast<DisplayID>(DefaultRootWindow(mX.get()));
    EXPECT_FALSE(mServices->displaySwitchToMode(notADisplay, mode(k1280x720)));
    EXPECT_FALSE(mServices->displayCurrentMode(notADisplay));
    EXPECT_TRUE(mServices->displayAvailableModes(notADisplay).empty());
    EXPECT_EQ(mServices->displayPixelsWide(notADisplay), 0);

    EXPECT_EQ(crtcSetting(), mOriginal);
    EXPECT_TRUE(guardianGone()) << "a guardian started without a switch";
}

TEST_F(XorgDummy, ProgramThatReleasesLeavesTheOriginalAndNoGuardian)
{
    const auto child = startChild("release", k1280x720);
    ASSERT_TRUE(child->waitForFinished(kChildTimeoutMs));
    EXPECT_EQ(child->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child->exitCode(), 0);
    EXPECT_EQ(crtcSetting(), mOriginal);
    EXPECT_EQ(currentScreenSize(mX.get()), mOriginalScreen);
    EXPECT_TRUE(eventually([&] { return guardianGone(); }));
}

TEST_F(XorgDummy, SigtermEndsTheProgramInOrderAndItRestores)
{
    const auto child = startChild("wait", k1280x720);
    EXPECT_EQ(shownMode(), modeID(mode(k1280x720)));
    // The guardian would leave this mode alone, the program's own release
    // would not: the original coming back shows who restored it.
    userSwitches(k800x600);
    child->terminate();
    ASSERT_TRUE(child->waitForFinished(kChildTimeoutMs));
    EXPECT_EQ(child->exitStatus(), QProcess::NormalExit) << "the signal was not turned into a quit";
    EXPECT_EQ(child->exitCode(), 0);
    EXPECT_EQ(crtcSetting(), mOriginal);
    EXPECT_EQ(currentScreenSize(mX.get()), mOriginalScreen);
    EXPECT_TRUE(eventually([&] { return guardianGone(); }));
}

TEST_F(XorgDummy, GuardianRestoresAfterSigkill)
{
    const auto child = startChild("wait", k1920x1080);
    EXPECT_EQ(shownMode(), modeID(mode(k1920x1080)));
    child->kill();
    ASSERT_TRUE(child->waitForFinished(kChildTimeoutMs));
    EXPECT_TRUE(eventually([&] { return shownMode() == mOriginal.mode; }));
    EXPECT_EQ(crtcSetting(), mOriginal);
    EXPECT_EQ(currentScreenSize(mX.get()), mOriginalScreen);
    EXPECT_TRUE(eventually([&] { return guardianGone(); }));
}

TEST_F(XorgDummy, GuardianRestoresTheWholeLayoutAfterSigkill)
{
    secondMonitorRightOfTheFirst();
    const Layout before = layout();
    const auto child = startChild("wait", k800x600);
    EXPECT_EQ(shownMode(), modeID(mode(k800x600)));
    desktopMoves(outputNamed("DUMMY0"), 0, 100);
    child->kill();
    ASSERT_TRUE(child->waitForFinished(kChildTimeoutMs));
    EXPECT_TRUE(eventually([&] { return layout() == before; }));
    EXPECT_TRUE(eventually([&] { return guardianGone(); }));
}

TEST_F(XorgDummy, GuardianLeavesAModeTheUserChoseMeanwhile)
{
    const auto child = startChild("wait", k1280x720);
    userSwitches(k800x600);
    child->kill();
    ASSERT_TRUE(child->waitForFinished(kChildTimeoutMs));
    ASSERT_TRUE(eventually([&] { return guardianGone(); }));
    EXPECT_EQ(shownMode(), modeID(mode(k800x600)));
}

TEST_F(XorgDummy, GuardianHoldsNothingOfTheProgramAndOutlivesIt)
{
    const auto child = startChild("wait", k1280x720);
    const auto found = guardians(displayName());
    ASSERT_EQ(found.size(), 1u);
    const pid_t guardian = found.front();

    const auto files = openFiles(guardian);
    ASSERT_EQ(files.size(), 3u) << "only its link and /dev/null";
    EXPECT_EQ(files.begin()->rfind("0 -> socket:", 0), 0u) << *files.begin();
    EXPECT_TRUE(files.contains("1 -> /dev/null"));
    EXPECT_TRUE(files.contains("2 -> /dev/null"));
    EXPECT_EQ(std::filesystem::read_symlink("/proc/" + std::to_string(guardian) + "/cwd"), "/");

    const pid_t program = static_cast<pid_t>(child->processId());
    EXPECT_NE(processIds(guardian).parent, program);
    EXPECT_NE(processIds(guardian).session, processIds(program).session);

    child->kill();
    ASSERT_TRUE(child->waitForFinished(kChildTimeoutMs));
    EXPECT_TRUE(eventually([&] { return shownMode() == mOriginal.mode; }));
}

} // namespace
