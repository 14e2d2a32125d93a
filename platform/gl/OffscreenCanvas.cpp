#include "platform/gl/OffscreenCanvas.h"

#include "platform/gl/GL.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QSurfaceFormat>
#include <algorithm>

#ifndef GL_MAX_SAMPLES
#define GL_MAX_SAMPLES 0x8D57
#endif
#ifndef GL_MAX_RENDERBUFFER_SIZE
#define GL_MAX_RENDERBUFFER_SIZE 0x84E8
#endif

namespace {

// The largest framebuffer the renderer takes: the smaller of its largest
// renderbuffer and its largest viewport.
QSize largestFramebuffer()
{
    GLint renderbuffer = 0;
    GLint viewport[2] = {0, 0};
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &renderbuffer);
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewport);
    return {std::min(renderbuffer, viewport[0]), std::min(renderbuffer, viewport[1])};
}

std::unique_ptr<QOpenGLFramebufferObject> framebuffer(QSize size, int samples)
{
    QOpenGLFramebufferObjectFormat format;
    format.setAttachment(QOpenGLFramebufferObject::Depth);
    format.setSamples(samples);
    auto made = std::make_unique<QOpenGLFramebufferObject>(size, format);
    return made->isValid() ? std::move(made) : nullptr;
}

} // namespace

OffscreenCanvas::OffscreenCanvas()
    : mSurface(std::make_unique<QOffscreenSurface>())
{
    mSurface->setFormat(QSurfaceFormat::defaultFormat());
    mSurface->create();
}

OffscreenCanvas::~OffscreenCanvas() = default;

bool OffscreenCanvas::begin(QSize size, int samples, QString* error)
{
    mContext = std::make_unique<QOpenGLContext>();
    mContext->setFormat(QSurfaceFormat::defaultFormat());
    if (!mSurface->isValid() || !mContext->create() || !mContext->makeCurrent(mSurface.get())) {
        *error = QStringLiteral("Ferlow could not get an OpenGL context to draw with.");
        end();
        return false;
    }
    const QSize largest = largestFramebuffer();
    if (size.width() > largest.width() || size.height() > largest.height()) {
        *error = QStringLiteral("This renderer draws at most %1 x %2 pixels.").arg(largest.width()).arg(largest.height());
        end();
        return false;
    }
    GLint maxSamples = 0;
    glGetIntegerv(GL_MAX_SAMPLES, &maxSamples);
    mSamples = std::clamp(samples, 0, int(maxSamples));
    mSize = size;
    mDrawn = framebuffer(size, mSamples);
    if (mSamples > 0)
        mResolved = framebuffer(size, 0);
    if (!mDrawn || (mSamples > 0 && !mResolved)) {
        *error = QStringLiteral("Ferlow could not make a drawing of %1 x %2 pixels: not enough memory?")
                     .arg(size.width())
                     .arg(size.height());
        end();
        return false;
    }
    mDrawn->bind();
    return true;
}

void OffscreenCanvas::readPixels(std::uint8_t* rgba) const
{
    if (mResolved) {
        QOpenGLFramebufferObject::blitFramebuffer(mResolved.get(), mDrawn.get());
        mResolved->bind();
    }
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, mSize.width(), mSize.height(), GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    mDrawn->bind();
}

void OffscreenCanvas::end()
{
    if (mContext && mContext->makeCurrent(mSurface.get())) {
        mResolved.reset();
        mDrawn.reset();
        mContext->doneCurrent();
    }
    mResolved.reset();
    mDrawn.reset();
    mContext.reset();
}
