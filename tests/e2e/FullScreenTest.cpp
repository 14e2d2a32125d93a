// Full screen on the displays people have: the real ferlow program on an
// Xorg server with the dummy video driver, whose monitors `xrandr` lays out
// side by side and one below another, driven through XTest and judged where
// a user would notice: on the screen, in the monitors' layout, in what the
// program keeps in memory, and in whether the keyboard and mouse come back.
#include "tests/e2e/Desktops.h"
#include "tests/e2e/FerlowRun.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <X11/keysym.h>
#include <csignal>
#include <cstdio>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <ostream>

namespace {

constexpr int kChangeMilliseconds = 15000;
// A quit ends full screen and the program within a second, whenever it
// comes, where the program has a core to itself: a few hundred milliseconds,
// most of them a frame under way and the program's usual teardown. Tests
// share two cores with other programs drawing with a software renderer, and
// with two busy processes beside them that took up to 1.1 s, and 2.3 s with
// two builds running too. What the limit must tell apart is a quit that was
// lost, or one that waited out the guardian's 5 s; a sanitizer build runs
// several times slower.
#ifdef FERLOW_SANITIZE
constexpr int kQuitMilliseconds = 5000;
#else
constexpr int kQuitMilliseconds = 4000;
#endif
// Frames of a scene mostly not black: fog and sky are light.
constexpr double kMostlyBlack = 0.5;
// How much more a program may keep resident after ten stays in full screen
// than after one.
constexpr double kKeptMegabytes = 2.0;
const QMap<QString, QString> k800x600{{QStringLiteral("FullScreenWidth"), QStringLiteral("800")},
                                      {QStringLiteral("FullScreenHeight"), QStringLiteral("600")}};

std::string text(QRect rect)
{
    return std::to_string(rect.width()) + "x" + std::to_string(rect.height()) + "+" + std::to_string(rect.x()) + "+"
           + std::to_string(rect.y());
}

// What `xrandr` says of the monitors: the screen's size, where each lit
// monitor stands with its mode's size, and which one is the main one.
struct Monitors {
    QSize screen;
    std::map<QString, QRect> lit;
    QString primary;

    QRect main() const { return lit.count(primary) ? lit.at(primary) : QRect(); }
    bool operator==(const Monitors&) const = default;
};

void PrintTo(const Monitors& monitors, std::ostream* out)
{
    *out << "screen " << monitors.screen.width() << "x" << monitors.screen.height();
    for (const auto& [name, rect] : monitors.lit)
        *out << ", " << name.toStdString() << (name == monitors.primary ? " (main) " : " ") << text(rect);
}

Monitors monitorsOf(const QString& xrandrOutput)
{
    static const QRegularExpression screenLine(QStringLiteral(R"(current (\d+) x (\d+))"));
    static const QRegularExpression outputLine(QStringLiteral(R"(^(\S+) (?:dis)?connected( primary)? (\d+)x(\d+)\+(\d+)\+(\d+))"),
                                               QRegularExpression::MultilineOption);
    Monitors monitors;
    const auto screen = screenLine.match(xrandrOutput);
    monitors.screen = {screen.captured(1).toInt(), screen.captured(2).toInt()};
    for (auto lines = outputLine.globalMatch(xrandrOutput); lines.hasNext();) {
        const auto output = lines.next();
        monitors.lit[output.captured(1)] = QRect(output.captured(5).toInt(), output.captured(6).toInt(),
                                                 output.captured(3).toInt(), output.captured(4).toInt());
        if (!output.captured(2).isEmpty())
            monitors.primary = output.captured(1);
    }
    return monitors;
}

// The region shows a frame of the scene: it covers the desktop everywhere,
// and is no black screen.
bool showsTheScene(const QImage& image, QRect region)
{
    return QRect(QPoint(), image.size()).contains(region) && Screen::backgroundPixels(image, region) == 0
           && Screen::blackShare(image, region) < kMostlyBlack;
}

// Both pictures show the same outside the region.
bool sameOutside(const QImage& a, const QImage& b, QRect region)
{
    if (a.size() != b.size())
        return false;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (!region.contains(x, y) && a.pixel(x, y) != b.pixel(x, y))
                return false;
        }
    }
    return true;
}

// Test parameters carry their names.
template <typename Parameter>
std::string nameOf(const testing::TestParamInfo<Parameter>& info)
{
    return info.param.name;
}

struct Layout {
    const char* name;
    std::vector<QStringList> xrandr;
};

// The second and third monitors offer the server's 1024 x 768 and 800 x
// 600, which the dummy driver lets any of its outputs show.
const QStringList kSecondOffers1024x768{QStringLiteral("--addmode"), QStringLiteral("DUMMY1"), QStringLiteral("1024x768")};
const QStringList kSecondOffers800x600{QStringLiteral("--addmode"), QStringLiteral("DUMMY1"), QStringLiteral("800x600")};
const QStringList kThirdOffers1024x768{QStringLiteral("--addmode"), QStringLiteral("DUMMY2"), QStringLiteral("1024x768")};

QStringList second(const char* where, bool main)
{
    QStringList arguments{QStringLiteral("--output"), QStringLiteral("DUMMY1"), QStringLiteral("--mode"),
                          QStringLiteral("1024x768"), QString::fromLatin1(where), QStringLiteral("DUMMY0")};
    if (main)
        arguments << QStringLiteral("--primary");
    return arguments;
}

const Layout kOneMonitor{"OneMonitor", {}};
const Layout kMainAtTheOrigin{"MainAtTheOrigin", {kSecondOffers1024x768, second("--right-of", false)}};
const Layout kMainRightOfAnother{"MainRightOfAnother",
                                 {kSecondOffers1024x768, kSecondOffers800x600, second("--right-of", true)}};
const Layout kMainBelowAnother{"MainBelowAnother", {kSecondOffers1024x768, second("--below", true)}};
const Layout kMainBetweenTwo{"MainBetweenTwo",
                             {kSecondOffers1024x768, kThirdOffers1024x768, second("--right-of", true),
                              {QStringLiteral("--output"), QStringLiteral("DUMMY2"), QStringLiteral("--mode"),
                               QStringLiteral("1024x768"), QStringLiteral("--right-of"), QStringLiteral("DUMMY1")}}};

// What ends full screen, or the program with it.
enum class Action { Escape, LeftClick, Signal, CtrlQ };
struct Ending {
    const char* name;
    Action action;
    int signal = 0;
};

class FullScreenOnMonitors : public testing::Test {
protected:
    void SetUp() override
    {
        if (const auto reason = XServer::unavailable(XServer::Kind::XorgDummy))
            GTEST_SKIP() << reason->toStdString();
        try {
            mDesktop = &Desktops::get(Desktop::Kind::XorgDummy);
        } catch (const std::exception& error) {
            FAIL() << "Xorg desktop: " << error.what();
        }
        mDesktop->parkPointer();
    }
    // Each test lays out the monitors it needs and leaves the one monitor
    // the server starts with.
    void TearDown() override
    {
        if (HasFailure() && mFerlow)
            std::cerr << "ferlow's output:\n" << mFerlow->log().toStdString() << Screen::keep(mDesktop->capture());
        mFerlow.reset();
        if (mDesktop) {
            mDesktop->xrandr({QStringLiteral("--output"), QStringLiteral("DUMMY1"), QStringLiteral("--off"),
                              QStringLiteral("--output"), QStringLiteral("DUMMY2"), QStringLiteral("--off"),
                              QStringLiteral("--output"), QStringLiteral("DUMMY0"), QStringLiteral("--mode"),
                              QStringLiteral("1024x768"), QStringLiteral("--pos"), QStringLiteral("0x0"),
                              QStringLiteral("--primary")});
        }
    }

    Desktop& desktop() const { return *mDesktop; }
    FerlowRun& ferlow() const { return *mFerlow; }

    Monitors layOut(const Layout& layout) const
    {
        for (const QStringList& arguments : layout.xrandr)
            desktop().xrandr(arguments);
        return monitors();
    }
    Monitors monitors() const { return monitorsOf(desktop().xrandr({})); }

    void start(const QMap<QString, QString>& stored = {}, const QString& program = QStringLiteral(FERLOW_PROGRAM))
    {
        mFerlow = std::make_unique<FerlowRun>(desktop(), stored, program);
    }

    // Two monitors, the main one right of the other, 800 x 600 chosen for
    // full screen, and F11 pressed once the window shows; the layout before.
    Monitors pressF11ToSwitchTheMainMonitor()
    {
        const Monitors before = layOut(kMainRightOfAnother);
        start(k800x600);
        ferlow().waitUntilShown();
        desktop().key(XK_F11);
        return before;
    }

    // A left click goes to `click`.
    void end(const Ending& ending, QPoint click)
    {
        switch (ending.action) {
        case Action::Escape:
            desktop().key(XK_Escape);
            break;
        case Action::LeftClick:
            desktop().click(click);
            break;
        case Action::Signal:
            ferlow().signal(ending.signal);
            break;
        case Action::CtrlQ:
            desktop().key(XK_q, {XK_Control_L});
            break;
        }
    }

    // After a request to quit: the program ended at once and in order, the
    // monitors as they were, the keyboard and the mouse free.
    void expectEndedInOrder(const Monitors& before)
    {
        QElapsedTimer clock;
        clock.start();
        ASSERT_TRUE(ferlow().exitsWithin(kChangeMilliseconds));
        std::printf("ended %lld ms after the request\n", clock.elapsed());
        EXPECT_LE(clock.elapsed(), kQuitMilliseconds);
        EXPECT_EQ(ferlow().exitCode(), 0);
        EXPECT_EQ(monitors(), before);
        EXPECT_TRUE(desktop().inputIsFree());
    }

    // The flight stands, so that whatever full screen leaves alone shows
    // the same before, during and after.
    QImage standingWindow()
    {
        desktop().key(XK_space);
        return Screen::settled(desktop());
    }

    // Full screen shows on the main monitor, over exactly its rectangle.
    bool fullScreenCovers(QRect main) const
    {
        return desktop().topWindow() == main && showsTheScene(desktop().capture(), main);
    }

    Desktop* mDesktop = nullptr;
    std::unique_ptr<FerlowRun> mFerlow;
};

class FullScreenLayouts : public FullScreenOnMonitors, public testing::WithParamInterface<Layout> {};

// Full screen fills the main monitor wherever it stands, and every other
// monitor keeps what it showed; Escape gives the window back as it was.
TEST_P(FullScreenLayouts, CoversTheMainMonitorAndLeavesTheOthers)
{
    const Monitors before = layOut(GetParam());
    start();
    ferlow().waitUntilFlying();
    const QImage standing = standingWindow();

    desktop().key(XK_F11);
    ASSERT_TRUE(QTest::qWaitFor([&] { return fullScreenCovers(before.main()); }, kChangeMilliseconds))
        << "the top window stands at " << text(desktop().topWindow());
    const QImage full = desktop().capture();
    EXPECT_TRUE(sameOutside(full, standing, before.main())) << Screen::keep(full, "-full") << Screen::keep(standing);
    EXPECT_EQ(monitors(), before);

    desktop().key(XK_Escape);
    EXPECT_TRUE(QTest::qWaitFor([&] { return desktop().capture() == standing; }, kChangeMilliseconds));
    EXPECT_EQ(monitors(), before);
}

INSTANTIATE_TEST_SUITE_P(, FullScreenLayouts,
                         testing::Values(kMainAtTheOrigin, kMainRightOfAnother, kMainBelowAnother, kMainBetweenTwo),
                         nameOf<Layout>);

class FullScreenExits : public FullScreenOnMonitors, public testing::WithParamInterface<Ending> {};

// With a resolution chosen, the main monitor alone switches to it; every
// way out gives back the whole layout, also where the desktop moved another
// monitor meanwhile, as some desktops do when one changes its size.
TEST_P(FullScreenExits, GiveBackTheWholeLayout)
{
    const Monitors before = pressF11ToSwitchTheMainMonitor();
    Monitors switched = before;
    switched.lit[QStringLiteral("DUMMY1")] = QRect(1024, 0, 800, 600);
    switched.screen = {1824, 768};
    ASSERT_TRUE(QTest::qWaitFor([&] { return monitors() == switched && fullScreenCovers(switched.main()); },
                                kChangeMilliseconds))
        << testing::PrintToString(monitors());

    desktop().xrandr({QStringLiteral("--output"), QStringLiteral("DUMMY0"), QStringLiteral("--pos"), QStringLiteral("0x100")});
    end(GetParam(), switched.main().center());
    if (GetParam().signal == SIGKILL) {
        // The guardian restores, in its own time.
        EXPECT_TRUE(QTest::qWaitFor([&] { return monitors() == before; }, kChangeMilliseconds))
            << testing::PrintToString(monitors());
    } else if (GetParam().signal == SIGTERM) {
        expectEndedInOrder(before);
    } else {
        // The layout comes back before the full-screen window goes.
        ASSERT_TRUE(QTest::qWaitFor([&] { return desktop().topWindow() != switched.main(); }, kChangeMilliseconds));
        EXPECT_EQ(monitors(), before);
        EXPECT_TRUE(desktop().inputIsFree());
    }
}

INSTANTIATE_TEST_SUITE_P(, FullScreenExits,
                         testing::Values(Ending{"Escape", Action::Escape}, Ending{"LeftClick", Action::LeftClick},
                                         Ending{"Sigterm", Action::Signal, SIGTERM},
                                         Ending{"SigKill", Action::Signal, SIGKILL}),
                         nameOf<Ending>);

class QuitDuringEntry : public FullScreenOnMonitors, public testing::WithParamInterface<int> {};

// SIGTERM at a moment of the way in: before the full-screen window shows,
// while it takes the input, while the guardian starts, around the switch,
// or once full screen runs. Whichever, the program ends at once, with the
// layout back and the keyboard and mouse free.
TEST_P(QuitDuringEntry, EndsTheProgramWithTheLayoutBack)
{
    const Monitors before = pressF11ToSwitchTheMainMonitor();
    // The moment is what the test varies, not a condition it waits for.
    QTest::qWait(GetParam());
    ferlow().signal(SIGTERM);
    expectEndedInOrder(before);
}

// The way in takes tens of milliseconds, a couple of hundred with a switch,
// more on a loaded machine: moments close together early, then further
// apart into the full-screen loop.
std::string momentName(const testing::TestParamInfo<int>& info)
{
    return "After" + std::to_string(info.param) + "ms";
}
INSTANTIATE_TEST_SUITE_P(, QuitDuringEntry, testing::Values(0, 25, 50, 100, 150, 250, 500, 1000, 1500), momentName);

class OtherQuits : public FullScreenOnMonitors, public testing::WithParamInterface<Ending> {};

// The other requests to quit end the way in as SIGTERM does: Ctrl+C in a
// terminal, the terminal closing, and Ctrl+Q typed right after F11, before
// full screen has taken the keyboard, as meant for the window.
TEST_P(OtherQuits, EndTheWayInAsSigtermDoes)
{
    const Monitors before = pressF11ToSwitchTheMainMonitor();
    end(GetParam(), {});
    expectEndedInOrder(before);
}

INSTANTIATE_TEST_SUITE_P(, OtherQuits,
                         testing::Values(Ending{"Sigint", Action::Signal, SIGINT},
                                         Ending{"Sighup", Action::Signal, SIGHUP}, Ending{"CtrlQ", Action::CtrlQ}),
                         nameOf<Ending>);

// Ten times into full screen and back: the program keeps no more than after
// the first. A sanitizer build keeps freed memory aside on purpose.
TEST_F(FullScreenOnMonitors, KeepsNothingFromOneStayToTheNext)
{
#ifdef FERLOW_SANITIZE
    GTEST_SKIP() << "the sanitizer's allocator holds freed memory back";
#endif
    const Monitors one = layOut(kOneMonitor);
    start();
    ferlow().waitUntilFlying();
    const QImage standing = standingWindow();
    double afterFirst = 0.0;
    for (int stay = 1; stay <= 10; ++stay) {
        desktop().key(XK_F11);
        ASSERT_TRUE(QTest::qWaitFor([&] { return fullScreenCovers(one.main()); }, kChangeMilliseconds)) << stay;
        desktop().key(XK_Escape);
        ASSERT_TRUE(QTest::qWaitFor([&] { return desktop().capture() == standing; }, kChangeMilliseconds)) << stay;
        if (stay == 1)
            afterFirst = ferlow().residentMegabytes();
    }
    const double afterTenth = ferlow().residentMegabytes();
    std::printf("resident after the first stay %.1f MB, after the tenth %.1f MB\n", afterFirst, afterTenth);
    EXPECT_LT(afterTenth - afterFirst, kKeptMegabytes);
}

// Stand-ins for a display guardian that never answers: one that never ends,
// and one that leaves the process Ferlow started, as a guardian does, and
// then says nothing. Each writes its process number beside it.
struct StuckGuardian {
    const char* name;
    const char* script;
};

class StuckGuardians : public FullScreenOnMonitors, public testing::WithParamInterface<StuckGuardian> {};

// Ferlow waits for such a guardian a few seconds at most and then goes full
// screen at the current resolution, says so in one log line, leaves nothing
// of the stand-in running, and gives the keyboard and mouse back on Escape.
TEST_P(StuckGuardians, CostAFewSecondsAndOneLogLine)
{
    const Monitors one = layOut(kOneMonitor);
    const QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString program = folder.filePath(QStringLiteral("ferlow"));
    const QString guardian = folder.filePath(QStringLiteral("ferlow-display-guardian"));
    const QString pidFile = folder.filePath(QStringLiteral("guardian.pid"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(FERLOW_PROGRAM), program));
    {
        QFile script(guardian);
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write(QByteArray("#!/bin/sh\n") + QByteArray(GetParam().script).replace("PIDFILE", pidFile.toUtf8()));
    }
    QFile::setPermissions(guardian, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    start(k800x600, program);
    ferlow().waitUntilShown();
    desktop().key(XK_F11);
    ASSERT_TRUE(QTest::qWaitFor([&] { return fullScreenCovers(one.main()); }, kChangeMilliseconds));
    EXPECT_EQ(monitors(), one);
    desktop().key(XK_Escape);
    ASSERT_TRUE(QTest::qWaitFor([&] { return desktop().topWindow() != one.main(); }, kChangeMilliseconds));
    EXPECT_TRUE(desktop().inputIsFree());

    const QString log = ferlow().log();
    EXPECT_EQ(log.count(QStringLiteral("display guardian")), 1) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("did not answer"))) << log.toStdString();
    QFile pid(pidFile);
    ASSERT_TRUE(pid.open(QIODevice::ReadOnly));
    const QString standIn = QStringLiteral("/proc/") + QString::fromLatin1(pid.readAll()).trimmed();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !QFile::exists(standIn); }, kChangeMilliseconds)) << "the stand-in lives on";
}

INSTANTIATE_TEST_SUITE_P(
    , StuckGuardians,
    testing::Values(StuckGuardian{"NeverEnds", "echo $$ > PIDFILE\nexec sleep 600\n"},
                    // The job in the background reads the link until
                    // Ferlow closes it; a shell gives such a job /dev/null
                    // for its input, hence the link's copy on descriptor 3.
                    StuckGuardian{"LeavesAndNeverAnswers",
                                  "exec 3<&0\nsh -c 'echo $$ > PIDFILE; exec cat <&3 >/dev/null' &\nexit 0\n"}),
    nameOf<StuckGuardian>);

} // namespace
