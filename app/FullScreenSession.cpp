#include "app/FullScreenSession.h"

#include "platform/display/DisplayServices.h"
#include "platform/gl/GL.h"
#include "platform/gl/OpenGLContext.h"
#include "platform/gl/PixelFormat.h"
#include "platform/gl/SwapInterval.h"
#include "platform/system/OrderlyExit.h"
#include "platform/system/SystemLog.h"
#include "platform/system/SystemMemory.h"
#include "prefs/PrefsController.h"
#include "view/FerlowOpenGLView.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace {

// Long enough for a loaded machine to map and show a window.
constexpr int kExposeWaitMilliseconds = 2000;
// How often the wait for the window wakes when no event comes.
constexpr int kWakeMilliseconds = 10;

// A double click's second press counts as one more press.
bool isLeftPress(const QInputEvent& event)
{
    const bool press = event.type() == QEvent::MouseButtonPress || event.type() == QEvent::MouseButtonDblClick;
    return press && static_cast<const QMouseEvent&>(event).button() == Qt::LeftButton;
}

} // namespace

// The guards, in the order of the steps that make them. Each undoes its step
// when it goes.

// Before anything else: when the stay is over, the heap pages freed meanwhile
// go back to the system. A full-screen context's driver state is many small
// blocks among others that stay, which would pin those pages for the rest of
// the run, a little more with every stay. A program on its way out spares
// itself the time.
class FullScreenSession::ReturnedMemory {
public:
    explicit ReturnedMemory(const FullScreenSession& session)
        : mSession(session)
    {
    }
    ~ReturnedMemory()
    {
        if (!mSession.quitRequested())
            returnFreeMemory();
    }

private:
    const FullScreenSession& mSession;
};

// The pointer shows nothing over the application's windows: the view path's
// first step, the capture path's seventh.
class FullScreenSession::HiddenCursor {
public:
    HiddenCursor() { QGuiApplication::setOverrideCursor(Qt::BlankCursor); }
    ~HiddenCursor() { QGuiApplication::restoreOverrideCursor(); }
};

// The view path: the view's window full screen on the main window's screen,
// its menu bar and toolbar hidden.
class FullScreenSession::ViewFullScreen {
public:
    ViewFullScreen(FerlowOpenGLView& view, QScreen* screen)
        : mView(view)
    {
        mView.enterFullScreenMode(screen);
    }
    ~ViewFullScreen() { mView.exitFullScreenMode(); }

private:
    FerlowOpenGLView& mView;
};

// Capture path, step 5: no animation timer while the loop draws. Afterwards
// it runs again if the animation is on then (the space bar may have turned
// it off or on meanwhile).
class FullScreenSession::StoppedTimer {
public:
    explicit StoppedTimer(Controller& controller)
        : mController(controller)
    {
        if (mController.animating())
            mController.stopAnimationTimer();
    }
    ~StoppedTimer()
    {
        if (mController.animating())
            mController.startAnimationTimer();
    }

private:
    Controller& mController;
};

// Step 6 begins with a borderless window of the program's own over the main
// display, above every other window, which the full-screen context draws to.
// When it goes, the main window takes the keyboard back and shows the
// current scene (step 17).
class FullScreenSession::CaptureWindow {
public:
    CaptureWindow(const QSurfaceFormat& format, const QRect& bounds, QWidget& ferlowWindow, FerlowOpenGLView& view)
        : mWindow(std::make_unique<QWindow>())
        , mFerlowWindow(ferlowWindow)
        , mView(view)
    {
        mWindow->setSurfaceType(QSurface::OpenGLSurface);
        mWindow->setFormat(format);
        mWindow->setFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
        place(bounds);
        mWindow->showFullScreen();
    }
    ~CaptureWindow()
    {
        mWindow.reset();
        mFerlowWindow.activateWindow();
        mView.setNeedsDisplay(true);
    }

    QWindow& window() const { return *mWindow; }

    // Covers exactly these pixels of the desktop, on the screen that shows
    // them. Qt places a window in pixels from the screen's corner scaled by
    // its ratio, the corner itself unscaled.
    void place(const QRect& bounds)
    {
        if (QScreen* screen = QGuiApplication::screenAt(bounds.center()))
            mWindow->setScreen(screen);
        mWindow->setGeometry(QRect(bounds.topLeft(), bounds.size() / mWindow->devicePixelRatio()));
    }

private:
    std::unique_ptr<QWindow> mWindow;
    QWidget& mFerlowWindow;
    FerlowOpenGLView& mView;
};

// Step 6 goes on with the keyboard and the pointer held by the capture
// window alone, so that no other program sees input. A grab refused (another
// program holds one) is a capture refused.
class FullScreenSession::InputGrabs {
public:
    explicit InputGrabs(QWindow& window)
        : mWindow(window)
        , mKeyboard(window.setKeyboardGrabEnabled(true))
        , mPointer(mKeyboard && window.setMouseGrabEnabled(true))
    {
    }
    ~InputGrabs()
    {
        if (mPointer)
            mWindow.setMouseGrabEnabled(false);
        if (mKeyboard)
            mWindow.setKeyboardGrabEnabled(false);
    }

    bool held() const { return mKeyboard && mPointer; }

private:
    QWindow& mWindow;
    bool mKeyboard;
    bool mPointer;
};

// Step 6 ends with the displays the program's; step 8 switches the main one
// through it. When this goes, the displays get back the layout they had
// before any switch: every display's mode and place, and the desktop's size.
class FullScreenSession::CapturedDisplays {
public:
    explicit CapturedDisplays(DisplayServices& services)
        : mServices(services)
    {
    }
    ~CapturedDisplays() { mServices.releaseAllDisplays(); }

    void switchToMode(DisplayID display, const DisplayModeDictionary& mode)
    {
        mServices.displaySwitchToMode(display, mode);
    }

private:
    DisplayServices& mServices;
};

// Step 9: the full-screen context current on the capture window. When this
// goes (step 15), no context is current and the window is the context's no
// more; then the view's context is made current again, as after any frame of
// the view, so that later changes of the scene (a new grid size drops a
// display list) find it so. Leaves the view's context current.
class FullScreenSession::CurrentContext {
public:
    CurrentContext(OpenGLContext& context, QWindow& window, OpenGLContext* viewContext)
        : mContext(context)
        , mViewContext(viewContext)
    {
        mContext.setDrawable(&window);
        mContext.makeCurrentContext();
    }
    ~CurrentContext()
    {
        OpenGLContext::clearCurrentContext();
        mContext.clearDrawable();
        if (mViewContext)
            mViewContext->makeCurrentContext();
    }

private:
    OpenGLContext& mContext;
    OpenGLContext* mViewContext;
};

// Step 10: each flush of the current drawable waits for the display's
// refresh; step 14 gives the drawable back the interval it had.
class FullScreenSession::SyncedSwaps {
public:
    SyncedSwaps()
        : mPrevious(SwapInterval::current())
    {
        SwapInterval::setCurrent(1);
    }
    ~SyncedSwaps()
    {
        if (mPrevious)
            SwapInterval::setCurrent(*mPrevious);
    }

private:
    std::optional<int> mPrevious;
};

// Step 12 shows frames of the scene. When this goes (step 13), both buffers
// of the full-screen context turn black, so that nothing of the scene
// flashes up when the display is given back. Leaves the full-screen context
// current with the clear colour black (0, 0, 0, 0).
class FullScreenSession::FramesOnScreen {
public:
    explicit FramesOnScreen(OpenGLContext& context)
        : mContext(context)
    {
    }
    ~FramesOnScreen()
    {
        mContext.makeCurrentContext();
        glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        mContext.flushBuffer();
        glClear(GL_COLOR_BUFFER_BIT);
        mContext.flushBuffer();
    }

private:
    OpenGLContext& mContext;
};

FullScreenSession::FullScreenSession(Controller& controller, FerlowOpenGLView& view, QWidget& ferlowWindow,
                                     PrefsController& prefsController)
    : mController(controller)
    , mView(view)
    , mFerlowWindow(ferlowWindow)
    , mPrefsController(prefsController)
    , mReturnedMemory(std::make_unique<ReturnedMemory>(*this))
{
}

// The guards go in the reverse order of their members: the way back.
FullScreenSession::~FullScreenSession() = default;

void FullScreenSession::runViewPath()
{
    mViewCursor = std::make_unique<HiddenCursor>();
    mViewFullScreen = std::make_unique<ViewFullScreen>(mView, mFerlowWindow.screen());
    mEvents.holdKeyboard();
    mStayInFullScreenMode = true;
    runLoop(nullptr);
}

void FullScreenSession::runCapturePath(const std::vector<std::uint32_t>& pixelFormatAttributes)
{
    Scene* scene = mView.getScene();
    const std::unique_ptr<PixelFormat> format = PixelFormat::fromAttributesOrSingleSampled(pixelFormatAttributes);
    mContext = format ? OpenGLContext::create(*format, mView.openGLContext()) : nullptr;
    if (!mContext) {
        systemLog("Failed to create fullScreenContext");
        return;
    }
    mStoppedTimer = std::make_unique<StoppedTimer>(mController);
    if (!captureMainDisplay() || quitRequested())
        return;
    // The main display's size after the switch, and perhaps a new place:
    // a mode of another size moves the displays beside it on some desktops.
    DisplayServices& display = DisplayServices::shared();
    const QRect bounds = display.displayBounds(display.mainDisplayID());
    if (!bounds.isEmpty())
        mCaptureWindow->place(bounds);
    mCurrentContext = std::make_unique<CurrentContext>(*mContext, mCaptureWindow->window(), mView.openGLContext());
    mSyncedSwaps = std::make_unique<SyncedSwaps>();
    // The full-screen context's viewport and projection; the window's
    // context keeps its own.
    scene->setViewportRect({0.0, 0.0, double(bounds.width()), double(bounds.height())});
    mFramesOnScreen = std::make_unique<FramesOnScreen>(*mContext);
    mStayInFullScreenMode = true;
    runLoop(scene);
}

// On X11 the displays are captured by a window covering the main one that
// holds the keyboard and the pointer. Its place comes from the display
// services, which know the main display wherever it stands on the desktop;
// Qt's primary screen is the fallback where they know none.
bool FullScreenSession::captureMainDisplay()
{
    DisplayServices& display = DisplayServices::shared();
    const DisplayID mainDisplay = display.mainDisplayID();
    QRect bounds = display.displayBounds(mainDisplay);
    if (bounds.isEmpty())
        bounds = QGuiApplication::primaryScreen()->geometry();
    mCaptureWindow = std::make_unique<CaptureWindow>(mContext->qtContext()->format(), bounds, mFerlowWindow, mView);
    if (!awaitExposure() || quitRequested())
        return false;
    mGrabs = std::make_unique<InputGrabs>(mCaptureWindow->window());
    if (!mGrabs->held())
        return false;
    mEvents.holdKeyboard();
    mCapturedDisplays = std::make_unique<CapturedDisplays>(display);
    mCaptureCursor = std::make_unique<HiddenCursor>();
    if (quitRequested())
        return false;
    if (const auto mode = mPrefsController.displayMode())
        mCapturedDisplays->switchToMode(mainDisplay, *mode);
    return true;
}

// A signal may have come while a step ran, its request not yet delivered by
// the event loop: a step that waits for it would only be undone again.
bool FullScreenSession::quitRequested() const
{
    return mEvents.quitRequested() || orderlyExitRequested();
}

bool FullScreenSession::awaitExposure()
{
    const QWindow& window = mCaptureWindow->window();
    const QDeadlineTimer deadline(kExposeWaitMilliseconds);
    QTimer wake;
    wake.start(kWakeMilliseconds);
    while (!window.isExposed() && !deadline.hasExpired() && !quitRequested())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    return window.isExposed();
}

// Each pass takes the pending events, hands key presses to keyDown and drops
// every other event, then (given a scene) draws one frame and presents it.
// Without a scene to draw, a pass waits for the next event or timer rather
// than spinning. A request to quit the application ends the loop at once,
// without the pass's frame: the program is on its way out, and on a loaded
// machine a frame of a software renderer takes a good part of a second.
// Leaves the full-screen context current, in the state Scene::render leaves.
void FullScreenSession::runLoop(Scene* renderEachPass)
{
    while (mStayInFullScreenMode) {
        QCoreApplication::processEvents(renderEachPass ? QEventLoop::AllEvents
                                                       : QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        while (const std::unique_ptr<QInputEvent> event = mEvents.next()) {
            if (isLeftPress(*event))
                mStayInFullScreenMode = false;
            else if (event->type() == QEvent::KeyPress)
                mController.keyDown(static_cast<const QKeyEvent&>(*event));
        }
        if (quitRequested()) {
            mStayInFullScreenMode = false;
            return;
        }
        if (renderEachPass) {
            // A redraw of the window asked for before the loop began may
            // have made the window's context current meanwhile.
            mContext->makeCurrentContext();
            renderEachPass->render();
            mContext->flushBuffer();
        }
    }
}
