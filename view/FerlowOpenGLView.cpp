#include "view/FerlowOpenGLView.h"

#include "platform/display/DisplayServices.h"
#include "platform/gl/GL.h"
#include "platform/gl/OpenGLContext.h"
#include "platform/gl/PixelFormat.h"
#include "platform/gl/Renderer.h"
#include "platform/gl/SwapInterval.h"
#include "platform/system/SettingsStore.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

namespace {

// Trackpads report pixels; this many make one wheel notch.
constexpr double kPixelsPerNotch = 20.0;
// Qt reports wheel angles in eighths of a degree; a notch is 15 degrees.
constexpr double kAngleUnitsPerNotch = 120.0;

// The camera turns as a point with y growing upwards moves: a drag upwards
// lowers the eye.
QPointF upwards(const QMouseEvent& event)
{
    return {event.position().x(), -event.position().y()};
}

// Positive when the wheel turns away from the user.
double wheelNotches(const QWheelEvent& event)
{
    const QPoint pixels = event.pixelDelta();
    return pixels.isNull() ? event.angleDelta().y() / kAngleUnitsPerNotch : pixels.y() / kPixelsPerNotch;
}

} // namespace

std::unique_ptr<FerlowOpenGLView> FerlowOpenGLView::create(QSize size)
{
    return create(size, antialiasingAsStored(SettingsStore::shared(), defaultRendererName()));
}

std::unique_ptr<FerlowOpenGLView> FerlowOpenGLView::create(QSize size, bool fullSceneAntialiasing)
{
    std::unique_ptr<FerlowOpenGLView> view(new FerlowOpenGLView);
    if (!view->init(size, fullSceneAntialiasing))
        return nullptr;
    return view;
}

std::vector<std::uint32_t> FerlowOpenGLView::pixelFormatAttributes(bool fullSceneAntialiasing)
{
    using namespace PixelFormatAttribute;
    const std::uint32_t f = fullSceneAntialiasing ? 1 : 0;
    // Without antialiasing the word after Multisample is 0 and ends the list
    // there, dropping the last two attributes.
    return {NoRecovery, ColorSize, 32, DepthSize, 24, DoubleBuffer, Accelerated, SampleBuffers, f, Samples, kSamples * f,
            Multisample, f, AllowOfflineRenderers, 0};
}

bool FerlowOpenGLView::antialiasingByDefault(std::string_view rendererName)
{
    return !isSoftwareRenderer(rendererName);
}

bool FerlowOpenGLView::antialiasingAsStored(const SettingsStore& store, std::string_view rendererName)
{
    return store.storedBoolForKey(kAntialiasingKey).value_or(antialiasingByDefault(rendererName));
}

void FerlowOpenGLView::setFullSceneAntialiasing(bool fullSceneAntialiasing)
{
    mFullSceneAntialiasing = fullSceneAntialiasing;
    setPixelFormat(PixelFormat::fromAttributesOrSingleSampled(pixelFormatAttributes(fullSceneAntialiasing)));
}

bool FerlowOpenGLView::init(QSize size, bool fullSceneAntialiasing)
{
    mFullSceneAntialiasing = fullSceneAntialiasing;
    mRender = true;
    mFirstDraw = true;
    auto pixelFormat = PixelFormat::fromAttributesOrSingleSampled(pixelFormatAttributes(fullSceneAntialiasing));
    if (!setUp(size, std::move(pixelFormat)))
        return false;
    scene = std::make_unique<Scene>(SettingsStore::shared(), Clock());
    setWantsBestResolutionOpenGLSurface(true);
    return true;
}

FerlowOpenGLView::~FerlowOpenGLView()
{
    // The scene's display lists and textures go with it: its context must be
    // current for that.
    if (openGLContext())
        openGLContext()->makeCurrentContext();
    scene.reset();
}

bool FerlowOpenGLView::offersViewFullScreen() const
{
    return !DisplayServices::shared().canSwitchModes();
}

// Leaves the state Scene::render leaves, or after a black frame only the
// clear colour (0, 0, 0, 0).
void FerlowOpenGLView::drawRect(const QRectF&)
{
    if (mRender) {
        if (mFirstDraw) {
            SwapInterval::setCurrent(1); // where the platform cannot, frames simply are not synced
            mFirstDraw = false;
        }
        scene->render();
    } else {
        glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }
    openGLContext()->flushBuffer();
}

void FerlowOpenGLView::reshape()
{
    OpenGLView::reshape();
    const QRectF rect = wantsBestResolutionOpenGLSurface() ? convertRectToBacking(bounds()) : bounds();
    scene->setViewportRect(rect);
}

void FerlowOpenGLView::mouseDown(QMouseEvent* event)
{
    mLastClickPoint = upwards(*event);
    mDegreesX = scene->camera().getXDegrees();
    mDegreesY = scene->camera().getYDegrees();
}

void FerlowOpenGLView::mouseDragged(QMouseEvent* event)
{
    const QPointF p = upwards(*event);
    const float azimuth = static_cast<float>(p.x() - mLastClickPoint.x()) + mDegreesX;
    const float elevation = mDegreesY - static_cast<float>(p.y() - mLastClickPoint.y());
    scene->camera().rotateByDegrees(azimuth, elevation);
    setNeedsDisplay(true);
}

void FerlowOpenGLView::scrollWheel(QWheelEvent* event)
{
    Camera& camera = scene->camera();
    const float distance = camera.getDistance();
    camera.setDistance(distance + static_cast<float>(wheelNotches(*event)) * kScrollDistancePerUnit);
    setNeedsDisplay(true);
}
