#include "prefs/PreferencesPanel.h"

#include <QFontDatabase>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace {

Slider* makeSlider(const PreferencesPanel::Range& range)
{
    return new Slider(range.min, range.max, range.steps);
}

TextField* makeField()
{
    auto* field = new TextField;
    field->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    field->setMinimumWidth(field->fontMetrics().horizontalAdvance(QStringLiteral("-000.000 ")));
    field->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return field;
}

} // namespace

PreferencesPanel::PreferencesPanel(QWidget* mainWindow, int maxGridSize)
    : Panel(mainWindow)
    , gridSizeSlider(new Slider(kMinGridSize, std::max(maxGridSize, kMinGridSize + 1),
                                std::max(maxGridSize, kMinGridSize + 1) - kMinGridSize))
    , gridSizeTextField(makeField())
    , ferlowHeightSlider(makeSlider(kFerlowHeightRange))
    , ferlowHeightTextField(makeField())
    , speedSlider(makeSlider(kSpeedRange))
    , speedTextField(makeField())
    , lookAheadSlider(makeSlider(kLookAheadRange))
    , lookAheadTextField(makeField())
    , cameraHeightSlider(makeSlider(kCameraHeightRange))
    , cameraHeightTextField(makeField())
    , fogDensitySlider(makeSlider(kFogDensityRange))
    , fogDensityTextField(makeField())
    , fogColourButton(new ColorWell)
    , resolutionPopUpButton(new PopUpButton)
    , defaultSettingsButton(new QPushButton(QStringLiteral("Reset to Defaults")))
{
    setWindowTitle(QStringLiteral("Preferences"));
    // A new grid size rebuilds the mesh: one rebuild when the drag ends,
    // rather than a backlog of them while it goes on.
    gridSizeSlider->setContinuous(false);

    auto* layout = new QGridLayout(this);
    int row = 0;
    const auto addRow = [&](const QString& label, QWidget* control, QWidget* value) {
        layout->addWidget(new QLabel(label), row, 0);
        layout->addWidget(control, row, 1);
        if (value)
            layout->addWidget(value, row, 2);
        ++row;
    };
    addRow(QStringLiteral("Speed"), speedSlider, speedTextField);
    addRow(QStringLiteral("Look ahead"), lookAheadSlider, lookAheadTextField);
    addRow(QStringLiteral("Camera height"), cameraHeightSlider, cameraHeightTextField);
    addRow(QStringLiteral("Terrain height"), ferlowHeightSlider, ferlowHeightTextField);
    addRow(QStringLiteral("Grid size"), gridSizeSlider, gridSizeTextField);
    addRow(QStringLiteral("Fog density"), fogDensitySlider, fogDensityTextField);
    addRow(QStringLiteral("Fog colour"), fogColourButton, nullptr);
    addRow(QStringLiteral("Full-screen resolution"), resolutionPopUpButton, nullptr);
    layout->addWidget(defaultSettingsButton, row, 0, 1, 3, Qt::AlignRight);
}
