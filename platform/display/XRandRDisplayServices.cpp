#include "platform/display/XRandRDisplayServices.h"

#include <algorithm>
#include <ranges>
#include <span>
#include <string_view>

namespace {

constexpr int kRequiredMajor = 1;
constexpr int kRequiredMinor = 2;
constexpr std::string_view kXwayland = "XWAYLAND";

bool hasRandR12(Display* display)
{
    int eventBase = 0;
    int errorBase = 0;
    int major = 0;
    int minor = 0;
    return XRRQueryExtension(display, &eventBase, &errorBase) && XRRQueryVersion(display, &major, &minor)
           && (major > kRequiredMajor || (major == kRequiredMajor && minor >= kRequiredMinor));
}

// Xwayland names its extension and its outputs XWAYLAND; older versions only
// the outputs.
bool isXwayland(Display* display)
{
    int opcode = 0;
    int eventBase = 0;
    int errorBase = 0;
    if (XQueryExtension(display, kXwayland.data(), &opcode, &eventBase, &errorBase))
        return true;
    XErrorTrap trap(display);
    const ScreenResources resources = currentScreenResources(display);
    for (int i = 0; resources && i < resources->noutput; ++i) {
        const OutputInfo info = outputInfo(display, resources.get(), resources->outputs[i]);
        if (info && std::string_view(info->name).starts_with(kXwayland))
            return true;
    }
    return false;
}

bool offersMode(const XRROutputInfo& output, RRMode mode)
{
    const std::span modes(output.modes, static_cast<std::size_t>(output.nmode));
    return std::ranges::find(modes, mode) != modes.end();
}

} // namespace

std::unique_ptr<XRandRDisplayServices> XRandRDisplayServices::connect()
{
    DisplayConnection display = openDisplayConnection(nullptr);
    if (!display || !hasRandR12(display.get()) || isXwayland(display.get()))
        return nullptr;
    return std::unique_ptr<XRandRDisplayServices>(new XRandRDisplayServices(std::move(display)));
}

XRandRDisplayServices::XRandRDisplayServices(DisplayConnection display)
    : mDisplay(std::move(display))
{
}

XRandRDisplayServices::~XRandRDisplayServices()
{
    releaseAllDisplays();
}

bool XRandRDisplayServices::canSwitchModes() const
{
    return mainDisplayID() != kNoDisplay;
}

DisplayID XRandRDisplayServices::mainDisplayID() const
{
    Display* display = mDisplay.get();
    XErrorTrap trap(display);
    const ScreenResources resources = currentScreenResources(display);
    if (!resources)
        return kNoDisplay;
    auto isLit = [&](RROutput output) {
        const OutputInfo info = outputInfo(display, resources.get(), output);
        return info && info->connection == RR_Connected && info->crtc != None;
    };
    const RROutput primary = XRRGetOutputPrimary(display, DefaultRootWindow(display));
    if (primary != None && isLit(primary))
        return static_cast<DisplayID>(primary);
    const std::span outputs(resources->outputs, static_cast<std::size_t>(resources->noutput));
    const auto first = std::ranges::find_if(outputs, isLit);
    return first == outputs.end() ? kNoDisplay : static_cast<DisplayID>(*first);
}

std::optional<DisplayModeDictionary> XRandRDisplayServices::displayCurrentMode(DisplayID display) const
{
    XErrorTrap trap(mDisplay.get());
    const auto state = outputState(display);
    if (!state || !state->crtc)
        return std::nullopt;
    const XRRModeInfo* mode = findModeInfo(*state->resources, state->crtc->mode);
    return mode ? std::optional(dictionary(*mode)) : std::nullopt;
}

std::vector<DisplayModeDictionary> XRandRDisplayServices::displayAvailableModes(DisplayID display) const
{
    XErrorTrap trap(mDisplay.get());
    const auto state = outputState(display);
    std::vector<DisplayModeDictionary> modes;
    for (int i = 0; state && i < state->output->nmode; ++i) {
        if (const XRRModeInfo* mode = findModeInfo(*state->resources, state->output->modes[i]))
            modes.push_back(dictionary(*mode));
    }
    return modes;
}

bool XRandRDisplayServices::displaySwitchToMode(DisplayID display, const DisplayModeDictionary& mode)
{
    bool isNumber = false;
    const auto wanted = static_cast<RRMode>(mode.value(DisplayModeKey::ModeID).toULongLong(&isNumber));
    const auto current = isNumber ? settingOffering(display, wanted) : std::nullopt;
    if (!current)
        return false;
    if (!mOriginalLayout && !saveLayoutBeforeFirstSwitch())
        return false;
    const RROutput output = display;
    if (!mGuardian->modeSet(output, wanted))
        return false;

    CrtcSetting switched = *current;
    switched.mode = wanted;
    if (applyAlone([&] { return applyCrtcSetting(mDisplay.get(), switched); }))
        return true;
    // The display still shows the mode it had; the guardian must look for
    // that one.
    mGuardian->modeSet(output, current->mode);
    return false;
}

QRect XRandRDisplayServices::displayBounds(DisplayID display) const
{
    XErrorTrap trap(mDisplay.get());
    const auto state = outputState(display);
    if (!state || !state->crtc)
        return {};
    const XRRCrtcInfo& crtc = *state->crtc;
    return {crtc.x, crtc.y, static_cast<int>(crtc.width), static_cast<int>(crtc.height)};
}

void XRandRDisplayServices::releaseAllDisplays()
{
    if (!mOriginalLayout)
        return;
    const bool restored = applyAlone([&] { return applyLayout(mDisplay.get(), *mOriginalLayout); });
    // A release that did not restore everything is not clean: the guardian,
    // left without a release, tries again on its own connection.
    if (restored)
        mGuardian->release();
    mGuardian.reset();
    mOriginalLayout.reset();
}

std::optional<XRandRDisplayServices::OutputState> XRandRDisplayServices::outputState(DisplayID display) const
{
    ScreenResources resources = currentScreenResources(mDisplay.get());
    if (display == kNoDisplay || !resources)
        return std::nullopt;
    OutputInfo output = outputInfo(mDisplay.get(), resources.get(), display);
    if (!output)
        return std::nullopt;
    CrtcInfo crtc = output->crtc != None ? crtcInfo(mDisplay.get(), resources.get(), output->crtc) : nullptr;
    if (crtc && crtc->mode == None)
        crtc.reset();
    return OutputState{std::move(resources), std::move(output), std::move(crtc)};
}

std::optional<CrtcSetting> XRandRDisplayServices::settingOffering(DisplayID display, RRMode mode) const
{
    XErrorTrap trap(mDisplay.get());
    const auto state = outputState(display);
    if (!state || !state->crtc || !offersMode(*state->output, mode))
        return std::nullopt;
    return crtcSettingOf(state->output->crtc, *state->crtc);
}

template <typename Change>
bool XRandRDisplayServices::applyAlone(const Change& change)
{
    XErrorTrap trap(mDisplay.get());
    bool applied = false;
    {
        ServerGrab grab(mDisplay.get());
        applied = change();
    }
    return applied && !trap.caughtError();
}

DisplayModeDictionary XRandRDisplayServices::dictionary(const XRRModeInfo& mode) const
{
    const int depth = DefaultDepth(mDisplay.get(), DefaultScreen(mDisplay.get()));
    return {
        {DisplayModeKey::Width, qint64(mode.width)},
        {DisplayModeKey::Height, qint64(mode.height)},
        {DisplayModeKey::BitsPerPixel, qint64(depth)},
        {DisplayModeKey::IOFlags, qint64(0)},
        {DisplayModeKey::RefreshRate, refreshRate(mode)},
        {DisplayModeKey::ModeID, qint64(mode.id)},
    };
}

bool XRandRDisplayServices::saveLayoutBeforeFirstSwitch()
{
    std::optional<Layout> layout;
    {
        XErrorTrap trap(mDisplay.get());
        layout = currentLayout(mDisplay.get());
        if (trap.caughtError())
            return false;
    }
    if (!layout)
        return false;
    mGuardian = DisplayGuardian::start(DisplayString(mDisplay.get()));
    if (!mGuardian || !mGuardian->save(*layout)) {
        mGuardian.reset();
        return false;
    }
    mOriginalLayout = std::move(layout);
    return true;
}
