#include "tests/support/OffscreenGL.h"

#include "platform/gl/GL.h"
#include "platform/toolkit/Application.h"

#include <QApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QSurfaceFormat>
#include <stdexcept>

void ensureGuiApplication()
{
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "ferlow-tests";
    static char* argv[] = {name, nullptr};
    prepareApplication();
    new QApplication(argc, argv); // lives until the process ends
}

OffscreenGL::OffscreenGL(int width, int height, int samples)
    : mWidth(width)
    , mHeight(height)
{
    ensureGuiApplication();
    mSurface = std::make_unique<QOffscreenSurface>();
    mSurface->setFormat(QSurfaceFormat::defaultFormat());
    mSurface->create();
    mContext = std::make_unique<QOpenGLContext>();
    mContext->setFormat(QSurfaceFormat::defaultFormat());
    if (!mContext->create() || !mContext->makeCurrent(mSurface.get()))
        throw std::runtime_error("no OpenGL context");
    QOpenGLFramebufferObjectFormat format;
    format.setAttachment(QOpenGLFramebufferObject::Depth);
    format.setSamples(samples);
    mFramebuffer = std::make_unique<QOpenGLFramebufferObject>(width, height, format);
    mFramebuffer->bind();
    glViewport(0, 0, width, height);
}

OffscreenGL::~OffscreenGL()
{
    makeCurrent();
    mFramebuffer.reset();
    mContext->doneCurrent();
}

void OffscreenGL::makeCurrent()
{
    mContext->makeCurrent(mSurface.get());
    mFramebuffer->bind();
}

QImage OffscreenGL::image() const
{
    return mFramebuffer->toImage().convertToFormat(QImage::Format_RGB32);
}

unsigned int OffscreenGL::takeError()
{
    GLenum first = glGetError();
    for (GLenum more = first; more != GL_NO_ERROR;)
        more = glGetError();
    return first;
}
