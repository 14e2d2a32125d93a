#pragma once

#include <QRectF>
#include "platform/system/Clock.h"
#include "scene/Camera.h"

#include <QVariant>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>

class HeightField;
class SettingsStore;
class SkyDome;
class TerrainImage;

// The world one OpenGL view shows: the camera, the terrain and the sky, and
// the parameters that shape them. Each frame it moves the camera along a
// fixed closed path (x = 25 cos t, z = 25 sin 1.7t, at a constant height),
// sets the fixed-function state and draws the terrain, then the sky.
//
// The settings store it is given is read once, on construction; afterwards
// the setters carry changes in. The clock it is given times the flight. Everything runs on the main thread; render(),
// setViewportRect(), setWireFrame(), setGridSize() and destruction need an
// OpenGL context current: the view's, or the full-screen context that shares
// its display lists and textures.
//
// The terrain is created on the first frame and the sky on the first frame
// outside wire frame; both record display lists (names 1 and 2) on their
// first drawing. Those lists and the terrain's textures live in the view's
// share group, which lasts as long as the view's context: the view keeps its
// one context for its whole life, so they never dangle.
class Scene {
public:
    // The animation state kept between frames. The full-screen context draws
    // the same scene, so it continues the same flight.
    struct PathState {
        double sLastTimeStamp = 0.0; // seconds since 2001-01-01 UTC; 0 before the first update
        double sPathParameter = 0.0; // the accumulated path parameter t
        double sLastPathX = 0.0;     // eye x at the last update
        double sLastPathZ = 0.0;     // eye z at the last update
    };

    static constexpr double kFogThreshold = 0.01;
    static constexpr double kFieldOfViewDegrees = 30.0;
    static constexpr double kNearPlane = 0.1;
    static constexpr double kFarPlane = 1000.0;
    static constexpr float kTerrainExtent = 100.0f;
    static constexpr const char* kHeightImage = "heightmap.png";
    static constexpr const char* kDetailTexture = "grass.jpg";
    static constexpr const char* kLightTexture = "lightmap.png";

    // The fog colour a "FogColour" setting stands for: its first four
    // numbers; missing ones are 0, as for a missing setting.
    static std::array<float, 4> fogColourFromSetting(const QVariant& setting);

    // Reads the seven scene settings from the store, whose defaults are
    // registered already. Makes no OpenGL call.
    Scene(const SettingsStore& settings, Clock clock);
    // A scene that shows what `shown` shows and flies on from where it is:
    // its parameters, terrain, camera and point of the path, timed by a
    // clock of its own. Its terrain and sky are its own, made in whatever
    // context draws it, on whatever thread: a picture or a video drawn
    // offscreen while the window flies on.
    Scene(const Scene& shown, Clock clock);
    ~Scene();
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;

    // Viewport, 30-degree perspective projection, and an identity model-view
    // matrix; leaves GL_MODELVIEW selected.
    void setViewportRect(const QRectF& rect);
    // One step along the camera path by the time since the last step.
    void animate();
    // The camera where a flight from the start of the path (t = 0) would
    // have brought it after `seconds` at the current speed, looking along
    // the path; the next step measures time from now.
    void flyTo(double seconds);
    // Seconds the camera takes to fly the closed path once at the current
    // speed; nothing while it stands still.
    std::optional<double> loopSeconds() const;
    // The camera placed anew where the path has brought it, over the ground
    // there, without a step along it: for a new terrain or eye height.
    void placeCamera();
    // Over an opened terrain, lifts the eye, and the look-at point with it,
    // to just above the ground beneath it when it has gone below, as a step
    // of the camera while the flight stands may take it.
    void keepEyeAboveGround();
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
    // A change drops the terrain's display list, so that the next frame
    // records it in the new mode.
    void setWireFrame(bool wireFrame);
    bool getWireFrame() const { return mWireFrame; }
    // A change rebuilds the terrain's mesh at once and drops its display list.
    void setGridSize(std::int32_t gridSize);
    std::int32_t getGridSize() const { return mGridSize; }

    // The terrain flown: an opened one, or with null the built-in one. The
    // next frame builds it at the current grid size; the old one, its list
    // and its textures go at once. A current context is needed only once the
    // first frame has been drawn.
    void setTerrain(std::shared_ptr<const TerrainImage> terrain);
    const std::shared_ptr<const TerrainImage>& terrain() const { return mTerrain; }
    // The same terrain with its light map baked anew (for another height
    // scale): the mesh stays, the light texture takes the new map. A
    // terrain of other heights (one opened since the bake began) is ignored.
    void setTerrainLightMap(std::shared_ptr<const TerrainImage> rebaked);

    // Where the flight is; a test or a benchmark may put it back to where it
    // was, and give the scene another clock, to fly the same stretch again.
    const PathState& pathState() const { return mPathState; }
    void setPathState(const PathState& state) { mPathState = state; }
    void setClock(Clock clock) { mClock = std::move(clock); }

    Camera& camera() { return *mCamera; }
    HeightField* heightField() const { return mHeightField.get(); }
    SkyDome* skyDome() const { return mSkyDome.get(); }

private:
    void readSettings(const SettingsStore& settings);
    void applyFog() const;
    void drawContents();
    std::unique_ptr<HeightField> makeHeightField() const;
    // The level, in world units, that the camera height counts from at
    // (x, z) of the world.
    float groundBeneath(float x, float z) const;

    // Declared so that destruction releases the camera, then the sky dome,
    // then the height field.
    std::unique_ptr<HeightField> mHeightField;
    std::shared_ptr<const TerrainImage> mTerrain;
    std::unique_ptr<SkyDome> mSkyDome;
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
    PathState mPathState;
    Clock mClock;
};
