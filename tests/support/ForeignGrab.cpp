#include "tests/support/ForeignGrab.h"

#include <X11/Xlib.h>

ForeignKeyboardGrab::ForeignKeyboardGrab()
{
    Display* display = XOpenDisplay(nullptr);
    mDisplay = display;
    if (!display)
        return;
    mHeld = XGrabKeyboard(display, DefaultRootWindow(display), False, GrabModeAsync, GrabModeAsync, CurrentTime)
        == GrabSuccess;
    XSync(display, False);
}

ForeignKeyboardGrab::~ForeignKeyboardGrab()
{
    auto* display = static_cast<Display*>(mDisplay);
    if (!display)
        return;
    XUngrabKeyboard(display, CurrentTime);
    XCloseDisplay(display);
}
