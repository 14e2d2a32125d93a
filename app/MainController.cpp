#include "app/MainController.h"

#include "app/FullScreenSession.h"
#include "platform/gl/PixelFormat.h"
#include "platform/toolkit/Panel.h"
#include "platform/toolkit/Timer.h"
#include "prefs/PrefsController.h"
#include "view/FerlowOpenGLView.h"

#include <QScopeGuard>
#include <algorithm>

MainController::MainController() = default;

MainController::~MainController() = default;

void MainController::setOutlets(FerlowOpenGLView* openGLView, Window* ferlowWindow, Panel* preferencesWindow,
                                PrefsController* prefsController)
{
    mOpenGLView = openGLView;
    mFerlowWindow = ferlowWindow;
    mPreferencesWindow = preferencesWindow;
    mPrefsController = prefsController;
}

void MainController::openPrefsWindow(const void*)
{
    mPreferencesWindow->makeKeyAndOrderFront();
}

// One command per character, the first UTF-16 unit of the key's characters
// with no modifier but Shift; letters act alike in either case. Settings go
// through the preferences controller, so the panel, the scene and the store
// stay equal. Keys not listed do nothing, silently.
void MainController::keyDown(const KeyEvent& event)
{
    if (event.charactersIgnoringModifiers.empty())
        return;
    Scene& scene = *mOpenGLView->getScene();
    switch (event.charactersIgnoringModifiers.front()) {
    case FunctionKey::Escape:
        stayInFullScreenMode = false;
        break;
    case u' ':
        toggleAnimation();
        break;
    case u'w':
    case u'W':
        toggleWireFrame(this);
        break;
    case u's':
    case u'S':
        if (isAnimating)
            mPrefsController->setLookAhead(scene.getLookAhead() + kLookAheadUp);
        break;
    case u'x':
    case u'X':
        if (isAnimating)
            mPrefsController->setLookAhead(scene.getLookAhead() - kLookAheadDown);
        break;
    case u'a':
    case u'A':
        if (isAnimating)
            mPrefsController->setCameraHeight(scene.getCameraHeight() + kCameraHeightUp);
        break;
    case u'z':
    case u'Z':
        if (isAnimating)
            mPrefsController->setCameraHeight(scene.getCameraHeight() - kCameraHeightDown);
        break;
    case FunctionKey::UpArrow:
        if (isAnimating)
            mPrefsController->setAnimationSpeed(std::min(scene.getAnimationSpeed() + kSpeedStep, kMaxSpeed));
        else
            stepCamera(true);
        break;
    case FunctionKey::DownArrow:
        if (isAnimating)
            mPrefsController->setAnimationSpeed(std::max(scene.getAnimationSpeed() - kSpeedStep, kMinSpeed));
        else
            stepCamera(false);
        break;
    default:
        break;
    }
}

// While full screen runs its own loop, that loop draws the next frame.
void MainController::stepCamera(bool forwards)
{
    Camera& camera = mOpenGLView->getScene()->camera();
    if (forwards)
        camera.moveForwards(kCameraStep);
    else
        camera.moveBackwards(kCameraStep);
    if (!stayInFullScreenMode)
        mOpenGLView->setNeedsDisplay(true);
}

void MainController::awakeFromNib()
{
    isAnimating = false;
    setupToolbar();
    startAnimation();
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
}

void MainController::stopAnimation()
{
    if (!isAnimating)
        return;
    if (animationTimer)
        stopAnimationTimer();
    isAnimating = false;
}

void MainController::startAnimationTimer()
{
    if (animationTimer)
        return;
    animationTimer = Timer::scheduledTimerWithTimeInterval(
        kAnimationInterval, [this](Timer& timer) { animationTimerFired(timer); }, true);
}

void MainController::stopAnimationTimer()
{
    if (!animationTimer)
        return;
    animationTimer->invalidate();
    animationTimer.reset();
}

void MainController::animationTimerFired(Timer&)
{
    mOpenGLView->setNeedsDisplay(true);
}

void MainController::selectStartAnimation(const void*)
{
    if (isAnimating)
        return;
    mOpenGLView->getScene()->setAnimate(true);
    startAnimation();
}

void MainController::selectStopAnimation(const void*)
{
    if (!isAnimating)
        return;
    mOpenGLView->getScene()->setAnimate(false);
    stopAnimation();
}

void MainController::toggleAnimation()
{
    if (isAnimating)
        selectStopAnimation(this);
    else
        selectStartAnimation(this);
}

// Passes from running through stopped back to running, so the old timer
// goes and a fresh one starts; the scene's animate flag is not touched.
void MainController::toggleWireFrame(const void*)
{
    const bool wasAnimating = isAnimating;
    if (wasAnimating)
        stopAnimation();
    Scene* scene = mOpenGLView->getScene();
    scene->setWireFrame(!scene->getWireFrame());
    if (!stayInFullScreenMode)
        mOpenGLView->setNeedsDisplay(true);
    if (wasAnimating)
        startAnimation();
}

std::vector<std::uint32_t> MainController::fullScreenPixelFormatAttributes(std::uint32_t screenMask)
{
    using namespace PixelFormatAttribute;
    return {AllowOfflineRenderers, ScreenMask, screenMask, ColorSize, 16, DepthSize, 24, DoubleBuffer, Accelerated,
            SampleBuffers, 1, Samples, 2, 0};
}

// Two ways, chosen by what the view offers. Where the display cannot switch
// modes the view itself goes full screen and draws as ever, on the timer.
// Elsewhere the display is captured, switched to the resolution chosen in
// the preferences, and drawn by a context of its own in a loop. The session
// holds what either sets up and undoes it when it goes, however the stay
// ends.
void MainController::selectFullScreen(const void*)
{
    if (mFullScreenSession)
        return;
    mFullScreenSession = std::make_unique<FullScreenSession>(*this, stayInFullScreenMode, *mOpenGLView,
                                                             *mFerlowWindow, *mPrefsController);
    const auto end = qScopeGuard([this] { mFullScreenSession.reset(); });
    if (mOpenGLView->offersViewFullScreen())
        mFullScreenSession->runViewPath();
    else
        mFullScreenSession->runCapturePath(mFullScreenAttributes);
}
