#pragma once

#include <functional>
#include <memory>

class QWidget;

// Settings every OpenGL surface of the program relies on, applied before the
// QApplication exists: contexts share their objects across windows, and the
// default format is a compatibility profile, so the fixed-function pipeline
// is there. The allocator is set up so that the memory the GL driver takes
// for a display list goes back to the system when the list is recorded anew,
// and so that threads reserve little address space.
void prepareApplication();

// Creates the application and its main window, shows the window and runs
// the event loop until the application ends, as it does when its last
// window closes; returns its exit code.
//
// Without a window system to reach, or without the address space to start
// in, it says so on standard error and returns 1 before the application
// exists. A thread that Qt cannot start ends the run with 1 too: Qt would
// wait for it for ever. Signals end the run in order once the event loop
// runs (OrderlyExit); before that they have their default effect, so that
// a start that cannot go on can still be stopped.
int applicationMain(int argc, char** argv, const std::function<std::unique_ptr<QWidget>()>& createMainWindow);
