#include "platform/display/XRandRConfiguration.h"

#include <algorithm>
#include <cmath>
#include <span>

namespace {

struct Extent {
    int width = 0;
    int height = 0;
};

// Xlib hands out arrays as a pointer and an int count.
bool contains(const XID* ids, int count, XID id)
{
    const std::span all(ids, static_cast<std::size_t>(count));
    return std::ranges::find(all, id) != all.end();
}

bool isQuarterTurn(Rotation rotation)
{
    return (rotation & (RR_Rotate_90 | RR_Rotate_270)) != 0;
}

// The area a CRTC covers on the screen with the given mode.
Extent crtcExtent(const XRRModeInfo& mode, int x, int y, Rotation rotation)
{
    const int width = static_cast<int>(isQuarterTurn(rotation) ? mode.height : mode.width);
    const int height = static_cast<int>(isQuarterTurn(rotation) ? mode.width : mode.height);
    return {x + width, y + height};
}

Extent unite(Extent a, Extent b)
{
    return {std::max(a.width, b.width), std::max(a.height, b.height)};
}

// The smallest screen that shows every lit CRTC once `setting` is applied.
Extent litExtent(Display* display, XRRScreenResources* resources, const CrtcSetting& setting,
                 const XRRModeInfo& mode)
{
    Extent extent = crtcExtent(mode, setting.x, setting.y, setting.rotation);
    for (int i = 0; i < resources->ncrtc; ++i) {
        if (resources->crtcs[i] == setting.crtc)
            continue;
        const CrtcInfo other = crtcInfo(display, resources, resources->crtcs[i]);
        if (other && other->mode != None) {
            const Extent covered{other->x + static_cast<int>(other->width), other->y + static_cast<int>(other->height)};
            extent = unite(extent, covered);
        }
    }
    return extent;
}

ScreenSize atLeast(const ScreenSize& size, Extent extent)
{
    if (size.width >= extent.width && size.height >= extent.height)
        return size;
    return resizedScreen(size, std::max(size.width, extent.width), std::max(size.height, extent.height));
}

void setScreenSize(Display* display, const ScreenSize& size)
{
    XRRSetScreenSize(display, DefaultRootWindow(display), size.width, size.height, size.widthMM, size.heightMM);
}

Display* gTrappedDisplay = nullptr;
bool gCaughtError = false;
XErrorHandler gPreviousHandler = nullptr;

int trapError(Display* display, XErrorEvent* event)
{
    if (display == gTrappedDisplay) {
        gCaughtError = true;
        return 0;
    }
    return gPreviousHandler ? gPreviousHandler(display, event) : 0;
}

} // namespace

DisplayConnection openDisplayConnection(const char* name)
{
    DisplayConnection display(XOpenDisplay(name));
    int eventBase = 0;
    int errorBase = 0;
    if (display && XRRQueryExtension(display.get(), &eventBase, &errorBase))
        XRRSelectInput(display.get(), DefaultRootWindow(display.get()), RRScreenChangeNotifyMask);
    return display;
}

ScreenResources currentScreenResources(Display* display)
{
    return ScreenResources(XRRGetScreenResourcesCurrent(display, DefaultRootWindow(display)));
}

OutputInfo outputInfo(Display* display, XRRScreenResources* resources, RROutput output)
{
    if (!contains(resources->outputs, resources->noutput, output))
        return nullptr;
    return OutputInfo(XRRGetOutputInfo(display, resources, output));
}

CrtcInfo crtcInfo(Display* display, XRRScreenResources* resources, RRCrtc crtc)
{
    if (!contains(resources->crtcs, resources->ncrtc, crtc))
        return nullptr;
    return CrtcInfo(XRRGetCrtcInfo(display, resources, crtc));
}

const XRRModeInfo* findModeInfo(const XRRScreenResources& resources, RRMode mode)
{
    const std::span modes(resources.modes, static_cast<std::size_t>(resources.nmode));
    const auto found = std::ranges::find(modes, mode, &XRRModeInfo::id);
    return found == modes.end() ? nullptr : &*found;
}

double refreshRate(const XRRModeInfo& mode)
{
    // A double-scanned mode draws every line twice and an interlaced one
    // draws half the lines per field, as the xrandr tool counts them.
    double lines = mode.vTotal;
    if (mode.modeFlags & RR_DoubleScan)
        lines *= 2;
    if (mode.modeFlags & RR_Interlace)
        lines /= 2;
    const double pixelsPerFrame = lines * mode.hTotal;
    return pixelsPerFrame > 0 ? static_cast<double>(mode.dotClock) / pixelsPerFrame : 0.0;
}

ScreenSize currentScreenSize(Display* display)
{
    XSync(display, False);
    while (XPending(display)) {
        XEvent event;
        XNextEvent(display, &event);
        XRRUpdateConfiguration(&event);
    }
    Window root = None;
    int x = 0;
    int y = 0;
    unsigned int width = 0;
    unsigned int height = 0;
    unsigned int border = 0;
    unsigned int depth = 0;
    XGetGeometry(display, DefaultRootWindow(display), &root, &x, &y, &width, &height, &border, &depth);
    const int screen = DefaultScreen(display);
    return {static_cast<int>(width), static_cast<int>(height), DisplayWidthMM(display, screen),
            DisplayHeightMM(display, screen)};
}

CrtcSetting crtcSettingOf(RRCrtc crtc, const XRRCrtcInfo& info)
{
    return {crtc, info.mode, info.x, info.y, info.rotation,
            std::vector<RROutput>(info.outputs, info.outputs + info.noutput)};
}

std::optional<Layout> currentLayout(Display* display)
{
    const ScreenResources resources = currentScreenResources(display);
    if (!resources)
        return std::nullopt;
    Layout layout{currentScreenSize(display), {}};
    for (int i = 0; i < resources->ncrtc; ++i) {
        const CrtcInfo info = crtcInfo(display, resources.get(), resources->crtcs[i]);
        if (!info)
            return std::nullopt;
        layout.crtcs.push_back(crtcSettingOf(resources->crtcs[i], *info));
    }
    return layout;
}

RRMode currentModeOf(Display* display, RROutput output)
{
    const ScreenResources resources = currentScreenResources(display);
    const OutputInfo info = resources ? outputInfo(display, resources.get(), output) : nullptr;
    if (!info || info->crtc == None)
        return None;
    const CrtcInfo crtc = crtcInfo(display, resources.get(), info->crtc);
    return crtc ? crtc->mode : None;
}

bool applyCrtcSetting(Display* display, const CrtcSetting& setting)
{
    const ScreenResources resources = currentScreenResources(display);
    const XRRModeInfo* mode = resources ? findModeInfo(*resources, setting.mode) : nullptr;
    if (!mode)
        return false;
    const ScreenSize before = currentScreenSize(display);
    const Extent lit = litExtent(display, resources.get(), setting, *mode);
    const ScreenSize target = resizedScreen(before, lit.width, lit.height);
    const ScreenSize roomy = atLeast(before, {target.width, target.height});
    if (roomy != before)
        setScreenSize(display, roomy);

    std::vector<RROutput> outputs = setting.outputs;
    const Status status = XRRSetCrtcConfig(display, resources.get(), setting.crtc, CurrentTime, setting.x, setting.y,
                                           setting.mode, setting.rotation, outputs.data(),
                                           static_cast<int>(outputs.size()));
    const bool applied = status == RRSetConfigSuccess;
    const ScreenSize final = applied ? target : before;
    if (final != roomy)
        setScreenSize(display, final);
    return applied;
}

bool applyLayout(Display* display, const Layout& layout)
{
    const ScreenResources resources = currentScreenResources(display);
    if (!resources)
        return false;
    bool applied = true;
    std::vector<CrtcSetting> changed;
    for (const CrtcSetting& saved : layout.crtcs) {
        const CrtcInfo now = crtcInfo(display, resources.get(), saved.crtc);
        if (!now)
            applied = false; // a CRTC that went away with its hardware
        else if (crtcSettingOf(saved.crtc, *now) != saved)
            changed.push_back(saved);
    }
    for (const CrtcSetting& saved : changed) {
        applied = XRRSetCrtcConfig(display, resources.get(), saved.crtc, CurrentTime, 0, 0, None, RR_Rotate_0,
                                   nullptr, 0)
                      == RRSetConfigSuccess
                  && applied;
    }
    if (currentScreenSize(display) != layout.screen)
        setScreenSize(display, layout.screen);
    for (CrtcSetting& saved : changed) {
        if (saved.mode == None)
            continue;
        applied = XRRSetCrtcConfig(display, resources.get(), saved.crtc, CurrentTime, saved.x, saved.y, saved.mode,
                                   saved.rotation, saved.outputs.data(), static_cast<int>(saved.outputs.size()))
                      == RRSetConfigSuccess
                  && applied;
    }
    return applied;
}

ScreenSize resizedScreen(const ScreenSize& current, int width, int height)
{
    if (width == current.width && height == current.height)
        return current;
    // The server refuses a size of zero millimetres.
    auto scaled = [](int millimetres, int pixels, int newPixels) {
        const double perPixel = pixels > 0 ? static_cast<double>(millimetres) / pixels : 0.0;
        return std::max(1, static_cast<int>(std::lround(perPixel * newPixels)));
    };
    return {width, height, scaled(current.widthMM, current.width, width),
            scaled(current.heightMM, current.height, height)};
}

ServerGrab::ServerGrab(Display* display)
    : mDisplay(display)
{
    XGrabServer(mDisplay);
}

ServerGrab::~ServerGrab()
{
    XUngrabServer(mDisplay);
    XFlush(mDisplay);
}

XErrorTrap::XErrorTrap(Display* display)
    : mDisplay(display)
{
    XSync(mDisplay, False);
    gTrappedDisplay = mDisplay;
    gCaughtError = false;
    gPreviousHandler = XSetErrorHandler(trapError);
}

XErrorTrap::~XErrorTrap()
{
    XSync(mDisplay, False);
    XSetErrorHandler(gPreviousHandler);
    gTrappedDisplay = nullptr;
}

bool XErrorTrap::caughtError() const
{
    XSync(mDisplay, False);
    return gCaughtError;
}
