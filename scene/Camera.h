#pragma once

// A point in world coordinates, single precision.
struct Point {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
};

// The viewer: an eye point and the point it looks at, with the world's y axis
// as the up direction. All geometry is single precision; only the call into
// GLU widens to double. A new camera has both points at the origin.
//
// Terms: the offset is eye - look-at point; the azimuth is its angle in the
// x-z plane from +x towards +z; the elevation its angle above that plane.
class Camera {
public:
    // Orbiting stops short of the poles, where the up vector would be
    // parallel to the view direction.
    static constexpr float kMaxElevationDegrees = 89.0f;
    static constexpr float kMinDistance = 0.001f;
    // What a zoom below kMinDistance gives. Deliberately smaller than
    // kMinDistance: the eye may come this close but never coincide.
    static constexpr float kCollapsedDistance = 0.0001f;

    void lookAt(float x, float y, float z);
    void positionAt(float x, float y, float z);

    // Steps along (or against) the view direction; the look-at point ends up
    // `step` ahead of the new eye, so after moveBackwards it is where the eye
    // was. Coincident points do not move.
    void moveForwards(float step);
    void moveBackwards(float step);

    // Places the eye at these absolute angles about the look-at point, at its
    // current distance; the elevation is clamped to +-89 degrees.
    void rotateByDegrees(float azimuthDegrees, float elevationDegrees);

    float getXDegrees() const; // azimuth, -180 ... 180
    float getYDegrees() const; // elevation, -90 ... 90
    float getDistance() const;
    // Moves the eye along its current direction from the look-at point.
    void setDistance(float distance);

    // Multiplies the viewing transform onto the current matrix; the caller
    // has selected and pushed the model-view matrix. Leaves the matrix mode
    // as it was.
    void render() const;

    const Point& position() const { return mPosition; }
    const Point& lookAtPoint() const { return mLookAt; }

private:
    Point offset() const;
    void step(float along, float ahead);

    Point mPosition;
    Point mLookAt;
};
