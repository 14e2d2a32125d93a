#pragma once

#include "platform/Rect.h"
#include "scene/Camera.h"

#include <array>
#include <cstdint>
#include <memory>

// The world one OpenGL view shows: the camera, the terrain and the sky, and
// the parameters that shape them. Each frame it moves the camera along a
// fixed closed path (x = 25 cos t, z = 25 sin 1.7t, at a constant height),
// sets the fixed-function state and draws the terrain, then the sky.
//
// The settings store is read once, on construction; afterwards the setters
// carry changes in. Everything runs on the main thread; render() and
// setViewportRect() need an OpenGL context current.
class Scene {
public:
    // The animation state kept between frames, once for the whole program
    // rather than per scene: a second scene (or a full-screen context drawing
    // the same scene) continues the same flight.
    struct PathState {
        double sLastTimeStamp = 0.0; // seconds since 2001-01-01 UTC; 0 before the first update
        double sPathParameter = 0.0; // the accumulated path parameter t
        double sLastPathX = 0.0;     // eye x at the last update
        double sLastPathZ = 0.0;     // eye z at the last update
    };
    static PathState& pathState();

    static constexpr double kPathRadius = 25.0;
    // The single-precision constants, widened to double where the path
    // arithmetic uses them.
    static constexpr double kPathRate = static_cast<double>(0.002f);
    static constexpr double kAheadFrequency = static_cast<double>(1.7f);
    static constexpr double kPathFrequency = 1.7;
    static constexpr double kAheadParameter = 0.5;
    static constexpr float kFogDensityScale = 0.01f;
    static constexpr double kFogThreshold = 0.01;
    static constexpr double kFieldOfViewDegrees = 30.0;
    static constexpr double kNearPlane = 0.1;
    static constexpr double kFarPlane = 1000.0;
    static constexpr float kTerrainExtent = 100.0f;

    // Registers Defaults.plist with the store and reads the seven scene
    // settings. Makes no OpenGL call.
    Scene();
    ~Scene();
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;

    // Viewport, 30-degree perspective projection, and an identity model-view
    // matrix; leaves GL_MODELVIEW selected.
    void setViewportRect(const Rect& rect);
    // One step along the camera path by the time since the last step.
    void animate();
    // Draws one frame into the current context; see Scene.cpp for the state
    // it leaves behind.
    void render();

    void setAnimate(bool animate);
    bool getAnimate() const { return mAnimate; }
    void setAnimationSpeed(float speed) { mSpeed = speed; }
    float getAnimationSpeed() const { return mSpeed; }
    void setFerlowHeight(float height) { mFerlowHeight = height; }
    float getFerlowHeight() const { return mFerlowHeight; }
    void setLookAhead(float distance) { mLookAhead = distance; }
    float getLookAhead() const { return mLookAhead; }
    void setCameraHeight(float height) { mCameraHeight = height; }
    float getCameraHeight() const { return mCameraHeight; }
    // In OpenGL units: the setting times 0.01.
    void setFogDensity(float density) { mFogDensity = density; }
    float getFogDensity() const { return mFogDensity; }
    void setFogColour(float red, float green, float blue, float alpha);
    const std::array<float, 4>& getFogColour() const { return mFogColour; }
    void setWireFrame(bool wireFrame);
    bool getWireFrame() const { return mWireFrame; }
    void setGridSize(std::int32_t gridSize);
    std::int32_t getGridSize() const { return mGridSize; }

    Camera& camera() { return *mCamera; }

private:
    void readSettings();
    void applyFog() const;

    std::unique_ptr<Camera> mCamera;
    bool mWireFrame = false;
    bool mAnimate = true;
    float mSpeed = 0.0f;
    float mFerlowHeight = 0.0f;
    float mLookAhead = 0.0f;
    float mCameraHeight = 0.0f;
    std::int32_t mGridSize = 0;
    float mFogDensity = 0.0f;
    std::array<float, 4> mFogColour{};
};
