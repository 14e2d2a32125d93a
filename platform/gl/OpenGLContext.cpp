#include "platform/gl/OpenGLContext.h"

#include "platform/gl/PixelFormat.h"

#include <QOpenGLContext>
#include <algorithm>
#include <QOpenGLFramebufferObject>
#include <QSurface>
#include <QWindow>

namespace {

// The drawable's size in pixels of its backing store.
QSize pixelSize(QSurface* surface)
{
    const double ratio = surface->surfaceClass() == QSurface::Window ? static_cast<QWindow*>(surface)->devicePixelRatio() : 1.0;
    return surface->size() * ratio;
}

} // namespace

std::unique_ptr<OpenGLContext> OpenGLContext::create(const PixelFormat& format, const OpenGLContext* share)
{
    auto context = std::make_unique<QOpenGLContext>();
    context->setFormat(format.drawableFormat());
    if (share)
        context->setShareContext(share->qtContext());
    if (!context->create())
        return nullptr;
    if (share && !QOpenGLContext::areSharing(context.get(), share->qtContext()))
        return nullptr;
    return std::unique_ptr<OpenGLContext>(new OpenGLContext(std::move(context), format.surfaceFormat().samples()));
}

OpenGLContext::OpenGLContext(std::unique_ptr<QOpenGLContext> context, int samples)
    : mContext(std::move(context))
    , mSamples(std::max(samples, 0))
{
}

// The framebuffer is the context's own: it goes while the context is current.
OpenGLContext::~OpenGLContext()
{
    clearDrawable();
}

void OpenGLContext::setDrawable(QSurface* surface)
{
    mDrawable = surface;
}

bool OpenGLContext::makeCurrentContext()
{
    if (!mDrawable || !mContext->makeCurrent(mDrawable))
        return false;
    bindMultisampleFramebuffer();
    return true;
}

// Follows the drawable's size; leaves the multisampled framebuffer bound.
void OpenGLContext::bindMultisampleFramebuffer()
{
    if (mSamples == 0)
        return;
    const QSize size = pixelSize(mDrawable);
    if (!mMultisample || mMultisample->size() != size) {
        QOpenGLFramebufferObjectFormat format;
        format.setAttachment(QOpenGLFramebufferObject::Depth);
        format.setSamples(mSamples);
        mMultisample = std::make_unique<QOpenGLFramebufferObject>(size, format);
    }
    mMultisample->bind();
}

// Leaves the multisampled framebuffer bound again for the next frame.
void OpenGLContext::flushBuffer()
{
    if (!mDrawable)
        return;
    if (mMultisample) {
        QOpenGLFramebufferObject::blitFramebuffer(nullptr, QRect(QPoint(), pixelSize(mDrawable)), mMultisample.get(),
                                                  QRect(QPoint(), mMultisample->size()));
        mContext->swapBuffers(mDrawable);
        mMultisample->bind();
        return;
    }
    mContext->swapBuffers(mDrawable);
}

void OpenGLContext::setSamples(const PixelFormat& format)
{
    if (mDrawable && mContext->makeCurrent(mDrawable)) {
        mMultisample.reset();
        QOpenGLFramebufferObject::bindDefault();
    }
    mSamples = std::max(format.surfaceFormat().samples(), 0);
}

// The framebuffer goes in this context, made current on the drawable for
// that: a framebuffer object is not shared, and Qt leaves one freed under
// another context to the share group, which deletes its name in whichever
// context of the group is current next.
void OpenGLContext::clearDrawable()
{
    QOpenGLContext* previous = QOpenGLContext::currentContext();
    QSurface* previousSurface = previous ? previous->surface() : nullptr;
    if (mMultisample && previous != mContext.get())
        mContext->makeCurrent(mDrawable);
    mMultisample.reset();
    if (previous && previous != mContext.get())
        previous->makeCurrent(previousSurface);
    else if (QOpenGLContext::currentContext() == mContext.get())
        mContext->doneCurrent();
    mDrawable = nullptr;
}

void OpenGLContext::clearCurrentContext()
{
    if (QOpenGLContext* current = QOpenGLContext::currentContext())
        current->doneCurrent();
}
