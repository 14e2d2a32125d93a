#pragma once

#include "platform/Application.h"
#include "platform/Responder.h"

#include <memory>

class FerlowOpenGLView;
class OpenGLContext;
class Timer;
class Window;

// The application's controller: owns the animation timer, turns animation
// and wire frame on and off, and receives every key press.
//
// Animation is a redraw clock, not a motion clock: the timer only asks the
// view to redraw, and each redraw lets the Scene advance the camera by the
// time that has really passed. Two flags take part: isAnimating says whether
// the window is redrawn on a clock (the user's Start and Stop), the scene's
// own animate flag whether a redraw moves the camera.
//
// Invariants: a timer exists only while isAnimating is true, and while
// isAnimating is true outside display-capture full screen a timer exists.
class MainController : public Responder, public InterfaceObject, public ApplicationDelegate {
public:
    // About 59 redraws a second; motion does not depend on it.
    static constexpr double kAnimationInterval = 0.017;

    MainController();
    ~MainController() override;

    // Outlets, connected once when the interface is loaded.
    void setOutlets(FerlowOpenGLView* openGLView, Window* ferlowWindow);

    void awakeFromNib() override;
    bool applicationShouldTerminateAfterLastWindowClosed() override { return true; }

    void toggleWireFrame(const void* sender = nullptr);
    void toggleAnimation();
    void selectStartAnimation(const void* sender = nullptr);
    void selectStopAnimation(const void* sender = nullptr);

    void startAnimation();
    void stopAnimation();
    void startAnimationTimer();
    void stopAnimationTimer();
    void animationTimerFired(Timer& timer);

    bool animating() const { return isAnimating; }
    const Timer* timer() const { return animationTimer.get(); }
    bool isInFullScreenMode() const;

private:
    bool isAnimating = false;
    std::unique_ptr<Timer> animationTimer;
    bool stayInFullScreenMode = false;
    std::unique_ptr<OpenGLContext> fullScreenContext;
    FerlowOpenGLView* mOpenGLView = nullptr;
    Window* mFerlowWindow = nullptr;
};
