#pragma once

#include <functional>

// Wall-clock time as seconds since 1 January 2001 00:00:00 UTC, the reference
// date the camera path is measured from. Tests replace the source so that the
// path can be checked at exact times.
class Clock {
public:
    static double now();

    // Replaces the time source; an empty function restores the system clock.
    static void replace(std::function<double()> source);

    // Seconds from the Unix epoch to 1 January 2001 00:00:00 UTC.
    static constexpr double kReferenceDateOffset = 978307200.0;
};
