#pragma once

#include <numbers>

// Degrees and radians in single precision, for the camera's orbits and the
// sky dome's rings alike: both do their angle arithmetic in floats, with
// these factors rounded once to the nearest float.
namespace Angles {
inline constexpr float kRadiansPerDegree = static_cast<float>(std::numbers::pi / 180.0);
inline constexpr float kDegreesPerRadian = static_cast<float>(180.0 / std::numbers::pi);
} // namespace Angles
