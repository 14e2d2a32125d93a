#include "platform/gl/Renderer.h"

#include "platform/gl/GL.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <array>

bool isSoftwareRenderer(std::string_view rendererName)
{
    constexpr std::array<std::string_view, 3> kSoftware{"llvmpipe", "softpipe", "swrast"};
    for (const std::string_view name : kSoftware) {
        if (rendererName.find(name) != std::string_view::npos)
            return true;
    }
    return false;
}

std::string currentRendererName()
{
    if (!QOpenGLContext::currentContext())
        return {};
    const auto* name = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    return name ? name : "";
}

namespace {

std::string askRendererName()
{
    QOpenGLContext* const previous = QOpenGLContext::currentContext();
    QSurface* const previousSurface = previous ? previous->surface() : nullptr;
    QOffscreenSurface surface;
    surface.create();
    QOpenGLContext context;
    std::string name;
    if (context.create() && context.makeCurrent(&surface)) {
        name = currentRendererName();
        context.doneCurrent();
    }
    if (previous && previousSurface)
        previous->makeCurrent(previousSurface);
    return name;
}

} // namespace

std::string defaultRendererName()
{
    static const std::string name = askRendererName();
    return name;
}
