#pragma once

#include <QRect>
#include <QVariantMap>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

using DisplayID = std::uint32_t;

// No display: the main display where there is none to switch.
inline constexpr DisplayID kNoDisplay = 0;

// A display mode as the display services describe it. Keys always present:
// "Width", "Height", "BitsPerPixel", "IOFlags" (qint64 values), "RefreshRate"
// (double, Hz), plus opaque keys of the implementation that identify the mode
// for a switch ("ModeID").
using DisplayModeDictionary = QVariantMap;

namespace DisplayModeKey {
inline constexpr char Width[] = "Width";
inline constexpr char Height[] = "Height";
inline constexpr char BitsPerPixel[] = "BitsPerPixel";
// Bit 0x800 marks a stretched mode.
inline constexpr char IOFlags[] = "IOFlags";
inline constexpr char RefreshRate[] = "RefreshRate";
inline constexpr char ModeID[] = "ModeID";
} // namespace DisplayModeKey

// The display services: the main display, where it stands, its modes, the
// switch to another mode and the way back to the original layout.
//
// Contract:
// - All calls come from the main thread.
// - A display the services do not know (a stale or made-up ID) has no current
//   mode, no modes, empty bounds and a size of 0 x 0, and cannot be switched.
// - A switch changes the mode of that display alone; every other display
//   keeps its mode and its place on the desktop.
// - The original layout of the displays (every display's mode and place, and
//   the desktop's size) is recorded once, just before the first switch since
//   the services started or last released the displays; a second switch does
//   not overwrite it.
// - Before the first switch a guardian process runs that gives the displays
//   their original layout back if the program ends without releasing them
//   (crash, SIGKILL). A switch the guardian cannot cover is refused.
// - Destroying the services releases the displays, so a normal end of the
//   program (return from main, exit, replace) gives the original modes back.
class DisplayServices {
public:
    virtual ~DisplayServices();

    // The program's display services: XRandR on an X11 server with RandR >= 1.2,
    // or the "cannot switch" services elsewhere (Wayland, Xwayland, no RandR
    // 1.2), which report no modes. Created on first use.
    static DisplayServices& shared();
    // Tests put in their own; nullptr restores the platform's. The services
    // replaced are destroyed, which releases their displays.
    static void replace(std::unique_ptr<DisplayServices> services);

    // The one answer the resolution menu and full-screen mode both use:
    // whether a chosen mode can be switched to (full screen then takes the
    // display-capture path and the menu is enabled).
    virtual bool canSwitchModes() const = 0;
    virtual DisplayID mainDisplayID() const = 0;
    virtual std::optional<DisplayModeDictionary> displayCurrentMode(DisplayID display) const = 0;
    // In the platform's order; empty where modes cannot be switched.
    virtual std::vector<DisplayModeDictionary> displayAvailableModes(DisplayID display) const = 0;
    // Switches the display to one of its available modes. Result: whether it
    // switched.
    virtual bool displaySwitchToMode(DisplayID display, const DisplayModeDictionary& mode) = 0;
    // Where the display stands on the desktop and the size of its current
    // mode, turned as the display is turned, in the desktop's pixels.
    virtual QRect displayBounds(DisplayID display) const = 0;
    // The size of the display's current mode, after any switch.
    int displayPixelsWide(DisplayID display) const { return displayBounds(display).width(); }
    int displayPixelsHigh(DisplayID display) const { return displayBounds(display).height(); }
    // Gives the displays back the layout they had before the first switch
    // (no-op when none happened), and tells the guardian the release was
    // clean.
    virtual void releaseAllDisplays() = 0;
};

// Where modes cannot be switched: Wayland, Xwayland, X servers without RandR
// 1.2, no display at all. Knows no display, so it reports no modes. Test
// fakes may start from it and override only what they need.
class CannotSwitchDisplayServices : public DisplayServices {
public:
    bool canSwitchModes() const override;
    DisplayID mainDisplayID() const override;
    std::optional<DisplayModeDictionary> displayCurrentMode(DisplayID display) const override;
    std::vector<DisplayModeDictionary> displayAvailableModes(DisplayID display) const override;
    bool displaySwitchToMode(DisplayID display, const DisplayModeDictionary& mode) override;
    QRect displayBounds(DisplayID display) const override;
    void releaseAllDisplays() override;
};
