#pragma once

#include <functional>
#include <memory>

class QTimer;

// A timer on the main event loop that calls its target until invalidated.
// Intervals are kept to the millisecond (Qt::PreciseTimer), so a 0.017 s
// timer ticks every 17 ms rather than drifting to the coarse 5% slack of an
// ordinary QTimer.
class Timer {
public:
    static std::unique_ptr<Timer> scheduledTimerWithTimeInterval(double seconds, std::function<void(Timer&)> target,
                                                                 bool repeats);
    ~Timer();
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    // Stops the timer for good; it never calls its target again.
    void invalidate();
    bool isValid() const;

    // How many timers are scheduled and not invalidated, program-wide: lets
    // a test or a diagnostic see that no timer was left behind.
    static int activeCount();

private:
    Timer(double seconds, std::function<void(Timer&)> target, bool repeats);

    std::unique_ptr<QTimer> mTimer;
    std::function<void(Timer&)> mTarget;
    bool mValid = false;
};
