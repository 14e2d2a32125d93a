#include "platform/gl/SwapInterval.h"

#include <GL/glx.h>
#include <GL/glxext.h>
#include <cstring>

namespace {

bool hasExtension(Display* display, const char* name)
{
    const char* extensions = glXQueryExtensionsString(display, DefaultScreen(display));
    if (!extensions)
        return false;
    const std::size_t length = std::strlen(name);
    for (const char* at = std::strstr(extensions, name); at; at = std::strstr(at + length, name)) {
        const bool starts = at == extensions || at[-1] == ' ';
        const bool ends = at[length] == ' ' || at[length] == '\0';
        if (starts && ends)
            return true;
    }
    return false;
}

template <typename Function>
Function resolve(const char* name)
{
    return reinterpret_cast<Function>(glXGetProcAddressARB(reinterpret_cast<const GLubyte*>(name)));
}

} // namespace

namespace SwapInterval {

std::optional<int> current()
{
    Display* display = glXGetCurrentDisplay();
    const GLXDrawable drawable = glXGetCurrentDrawable();
    if (!display || !drawable)
        return std::nullopt;
    if (hasExtension(display, "GLX_EXT_swap_control")) {
        unsigned int interval = 0;
        glXQueryDrawable(display, drawable, GLX_SWAP_INTERVAL_EXT, &interval);
        return static_cast<int>(interval);
    }
    if (hasExtension(display, "GLX_MESA_swap_control")) {
        if (const auto get = resolve<PFNGLXGETSWAPINTERVALMESAPROC>("glXGetSwapIntervalMESA"))
            return get();
    }
    return std::nullopt;
}

bool setCurrent(int interval)
{
    Display* display = glXGetCurrentDisplay();
    const GLXDrawable drawable = glXGetCurrentDrawable();
    if (!display || !drawable)
        return false;
    if (hasExtension(display, "GLX_EXT_swap_control")) {
        if (const auto set = resolve<PFNGLXSWAPINTERVALEXTPROC>("glXSwapIntervalEXT")) {
            set(display, drawable, interval);
            return true;
        }
    }
    if (hasExtension(display, "GLX_MESA_swap_control")) {
        if (const auto set = resolve<PFNGLXSWAPINTERVALMESAPROC>("glXSwapIntervalMESA"))
            return set(static_cast<unsigned int>(interval)) == 0;
    }
    if (hasExtension(display, "GLX_SGI_swap_control") && interval > 0) {
        if (const auto set = resolve<PFNGLXSWAPINTERVALSGIPROC>("glXSwapIntervalSGI"))
            return set(interval) == 0;
    }
    return false;
}

} // namespace SwapInterval
