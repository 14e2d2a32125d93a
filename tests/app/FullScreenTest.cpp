#include "app/MainWindow.h"
#include "app/MainController.h"
#include "platform/gl/GL.h"
#include "platform/gl/PixelFormat.h"
#include "platform/toolkit/Application.h"
#include "prefs/PreferencesPanel.h"
#include "prefs/PrefsController.h"
#include "tests/support/ForeignGrab.h"
#include "tests/support/ListedDisplayServices.h"
#include "tests/support/OffscreenGL.h"
#include "tests/support/WaitUntil.h"
#include "view/FerlowOpenGLView.h"

#include <QMenuBar>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <array>
#include <gtest/gtest.h>
#include <stdexcept>

namespace {

class FullScreen : public testing::Test {
protected:
    // The display can switch modes (display capture) or not (view full screen).
    void start(bool canSwitch) { start(std::make_unique<ListedDisplayServices>(offered(), current(), canSwitch)); }
    void start(std::unique_ptr<ListedDisplayServices> display)
    {
        ensureGuiApplication();
        services = display.get();
        DisplayServices::replace(std::move(display));
        mainWindow = std::make_unique<MainWindow>();
        mainWindow->show();
        mainWindow->activateWindow();
        ASSERT_TRUE(waitUntilShown(*mainWindow));
    }

    // Runs full screen with the steps inside its loop, one after the other:
    // the times count from the loop's start, which may come late (the
    // capture path first waits for its window to show); each step waits its
    // milliseconds after the one before, and never runs in the same pass of
    // the loop as the one before, so the loop has taken the input a step gave
    // before the next step looks. A last Escape ends full screen should the
    // steps not.
    void runFullScreen(std::vector<std::pair<int, std::function<void()>>> steps)
    {
        steps.emplace_back(2000, [this] { key(Qt::Key_Escape, "\x1b"); });
        mPlan = std::move(steps);
        // Steps an earlier run left unrun (its last Escape) go: they would
        // end this run early.
        mSteps = std::make_unique<QObject>();
        auto* loopStarted = new QTimer(mSteps.get());
        QObject::connect(loopStarted, &QTimer::timeout, [this, loopStarted] {
            if (!controller().inFullScreenLoop())
                return;
            loopStarted->stop();
            scheduleStep(0, 0);
        });
        loopStarted->start(1);
        controller().selectFullScreen();
    }
    void scheduleStep(std::size_t index, int previousAt)
    {
        if (index >= mPlan.size())
            return;
        QTimer::singleShot(std::max(1, mPlan[index].first - previousAt), mSteps.get(), [this, index] {
            mPlan[index].second();
            scheduleStep(index + 1, mPlan[index].first);
        });
    }

    // Input as the window system delivers it: to whichever window has focus.
    void key(int code, const char* text, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QWindow* target = QGuiApplication::focusWindow() ? QGuiApplication::focusWindow() : view();
        QTest::keyClick(target, Qt::Key(code), modifiers);
        (void)text;
    }

    static std::vector<DisplayModeDictionary> offered() { return {displayMode(800, 600, 24), displayMode(1024, 768, 24)}; }
    static DisplayModeDictionary current() { return displayMode(1920, 1080, 24); }
    void chooseResolution(int item)
    {
        QComboBox& menu = *mainWindow->preferencesPanel()->resolutionPopUpButton;
        menu.setCurrentIndex(item);
        mainWindow->prefsController()->selectResolution();
    }

    FerlowOpenGLView* view() const { return mainWindow->view(); }
    MainController& controller() const { return *mainWindow->controller(); }
    Scene& scene() const { return *view()->getScene(); }

    std::unique_ptr<MainWindow> mainWindow;
    ListedDisplayServices* services = nullptr;
    std::unique_ptr<QObject> mSteps; // steps not run by the end of a run go with it
    std::vector<std::pair<int, std::function<void()>>> mPlan;
};

TEST_F(FullScreen, ViewPathShowsTheWindowFullScreenUntilEscape)
{
    start(false);
    bool wasFullScreen = false, menuHidden = false, timerRan = false;
    runFullScreen({{300,
                    [&] {
                        wasFullScreen = mainWindow.get()->isFullScreen();
                        menuHidden = !mainWindow.get()->menuBar()->isVisible();
                        timerRan = controller().timer().isActive() && !controller().isInFullScreenMode();
                    }},
                   {400, [&] { key(Qt::Key_Escape, "\x1b"); }}});
    EXPECT_TRUE(wasFullScreen);
    EXPECT_TRUE(menuHidden);
    EXPECT_TRUE(timerRan);
    EXPECT_TRUE(waitUntil([this] { return !mainWindow.get()->isFullScreen(); }));
    EXPECT_TRUE(waitUntil([this] { return mainWindow.get()->menuBar()->isVisible(); }));
    EXPECT_FALSE(controller().inFullScreenLoop());
}

TEST_F(FullScreen, LeftClickEndsEitherPathAndOtherInputIsDropped)
{
    for (const bool canSwitch : {false, true}) {
        start(canSwitch);
        controller().selectStopAnimation();
        Camera& camera = scene().camera();
        camera.positionAt(5, 5, 5);
        camera.lookAt(0, 0, 0);
        bool ended = false;
        runFullScreen({{200,
                        [&] {
                            QWindow* target = QGuiApplication::focusWindow() ? QGuiApplication::focusWindow() : view();
                            QTest::mouseClick(target, Qt::RightButton, Qt::NoModifier, QPoint(50, 50));
                            QTest::mousePress(target, Qt::MiddleButton, Qt::NoModifier, QPoint(50, 50));
                            QTest::mouseMove(target, QPoint(150, 80));
                            QTest::mouseRelease(target, Qt::MiddleButton, Qt::NoModifier, QPoint(150, 80));
                            QWheelEvent wheel(QPointF(50, 50), target->mapToGlobal(QPointF(50, 50)), {}, {0, 480},
                                              Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
                            QGuiApplication::sendEvent(target, &wheel);
                        }},
                       {400, [&] { ended = !controller().inFullScreenLoop(); }},
                       {500,
                        [&] {
                            QWindow* target = QGuiApplication::focusWindow() ? QGuiApplication::focusWindow() : view();
                            QTest::mouseClick(target, Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
                        }}});
        EXPECT_FALSE(ended) << canSwitch; // nothing but the left click ended it
        EXPECT_EQ(camera.position().x, 5.0f) << canSwitch;
        EXPECT_NEAR(camera.getDistance(), std::sqrt(75.0f), 1e-5f) << canSwitch;
        mainWindow.reset();
    }
}

TEST_F(FullScreen, EscapeInTheWindowDoesNothingAndFullScreenStillEnters)
{
    start(false);
    key(Qt::Key_Escape, "\x1b");
    EXPECT_FALSE(mainWindow.get()->isFullScreen());
    bool looping = false;
    runFullScreen({{200, [&] { looping = controller().inFullScreenLoop(); }}, {300, [&] { key(Qt::Key_Escape, "\x1b"); }}});
    EXPECT_TRUE(looping);
}

TEST_F(FullScreen, CapturePathDrawsItsOwnFramesAtTheChosenModeWithoutTheTimer)
{
    start(true);
    chooseResolution(2); // 800 x 600
    bool noTimer = false, capturing = false;
    std::array<GLint, 4> viewport{};
    double pathBefore = 0, pathDuring = 0;
    runFullScreen({{200,
                    [&] {
                        noTimer = !controller().timer().isActive();
                        capturing = controller().isInFullScreenMode();
                        glGetIntegerv(GL_VIEWPORT, viewport.data());
                        pathBefore = scene().pathState().sLastTimeStamp;
                    }},
                   {400, [&] { pathDuring = scene().pathState().sLastTimeStamp; }},
                   {450, [&] { key(Qt::Key_Escape, "\x1b"); }}});
    EXPECT_TRUE(noTimer);
    EXPECT_TRUE(capturing);
    EXPECT_EQ(viewport, (std::array<GLint, 4>{0, 0, 800, 600}));
    EXPECT_GT(pathDuring, pathBefore); // frames kept coming and the camera moving
    ASSERT_EQ(services->switches.size(), 1);
    EXPECT_EQ(services->switches[0].value(QStringLiteral("Width")).toInt(), 800);
    EXPECT_EQ(services->releases, 1);
    EXPECT_FALSE(controller().isInFullScreenMode());
    EXPECT_TRUE(controller().timer().isActive());
    EXPECT_TRUE(view()->needsDisplay());
}

TEST_F(FullScreen, KeysWorkInsideTheCapturePath)
{
    start(true);
    bool stopped = false, restarted = false, wireFrame = false;
    float moved = 0;
    runFullScreen({{150, [&] { key(Qt::Key_Space, " "); }},
                   {250,
                    [&] {
                        stopped = !scene().getAnimate() && !controller().animating();
                        key(Qt::Key_W, "w");
                        Camera& camera = scene().camera();
                        camera.positionAt(0, 0, 0);
                        camera.lookAt(0, 0, 5);
                        key(Qt::Key_Up, "");
                    }},
                   {350,
                    [&] {
                        wireFrame = scene().getWireFrame();
                        moved = scene().camera().position().z;
                        key(Qt::Key_Space, " ");
                    }},
                   {450, [&] { restarted = scene().getAnimate() && !controller().timer().isActive(); }},
                   {500, [&] { key(Qt::Key_Escape, "\x1b"); }}});
    EXPECT_TRUE(stopped);
    EXPECT_TRUE(wireFrame);
    EXPECT_NEAR(moved, 0.1f, 1e-6f);
    EXPECT_TRUE(restarted);
    EXPECT_TRUE(controller().timer().isActive()); // started on the way out
}

TEST_F(FullScreen, StoppedAnimationLeavesNoTimerButStillRedrawsTheWindow)
{
    start(true);
    controller().selectStopAnimation();
    runFullScreen({{200, [&] { key(Qt::Key_Escape, "\x1b"); }}});
    EXPECT_FALSE(controller().timer().isActive());
    EXPECT_TRUE(view()->needsDisplay());
}

TEST_F(FullScreen, NoContextLogsOncePerAttemptAndChangesNothing)
{
    start(true);
    controller().setFullScreenPixelFormat({PixelFormatAttribute::ColorSize, 128, 0});
    testing::internal::CaptureStderr();
    controller().selectFullScreen();
    controller().selectFullScreen();
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_EQ(log, "Failed to create fullScreenContext\nFailed to create fullScreenContext\n");
    EXPECT_TRUE(controller().timer().isActive());
    EXPECT_FALSE(controller().isInFullScreenMode());
    EXPECT_TRUE(services->switches.empty());
}

// A display with no multisampled format still goes full screen, drawing
// without antialiasing.
TEST_F(FullScreen, CaptureFallsBackToASingleSampledContext)
{
    start(true);
    controller().setFullScreenPixelFormat(
        {PixelFormatAttribute::ColorSize, 16, PixelFormatAttribute::DepthSize, 24, PixelFormatAttribute::DoubleBuffer,
         PixelFormatAttribute::SampleBuffers, 1, PixelFormatAttribute::Samples, 64, 0});
    bool capturing = false;
    double pathBefore = 0, pathDuring = 0;
    runFullScreen({{200,
                    [&] {
                        capturing = controller().isInFullScreenMode();
                        pathBefore = scene().pathState().sLastTimeStamp;
                    }},
                   {400, [&] { pathDuring = scene().pathState().sLastTimeStamp; }}});
    EXPECT_TRUE(capturing);
    EXPECT_GT(pathDuring, pathBefore);
    EXPECT_EQ(services->releases, 1);
}

// Full Screen asked for again while one runs (a command that slipped past
// the input it takes, a script) returns at once and leaves the stay alone.
TEST_F(FullScreen, ASecondFullScreenDuringOneDoesNothing)
{
    for (const bool canSwitch : {false, true}) {
        start(canSwitch);
        bool returnedAtOnce = false, stillInside = false;
        runFullScreen({{200,
                        [&] {
                            controller().selectFullScreen();
                            returnedAtOnce = controller().inFullScreenLoop();
                        }},
                       {300, [&] { stillInside = controller().inFullScreenLoop(); }},
                       {350, [&] { key(Qt::Key_Escape, "\x1b"); }}});
        EXPECT_TRUE(returnedAtOnce) << canSwitch;
        EXPECT_TRUE(stillInside) << canSwitch;
        EXPECT_EQ(services->switches.size(), 0) << canSwitch;
        EXPECT_EQ(services->releases, canSwitch ? 1 : 0) << canSwitch;
        mainWindow.reset();
    }
}

// A step that throws (here the mode switch) takes every step before it back
// on its way out: the displays released, the cursor shown, the capture
// window gone, the timer running; and the next Full Screen works.
TEST_F(FullScreen, AnExceptionInAStepUndoesTheStepsBeforeIt)
{
    class ThrowingSwitch : public ListedDisplayServices {
    public:
        using ListedDisplayServices::ListedDisplayServices;
        bool displaySwitchToMode(DisplayID, const DisplayModeDictionary&) override
        {
            throw std::runtime_error("the switch failed");
        }
    };
    start(std::make_unique<ThrowingSwitch>(offered(), current(), true));
    chooseResolution(2);
    const QWindowList windowsBefore = QGuiApplication::topLevelWindows();
    EXPECT_THROW(controller().selectFullScreen(), std::runtime_error);
    EXPECT_EQ(services->releases, 1);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::topLevelWindows(), windowsBefore);
    EXPECT_FALSE(controller().isInFullScreenMode());
    EXPECT_TRUE(controller().timer().isActive());

    chooseResolution(0);
    bool capturing = false;
    runFullScreen({{200, [&] { capturing = controller().isInFullScreenMode(); }}});
    EXPECT_TRUE(capturing);
    EXPECT_EQ(services->releases, 2);
}

TEST_F(FullScreen, RefusedCaptureStaysWindowedWithTheTimerBack)
{
    start(true);
    {
        const ForeignKeyboardGrab other;
        ASSERT_TRUE(other.held());
        controller().selectFullScreen();
    }
    EXPECT_FALSE(controller().isInFullScreenMode());
    EXPECT_TRUE(controller().animating());
    EXPECT_TRUE(controller().timer().isActive());
    EXPECT_TRUE(services->switches.empty());
    EXPECT_EQ(services->releases, 0);
}

} // namespace
