#pragma once

#include "platform/toolkit/Controls.h"
#include "platform/toolkit/Panel.h"

class QPushButton;

// The preferences panel: one row per scene setting (label, slider, value),
// the fog colour well, the full-screen resolution pop-up and a button that
// puts every scene setting back to its default.
class PreferencesPanel : public Panel {
public:
    // Slider ranges, chosen so that every position gives a useful scene.
    struct Range {
        double min;
        double max;
        int steps;
    };
    static constexpr Range kSpeedRange{-5.0, 50.0, 220};
    static constexpr Range kLookAheadRange{0.0, 40.0, 400};
    static constexpr Range kCameraHeightRange{-10.0, 30.0, 800};
    static constexpr Range kFerlowHeightRange{0.0, 40.0, 400};
    static constexpr Range kFogDensityRange{0.0, 25.0, 500};
    static constexpr int kMinGridSize = 2;

    // The grid-size slider ends at maxGridSize, the height image's width.
    PreferencesPanel(QWidget* mainWindow, int maxGridSize);

    Slider* gridSizeSlider;
    TextField* gridSizeTextField;
    Slider* ferlowHeightSlider;
    TextField* ferlowHeightTextField;
    Slider* speedSlider;
    TextField* speedTextField;
    Slider* lookAheadSlider;
    TextField* lookAheadTextField;
    Slider* cameraHeightSlider;
    TextField* cameraHeightTextField;
    Slider* fogDensitySlider;
    TextField* fogDensityTextField;
    ColorWell* fogColourButton;
    PopUpButton* resolutionPopUpButton;
    QPushButton* defaultSettingsButton;
};
