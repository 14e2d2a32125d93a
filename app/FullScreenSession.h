#pragma once

#include "platform/toolkit/FullScreenEvents.h"

#include <cstdint>
#include <memory>
#include <vector>

class FerlowOpenGLView;
class OpenGLContext;
class PrefsController;
class QKeyEvent;
class QWidget;
class Scene;

// One stay in full screen, from the command to the window back, on either
// of the two ways MainController::selectFullScreen chooses from: made by it,
// run, and let go when the stay ends.
//
// It owns everything its path sets up. Each step, once done, is held by a
// guard that undoes it when the guard goes, and the guards are members in
// the order of their steps, so they go in the reverse order whichever way
// the stay ends: Escape or a left click, a request to quit, a step that
// fails, an exception.
//
// From its start the session takes every input event of the application
// (FullScreenEvents): no command of the window, the menus or the toolbar (a
// second Full Screen among them) acts until it ends. A request to quit ends
// it at whichever step it comes.
class FullScreenSession {
public:
    // What a stay needs of the application's controller: its animation
    // timer, held while the capture path draws in a loop of its own, and its
    // keyboard commands, which the loop hands every key press to.
    class Controller {
    public:
        virtual bool animating() const = 0;
        virtual void stopAnimationTimer() = 0;
        virtual void startAnimationTimer() = 0;
        virtual void keyDown(const QKeyEvent& event) = 0;

    protected:
        ~Controller() = default;
    };

    FullScreenSession(Controller& controller, FerlowOpenGLView& view, QWidget& ferlowWindow,
                      PrefsController& prefsController);
    ~FullScreenSession();
    FullScreenSession(const FullScreenSession&) = delete;
    FullScreenSession& operator=(const FullScreenSession&) = delete;

    // The view itself on the main window's screen, drawing on the timer as
    // ever, until the loop ends.
    void runViewPath();
    // The main display captured, switched to the mode chosen in the
    // preferences, and drawn by a context of its own (made from the
    // attribute list) in the loop, until the loop ends.
    void runCapturePath(const std::vector<std::uint32_t>& pixelFormatAttributes);

    // Whether the capture path's context exists.
    bool holdsContext() const { return mContext != nullptr; }
    // Whether the loop runs: from its start until Escape (endLoop), a left
    // click or a request to quit ends it.
    bool inLoop() const { return mStayInFullScreenMode; }
    void endLoop() { mStayInFullScreenMode = false; }

private:
    class ReturnedMemory;
    class StoppedTimer;
    class HiddenCursor;
    class ViewFullScreen;
    class CaptureWindow;
    class InputGrabs;
    class CapturedDisplays;
    class CurrentContext;
    class SyncedSwaps;
    class FramesOnScreen;

    // Steps 6 to 8 of the capture path: the window over the main display,
    // the input held, the displays taken and the main one switched; whether
    // the stay goes on.
    bool captureMainDisplay();
    // Runs the event loop until the capture window shows, a generous time
    // is up or a quit is requested; whether the window shows.
    bool awaitExposure();
    // Whether the program is asked to quit: a request the event loop has
    // delivered, or a signal it has not got to yet.
    bool quitRequested() const;
    // Until Escape, a left click or a request to quit; with a scene, each
    // pass draws one frame of it in the full-screen context.
    void runLoop(Scene* renderEachPass);

    Controller& mController;
    bool mStayInFullScreenMode = false;
    FerlowOpenGLView& mView;
    QWidget& mFerlowWindow;
    PrefsController& mPrefsController;

    // In the order of the steps that make them; see the .cpp for each.
    FullScreenEvents mEvents;
    std::unique_ptr<ReturnedMemory> mReturnedMemory;
    std::unique_ptr<HiddenCursor> mViewCursor;
    std::unique_ptr<ViewFullScreen> mViewFullScreen;
    std::unique_ptr<OpenGLContext> mContext;
    std::unique_ptr<StoppedTimer> mStoppedTimer;
    std::unique_ptr<CaptureWindow> mCaptureWindow;
    std::unique_ptr<InputGrabs> mGrabs;
    std::unique_ptr<CapturedDisplays> mCapturedDisplays;
    std::unique_ptr<HiddenCursor> mCaptureCursor;
    std::unique_ptr<CurrentContext> mCurrentContext;
    std::unique_ptr<SyncedSwaps> mSyncedSwaps;
    std::unique_ptr<FramesOnScreen> mFramesOnScreen;
};
