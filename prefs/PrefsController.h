#pragma once

#include "platform/toolkit/Application.h"
#include "platform/toolkit/Controls.h"
#include "prefs/ResolutionMenu.h"

#include <QString>
#include <optional>

class FerlowOpenGLView;
class PreferencesPanel;
class Scene;

// Keeps each scene setting equal in three places: the settings store, the
// live Scene and the preferences panel's controls. Also offers the display
// modes for full screen and stores the choice.
//
// The store keys, their forms and what the Scene holds:
//   "Speed", "LookAhead", "CameraHeight", "FerlowHeight"  float, as stored
//   "GridSize"                                           integer, as stored
//   "FogDensity"  float in hundredths; the Scene holds it times 0.01
//   "FogColour"   four numbers, red, green, blue, alpha
//   "FullScreenWidth", "FullScreenHeight", "FullScreenStretched": the
//                 full-screen display mode, kept by the ResolutionMenu.
class PrefsController : public InterfaceObject {
public:
    // Outlets: the panel's controls and the main view, connected once when
    // the interface is loaded.
    void setOutlets(const PreferencesPanel& panel, FerlowOpenGLView* ferlowOpenGLView);

    void awakeFromNib() override;

    // From the keyboard commands: text field, Scene, slider, store; no redraw.
    void setAnimationSpeed(float speed);
    void setCameraHeight(float height);
    void setLookAhead(float distance);

    void selectGridSize(Slider* sender);
    void selectFerlowHeight(Slider* sender);
    void selectSpeed(Slider* sender);
    void selectLookAhead(Slider* sender);
    void selectCameraHeight(Slider* sender);
    void selectFogDensity(Slider* sender);
    void selectFogColour(ColorWell* sender);
    void selectDefaultSettings();
    void selectResolution();

    // The mode chosen for full screen, or nothing to keep the display's.
    std::optional<DisplayModeDictionary> displayMode() const;

    static QString formatValue(float value);        // "%.2f "
    static QString formatFogDensity(double value);  // "%.3f "

private:
    Scene& scene() const;
    void takeKeyValue(float value, TextField* field, void (Scene::*setter)(float), Slider* slider, const QString& key);
    void takeSliderValue(Slider* sender, TextField* field, void (Scene::*setter)(float), const QString& key);
    void pausedRedraw();
    void cameraRefresh();
    void stillRedraw();
    void refreshCamera(bool moveCamera);

    Slider* mGridSizeSlider = nullptr;
    TextField* mGridSizeTextField = nullptr;
    Slider* mFerlowHeightSlider = nullptr;
    TextField* mFerlowHeightTextField = nullptr;
    Slider* mSpeedSlider = nullptr;
    TextField* mSpeedTextField = nullptr;
    Slider* mLookAheadSlider = nullptr;
    TextField* mLookAheadTextField = nullptr;
    Slider* mCameraHeightSlider = nullptr;
    TextField* mCameraHeightTextField = nullptr;
    Slider* mFogDensitySlider = nullptr;
    TextField* mFogDensityTextField = nullptr;
    ColorWell* mFogColourButton = nullptr;
    FerlowOpenGLView* mFerlowOpenGLView = nullptr;
    ResolutionMenu mResolutionMenu;
};
