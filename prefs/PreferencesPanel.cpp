#include "prefs/PreferencesPanel.h"

#include <QFontDatabase>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace {

// From the top: the flight, then the terrain, then the fog.
constexpr SceneSettingId kRowOrder[] = {SceneSettingId::Speed,        SceneSettingId::LookAhead,
                                        SceneSettingId::CameraHeight, SceneSettingId::HeightScale,
                                        SceneSettingId::GridSize,     SceneSettingId::FogDensity,
                                        SceneSettingId::FogColour};
static_assert(std::size(kRowOrder) == kSceneSettings.size());

QLabel* makeField()
{
    auto* field = new QLabel;
    field->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    field->setMinimumWidth(field->fontMetrics().horizontalAdvance(QStringLiteral("-000.000 ")));
    field->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return field;
}

} // namespace

PreferencesPanel::PreferencesPanel(QWidget* mainWindow, int heightImageWidth)
    : Panel(mainWindow)
    , fogColourButton(new ColorButton)
    , resolutionPopUpButton(new QComboBox)
    , defaultSettingsButton(new QPushButton(QStringLiteral("Reset to Defaults")))
    , trueProportionsButton(new QPushButton(QStringLiteral("True Proportions")))
{
    setWindowTitle(QStringLiteral("Preferences"));

    auto* layout = new QGridLayout(this);
    int row = 0;
    const auto addRow = [&](const QString& label, QWidget* control, QWidget* value) {
        layout->addWidget(new QLabel(label), row, 0);
        layout->addWidget(control, row, 1);
        if (value)
            layout->addWidget(value, row, 2);
        ++row;
    };
    for (const SceneSettingId id : kRowOrder) {
        const SceneSetting& setting = sceneSetting(id);
        const QString label = QString::fromLatin1(setting.label);
        if (setting.type == SceneSetting::Type::Colour) {
            addRow(label, fogColourButton, nullptr);
            continue;
        }
        const SceneSetting::Range range = setting.sliderRange(heightImageWidth);
        SettingRow& controls = mRows[static_cast<std::size_t>(id)];
        controls = {new FloatSlider(range.min, range.max, range.steps), makeField()};
        // A change that rebuilds the mesh is sent once, when the drag ends,
        // rather than as a backlog of rebuilds while it goes on.
        controls.slider->setTracking(!setting.rebuildsTerrain);
        addRow(label, controls.slider, controls.textField);
        if (id == SceneSettingId::HeightScale)
            layout->addWidget(trueProportionsButton, row - 1, 3);
    }
    trueProportionsButton->setEnabled(false);
    addRow(QStringLiteral("Full-screen resolution"), resolutionPopUpButton, nullptr);
    layout->addWidget(defaultSettingsButton, row, 0, 1, 4, Qt::AlignRight);
}
