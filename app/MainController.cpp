#include "app/MainController.h"

#include "app/FullScreenSession.h"
#include "platform/gl/PixelFormat.h"
#include "platform/system/SettingsStore.h"
#include "platform/toolkit/Panel.h"
#include "platform/toolkit/Timer.h"
#include "prefs/PrefsController.h"
#include "scene/SceneSettings.h"
#include "view/FerlowOpenGLView.h"

#include <QScopeGuard>
#include <algorithm>
#include <iterator>

MainController::MainController() = default;

MainController::~MainController() = default;

void MainController::setOutlets(FerlowOpenGLView* openGLView, Window* ferlowWindow, Panel* preferencesWindow,
                                PrefsController* prefsController)
{
    mOpenGLView = openGLView;
    mFerlowWindow = ferlowWindow;
    mPreferencesWindow = preferencesWindow;
    mPrefsController = prefsController;
    mFullScreenAttributes = fullScreenPixelFormatAttributes(1, openGLView->fullSceneAntialiasing());
}

void MainController::openPrefsWindow()
{
    mPreferencesWindow->makeKeyAndOrderFront();
}

// A keyboard command: an action that runs whether the flight runs or
// stands, or else a step of a setting while the animation is on, which goes
// through the preferences controller so that the panel, the scene and the
// store stay equal; while it is off, the arrows step the camera instead and
// the letters do nothing.
struct MainController::KeyCommand {
    // A letter in lower case stands for both cases.
    char16_t key;
    void (MainController::*action)() = nullptr;
    SceneSettingId setting{};
    void (PrefsController::*setValue)(float) = nullptr;
    bool up = false;
    bool stepsCamera = false;
};

// One command per character, the first UTF-16 unit of the key's characters
// with no modifier but Shift. Keys not listed do nothing, silently.
void MainController::keyDown(const KeyEvent& event)
{
    static constexpr KeyCommand kCommands[] = {
        {.key = FunctionKey::Escape, .action = &MainController::endFullScreenLoop},
        {.key = u' ', .action = &MainController::toggleAnimation},
        {.key = u'w', .action = &MainController::toggleWireFrame},
        {.key = u's', .setting = SceneSettingId::LookAhead, .setValue = &PrefsController::setLookAhead, .up = true},
        {.key = u'x', .setting = SceneSettingId::LookAhead, .setValue = &PrefsController::setLookAhead},
        {.key = u'a', .setting = SceneSettingId::CameraHeight, .setValue = &PrefsController::setCameraHeight, .up = true},
        {.key = u'z', .setting = SceneSettingId::CameraHeight, .setValue = &PrefsController::setCameraHeight},
        {.key = FunctionKey::UpArrow,
         .setting = SceneSettingId::Speed,
         .setValue = &PrefsController::setAnimationSpeed,
         .up = true,
         .stepsCamera = true},
        {.key = FunctionKey::DownArrow,
         .setting = SceneSettingId::Speed,
         .setValue = &PrefsController::setAnimationSpeed,
         .stepsCamera = true},
    };
    if (event.charactersIgnoringModifiers.empty())
        return;
    char16_t key = event.charactersIgnoringModifiers.front();
    if (key >= u'A' && key <= u'Z')
        key += u'a' - u'A';
    const auto command = std::ranges::find(kCommands, key, &KeyCommand::key);
    if (command == std::end(kCommands))
        return;
    if (command->action) {
        (this->*command->action)();
    } else if (isAnimating) {
        const SceneSetting& setting = sceneSetting(command->setting);
        const float value = (mOpenGLView->getScene()->*setting.getFloat)();
        (mPrefsController->*command->setValue)(command->up ? setting.raised(value) : setting.lowered(value));
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
    emit animatingChanged(true);
}

void MainController::stopAnimation()
{
    if (!isAnimating)
        return;
    if (animationTimer)
        stopAnimationTimer();
    isAnimating = false;
    emit animatingChanged(false);
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

// Passes from running through stopped back to running, so the old timer
// goes and a fresh one starts; the scene's animate flag is not touched.
void MainController::toggleWireFrame()
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
    SettingsStore::standardUserDefaults().setBool(antialiasing, FerlowOpenGLView::kAntialiasingKey);
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
    mFullScreenSession = std::make_unique<FullScreenSession>(*this, stayInFullScreenMode, *mOpenGLView,
                                                             *mFerlowWindow, *mPrefsController);
    const auto end = qScopeGuard([this] { mFullScreenSession.reset(); });
    if (mOpenGLView->offersViewFullScreen())
        mFullScreenSession->runViewPath();
    else
        mFullScreenSession->runCapturePath(mFullScreenAttributes);
}
