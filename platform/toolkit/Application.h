#pragma once

#include <functional>
#include <memory>
#include <vector>

// An object of the main interface that is told once, after every object of
// the interface exists and is connected, and before the first event.
class InterfaceObject {
public:
    virtual ~InterfaceObject() = default;
    virtual void awakeFromNib() = 0;
};

class ApplicationDelegate {
public:
    virtual ~ApplicationDelegate() = default;
    virtual bool applicationShouldTerminateAfterLastWindowClosed() = 0;
};

// The loaded main interface: owns its windows and objects for the run.
class MainInterface {
public:
    virtual ~MainInterface() = default;
    // The objects to wake, in the order they are woken.
    virtual std::vector<InterfaceObject*> awakeOrder() = 0;
    virtual ApplicationDelegate& delegate() = 0;
    virtual void showMainWindow() = 0;
};

// Sends awakeFromNib to the interface's objects, once each, in their order.
void wakeInterface(MainInterface& interface);

// Settings every OpenGL surface of the program relies on, applied before the
// QApplication exists: contexts share their objects across windows, and the
// default format is a compatibility profile, so the fixed-function pipeline
// is there. The allocator is set up so that the memory the GL driver takes
// for a display list goes back to the system when the list is recorded anew,
// and so that threads reserve little address space.
void prepareApplication();

// Creates the application, loads the main interface, wakes its objects and
// runs the event loop until the application ends; returns its exit code.
//
// Without a window system to reach, or without the address space to start
// in, it says so on standard error and returns 1 before the application
// exists. A thread that Qt cannot start ends the run with 1 too: Qt would
// wait for it for ever. Signals end the run in order once the event loop
// runs (OrderlyExit); before that they have their default effect, so that
// a start that cannot go on can still be stopped.
int applicationMain(int argc, char** argv, const std::function<std::unique_ptr<MainInterface>()>& loadInterface);
