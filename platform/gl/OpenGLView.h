#pragma once

#include <QAbstractNativeEventFilter>
#include <QRectF>
#include <QSize>
#include <QWindow>
#include <cstdint>
#include <memory>
#include <vector>

class OpenGLContext;
class PixelFormat;
class QWidget;

// A window-system surface drawn with OpenGL: the drawing area of a main
// window. It is a native QWindow with a context of its own, embedded in the
// main window through a container widget, so frames go straight to the
// window without the extra framebuffer copy a QOpenGLWidget makes.
//
// The context is created with the view and lives exactly as long as it; the
// view is never moved to another parent, so whatever display lists and
// textures the context's share group holds stay valid for the view's life.
//
// Drawing: setNeedsDisplay(true) draws once at the next pass of the event
// loop (requests coalesce); display() draws at once. Either way the context
// is current while drawRect() runs, as it is while reshape() runs after each
// change of size. Nothing is drawn while no one could see it: the view or
// its window not exposed (hidden, minimised, unmapped) or, on X11, the view
// fully covered by other windows; when it can be seen again it draws.
class OpenGLView : public QWindow, private QAbstractNativeEventFilter {
public:
    OpenGLView();
    ~OpenGLView() override;

    // Base initialisation: the frame (in points) and the pixel format. Fails,
    // leaving the view unusable, when there is no pixel format or no context
    // can be made for it.
    bool setUp(QSize size, std::unique_ptr<PixelFormat> pixelFormat);

    OpenGLContext* openGLContext() const { return mContext.get(); }
    const PixelFormat* pixelFormat() const { return mPixelFormat.get(); }
    // Draws with another pixel format from the next frame on, in the same
    // context and window, so that whatever the context holds stays. Only
    // the samples may differ from the format the view was made with: the
    // window's surface is the same for every sample count. Ignores a null
    // format.
    void setPixelFormat(std::unique_ptr<PixelFormat> pixelFormat);
    // The container that places this view in a widget layout; made on first
    // request and owned by whichever widget it is added to.
    QWidget* container();

    void setNeedsDisplay(bool needsDisplay);
    bool needsDisplay() const { return mDisplayPending; }
    void display();
    // Frames drawn so far, and frames asked for but not drawn because no
    // one could see them, for diagnostics and measurements.
    std::uint64_t framesDrawn() const { return mFramesDrawn; }
    std::uint64_t framesUnseen() const { return mFramesUnseen; }

    // The view's rectangle in its own coordinates, in points.
    QRectF bounds() const;
    // The same rectangle in pixels of the backing store.
    QRectF convertRectToBacking(const QRectF& rect) const;
    void setWantsBestResolutionOpenGLSurface(bool wants) { mWantsBestResolution = wants; }
    bool wantsBestResolutionOpenGLSurface() const { return mWantsBestResolution; }

    // Shows the view's window on the screen full screen, its menu bar and
    // toolbars hidden, the view in it as it was; exiting restores them.
    void enterFullScreenMode(QScreen* screen);
    void exitFullScreenMode();

protected:
    virtual void drawRect(const QRectF& dirtyRect);
    virtual void reshape();
    // Presses and drags of the left button, and the wheel. Key presses are
    // Qt's own: the window the view is embedded in passes its keys on to
    // the view, and a key nobody takes is left for the window (its menu
    // shortcuts).
    virtual void mouseDown(QMouseEvent* event);
    virtual void mouseDragged(QMouseEvent* event);
    virtual void scrollWheel(QWheelEvent* event);

    bool event(QEvent* event) override;
    void exposeEvent(QExposeEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void revealFirstFrame();
    bool canBeSeen() const;
    // X11 tells a window that it is covered only if it asks to be told.
    void watchObscuring();
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

    std::unique_ptr<PixelFormat> mPixelFormat;
    std::unique_ptr<OpenGLContext> mContext;
    QWidget* mContainer = nullptr;
    bool mWantsBestResolution = false;
    bool mDisplayPending = false;
    std::vector<QWidget*> mHiddenChrome;
    Qt::WindowStates mWindowStateBeforeFullScreen;
    std::uint64_t mFramesDrawn = 0;
    std::uint64_t mFramesUnseen = 0;
    bool mFullyObscured = false;
};
