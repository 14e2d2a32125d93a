#include "platform/system/Clock.h"

#include <chrono>

Clock::Clock(Source source)
    : mSource(std::move(source))
{
}

double Clock::now() const
{
    if (mSource)
        return mSource();
    using namespace std::chrono;
    const auto sinceEpoch = duration<double>(system_clock::now().time_since_epoch());
    return sinceEpoch.count() - kReferenceDateOffset;
}
