#include "scene/Camera.h"

#include "geometry/Angles.h"
#include "platform/gl/GL.h"

#include <algorithm>
#include <cmath>

void Camera::lookAt(float x, float y, float z)
{
    mLookAt = {x, y, z};
}

void Camera::positionAt(float x, float y, float z)
{
    mPosition = {x, y, z};
}

Point Camera::offset() const
{
    return {mPosition.x - mLookAt.x, mPosition.y - mLookAt.y, mPosition.z - mLookAt.z};
}

// Moves the eye by `along` units of the unit view direction, then places the
// look-at point `ahead` units along that unchanged direction from the new eye.
void Camera::step(float along, float ahead)
{
    Point d{mLookAt.x - mPosition.x, mLookAt.y - mPosition.y, mLookAt.z - mPosition.z};
    const float length = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
    if (length != 0.0f)
        d = {d.x / length, d.y / length, d.z / length};
    mPosition = {mPosition.x + along * d.x, mPosition.y + along * d.y, mPosition.z + along * d.z};
    mLookAt = {mPosition.x + ahead * d.x, mPosition.y + ahead * d.y, mPosition.z + ahead * d.z};
}

void Camera::moveForwards(float stepSize)
{
    step(stepSize, stepSize);
}

void Camera::moveBackwards(float stepSize)
{
    step(-stepSize, stepSize);
}

void Camera::rotateByDegrees(float azimuthDegrees, float elevationDegrees)
{
    const Point o = offset();
    const float r = std::sqrt(o.y * o.y + o.x * o.x + o.z * o.z);
    float elevation = std::min(elevationDegrees, kMaxElevationDegrees);
    elevation = std::max(elevation, -kMaxElevationDegrees);
    const float ax = azimuthDegrees * Angles::kRadiansPerDegree;
    const float ay = elevation * Angles::kRadiansPerDegree;
    const float h = r * std::cos(ay);
    mPosition = {mLookAt.x + h * std::cos(ax), mLookAt.y + r * std::sin(ay), mLookAt.z + h * std::sin(ax)};
}

float Camera::getXDegrees() const
{
    const Point o = offset();
    return std::atan2(o.z, o.x) * Angles::kDegreesPerRadian;
}

float Camera::getYDegrees() const
{
    const Point o = offset();
    return std::atan2(o.y, std::sqrt(o.x * o.x + o.z * o.z)) * Angles::kDegreesPerRadian;
}

float Camera::getDistance() const
{
    const Point o = offset();
    return std::sqrt(o.x * o.x + o.y * o.y + o.z * o.z);
}

void Camera::setDistance(float distance)
{
    const Point o = offset();
    const float azimuth = std::atan2(o.z, o.x);
    const float elevation = std::atan2(o.y, std::sqrt(o.x * o.x + o.z * o.z));
    const float r = distance < kMinDistance ? kCollapsedDistance : distance;
    const float h = std::cos(elevation) * r;
    mPosition = {mLookAt.x + h * std::cos(azimuth), mLookAt.y + r * std::sin(elevation),
                 mLookAt.z + h * std::sin(azimuth)};
}

void Camera::render() const
{
    Point centre = mLookAt;
    double upZ = 0.0;
    double upY = 1.0;
    if (mPosition.x == mLookAt.x && mPosition.z == mLookAt.z) {
        // Looking straight down or up (a look-ahead of 0 does this), +y cannot
        // be the up direction: gluLookAt would build a singular matrix and
        // blank the frame. Let world -z point to the top of the screen.
        upY = 0.0;
        upZ = -1.0;
        if (mPosition.y == mLookAt.y)
            centre.y = mPosition.y - 1.0f; // coincident points: look down
    }
    gluLookAt(mPosition.x, mPosition.y, mPosition.z, centre.x, centre.y, centre.z, 0.0, upY, upZ);
}
