#pragma once

#include <QInputEvent>
#include <QObject>
#include <deque>
#include <memory>

// While full screen runs, every input event of the application is taken
// away from its receiver and queued here, so that nothing reaches the
// windows, the view or the toolbar; the full-screen loop takes the events one
// by one. Timers, painting and everything else go on as usual. A request to
// quit the application (an orderly exit on a signal, the Quit command) is
// noted, not held back.
//
// Until full screen holds the keyboard, the application's quit shortcut
// (Ctrl+Q) still reaches its command: keys typed then were meant for the
// window. From then on it is a key like any other.
class FullScreenEvents : public QObject {
public:
    // Starts queueing; stops when destroyed.
    FullScreenEvents();
    ~FullScreenEvents() override;

    // The oldest queued event, removed from the queue; null when none waits.
    std::unique_ptr<QInputEvent> next();
    bool quitRequested() const { return mQuitRequested; }
    void holdKeyboard() { mKeyboardHeld = true; }

protected:
    bool eventFilter(QObject* receiver, QEvent* event) override;

private:
    std::deque<std::unique_ptr<QInputEvent>> mQueue;
    bool mQuitRequested = false;
    bool mKeyboardHeld = false;
};
