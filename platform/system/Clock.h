#pragma once

#include <functional>

// Wall-clock time as seconds since 1 January 2001 00:00:00 UTC, the reference
// date the camera path is measured from. A clock is the system's, or one a
// test or a benchmark drives, so that the path can be followed at exact
// times.
class Clock {
public:
    using Source = std::function<double()>;

    // The system's clock.
    Clock() = default;
    // Time from another source, in the same seconds.
    explicit Clock(Source source);

    double now() const;

    // Seconds from the Unix epoch to 1 January 2001 00:00:00 UTC.
    static constexpr double kReferenceDateOffset = 978307200.0;

private:
    Source mSource;
};
