// The real ferlow program on a desktop of the test's own, driven only
// through the X server's keyboard and mouse, on a bare X server, under a
// window manager, and as a Wayland client. Effects are read where a user
// sees them: on the screen and in the settings file.
#include "tests/e2e/Desktops.h"
#include "tests/e2e/FerlowRun.h"

#include <QTest>
#include <X11/keysym.h>
#include <gtest/gtest.h>
#include <memory>

namespace {

constexpr int kChangeMilliseconds = 15000;
// The flight is seen to stand when nothing on the screen moves for this long.
constexpr int kStandingMilliseconds = 1000;
constexpr int kQuitMilliseconds = 10000;
// Long enough for a key to have arrived had it gone to the program.
constexpr int kKeyArrivalMilliseconds = 2000;
// Stored before the start, so that every step of a key is known.
constexpr float kSpeed = 10.0f;
constexpr float kLookAhead = 5.0f;
constexpr float kSpeedStep = 2.0f;
constexpr float kLookAheadStep = 0.06f;
// A wire frame leaves most of the sky and the gaps between lines black.
constexpr double kWireFrameBlack = 0.2;
constexpr double kSolidBlack = 0.02;

class Input : public testing::TestWithParam<Desktop::Kind> {
protected:
    void SetUp() override
    {
        try {
            mDesktop = &Desktops::get(GetParam());
        } catch (const std::exception& error) {
            FAIL() << Desktop::name(GetParam()) << " desktop: " << error.what();
        }
        // Nothing of the program lies under the pointer when it starts: the
        // keyboard must reach it without the pointer's help, and the pointer
        // keeps one shape over the desktop while windows come and go.
        desktop().parkPointer();
        mFerlow = std::make_unique<FerlowRun>(desktop(), QMap<QString, QString>{
                                                             {QStringLiteral("Speed"), QString::number(kSpeed)},
                                                             {QStringLiteral("LookAhead"), QString::number(kLookAhead)},
                                                         });
        mFerlow->waitUntilFlying();
    }
    void TearDown() override
    {
        if (HasFailure() && mFerlow)
            std::cerr << "ferlow's output:\n" << mFerlow->log().toStdString() << Screen::keep(desktop().capture());
        mFerlow.reset();
        if (mDesktop)
            mDesktop->closeAnotherWindow();
    }

    Desktop& desktop() const { return *mDesktop; }
    FerlowRun& ferlow() const { return *mFerlow; }
    QRect view() const { return mFerlow->view(); }

    // S raises the look-ahead by its step, as the settings file shows.
    bool lookAheadKeyWorks()
    {
        const float next = ferlow().setting(QStringLiteral("LookAhead")).value_or(kLookAhead) + kLookAheadStep;
        desktop().key(XK_s);
        return ferlow().settingBecomes(QStringLiteral("LookAhead"), next);
    }
    // The picture stands still for a while.
    bool standsStill()
    {
        const QImage still = Screen::settled(desktop());
        return !Screen::changesFrom(desktop(), still, view(), kStandingMilliseconds);
    }
    bool fillsTheScreen() const { return Screen::backgroundPixels(desktop().capture()) == 0; }

    Desktop* mDesktop = nullptr;
    std::unique_ptr<FerlowRun> mFerlow;
};

TEST_P(Input, KeysWorkFromLaunchWithoutAClick)
{
    EXPECT_TRUE(lookAheadKeyWorks());
    desktop().key(XK_Up);
    EXPECT_TRUE(ferlow().settingBecomes(QStringLiteral("Speed"), kSpeed + kSpeedStep));

    desktop().key(XK_w);
    EXPECT_TRUE(QTest::qWaitFor([&] { return Screen::blackShare(desktop().capture(), view()) > kWireFrameBlack; },
                                kChangeMilliseconds));
    desktop().key(XK_W, {XK_Shift_L});
    EXPECT_TRUE(QTest::qWaitFor([&] { return Screen::blackShare(desktop().capture(), view()) < kSolidBlack; },
                                kChangeMilliseconds));

    desktop().key(XK_space);
    EXPECT_TRUE(standsStill());
    const QImage stopped = Screen::settled(desktop());
    desktop().key(XK_space, {XK_Control_L});
    EXPECT_TRUE(Screen::changesFrom(desktop(), stopped, view(), kChangeMilliseconds));

    desktop().key(XK_q, {XK_Control_L});
    EXPECT_TRUE(ferlow().exitsWithin(kQuitMilliseconds));
    EXPECT_EQ(ferlow().exitCode(), 0);
}

TEST_P(Input, DragAndWheelMoveTheStandingCamera)
{
    desktop().key(XK_space);
    ASSERT_TRUE(standsStill());
    const QImage before = Screen::settled(desktop());
    desktop().drag(view().center(), view().center() + QPoint(120, -40));
    EXPECT_TRUE(Screen::changesFrom(desktop(), before, view(), kChangeMilliseconds));
    EXPECT_TRUE(standsStill()) << "the drag started the flight instead of turning the camera";

    const QImage turned = Screen::settled(desktop());
    desktop().wheel(view().center(), 4);
    EXPECT_TRUE(Screen::changesFrom(desktop(), turned, view(), kChangeMilliseconds));
}

TEST_P(Input, FullScreenTakesTheKeysAndGivesThemBack)
{
    desktop().key(XK_F11);
    ASSERT_TRUE(QTest::qWaitFor([&] { return fillsTheScreen(); }, kChangeMilliseconds));
    EXPECT_TRUE(lookAheadKeyWorks());
    desktop().key(XK_Escape);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !fillsTheScreen(); }, kChangeMilliseconds));
    EXPECT_TRUE(lookAheadKeyWorks());
}

// With the flight standing, the panel is the only thing that changes the
// screen, and once it is gone the view and the desktop are as before.
TEST_P(Input, KeysWorkAfterThePreferencesPanelCloses)
{
    desktop().key(XK_space);
    ASSERT_TRUE(standsStill());
    const QImage withoutPanel = Screen::settled(desktop());
    desktop().key(XK_comma, {XK_Control_L});
    ASSERT_TRUE(Screen::changesFrom(desktop(), withoutPanel, QRect(QPoint(), desktop().screenSize()),
                                    kChangeMilliseconds))
        << "no panel";
    Screen::settled(desktop()); // shown, and made active by the window manager
    desktop().key(XK_Escape);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return Screen::sameViewAndDesktop(desktop().capture(), withoutPanel, view()); }, kChangeMilliseconds))
        << "the panel stayed" << Screen::keep(withoutPanel, "before");
    desktop().key(XK_space);
    EXPECT_TRUE(Screen::changesFrom(desktop(), withoutPanel, view(), kChangeMilliseconds));
    EXPECT_TRUE(lookAheadKeyWorks());
}

TEST_P(Input, KeysWorkAfterAToolbarClick)
{
    desktop().key(XK_space);
    ASSERT_TRUE(standsStill());
    const QImage stopped = Screen::settled(desktop());
    desktop().click(ferlow().firstToolbarItem()); // Start
    EXPECT_TRUE(Screen::changesFrom(desktop(), stopped, view(), kChangeMilliseconds));
    EXPECT_TRUE(lookAheadKeyWorks()); // S acts only while flying
}

TEST_P(Input, KeysComeBackWithTheWindowsActivation)
{
    desktop().activateAnotherWindow();
    const float lookAhead = kLookAhead;
    desktop().key(XK_s);
    EXPECT_FALSE(ferlow().settingBecomes(QStringLiteral("LookAhead"), lookAhead + kLookAheadStep, kKeyArrivalMilliseconds))
        << "the other window never took the keyboard";

    desktop().switchBackTo("Ferlow", ferlow().toolbarSpace());
    EXPECT_TRUE(lookAheadKeyWorks());
}

// The loss of the keyboard and the click that brings it back, read by a
// program that was too busy to read the first before the second came. On
// X the program asks for the keyboard itself; a Wayland compositor gives it
// on the click whatever the program does, so there is nothing of Ferlow's
// to test there.
class InputOnX : public Input {};

TEST_P(InputOnX, KeysComeBackAfterAClickWhileBusy)
{
    ferlow().pause();
    desktop().activateAnotherWindow();
    desktop().click(ferlow().toolbarSpace());
    ferlow().resume();
    EXPECT_TRUE(desktop().keyboardLeavesTheOtherWindow());
    EXPECT_TRUE(lookAheadKeyWorks());
}

INSTANTIATE_TEST_SUITE_P(, Input,
                         testing::Values(Desktop::Kind::BareX, Desktop::Kind::WindowManager, Desktop::Kind::Wayland),
                         [](const testing::TestParamInfo<Desktop::Kind>& info) { return Desktop::name(info.param); });
INSTANTIATE_TEST_SUITE_P(, InputOnX, testing::Values(Desktop::Kind::BareX, Desktop::Kind::WindowManager),
                         [](const testing::TestParamInfo<Desktop::Kind>& info) { return Desktop::name(info.param); });

} // namespace
