#pragma once

#include "platform/toolkit/ColorButton.h"
#include "platform/toolkit/FloatSlider.h"
#include "platform/toolkit/Panel.h"
#include "scene/SceneSettings.h"

#include <QComboBox>
#include <QLabel>
#include <array>

class QPushButton;

// The preferences panel: one row per scene setting (label, slider, value),
// the fog colour well, the full-screen resolution pop-up and a button that
// puts every scene setting back to its default. The rows and their sliders'
// ranges come from the table of scene settings.
class PreferencesPanel : public Panel {
public:
    // The slider of a scene setting and the text field beside it.
    struct SettingRow {
        FloatSlider* slider = nullptr;
        QLabel* textField = nullptr;
    };

    // The grid-size slider ends at heightImageWidth.
    PreferencesPanel(QWidget* mainWindow, int heightImageWidth);

    // The row of a setting with a slider; the fog colour has its well.
    const SettingRow& row(SceneSettingId id) const { return mRows[static_cast<std::size_t>(id)]; }

    ColorButton* fogColourButton;
    QComboBox* resolutionPopUpButton;
    QPushButton* defaultSettingsButton;
    // Beside the height scale: sets it so that a metre up is a metre across,
    // for a terrain whose ground size is known; disabled otherwise.
    QPushButton* trueProportionsButton;

private:
    std::array<SettingRow, kSceneSettings.size()> mRows;
};
