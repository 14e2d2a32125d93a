#pragma once

#include "app/FullScreenSession.h"

#include <QObject>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

class ActionRegistry;
class FerlowOpenGLView;
class Panel;
class PreferencesPanel;
class PrefsController;
class QMainWindow;

// The application's controller: owns the animation timer and the preferences
// controller, turns animation and wire frame on and off, and receives every
// key press of the view.
//
// Animation is a redraw clock, not a motion clock: the timer only asks the
// view to redraw, and each redraw lets the Scene advance the camera by the
// time that has really passed. Two flags take part: isAnimating says whether
// the window is redrawn on a clock (the user's Start and Stop), the scene's
// own animate flag whether a redraw moves the camera.
//
// Invariants: the timer runs only while isAnimating is true, and while
// isAnimating is true outside display-capture full screen it runs.
class MainController : public QObject, public FullScreenSession::Controller {
    Q_OBJECT

public:
    // About 59 redraws a second; motion does not depend on it.
    static constexpr std::chrono::milliseconds kAnimationInterval{17};

    // Starts the program's work in the window, in this order: the commands
    // made and registered, the window's toolbar built over them, the
    // animation started, then the preferences controller made, which fills
    // the panel. From then on the controller takes the view's key presses.
    MainController(FerlowOpenGLView& openGLView, QMainWindow& ferlowWindow, PreferencesPanel& preferencesWindow,
                   ActionRegistry& commands);
    ~MainController() override;

    // The arrow keys' step of a standing camera; the steps of the settings
    // are in the table of scene settings.
    static constexpr float kCameraStep = 0.1f;

    PrefsController& prefsController() const { return *mPrefsController; }

    // The keyboard commands; see MainController.cpp.
    void keyDown(const QKeyEvent& event) override;

    void openPrefsWindow();
    void toggleWireFrame();
    // Shows the scene on the whole screen until Escape, a left click or a
    // request to quit, and returns only then; see MainController.cpp for the
    // two ways it does so. Does nothing while a full screen is under way.
    void selectFullScreen();
    // Turns the view's antialiasing over, at once, for full screen too, and
    // stores the choice.
    void toggleAntialiasing();
    // The pixel format of the display-capture context: 16-bit colour,
    // 24-bit depth, double buffered, on the given screens; with
    // antialiasing, 2 samples.
    static std::vector<std::uint32_t> fullScreenPixelFormatAttributes(std::uint32_t screenMask,
                                                                      bool fullSceneAntialiasing = true);
    // Replaces that format (a diagnostic, or a test of the failure path).
    void setFullScreenPixelFormat(std::vector<std::uint32_t> attributes) { mFullScreenAttributes = std::move(attributes); }
    void toggleAnimation();
    void selectStartAnimation();
    void selectStopAnimation();

    void startAnimation();
    void stopAnimation();
    void startAnimationTimer() override;
    void stopAnimationTimer() override;
    void animationTimerFired();

    bool animating() const override { return isAnimating; }
    const QTimer& timer() const { return animationTimer; }
    bool isInFullScreenMode() const;
    bool inFullScreenLoop() const { return mFullScreenSession && mFullScreenSession->inLoop(); }

    // The identifiers of the controller's commands: the toolbar stores its
    // arrangement as a list of them.
    static inline const QString kFullScreenItem = QStringLiteral("FullScreen Item Identifier");
    static inline const QString kStartItem = QStringLiteral("Start Item Identifier");
    static inline const QString kStopItem = QStringLiteral("Stop Item Identifier");
    static inline const QString kWireFrameItem = QStringLiteral("WireFrame Item Identifier");
    static inline const QString kPrefsItem = QStringLiteral("Prefs Item Identifier");
    static inline const QString kAntialiasingItem = QStringLiteral("Antialiasing Item Identifier");

signals:
    // As the animation starts and stops, at once: the commands that offer
    // only the change it can make follow it.
    void animatingChanged(bool animating);
    // As antialiasing turns: its command's check mark follows it.
    void antialiasingChanged(bool antialiasing);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Makes the controller's commands, one action each, and registers them
    // for the menus and the toolbar. See MainControllerToolbar.cpp.
    void addCommands(ActionRegistry& commands);
    // The main window's toolbar, over the registered commands.
    void setupToolbar(const ActionRegistry& commands);

    bool isAnimating = false;
    QTimer animationTimer;
    FerlowOpenGLView* mOpenGLView;
    QMainWindow* mFerlowWindow;
    Panel* mPreferencesWindow;
    std::unique_ptr<PrefsController> mPrefsController;
    // Everything a full screen sets up, the display-capture path's context
    // and the loop's state among it; present from the command to the window
    // back. Declared after what its guards refer to, so that it goes first.
    std::unique_ptr<FullScreenSession> mFullScreenSession;

    std::vector<std::uint32_t> mFullScreenAttributes;

    struct KeyCommand;
    void endFullScreenLoop();
    void stepCamera(bool forwards);
};
