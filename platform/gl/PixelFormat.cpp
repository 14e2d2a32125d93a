#include "platform/gl/PixelFormat.h"

#include "platform/system/SystemLog.h"

#include <QGuiApplication>
#include <optional>

#include <GL/glx.h>

namespace {

struct Request {
    int colorSize = 0;
    int depthSize = 0;
    bool doubleBuffer = false;
    int sampleBuffers = 0;
    int samples = 0;
};

bool takesValue(std::uint32_t code)
{
    using namespace PixelFormatAttribute;
    return code == ColorSize || code == DepthSize || code == SampleBuffers || code == Samples || code == ScreenMask;
}

bool isKnownFlag(std::uint32_t code)
{
    using namespace PixelFormatAttribute;
    return code == AllRenderers || code == DoubleBuffer || code == Multisample || code == NoRecovery
        || code == Accelerated || code == AllowOfflineRenderers;
}

std::optional<Request> parse(const std::vector<std::uint32_t>& attributes)
{
    using namespace PixelFormatAttribute;
    Request request;
    for (std::size_t i = 0; i < attributes.size() && attributes[i] != 0; ++i) {
        const std::uint32_t code = attributes[i];
        if (takesValue(code)) {
            if (++i >= attributes.size())
                return std::nullopt;
            const int value = static_cast<int>(attributes[i]);
            if (code == ColorSize)
                request.colorSize = value;
            else if (code == DepthSize)
                request.depthSize = value;
            else if (code == SampleBuffers)
                request.sampleBuffers = value;
            else if (code == Samples)
                request.samples = value;
        } else if (code == DoubleBuffer) {
            request.doubleBuffer = true;
        } else if (!isKnownFlag(code)) {
            return std::nullopt;
        }
    }
    return request;
}

// Bits per colour channel: 16-bit colour is 5-6-5; 32 counts an unused or
// alpha byte, so 24 and 32 are 8 each and 64 is 16.
int channelBits(int colorSize, bool green)
{
    if (colorSize <= 0)
        return -1;
    if (colorSize == 16)
        return green ? 6 : 5;
    return colorSize >= 32 ? colorSize / 4 : colorSize / 3;
}

QSurfaceFormat translate(const Request& request)
{
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setRedBufferSize(channelBits(request.colorSize, false));
    format.setGreenBufferSize(channelBits(request.colorSize, true));
    format.setBlueBufferSize(channelBits(request.colorSize, false));
    format.setDepthBufferSize(request.depthSize > 0 ? request.depthSize : -1);
    format.setSwapBehavior(request.doubleBuffer ? QSurfaceFormat::DoubleBuffer : QSurfaceFormat::SingleBuffer);
    format.setSamples(request.sampleBuffers > 0 && request.samples > 0 ? request.samples : -1);
    return format;
}

Display* x11Display()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->display() : nullptr;
}

// Whether the X server offers a GLX configuration that meets the request;
// true where there is no X server to ask.
bool someRendererMeets(const QSurfaceFormat& format)
{
    Display* display = x11Display();
    if (!display)
        return true;
    const auto atLeast = [](int bits) { return bits > 0 ? bits : 0; };
    const int attributes[] = {GLX_RENDER_TYPE,
                              GLX_RGBA_BIT,
                              GLX_DRAWABLE_TYPE,
                              GLX_WINDOW_BIT,
                              GLX_RED_SIZE,
                              atLeast(format.redBufferSize()),
                              GLX_GREEN_SIZE,
                              atLeast(format.greenBufferSize()),
                              GLX_BLUE_SIZE,
                              atLeast(format.blueBufferSize()),
                              GLX_DEPTH_SIZE,
                              atLeast(format.depthBufferSize()),
                              GLX_DOUBLEBUFFER,
                              format.swapBehavior() == QSurfaceFormat::DoubleBuffer ? True : False,
                              GLX_SAMPLE_BUFFERS,
                              format.samples() > 0 ? 1 : 0,
                              GLX_SAMPLES,
                              atLeast(format.samples()),
                              None};
    int count = 0;
    GLXFBConfig* configs = glXChooseFBConfig(display, DefaultScreen(display), attributes, &count);
    if (configs)
        XFree(configs);
    return count > 0;
}

// The list with no sample buffers and no samples; nothing when it asks for
// none already.
std::optional<std::vector<std::uint32_t>> singleSampled(std::vector<std::uint32_t> attributes)
{
    using namespace PixelFormatAttribute;
    bool multisampled = false;
    for (std::size_t i = 0; i < attributes.size() && attributes[i] != 0; ++i) {
        if (!takesValue(attributes[i]) || i + 1 >= attributes.size())
            continue;
        const bool samples = attributes[i] == SampleBuffers || attributes[i] == Samples;
        ++i;
        if (samples && attributes[i] != 0) {
            attributes[i] = 0;
            multisampled = true;
        }
    }
    return multisampled ? std::optional(std::move(attributes)) : std::nullopt;
}

} // namespace

PixelFormat::PixelFormat(QSurfaceFormat format)
    : mFormat(std::move(format))
{
}

std::unique_ptr<PixelFormat> PixelFormat::fromAttributes(const std::vector<std::uint32_t>& attributes)
{
    const std::optional<Request> request = parse(attributes);
    if (!request)
        return nullptr;
    QSurfaceFormat format = translate(*request);
    if (!someRendererMeets(format))
        return nullptr;
    return std::unique_ptr<PixelFormat>(new PixelFormat(std::move(format)));
}

std::unique_ptr<PixelFormat> PixelFormat::fromAttributesOrSingleSampled(const std::vector<std::uint32_t>& attributes)
{
    if (auto format = fromAttributes(attributes))
        return format;
    const std::optional<std::vector<std::uint32_t>> fallback = singleSampled(attributes);
    auto format = fallback ? fromAttributes(*fallback) : nullptr;
    static bool said = false;
    if (format && !said) {
        systemLog("Ferlow: this display offers no multisampled OpenGL format; drawing without antialiasing");
        said = true;
    }
    return format;
}

QSurfaceFormat PixelFormat::drawableFormat() const
{
    QSurfaceFormat format = mFormat;
    format.setSamples(-1);
    return format;
}
