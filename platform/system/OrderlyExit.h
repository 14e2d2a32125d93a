#pragma once

// Makes SIGINT, SIGTERM and SIGHUP end the program the way closing its last
// window does: the signal only asks QCoreApplication to quit, and the event
// loop returns, so that main ends normally and everything it owns is torn
// down; the display services give the original display modes back then.
//
// The handler itself only writes the signal's number to a pipe (async-signal-
// safe); a QSocketNotifier on the other end calls QCoreApplication::quit from
// the event loop. Each handler works once: a second signal of the same kind,
// while the program is still shutting down, has its default effect and ends
// the program at once (the display guardian then restores the modes).
//
// Call after the QCoreApplication exists; calling again re-arms the handlers.
void installOrderlyExitOnSignals();

// Whether a signal has asked the program to quit that the event loop has not
// handled yet. Code that waits outside the event loop (for another process,
// say) gives up when this turns true, so that the quit comes at once.
bool orderlyExitRequested();
