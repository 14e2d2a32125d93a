#pragma once

class QKeyEvent;

// An object that key presses are passed on to. What it does not handle ends
// here: nothing beeps and nothing else sees the event.
class Responder {
public:
    virtual ~Responder() = default;
    virtual void keyDown(const QKeyEvent& event) = 0;
};
