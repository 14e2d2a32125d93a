#include "app/MainController.h"

#include "app/FerlowOpenGLView.h"
#include "platform/Defaults.h"
#include "platform/OpenGLContext.h"
#include "platform/Timer.h"
#include "platform/Window.h"

MainController::MainController() = default;

MainController::~MainController() = default;

void MainController::setOutlets(FerlowOpenGLView* openGLView, Window* ferlowWindow)
{
    mOpenGLView = openGLView;
    mFerlowWindow = ferlowWindow;
}

void MainController::awakeFromNib()
{
    isAnimating = false;
    Defaults::registerWithStandardStore();
    startAnimation();
}

bool MainController::isInFullScreenMode() const
{
    return fullScreenContext != nullptr;
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
