#pragma once

// Qt's headers first: Xlib's macros (Bool, Status, None) break them.
#include "platform/display/DisplayServices.h"

#include "platform/display/DisplayGuardian.h"
#include "platform/display/XRandRConfiguration.h"

#include <memory>
#include <optional>
#include <vector>

// The display services over XRandR, on a connection of their own to the X
// server of $DISPLAY, so they need no Qt and never disturb Qt's connection.
//
// A display is an RandR output, its ID the output's XID. The main display is
// the primary output, or, when none is set or it is off, the first connected
// output that drives a CRTC. Its modes are the output's modes in the server's
// order (the preferred first), each as:
// - "Width", "Height": the mode's size in pixels;
// - "BitsPerPixel": the screen's depth; RandR changes the size and timing of
//   a mode, never its depth, so every mode has the one depth of the screen;
// - "IOFlags": 0; RandR has no stretched modes (scaling is a CRTC transform,
//   not a mode);
// - "RefreshRate": pixel clock / (horizontal total x vertical total), with
//   double scan and interlace counted in;
// - "ModeID": the RandR mode's XID, what a switch sets.
// The same size at two refresh rates makes two modes.
//
// A display's bounds are its CRTC's place and size on the screen. A switch
// sets the output's CRTC to the mode where it stands, with its rotation and
// outputs, leaves every other CRTC as it is, and sizes the screen to what the
// CRTCs then cover; releasing puts back every CRTC and the screen size as
// they were before the first switch.
class XRandRDisplayServices final : public DisplayServices {
public:
    // nullptr when there is no X server, it lacks RandR 1.2, or it is
    // Xwayland, whose modes are fakes that the Wayland compositor ignores.
    static std::unique_ptr<XRandRDisplayServices> connect();
    ~XRandRDisplayServices() override;

    // Whether there is a main display to switch.
    bool canSwitchModes() const override;
    DisplayID mainDisplayID() const override;
    std::optional<DisplayModeDictionary> displayCurrentMode(DisplayID display) const override;
    std::vector<DisplayModeDictionary> displayAvailableModes(DisplayID display) const override;
    bool displaySwitchToMode(DisplayID display, const DisplayModeDictionary& mode) override;
    QRect displayBounds(DisplayID display) const override;
    void releaseAllDisplays() override;

private:
    // One output as the server describes it now.
    struct OutputState {
        ScreenResources resources;
        OutputInfo output;
        CrtcInfo crtc; // null while the output is off
    };

    explicit XRandRDisplayServices(DisplayConnection display);
    // Inside an XErrorTrap.
    std::optional<OutputState> outputState(DisplayID display) const;
    // The display's CRTC setting, when the display is lit and offers `mode`.
    std::optional<CrtcSetting> settingOffering(DisplayID display, RRMode mode) const;
    // Runs a change of the configuration with the server grabbed, so that no
    // other client changes it halfway; whether every request took.
    template <typename Change>
    bool applyAlone(const Change& change);
    DisplayModeDictionary dictionary(const XRRModeInfo& mode) const;
    // Records the layout before the first switch and hands it to a guardian
    // started for it.
    bool saveLayoutBeforeFirstSwitch();

    DisplayConnection mDisplay;
    std::optional<Layout> mOriginalLayout;
    std::unique_ptr<DisplayGuardian> mGuardian;
};
