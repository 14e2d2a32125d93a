#pragma once

#include <QImage>
#include <memory>

class QOffscreenSurface;
class QOpenGLContext;
class QOpenGLFramebufferObject;

// A real OpenGL compatibility context on an offscreen surface, rendering
// into a framebuffer of the given size with a depth buffer, current from
// construction until destruction. Creates the QApplication on first use.
// With samples > 0 the framebuffer is multisampled, as a window's may be.
class OffscreenGL {
public:
    explicit OffscreenGL(int width = 320, int height = 240, int samples = 0);
    ~OffscreenGL();

    void makeCurrent();
    int width() const { return mWidth; }
    int height() const { return mHeight; }
    // The framebuffer's pixels, top row first.
    QImage image() const;
    QOpenGLContext* context() const { return mContext.get(); }

    // The pending GL error, GL_NO_ERROR when there is none; drains the queue.
    static unsigned int takeError();

private:
    int mWidth;
    int mHeight;
    std::unique_ptr<QOffscreenSurface> mSurface;
    std::unique_ptr<QOpenGLContext> mContext;
    std::unique_ptr<QOpenGLFramebufferObject> mFramebuffer;
};

// Ensures the QApplication exists, set up as Ferlow sets it up.
void ensureGuiApplication();
