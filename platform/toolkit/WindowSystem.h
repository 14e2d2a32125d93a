#pragma once

#include <optional>
#include <string>

// Whether a window system can be reached, asked before the application
// object exists: where the toolkit's platform plugins cannot connect, Qt
// ends the process with abort() and a message about reinstalling.
//
// The platforms are the ones Qt tries, in its order: the command line's
// -platform, else QT_QPA_PLATFORM's list; else in a Wayland session
// (WAYLAND_DISPLAY set, or XDG_SESSION_TYPE=wayland) Wayland and then X11,
// elsewhere X11 alone. X11 is reached with a plain connection to DISPLAY,
// Wayland with a connection to the compositor's socket. A platform without
// a display server of its own (offscreen, vnc, ...) counts as reachable.
//
// Nothing when one of them can be reached; otherwise why none can, naming
// each display: "no X server accepts connections at DISPLAY \":129\"".
std::optional<std::string> unreachableWindowSystem(int argc, char** argv);
