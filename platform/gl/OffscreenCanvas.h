#pragma once

#include <QSize>
#include <QString>
#include <cstdint>
#include <memory>

class QOffscreenSurface;
class QOpenGLContext;
class QOpenGLFramebufferObject;

// A framebuffer of any size to draw into without a window, with an OpenGL
// context of its own: it shares nothing with the window's, so what is drawn
// here builds its own display lists and textures, and may be drawn on
// another thread while the window goes on drawing.
//
// Qt makes surfaces on the GUI thread only: the canvas is made and destroyed
// there. The context lives on the thread that draws, from begin() to end().
class OffscreenCanvas {
public:
    OffscreenCanvas();
    ~OffscreenCanvas();
    OffscreenCanvas(const OffscreenCanvas&) = delete;
    OffscreenCanvas& operator=(const OffscreenCanvas&) = delete;

    // On the thread that draws: makes the context, current from now on,
    // with a framebuffer of `size` (color and depth) bound for drawing, of
    // up to `samples` samples as the renderer allows. False, with *error
    // saying why in words for the user, where it cannot be made: no OpenGL,
    // a size beyond the renderer's, no memory for it.
    bool begin(QSize size, int samples, QString* error);
    QSize size() const { return mSize; }
    // The samples a pixel has; 0 when it is drawn single-sampled.
    int samples() const { return mSamples; }
    // The frame drawn, as size().width() x size().height() RGBA pixels of 4
    // bytes, rows packed, the bottom row first. Leaves the drawing
    // framebuffer bound.
    void readPixels(std::uint8_t* rgba) const;
    // The framebuffers and the context go, on the thread that began, after
    // whatever was drawn has let go of its GL objects. Nothing is current
    // on the thread afterwards.
    void end();

private:
    std::unique_ptr<QOffscreenSurface> mSurface;
    std::unique_ptr<QOpenGLContext> mContext;
    std::unique_ptr<QOpenGLFramebufferObject> mDrawn;
    // Where a multisampled frame is resolved to be read; none without samples.
    std::unique_ptr<QOpenGLFramebufferObject> mResolved;
    QSize mSize;
    int mSamples = 0;
};
