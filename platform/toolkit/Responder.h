#pragma once

#include "platform/toolkit/Events.h"

// An object that can receive key and mouse presses passed on to it. What it
// does not handle ends here: nothing beeps and nothing else sees the event.
class Responder {
public:
    virtual ~Responder() = default;
    virtual void keyDown(const KeyEvent&) {}
    virtual void mouseDown(const MouseEvent&) {}
};
