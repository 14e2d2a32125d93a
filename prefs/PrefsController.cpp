#include "prefs/PrefsController.h"

#include "platform/gl/OpenGLContext.h"
#include "platform/system/BackgroundTask.h"
#include "platform/system/Defaults.h"
#include "platform/system/SettingsStore.h"
#include "prefs/PreferencesPanel.h"
#include "scene/Scene.h"
#include "terrain/TerrainImage.h"
#include "view/FerlowOpenGLView.h"

#include <QVariantList>
#include <cmath>

namespace {

SettingsStore& store()
{
    return SettingsStore::shared();
}

// A slider's value in the form its setting is stored in.
QVariant sliderValue(const SceneSetting& setting, const FloatSlider& slider)
{
    if (setting.type == SceneSetting::Type::Integer)
        return slider.intValue();
    return slider.floatValue();
}

void moveSliderTo(const SceneSetting& setting, FloatSlider& slider, const QVariant& value)
{
    if (setting.type == SceneSetting::Type::Integer)
        slider.setIntValue(value.toInt());
    else
        slider.setFloatValue(value.toFloat());
}

} // namespace

PrefsController::PrefsController(const PreferencesPanel& panel, FerlowOpenGLView& ferlowOpenGLView)
    : mPanel(&panel)
    , mFerlowOpenGLView(&ferlowOpenGLView)
{
    mResolutionMenu.setPopUpButton(panel.resolutionPopUpButton);
    connectControls();
    loadControls();
}

// Each control tells of the user's changes only: values set from here send
// nothing.
void PrefsController::connectControls()
{
    const std::pair<SceneSettingId, void (PrefsController::*)(FloatSlider*)> sliderActions[] = {
        {SceneSettingId::GridSize, &PrefsController::selectGridSize},
        {SceneSettingId::HeightScale, &PrefsController::selectFerlowHeight},
        {SceneSettingId::Speed, &PrefsController::selectSpeed},
        {SceneSettingId::LookAhead, &PrefsController::selectLookAhead},
        {SceneSettingId::CameraHeight, &PrefsController::selectCameraHeight},
        {SceneSettingId::FogDensity, &PrefsController::selectFogDensity},
    };
    const PreferencesPanel& p = *mPanel;
    for (const auto& [id, action] : sliderActions) {
        FloatSlider* slider = p.row(id).slider;
        QObject::connect(slider, &QSlider::valueChanged, slider, [this, action, slider] { (this->*action)(slider); });
    }
    QObject::connect(p.fogColourButton, &ColorButton::colorPicked, p.fogColourButton,
                     [this, button = p.fogColourButton] { selectFogColour(button); });
    QObject::connect(p.resolutionPopUpButton, &QComboBox::activated, p.resolutionPopUpButton,
                     [this] { selectResolution(); });
    QObject::connect(p.defaultSettingsButton, &QPushButton::clicked, p.defaultSettingsButton,
                     [this] { selectDefaultSettings(); });
    QObject::connect(p.trueProportionsButton, &QPushButton::clicked, p.trueProportionsButton,
                     [this] { selectTrueProportions(); });
}

PrefsController::~PrefsController() = default;

Scene& PrefsController::scene() const
{
    return *mFerlowOpenGLView->getScene();
}

void PrefsController::loadControls()
{
    for (const SceneSetting& setting : kSceneSettings) {
        const QVariant value = setting.read(store());
        if (setting.type == SceneSetting::Type::Colour) {
            mPanel->fogColourButton->setColor(Scene::fogColourFromSetting(value));
            continue;
        }
        const PreferencesPanel::SettingRow& row = mPanel->row(setting.id);
        row.textField->setText(setting.textAtStartUp(value));
        moveSliderTo(setting, *row.slider, value);
    }
    mResolutionMenu.createResolutionMenu();
}

void PrefsController::takeValue(SceneSettingId id, const QVariant& value, bool moveSlider)
{
    showValue(id, value, moveSlider);
    sceneSetting(id).write(store(), value);
}

void PrefsController::showValue(SceneSettingId id, const QVariant& value, bool moveSlider)
{
    const SceneSetting& setting = sceneSetting(id);
    const PreferencesPanel::SettingRow& row = mPanel->row(id);
    row.textField->setText(setting.text(value));
    setting.apply(scene(), value);
    if (moveSlider)
        moveSliderTo(setting, *row.slider, value);
}

void PrefsController::setAnimationSpeed(float speed)
{
    takeValue(SceneSettingId::Speed, speed, true);
}

void PrefsController::setCameraHeight(float height)
{
    takeValue(SceneSettingId::CameraHeight, height, true);
}

void PrefsController::setLookAhead(float distance)
{
    takeValue(SceneSettingId::LookAhead, distance, true);
}

void PrefsController::selectValue(SceneSettingId id, FloatSlider* sender)
{
    const SceneSetting& setting = sceneSetting(id);
    takeValue(id, sliderValue(setting, *sender), false);
    refresh(setting.refresh);
}

void PrefsController::selectSpeed(FloatSlider* sender)
{
    selectValue(SceneSettingId::Speed, sender);
}

void PrefsController::selectFerlowHeight(FloatSlider* sender)
{
    selectValue(SceneSettingId::HeightScale, sender);
    matchLightMapToHeight();
}

void PrefsController::matchLightMapToHeight()
{
    const std::shared_ptr<const TerrainImage> terrain = scene().terrain();
    const float height = scene().getFerlowHeight();
    if (!terrain || terrain->bakedHeight() == height || (mLightMapBake && mLightMapBake->isRunning()))
        return;
    BackgroundTask::discard(std::move(mLightMapBake));
    mLightMapBake = std::make_unique<BackgroundTask>([this, terrain, height](BackgroundTask&) {
        std::shared_ptr<const TerrainImage> rebaked = terrain->withLightMapFor(Scene::kTerrainExtent, height);
        return [this, rebaked = std::move(rebaked)] {
            if (OpenGLContext* context = mFerlowOpenGLView->openGLContext())
                context->makeCurrentContext();
            scene().setTerrainLightMap(rebaked);
            pausedRedraw();
            // The height scale may have moved on while this one baked.
            matchLightMapToHeight();
        };
    });
}

void PrefsController::selectLookAhead(FloatSlider* sender)
{
    selectValue(SceneSettingId::LookAhead, sender);
}

void PrefsController::selectCameraHeight(FloatSlider* sender)
{
    selectValue(SceneSettingId::CameraHeight, sender);
}

void PrefsController::selectFogDensity(FloatSlider* sender)
{
    selectValue(SceneSettingId::FogDensity, sender);
}

void PrefsController::selectGridSize(FloatSlider* sender)
{
    selectValue(SceneSettingId::GridSize, sender);
}

void PrefsController::selectFogColour(ColorButton* sender)
{
    const SceneSetting& setting = sceneSetting(SceneSettingId::FogColour);
    const ColorButton::Components& colour = sender->color();
    const QVariantList value{colour[0], colour[1], colour[2], colour[3]};
    setting.write(store(), value);
    setting.apply(scene(), value);
    refresh(setting.refresh);
}

void PrefsController::refresh(SceneSetting::Refresh refresh)
{
    switch (refresh) {
    case SceneSetting::Refresh::None:
        break;
    case SceneSetting::Refresh::PausedRedraw:
        pausedRedraw();
        break;
    case SceneSetting::Refresh::CameraRefresh:
        refreshCamera(true);
        break;
    case SceneSetting::Refresh::StillRedraw:
        refreshCamera(false);
        break;
    case SceneSetting::Refresh::Redraw:
        mFerlowOpenGLView->display();
        break;
    }
}

void PrefsController::flyTerrain(std::shared_ptr<const TerrainImage> terrain, int heightImageWidth)
{
    // The old terrain's list and textures are deleted in the context that
    // holds them.
    if (OpenGLContext* context = mFerlowOpenGLView->openGLContext())
        context->makeCurrentContext();
    scene().setTerrain(std::move(terrain));
    const SceneSetting& gridSize = sceneSetting(SceneSettingId::GridSize);
    const SceneSetting::Range range = gridSize.sliderRange(heightImageWidth);
    FloatSlider& slider = *mPanel->row(SceneSettingId::GridSize).slider;
    slider.setRange(range.min, range.max, range.steps);
    moveSliderTo(gridSize, slider, gridSize.read(store()));
    // The slider stops at the finest grid this terrain is built at, and so
    // does the mesh: the field says so too, while the store keeps the
    // user's choice for a larger terrain.
    mPanel->row(SceneSettingId::GridSize).textField->setText(gridSize.text(slider.intValue()));
    offerTrueProportions();
    // A stopped flight would otherwise keep the old ground's height, inside
    // a higher terrain, until it starts again.
    scene().placeCamera();
    pausedRedraw();
    matchLightMapToHeight();
}

void PrefsController::offerTrueProportions()
{
    const SceneSetting& height = sceneSetting(SceneSettingId::HeightScale);
    const std::optional<float> trueHeight = trueProportionsHeight();
    SceneSetting::Range range = height.range;
    if (trueHeight && *trueHeight > range.max) {
        // Widened in the slider's own steps.
        const double step = (range.max - range.min) / range.steps;
        range.steps = int(std::ceil((*trueHeight - range.min) / step));
        range.max = range.min + step * range.steps;
    }
    mPanel->row(SceneSettingId::HeightScale).slider->setRange(range.min, range.max, range.steps);
    // What the store holds, within this terrain's range: a scale kept for a
    // terrain's true proportions flies again with it, and beyond another
    // terrain's slider flies at the slider's end.
    showValue(SceneSettingId::HeightScale, height.read(store(), range), true);
    mPanel->trueProportionsButton->setEnabled(trueHeight.has_value());
}

std::optional<float> PrefsController::trueProportionsHeight() const
{
    const std::shared_ptr<const TerrainImage>& terrain = scene().terrain();
    return terrain ? terrain->trueProportionsHeight(Scene::kTerrainExtent) : std::nullopt;
}

void PrefsController::selectTrueProportions()
{
    const std::optional<float> trueHeight = trueProportionsHeight();
    if (!trueHeight)
        return;
    takeValue(SceneSettingId::HeightScale, *trueHeight, true);
    refresh(sceneSetting(SceneSettingId::HeightScale).refresh);
    matchLightMapToHeight();
}

void PrefsController::pausedRedraw()
{
    const bool animating = scene().getAnimate();
    scene().setAnimate(false);
    mFerlowOpenGLView->display();
    if (animating)
        scene().setAnimate(true);
}

// The camera placed anew, at the same point of its path (moveCamera), or
// left where it is; a frame drawn at speed 0 either way, then the speed
// restored.
void PrefsController::refreshCamera(bool moveCamera)
{
    const float speed = scene().getAnimationSpeed();
    scene().setAnimationSpeed(0.0f);
    if (moveCamera)
        scene().animate();
    mFerlowOpenGLView->display();
    scene().setAnimationSpeed(speed);
}

// Keys that Defaults.plist lacks, or holds in a form that is no number (a
// colour of fewer than four), keep their current values: resetting them to 0
// would stop the flight or flatten the terrain for a damaged resource file.
void PrefsController::selectDefaultSettings()
{
    const QVariantMap defaults = Defaults::dictionary().value_or(QVariantMap());
    for (const SceneSetting& setting : kSceneSettings) {
        if (const std::optional<QVariant> value = setting.defaultValue(defaults)) {
            setting.write(store(), *value);
            setting.apply(scene(), *value);
        }
    }
    loadControls();
    matchLightMapToHeight();
}

void PrefsController::selectResolution()
{
    mResolutionMenu.selectResolution();
}

std::optional<DisplayModeDictionary> PrefsController::displayMode() const
{
    return mResolutionMenu.displayMode();
}
