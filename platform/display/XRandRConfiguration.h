#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <memory>
#include <optional>
#include <vector>

// Plain Xlib/XRandR building blocks shared by the display services and by the
// display guardian process. Nothing here uses Qt, so the guardian stays a
// small program of its own.

// What one CRTC shows: enough to put it back exactly as it was.
struct CrtcSetting {
    RRCrtc crtc = None;
    RRMode mode = None;
    int x = 0;
    int y = 0;
    Rotation rotation = RR_Rotate_0;
    std::vector<RROutput> outputs;

    bool operator==(const CrtcSetting&) const = default;
};

// The X screen's size in pixels and in millimetres.
struct ScreenSize {
    int width = 0;
    int height = 0;
    int widthMM = 0;
    int heightMM = 0;

    bool operator==(const ScreenSize&) const = default;
};

// The whole configuration: every CRTC as it stands, lit or dark, and the
// screen's size. Putting it back undoes any change of modes and positions,
// whoever made it (a desktop may move the other outputs when one changes).
struct Layout {
    ScreenSize screen;
    std::vector<CrtcSetting> crtcs;

    bool operator==(const Layout&) const = default;
};

struct ScreenResourcesDeleter {
    void operator()(XRRScreenResources* resources) const { XRRFreeScreenResources(resources); }
};
struct OutputInfoDeleter {
    void operator()(XRROutputInfo* info) const { XRRFreeOutputInfo(info); }
};
struct CrtcInfoDeleter {
    void operator()(XRRCrtcInfo* info) const { XRRFreeCrtcInfo(info); }
};
using ScreenResources = std::unique_ptr<XRRScreenResources, ScreenResourcesDeleter>;
using OutputInfo = std::unique_ptr<XRROutputInfo, OutputInfoDeleter>;
using CrtcInfo = std::unique_ptr<XRRCrtcInfo, CrtcInfoDeleter>;

struct DisplayCloser {
    void operator()(Display* display) const { XCloseDisplay(display); }
};
using DisplayConnection = std::unique_ptr<Display, DisplayCloser>;

// A connection of its own to the X server `name` (nullptr: $DISPLAY), null
// when there is none. It follows the screen's size changes, which
// currentScreenSize depends on.
DisplayConnection openDisplayConnection(const char* name);

// The configuration as the server holds it now, without probing the outputs
// (a probe can take seconds and makes some monitors flicker).
ScreenResources currentScreenResources(Display* display);
// Null for an XID the server does not know as an output or CRTC of `resources`;
// call inside an XErrorTrap.
OutputInfo outputInfo(Display* display, XRRScreenResources* resources, RROutput output);
CrtcInfo crtcInfo(Display* display, XRRScreenResources* resources, RRCrtc crtc);
const XRRModeInfo* findModeInfo(const XRRScreenResources& resources, RRMode mode);

// Frames per second of a mode; 0 for a mode without timings (Xvfb reports
// such modes).
double refreshRate(const XRRModeInfo& mode);

// The size in pixels comes straight from the server; the size in millimetres
// from the last screen change the connection has heard of, which may lag a
// change made a moment ago by a few milliseconds. Millimetres only give the
// desktop its dots per inch, so that lag never makes a mode fail.
ScreenSize currentScreenSize(Display* display);
CrtcSetting crtcSettingOf(RRCrtc crtc, const XRRCrtcInfo& info);
// Every CRTC and the screen's size; nothing when the server answers no
// resources. Call inside an XErrorTrap.
std::optional<Layout> currentLayout(Display* display);
// The mode the output shows now: None while it is dark or unknown. Call
// inside an XErrorTrap.
RRMode currentModeOf(Display* display, RROutput output);

// Sets a CRTC and resizes the screen to exactly the area the lit CRTCs then
// cover, at the screen's current dots per millimetre (a mode bigger than the
// screen cannot be shown, and a screen bigger than its CRTCs leaves desktop
// the user cannot see). The screen grows before the CRTC changes and shrinks
// after it, because the server refuses a CRTC that reaches outside the
// screen. Returns whether the CRTC was set; the screen size is put back when
// it was not. Call inside a ServerGrab, so that no other client changes the
// configuration halfway, and inside an XErrorTrap.
bool applyCrtcSetting(Display* display, const CrtcSetting& setting);

// Puts the layout back. Only the CRTCs that differ from it are touched: each
// goes dark first, so that the screen can take its old size whatever stands
// where now, then lights as it was. Returns whether every request took. Call
// inside a ServerGrab and an XErrorTrap.
bool applyLayout(Display* display, const Layout& layout);

// `current` scaled to a new size in pixels at the same dots per millimetre.
ScreenSize resizedScreen(const ScreenSize& current, int width, int height);

// Holds the X server for this connection alone while it lives.
class ServerGrab {
public:
    explicit ServerGrab(Display* display);
    ~ServerGrab();
    ServerGrab(const ServerGrab&) = delete;
    ServerGrab& operator=(const ServerGrab&) = delete;

private:
    Display* mDisplay;
};

// Catches the X errors of one connection while it lives, instead of Xlib's
// default handler, which ends the process. Errors of other connections (Qt's)
// go on to the handler that was installed before. One trap at a time.
class XErrorTrap {
public:
    explicit XErrorTrap(Display* display);
    ~XErrorTrap();
    XErrorTrap(const XErrorTrap&) = delete;
    XErrorTrap& operator=(const XErrorTrap&) = delete;

    // Whether any request sent so far inside the trap failed.
    bool caughtError() const;

private:
    Display* mDisplay;
};
