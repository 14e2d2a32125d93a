#include "platform/toolkit/Timer.h"

#include <QTimer>
#include <cmath>

namespace {
int gActive = 0;
}

std::unique_ptr<Timer> Timer::scheduledTimerWithTimeInterval(double seconds, std::function<void(Timer&)> target,
                                                             bool repeats)
{
    return std::unique_ptr<Timer>(new Timer(seconds, std::move(target), repeats));
}

Timer::Timer(double seconds, std::function<void(Timer&)> target, bool repeats)
    : mTimer(std::make_unique<QTimer>())
    , mTarget(std::move(target))
{
    mTimer->setTimerType(Qt::PreciseTimer);
    mTimer->setSingleShot(!repeats);
    mTimer->setInterval(static_cast<int>(std::lround(seconds * 1000.0)));
    // The target may destroy this timer: nothing here touches it afterwards.
    QObject::connect(mTimer.get(), &QTimer::timeout, [this] {
        if (mTimer->isSingleShot())
            invalidate();
        mTarget(*this);
    });
    mTimer->start();
    mValid = true;
    ++gActive;
}

Timer::~Timer()
{
    invalidate();
}

void Timer::invalidate()
{
    if (!mValid)
        return;
    mValid = false;
    mTimer->stop();
    --gActive;
}

bool Timer::isValid() const
{
    return mValid;
}

int Timer::activeCount()
{
    return gActive;
}
