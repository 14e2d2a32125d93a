#pragma once

#include "scene/Scene.h"

#include <QString>
#include <QVariant>
#include <QVariantMap>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

class SettingsStore;

// The seven settings a scene is drawn with, in the order a reset writes them.
enum class SceneSettingId { Speed, HeightScale, CameraHeight, LookAhead, FogDensity, GridSize, FogColour };

// One scene setting: the key the store keeps it under and in what form, how
// the Scene takes it, how the preferences panel shows it and moves it, how
// the keyboard steps it, and what a change from the panel draws at once.
//
// A value passes between store, Scene and panel as a QVariant in the form
// the store keeps: a float, a 32-bit integer, or a list of four numbers
// (red, green, blue, alpha) for a colour.
struct SceneSetting {
    enum class Type { Float, Integer, Colour };

    // What a change from the panel draws before it returns; the view is
    // asked for none of them, the frame is drawn at once.
    enum class Refresh {
        // Nothing: the next tick of the running animation shows it.
        None,
        // A frame without a step along the path; the scene's clock restarts
        // after it, so the time a change took (a mesh rebuilt) does not move
        // the camera either.
        PausedRedraw,
        // The camera placed anew at the same point of its path, for a new
        // look-ahead or eye height, and a frame drawn at speed 0.
        CameraRefresh,
        // A frame drawn at speed 0, the camera left where it is.
        StillRedraw,
        // A frame like any other, which advances a running flight.
        Redraw,
    };

    // A slider of `steps` even steps from min to max.
    struct Range {
        double min;
        double max;
        int steps;
    };

    // The keyboard's steps, uneven where up and down differ. A bounded
    // setting stops at its slider's ends; an unbounded one goes past them.
    struct KeySteps {
        float up;
        float down;
        bool bounded;
    };

    SceneSettingId id;
    QLatin1String key;
    Type type;
    // The panel's name for it.
    const char* label;
    // A colour has no slider; its range is left empty.
    Range range{};
    // The grid size: its slider's range widens from the one above to end at
    // the height image's width, where the mesh has a vertex for every sample,
    // or at the finest grid the mesh is built at, whichever is smaller.
    bool rangeEndsAtImageWidth = false;
    // Whether a change rebuilds the terrain's mesh, which takes a while.
    bool rebuildsTerrain = false;
    std::optional<KeySteps> keySteps = std::nullopt;
    // printf-style, of a float's value; an integer shows as plain decimal.
    const char* format = nullptr;
    // The Scene holds the stored value times this, in single precision.
    double scale = 1.0;
    Refresh refresh = Refresh::None;
    // The Scene's getter and setter of a float, of an integer, of a colour.
    float (Scene::*getFloat)() const = nullptr;
    void (Scene::*setFloat)(float) = nullptr;
    void (Scene::*setInteger)(std::int32_t) = nullptr;
    void (Scene::*setColour)(float, float, float, float) = nullptr;

    // The stored value, or the registered default, brought into `within`
    // (a colour's components into 0 to 1): a hand-edited -14 or 1e6 would
    // turn the terrain over or break the picture. A missing value reads as
    // 0 (an invalid QVariant for a colour). The store keeps what it holds.
    QVariant read(const SettingsStore& store, const Range& within) const;
    // The same within the widest range the panel's slider has for any
    // terrain it knows from the start.
    QVariant read(const SettingsStore& store) const { return read(store, widestRange()); }
    // The same, with one line in the log where the value had to be brought
    // into range: what was stored and what is used.
    QVariant readReporting(const SettingsStore& store) const;
    void write(SettingsStore& store, const QVariant& value) const;
    // Hands a value in the stored form to the Scene's setter.
    void apply(Scene& scene, const QVariant& value) const;
    // The value of a defaults dictionary in the stored form, or nothing where
    // it lacks the key or holds no usable value for it: no finite number, a
    // colour of fewer than four.
    std::optional<QVariant> defaultValue(const QVariantMap& defaults) const;

    // The value the Scene holds for a stored value, as its text field shows
    // it after a change.
    QString text(const QVariant& value) const;
    // The same as the panel shows it at start-up, where a scaled value is
    // worked out in double precision rather than the Scene's single.
    QString textAtStartUp(const QVariant& value) const;

    // The slider's range, given the height image's width.
    Range sliderRange(int heightImageWidth) const;
    // The same for the widest height image the mesh follows.
    Range widestRange() const;
    // One key step up or down from the Scene's value, within the bounds.
    float raised(float value) const;
    float lowered(float value) const;

private:
    // The stored value, or the registered default, as it is.
    QVariant stored(const SettingsStore& store) const;
    QVariant usable(const QVariant& value, const Range& within) const;
};

// Fog density is kept in hundredths of what OpenGL is given.
inline constexpr double kFogDensityScale = 0.01;
inline constexpr int kMinGridSize = 2;

inline constexpr std::array<SceneSetting, 7> kSceneSettings{{
    {.id = SceneSettingId::Speed,
     .key = QLatin1String("Speed"),
     .type = SceneSetting::Type::Float,
     .label = "Speed",
     .range = {-5.0, 50.0, 220},
     .keySteps = SceneSetting::KeySteps{2.0f, 2.0f, true},
     .format = "%.2f ",
     .refresh = SceneSetting::Refresh::None,
     .getFloat = &Scene::getAnimationSpeed,
     .setFloat = &Scene::setAnimationSpeed},
    {.id = SceneSettingId::HeightScale,
     .key = QLatin1String("FerlowHeight"),
     .type = SceneSetting::Type::Float,
     .label = "Terrain height",
     .range = {0.0, 40.0, 400},
     .format = "%.2f ",
     .refresh = SceneSetting::Refresh::PausedRedraw,
     .getFloat = &Scene::getFerlowHeight,
     .setFloat = &Scene::setFerlowHeight},
    {.id = SceneSettingId::CameraHeight,
     .key = QLatin1String("CameraHeight"),
     .type = SceneSetting::Type::Float,
     .label = "Camera height",
     .range = {-10.0, 30.0, 800},
     .keySteps = SceneSetting::KeySteps{0.03f, 0.06f, false},
     .format = "%.2f ",
     .refresh = SceneSetting::Refresh::CameraRefresh,
     .getFloat = &Scene::getCameraHeight,
     .setFloat = &Scene::setCameraHeight},
    {.id = SceneSettingId::LookAhead,
     .key = QLatin1String("LookAhead"),
     .type = SceneSetting::Type::Float,
     .label = "Look ahead",
     .range = {0.0, 40.0, 400},
     .keySteps = SceneSetting::KeySteps{0.06f, 0.03f, false},
     .format = "%.2f ",
     .refresh = SceneSetting::Refresh::CameraRefresh,
     .getFloat = &Scene::getLookAhead,
     .setFloat = &Scene::setLookAhead},
    {.id = SceneSettingId::FogDensity,
     .key = QLatin1String("FogDensity"),
     .type = SceneSetting::Type::Float,
     .label = "Fog density",
     .range = {0.0, 25.0, 500},
     .format = "%.3f ",
     .scale = kFogDensityScale,
     .refresh = SceneSetting::Refresh::StillRedraw,
     .getFloat = &Scene::getFogDensity,
     .setFloat = &Scene::setFogDensity},
    {.id = SceneSettingId::GridSize,
     .key = QLatin1String("GridSize"),
     .type = SceneSetting::Type::Integer,
     .label = "Grid size",
     .range = {kMinGridSize, kMinGridSize + 1, 1},
     .rangeEndsAtImageWidth = true,
     .rebuildsTerrain = true,
     .refresh = SceneSetting::Refresh::PausedRedraw,
     .setInteger = &Scene::setGridSize},
    {.id = SceneSettingId::FogColour,
     .key = QLatin1String("FogColour"),
     .type = SceneSetting::Type::Colour,
     .label = "Fog colour",
     .refresh = SceneSetting::Refresh::Redraw,
     .setColour = &Scene::setFogColour},
}};

// Each setting stands at the place its id names.
static_assert([] {
    for (std::size_t i = 0; i < kSceneSettings.size(); ++i) {
        if (kSceneSettings[i].id != static_cast<SceneSettingId>(i))
            return false;
    }
    return true;
}());

constexpr const SceneSetting& sceneSetting(SceneSettingId id)
{
    return kSceneSettings[static_cast<std::size_t>(id)];
}
