#include "platform/system/Clock.h"

#include <chrono>

namespace {
std::function<double()>& source()
{
    static std::function<double()> replacement;
    return replacement;
}

double systemNow()
{
    using namespace std::chrono;
    const auto sinceEpoch = duration<double>(system_clock::now().time_since_epoch());
    return sinceEpoch.count() - Clock::kReferenceDateOffset;
}
} // namespace

double Clock::now()
{
    return source() ? source()() : systemNow();
}

void Clock::replace(std::function<double()> replacement)
{
    source() = std::move(replacement);
}
