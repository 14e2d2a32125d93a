#include "platform/display/DisplayServices.h"

#include "platform/display/XRandRDisplayServices.h"

namespace {

std::unique_ptr<DisplayServices>& installed()
{
    static std::unique_ptr<DisplayServices> services;
    return services;
}

std::unique_ptr<DisplayServices> platformServices()
{
    if (auto xrandr = XRandRDisplayServices::connect())
        return xrandr;
    return std::make_unique<CannotSwitchDisplayServices>();
}

} // namespace

DisplayServices::~DisplayServices() = default;

DisplayServices& DisplayServices::shared()
{
    auto& services = installed();
    if (!services)
        services = platformServices();
    return *services;
}

void DisplayServices::replace(std::unique_ptr<DisplayServices> services)
{
    installed() = std::move(services);
}

bool CannotSwitchDisplayServices::canSwitchModes() const
{
    return false;
}

DisplayID CannotSwitchDisplayServices::mainDisplayID() const
{
    return kNoDisplay;
}

std::optional<DisplayModeDictionary> CannotSwitchDisplayServices::displayCurrentMode(DisplayID) const
{
    return std::nullopt;
}

std::vector<DisplayModeDictionary> CannotSwitchDisplayServices::displayAvailableModes(DisplayID) const
{
    return {};
}

bool CannotSwitchDisplayServices::displaySwitchToMode(DisplayID, const DisplayModeDictionary&)
{
    return false;
}

QRect CannotSwitchDisplayServices::displayBounds(DisplayID) const
{
    return {};
}

void CannotSwitchDisplayServices::releaseAllDisplays() {}
