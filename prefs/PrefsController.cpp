#include "prefs/PrefsController.h"

#include "platform/system/Defaults.h"
#include "platform/system/SettingsStore.h"
#include "prefs/PreferencesPanel.h"
#include "scene/Scene.h"
#include "scene/SettingsKeys.h"
#include "view/FerlowOpenGLView.h"

#include <QVariantList>
#include <cmath>

namespace {

SettingsStore& store()
{
    return SettingsStore::standardUserDefaults();
}

// A value of Defaults.plist as a number, if it is a usable one.
std::optional<double> numberIn(const QVariantMap& dictionary, const QString& key)
{
    const QVariant value = dictionary.value(key);
    bool ok = false;
    const double number = value.toDouble(&ok);
    if (!ok || !std::isfinite(number) || value.typeId() == QMetaType::QVariantList)
        return std::nullopt;
    return number;
}

} // namespace

void PrefsController::setOutlets(const PreferencesPanel& panel, FerlowOpenGLView* ferlowOpenGLView)
{
    mGridSizeSlider = panel.gridSizeSlider;
    mGridSizeTextField = panel.gridSizeTextField;
    mFerlowHeightSlider = panel.ferlowHeightSlider;
    mFerlowHeightTextField = panel.ferlowHeightTextField;
    mSpeedSlider = panel.speedSlider;
    mSpeedTextField = panel.speedTextField;
    mLookAheadSlider = panel.lookAheadSlider;
    mLookAheadTextField = panel.lookAheadTextField;
    mCameraHeightSlider = panel.cameraHeightSlider;
    mCameraHeightTextField = panel.cameraHeightTextField;
    mFogDensitySlider = panel.fogDensitySlider;
    mFogDensityTextField = panel.fogDensityTextField;
    mFogColourButton = panel.fogColourButton;
    mResolutionMenu.setPopUpButton(panel.resolutionPopUpButton);
    mFerlowOpenGLView = ferlowOpenGLView;
}

QString PrefsController::formatValue(float value)
{
    return QString::asprintf("%.2f ", static_cast<double>(value));
}

QString PrefsController::formatFogDensity(double value)
{
    return QString::asprintf("%.3f ", value);
}

Scene& PrefsController::scene() const
{
    return *mFerlowOpenGLView->getScene();
}

void PrefsController::awakeFromNib()
{
    const auto showFloat = [](const QString& key, TextField* field, Slider* slider) {
        const float value = store().floatForKey(key);
        field->setStringValue(formatValue(value));
        slider->setFloatValue(value);
    };
    showFloat(SettingsKey::kSpeed, mSpeedTextField, mSpeedSlider);
    showFloat(SettingsKey::kFerlowHeight, mFerlowHeightTextField, mFerlowHeightSlider);
    showFloat(SettingsKey::kCameraHeight, mCameraHeightTextField, mCameraHeightSlider);
    showFloat(SettingsKey::kLookAhead, mLookAheadTextField, mLookAheadSlider);

    const std::int32_t gridSize = store().int32ForKey(SettingsKey::kGridSize);
    mGridSizeTextField->setIntValue(gridSize);
    mGridSizeSlider->setIntValue(gridSize);

    const float fogDensity = store().floatForKey(SettingsKey::kFogDensity);
    mFogDensityTextField->setStringValue(formatFogDensity(static_cast<double>(fogDensity) * 0.01));
    mFogDensitySlider->setFloatValue(fogDensity);

    const std::array<float, 4> colour = Scene::fogColourFromSetting(store().objectForKey(SettingsKey::kFogColour));
    mFogColourButton->setColor(Color::colorWithCalibratedRed(colour[0], colour[1], colour[2], colour[3]));

    mResolutionMenu.createResolutionMenu();
}

// The keys' path: text field, Scene, slider, store; no redraw.
void PrefsController::takeKeyValue(float value, TextField* field, void (Scene::*setter)(float), Slider* slider,
                                   const QString& key)
{
    field->setStringValue(formatValue(value));
    (scene().*setter)(value);
    slider->setFloatValue(value);
    store().setFloat(value, key);
}

void PrefsController::setAnimationSpeed(float speed)
{
    takeKeyValue(speed, mSpeedTextField, &Scene::setAnimationSpeed, mSpeedSlider, SettingsKey::kSpeed);
}

void PrefsController::setCameraHeight(float height)
{
    takeKeyValue(height, mCameraHeightTextField, &Scene::setCameraHeight, mCameraHeightSlider, SettingsKey::kCameraHeight);
}

void PrefsController::setLookAhead(float distance)
{
    takeKeyValue(distance, mLookAheadTextField, &Scene::setLookAhead, mLookAheadSlider, SettingsKey::kLookAhead);
}

// A frame without a step along the path; turning the animation back on
// restarts the scene's clock, so the time a rebuild took does not move the
// camera either.
void PrefsController::pausedRedraw()
{
    const bool animating = scene().getAnimate();
    scene().setAnimate(false);
    mFerlowOpenGLView->display();
    if (animating)
        scene().setAnimate(true);
}

// The camera placed anew, at the same point of its path, for a changed
// look-ahead or eye height (moveCamera), or left where it is; a frame drawn
// at speed 0 either way, then the speed restored.
void PrefsController::refreshCamera(bool moveCamera)
{
    const float speed = scene().getAnimationSpeed();
    scene().setAnimationSpeed(0.0f);
    if (moveCamera)
        scene().animate();
    mFerlowOpenGLView->display();
    scene().setAnimationSpeed(speed);
}

void PrefsController::cameraRefresh()
{
    refreshCamera(true);
}

void PrefsController::stillRedraw()
{
    refreshCamera(false);
}

// A slider's path: its value shown with "%.2f ", passed to the Scene and
// stored; the slider itself is left as the user put it.
void PrefsController::takeSliderValue(Slider* sender, TextField* field, void (Scene::*setter)(float),
                                      const QString& key)
{
    const float value = sender->floatValue();
    field->setStringValue(formatValue(value));
    (scene().*setter)(value);
    store().setFloat(value, key);
}

void PrefsController::selectSpeed(Slider* sender)
{
    takeSliderValue(sender, mSpeedTextField, &Scene::setAnimationSpeed, SettingsKey::kSpeed);
}

void PrefsController::selectFerlowHeight(Slider* sender)
{
    takeSliderValue(sender, mFerlowHeightTextField, &Scene::setFerlowHeight, SettingsKey::kFerlowHeight);
    pausedRedraw();
}

void PrefsController::selectLookAhead(Slider* sender)
{
    takeSliderValue(sender, mLookAheadTextField, &Scene::setLookAhead, SettingsKey::kLookAhead);
    cameraRefresh();
}

void PrefsController::selectCameraHeight(Slider* sender)
{
    takeSliderValue(sender, mCameraHeightTextField, &Scene::setCameraHeight, SettingsKey::kCameraHeight);
    cameraRefresh();
}

void PrefsController::selectFogDensity(Slider* sender)
{
    const float value = sender->floatValue();
    const float density = value * Scene::kFogDensityScale;
    mFogDensityTextField->setStringValue(formatFogDensity(static_cast<double>(density)));
    scene().setFogDensity(density);
    store().setFloat(value, SettingsKey::kFogDensity);
    stillRedraw();
}

void PrefsController::selectGridSize(Slider* sender)
{
    const int value = sender->intValue();
    mGridSizeTextField->setIntValue(value);
    scene().setGridSize(value);
    store().setInteger(value, SettingsKey::kGridSize);
    pausedRedraw();
}

void PrefsController::selectFogColour(ColorWell* sender)
{
    const Color colour = sender->color();
    store().setObject(QVariantList{colour.red, colour.green, colour.blue, colour.alpha}, SettingsKey::kFogColour);
    scene().setFogColour(static_cast<float>(colour.red), static_cast<float>(colour.green),
                         static_cast<float>(colour.blue), static_cast<float>(colour.alpha));
    mFerlowOpenGLView->display();
}

// Keys that Defaults.plist lacks, or holds in a form that is no number (a
// colour of fewer than four), keep their current values: resetting them to 0
// would stop the flight or flatten the terrain for a damaged resource file.
void PrefsController::selectDefaultSettings()
{
    const QVariantMap defaults = Defaults::dictionary().value_or(QVariantMap());
    Scene& live = scene();
    const auto resetFloat = [&](const QString& key, void (Scene::*setter)(float), float scale) {
        if (const auto number = numberIn(defaults, key)) {
            const float value = static_cast<float>(*number);
            store().setFloat(value, key);
            (live.*setter)(value * scale);
        }
    };
    resetFloat(SettingsKey::kSpeed, &Scene::setAnimationSpeed, 1.0f);
    resetFloat(SettingsKey::kFerlowHeight, &Scene::setFerlowHeight, 1.0f);
    resetFloat(SettingsKey::kCameraHeight, &Scene::setCameraHeight, 1.0f);
    resetFloat(SettingsKey::kLookAhead, &Scene::setLookAhead, 1.0f);
    resetFloat(SettingsKey::kFogDensity, &Scene::setFogDensity, Scene::kFogDensityScale);
    if (const auto number = numberIn(defaults, SettingsKey::kGridSize)) {
        const auto value = static_cast<std::int32_t>(static_cast<qint64>(*number));
        store().setInteger(value, SettingsKey::kGridSize);
        live.setGridSize(value);
    }
    const QVariantList colour = defaults.value(SettingsKey::kFogColour).toList();
    if (colour.size() >= 4) {
        store().setObject(colour, SettingsKey::kFogColour);
        const std::array<float, 4> c = Scene::fogColourFromSetting(colour);
        live.setFogColour(c[0], c[1], c[2], c[3]);
    }
    awakeFromNib();
}

void PrefsController::selectResolution()
{
    mResolutionMenu.selectResolution();
}

std::optional<DisplayModeDictionary> PrefsController::displayMode() const
{
    return mResolutionMenu.displayMode();
}
