#pragma once

#include <cmath>
#include <numbers>

// The camera's closed path over the terrain, x = 25 cos t, z = 25 sin 1.7t,
// flown at a constant height. The scene flies it and the resource generator
// carves the valleys of the height map along it, so the two must agree to
// the last bit: a path that strays from its valleys flies into the ground.
// Header only, so that the generator takes it without the scene's library.
namespace FlightPath {

inline constexpr double kPathRadius = 25.0;
inline constexpr double kPathFrequency = 1.7;
// 1.7t has turned a whole number of times when t has turned ten times, so
// the path closes there.
inline constexpr double kPathPeriod = 20.0 * std::numbers::pi;
// The single-precision constants of the flight, widened to double where the
// path arithmetic uses them: t grows by the speed times kPathRate a second,
// and the eye looks along the chord to the point kAheadParameter further on,
// whose z follows kAheadFrequency.
inline constexpr double kPathRate = static_cast<double>(0.002f);
inline constexpr double kAheadFrequency = static_cast<double>(1.7f);
inline constexpr double kAheadParameter = 0.5;

struct GroundPoint {
    double x = 0.0;
    double z = 0.0;
};

// Where the eye is, seen from above, at path parameter t.
inline GroundPoint eyeAt(double t)
{
    return {kPathRadius * std::cos(t), kPathRadius * std::sin(t * kPathFrequency)};
}

} // namespace FlightPath
