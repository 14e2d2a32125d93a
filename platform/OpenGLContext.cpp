#include "platform/OpenGLContext.h"

#include "platform/PixelFormat.h"

#include <QOpenGLContext>
#include <QSurface>

std::unique_ptr<OpenGLContext> OpenGLContext::initWithFormat(const PixelFormat& format, const OpenGLContext* share)
{
    auto context = std::make_unique<QOpenGLContext>();
    context->setFormat(format.surfaceFormat());
    if (share)
        context->setShareContext(share->qtContext());
    if (!context->create())
        return nullptr;
    if (share && !QOpenGLContext::areSharing(context.get(), share->qtContext()))
        return nullptr;
    return std::unique_ptr<OpenGLContext>(new OpenGLContext(std::move(context)));
}

OpenGLContext::OpenGLContext(std::unique_ptr<QOpenGLContext> context)
    : mContext(std::move(context))
{
}

OpenGLContext::~OpenGLContext() = default;

void OpenGLContext::setDrawable(QSurface* surface)
{
    mDrawable = surface;
}

bool OpenGLContext::makeCurrentContext()
{
    return mDrawable && mContext->makeCurrent(mDrawable);
}

void OpenGLContext::flushBuffer()
{
    if (mDrawable)
        mContext->swapBuffers(mDrawable);
}

void OpenGLContext::clearDrawable()
{
    if (QOpenGLContext::currentContext() == mContext.get())
        mContext->doneCurrent();
    mDrawable = nullptr;
}

void OpenGLContext::clearCurrentContext()
{
    if (QOpenGLContext* current = QOpenGLContext::currentContext())
        current->doneCurrent();
}
