#include "app/MainController.h"

#include "app/FullScreenSession.h"
#include "platform/gl/PixelFormat.h"
#include "platform/system/SettingsStore.h"
#include "platform/toolkit/Panel.h"
#include "prefs/PreferencesPanel.h"
#include "prefs/PrefsController.h"
#include "scene/SceneSettings.h"
#include "view/FerlowOpenGLView.h"

#include <QKeyEvent>
#include <QMainWindow>
#include <QScopeGuard>
#include <algorithm>
#include <iterator>

// The timer is kept to the millisecond: an ordinary QTimer may fire up to
// 5% of its interval early or late.
MainController::MainController(FerlowOpenGLView& openGLView, QMainWindow& ferlowWindow,
                               PreferencesPanel& preferencesWindow, ActionRegistry& commands)
    : mOpenGLView(&openGLView)
    , mFerlowWindow(&ferlowWindow)
    , mPreferencesWindow(&preferencesWindow)
    , mFullScreenAttributes(fullScreenPixelFormatAttributes(1, openGLView.fullSceneAntialiasing()))
{
    animationTimer.setTimerType(Qt::PreciseTimer);
    animationTimer.setInterval(kAnimationInterval);
    connect(&animationTimer, &QTimer::timeout, this, &MainController::animationTimerFired);
    addCommands(commands);
    setupToolbar(commands);
    startAnimation();
    mPrefsController = std::make_unique<PrefsController>(preferencesWindow, openGLView);
    openGLView.installEventFilter(this);
}

MainController::~MainController() = default;

// Every key press of the view is a keyboard command or nothing: none goes
// on to the window.
bool MainController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != mOpenGLView || event->type() != QEvent::KeyPress)
        return false;
    keyDown(static_cast<const QKeyEvent&>(*event));
    return true;
}

void MainController::openPrefsWindow()
{
    mPreferencesWindow->show();
    mPreferencesWindow->raise();
    mPreferencesWindow->activateWindow();
}

// A keyboard command: an action that runs whether the flight runs or
// stands, or else a step of a setting while the animation is on, which goes
// through the preferences controller so that the panel, the scene and the
// store stay equal; while it is off, the arrows step the camera instead and
// the letters do nothing.
struct MainController::KeyCommand {
    Qt::Key key;
    void (MainController::*action)() = nullptr;
    SceneSettingId setting{};
    void (PrefsController::*setValue)(float) = nullptr;
    bool up = false;
    bool stepsCamera = false;
};

// One command per key, whatever modifiers are held with it (Shift, Ctrl,
// Alt, Meta, the keypad's): a letter in either case, Ctrl+Space as Space.
// Keys not listed do nothing, silently.
void MainController::keyDown(const QKeyEvent& event)
{
    static constexpr KeyCommand kCommands[] = {
        {.key = Qt::Key_Escape, .action = &MainController::endFullScreenLoop},
        {.key = Qt::Key_Space, .action = &MainController::toggleAnimation},
        {.key = Qt::Key_W, .action = &MainController::toggleWireFrame},
        {.key = Qt::Key_S, .setting = SceneSettingId::LookAhead, .setValue = &PrefsController::setLookAhead, .up = true},
        {.key = Qt::Key_X, .setting = SceneSettingId::LookAhead, .setValue = &PrefsController::setLookAhead},
        {.key = Qt::Key_A, .setting = SceneSettingId::CameraHeight, .setValue = &PrefsController::setCameraHeight, .up = true},
        {.key = Qt::Key_Z, .setting = SceneSettingId::CameraHeight, .setValue = &PrefsController::setCameraHeight},
        {.key = Qt::Key_Up,
         .setting = SceneSettingId::Speed,
         .setValue = &PrefsController::setAnimationSpeed,
         .up = true,
         .stepsCamera = true},
        {.key = Qt::Key_Down,
         .setting = SceneSettingId::Speed,
         .setValue = &PrefsController::setAnimationSpeed,
         .stepsCamera = true},
    };
    const auto command = std::ranges::find(kCommands, Qt::Key(event.key()), &KeyCommand::key);
    if (command == std::end(kCommands))
        return;
    if (command->action) {
        (this->*command->action)();
    } else if (isAnimating) {
        const SceneSetting& setting = sceneSetting(command->setting);
        const float value = (mOpenGLView->getScene()->*setting.getFloat)();
        (mPrefsController.get()->*command->setValue)(command->up ? setting.raised(value) : setting.lowered(value));
    } else if (command->stepsCamera) {
        stepCamera(command->up);
    }
}

// While full screen runs its own loop, that loop draws the next frame.
void MainController::stepCamera(bool forwards)
{
    Scene& scene = *mOpenGLView->getScene();
    if (forwards)
        scene.camera().moveForwards(kCameraStep);
    else
        scene.camera().moveBackwards(kCameraStep);
    scene.keepEyeAboveGround();
    if (!inFullScreenLoop())
        mOpenGLView->setNeedsDisplay(true);
}

void MainController::endFullScreenLoop()
{
    if (mFullScreenSession)
        mFullScreenSession->endLoop();
}

bool MainController::isInFullScreenMode() const
{
    return mFullScreenSession && mFullScreenSession->holdsContext();
}

void MainController::startAnimation()
{
    if (isAnimating)
        return;
    isAnimating = true;
    if (!isInFullScreenMode())
        startAnimationTimer();
    emit animatingChanged(true);
}

void MainController::stopAnimation()
{
    if (!isAnimating)
        return;
    stopAnimationTimer();
    isAnimating = false;
    emit animatingChanged(false);
}

void MainController::startAnimationTimer()
{
    if (!animationTimer.isActive())
        animationTimer.start();
}

void MainController::stopAnimationTimer()
{
    animationTimer.stop();
}

void MainController::animationTimerFired()
{
    mOpenGLView->setNeedsDisplay(true);
}

void MainController::selectStartAnimation()
{
    if (isAnimating)
        return;
    mOpenGLView->getScene()->setAnimate(true);
    startAnimation();
}

void MainController::selectStopAnimation()
{
    if (!isAnimating)
        return;
    mOpenGLView->getScene()->setAnimate(false);
    stopAnimation();
}

void MainController::toggleAnimation()
{
    if (isAnimating)
        selectStopAnimation();
    else
        selectStartAnimation();
}

// Passes from running through stopped back to running, so the timer starts
// its interval afresh; the scene's animate flag is not touched.
void MainController::toggleWireFrame()
{
    const bool wasAnimating = isAnimating;
    if (wasAnimating)
        stopAnimation();
    Scene* scene = mOpenGLView->getScene();
    scene->setWireFrame(!scene->getWireFrame());
    if (!inFullScreenLoop())
        mOpenGLView->setNeedsDisplay(true);
    if (wasAnimating)
        startAnimation();
}

std::vector<std::uint32_t> MainController::fullScreenPixelFormatAttributes(std::uint32_t screenMask,
                                                                          bool fullSceneAntialiasing)
{
    using namespace PixelFormatAttribute;
    const std::uint32_t f = fullSceneAntialiasing ? 1 : 0;
    return {AllowOfflineRenderers, ScreenMask, screenMask, ColorSize, 16, DepthSize, 24, DoubleBuffer, Accelerated,
            SampleBuffers, f, Samples, 2 * f, 0};
}

void MainController::toggleAntialiasing()
{
    const bool antialiasing = !mOpenGLView->fullSceneAntialiasing();
    mOpenGLView->setFullSceneAntialiasing(antialiasing);
    SettingsStore::shared().setBool(antialiasing, FerlowOpenGLView::kAntialiasingKey);
    mFullScreenAttributes = fullScreenPixelFormatAttributes(1, antialiasing);
    emit antialiasingChanged(antialiasing);
}

// Two ways, chosen by what the view offers. Where the display cannot switch
// modes the view itself goes full screen and draws as ever, on the timer.
// Elsewhere the display is captured, switched to the resolution chosen in
// the preferences, and drawn by a context of its own in a loop. The session
// holds what either sets up and undoes it when it goes, however the stay
// ends.
void MainController::selectFullScreen()
{
    if (mFullScreenSession)
        return;
    mFullScreenSession =
        std::make_unique<FullScreenSession>(*this, *mOpenGLView, *mFerlowWindow, *mPrefsController);
    const auto end = qScopeGuard([this] { mFullScreenSession.reset(); });
    if (mOpenGLView->offersViewFullScreen())
        mFullScreenSession->runViewPath();
    else
        mFullScreenSession->runCapturePath(mFullScreenAttributes);
}
