#pragma once

#include "prefs/ResolutionMenu.h"
#include "scene/SceneSettings.h"

#include <QVariant>
#include <memory>
#include <optional>

class BackgroundTask;
class ColorButton;
class FerlowOpenGLView;
class FloatSlider;
class PreferencesPanel;
class Scene;
class TerrainImage;

// Keeps each scene setting equal in three places: the settings store, the
// live Scene and the preferences panel's controls, each as the table of
// scene settings says. Also offers the display modes for full screen and
// stores the choice (ResolutionMenu).
class PrefsController {
public:
    // Fills the panel's controls from the store, remembers the display's
    // current mode and builds the resolution menu.
    PrefsController(const PreferencesPanel& panel, FerlowOpenGLView& ferlowOpenGLView);
    // Cancels a light-map bake under way and waits for its thread.
    ~PrefsController();
    PrefsController(const PrefsController&) = delete;
    PrefsController& operator=(const PrefsController&) = delete;

    // From the keyboard commands: text field, Scene, slider, store; no redraw.
    void setAnimationSpeed(float speed);
    void setCameraHeight(float height);
    void setLookAhead(float distance);

    // From the sliders: text field, Scene, store, then the setting's refresh;
    // the slider is left as the user put it.
    void selectGridSize(FloatSlider* sender);
    void selectFerlowHeight(FloatSlider* sender);
    void selectSpeed(FloatSlider* sender);
    void selectLookAhead(FloatSlider* sender);
    void selectCameraHeight(FloatSlider* sender);
    void selectFogDensity(FloatSlider* sender);
    void selectFogColour(ColorButton* sender);
    void selectDefaultSettings();
    // The height scale at which the flown terrain's metre up is a metre
    // across, where its ground size is known.
    void selectTrueProportions();
    void selectResolution();

    // Flies terrain (null: the built-in one) from the next frame, drawn at
    // once without a step along the path, as after a grid-size change, the
    // camera placed over the new ground even while the flight stands; the
    // grid-size slider then ends at heightImageWidth, the height scale's
    // reaches the terrain's true proportions, and the True Proportions
    // button is offered where they are known.
    void flyTerrain(std::shared_ptr<const TerrainImage> terrain, int heightImageWidth);

    // The mode chosen for full screen, or nothing to keep the display's.
    std::optional<DisplayModeDictionary> displayMode() const;

private:
    void connectControls();
    // What the constructor does, and a reset to the defaults again.
    void loadControls();
    Scene& scene() const;
    // A new value of a setting with a slider, from its slider or from a key;
    // moveSlider when the slider is not where the value came from.
    void takeValue(SceneSettingId id, const QVariant& value, bool moveSlider);
    // The same shown and flown, but not stored.
    void showValue(SceneSettingId id, const QVariant& value, bool moveSlider);
    void selectValue(SceneSettingId id, FloatSlider* sender);
    void refresh(SceneSetting::Refresh refresh);
    void pausedRedraw();
    void refreshCamera(bool moveCamera);
    // An opened terrain's light map baked again, off the main thread, when
    // it was baked for another height scale than the scene's; the newest
    // height scale wins.
    void matchLightMapToHeight();
    void offerTrueProportions();
    std::optional<float> trueProportionsHeight() const;

    const PreferencesPanel* mPanel;
    FerlowOpenGLView* mFerlowOpenGLView;
    ResolutionMenu mResolutionMenu;
    std::unique_ptr<BackgroundTask> mLightMapBake;
};
