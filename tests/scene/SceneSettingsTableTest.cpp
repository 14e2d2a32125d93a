#include "platform/system/Clock.h"
#include "platform/system/SettingsStore.h"
#include "scene/SceneSettings.h"

#include <QVariantList>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace {

TEST(SceneSettingsTable, EachFloatReachesTheSceneMemberItNames)
{
    Scene scene(SettingsStore::shared(), Clock());
    float value = 3.0f;
    for (const SceneSetting& setting : kSceneSettings) {
        if (setting.type != SceneSetting::Type::Float)
            continue;
        value += 1.25f; // a value of its own for each, so a crossed wire shows
        setting.apply(scene, value);
        EXPECT_EQ((scene.*setting.getFloat)(), value * static_cast<float>(setting.scale)) << setting.label;
    }
    sceneSetting(SceneSettingId::GridSize).apply(scene, 123);
    EXPECT_EQ(scene.getGridSize(), 123);
    sceneSetting(SceneSettingId::FogColour).apply(scene, QVariantList{0.5, 0.25, 0.125, 1.0});
    EXPECT_EQ(scene.getFogColour(), (std::array<float, 4>{0.5f, 0.25f, 0.125f, 1.0f}));
}

TEST(SceneSettingsTable, StoreKeepsEachFormAsWritten)
{
    SettingsStore& store = SettingsStore::shared();
    const SceneSetting& fogDensity = sceneSetting(SceneSettingId::FogDensity);
    const SceneSetting& gridSize = sceneSetting(SceneSettingId::GridSize);
    const SceneSetting& fogColour = sceneSetting(SceneSettingId::FogColour);
    fogDensity.write(store, 2.5f);
    gridSize.write(store, 300);
    fogColour.write(store, QVariantList{0.1, 1.0 / 3.0, 0.7, 0.9});
    const SettingsStore disk(SettingsStore::standardFilePath());
    EXPECT_EQ(disk.floatForKey(QStringLiteral("FogDensity")), 2.5f); // stored unscaled
    EXPECT_EQ(fogDensity.read(disk).toFloat(), 2.5f);
    EXPECT_EQ(gridSize.read(disk).toInt(), 300);
    EXPECT_EQ(fogColour.read(disk), (QVariantList{0.1, 1.0 / 3.0, 0.7, 0.9}));
}

TEST(SceneSettingsTable, SpeedKeysStopAtTheSliderEndsWhereLookAheadAndHeightGoPast)
{
    const SceneSetting& speed = sceneSetting(SceneSettingId::Speed);
    EXPECT_EQ(speed.raised(49.0f), 50.0f);
    EXPECT_EQ(speed.raised(55.0f), 50.0f);
    EXPECT_EQ(speed.lowered(-8.0f), -5.0f);
    EXPECT_EQ(speed.raised(10.0f), 12.0f);
    EXPECT_EQ(speed.raised(50.0f), static_cast<float>(speed.sliderRange(0).max));
    EXPECT_EQ(speed.lowered(-5.0f), static_cast<float>(speed.sliderRange(0).min));

    const SceneSetting& lookAhead = sceneSetting(SceneSettingId::LookAhead);
    EXPECT_EQ(lookAhead.raised(40.0f), 40.0f + 0.06f);
    EXPECT_EQ(lookAhead.lowered(0.0f), -0.03f);
    const SceneSetting& cameraHeight = sceneSetting(SceneSettingId::CameraHeight);
    EXPECT_EQ(cameraHeight.raised(30.0f), 30.0f + 0.03f);
    EXPECT_EQ(cameraHeight.lowered(-10.0f), -10.0f - 0.06f);
}

TEST(SceneSettingsTable, GridSliderEndsAtTheImageWidth)
{
    const SceneSetting& gridSize = sceneSetting(SceneSettingId::GridSize);
    const SceneSetting::Range wide = gridSize.sliderRange(1024);
    EXPECT_EQ(wide.min, 2.0);
    EXPECT_EQ(wide.max, 1024.0);
    EXPECT_EQ(wide.steps, 1022); // one step per vertex count
    const SceneSetting::Range unread = gridSize.sliderRange(0); // no image: still a slider that moves
    EXPECT_EQ(unread.max, 3.0);
    EXPECT_EQ(unread.steps, 1);
    EXPECT_EQ(sceneSetting(SceneSettingId::HeightScale).sliderRange(1024).max, 40.0);
}

TEST(SceneSettingsTable, TextsShowTheValueTheSceneHolds)
{
    EXPECT_EQ(sceneSetting(SceneSettingId::Speed).text(2.5f), QStringLiteral("2.50 "));
    EXPECT_EQ(sceneSetting(SceneSettingId::FogDensity).text(25.0f), QStringLiteral("0.250 "));
    EXPECT_EQ(sceneSetting(SceneSettingId::GridSize).text(300), QStringLiteral("300"));
    // 0.25 hundredths: the Scene's single-precision 0.0025f lies below the
    // half and shows 0.002; start-up works in double precision and shows 0.003.
    const SceneSetting& fogDensity = sceneSetting(SceneSettingId::FogDensity);
    EXPECT_EQ(fogDensity.text(0.25f), QStringLiteral("0.002 "));
    EXPECT_EQ(fogDensity.textAtStartUp(0.25f), QStringLiteral("0.003 "));
    EXPECT_EQ(sceneSetting(SceneSettingId::LookAhead).textAtStartUp(14.0f), QStringLiteral("14.00 "));
}

TEST(SceneSettingsTable, DefaultsGiveOnlyUsableValues)
{
    const QVariantMap defaults{
        {QStringLiteral("Speed"), 7.0},
        {QStringLiteral("LookAhead"), std::numeric_limits<double>::quiet_NaN()},
        {QStringLiteral("CameraHeight"), QVariantList{1.0}},
        {QStringLiteral("GridSize"), 4294967596.0}, // 2^32 + 300
        {QStringLiteral("FogColour"), QVariantList{0.1, 0.2, 0.3}},
    };
    EXPECT_EQ(sceneSetting(SceneSettingId::Speed).defaultValue(defaults), QVariant(7.0f));
    EXPECT_FALSE(sceneSetting(SceneSettingId::LookAhead).defaultValue(defaults));
    EXPECT_FALSE(sceneSetting(SceneSettingId::CameraHeight).defaultValue(defaults));
    EXPECT_FALSE(sceneSetting(SceneSettingId::HeightScale).defaultValue(defaults)); // missing
    EXPECT_EQ(sceneSetting(SceneSettingId::GridSize).defaultValue(defaults), QVariant(300)); // cut to 32 bits
    EXPECT_FALSE(sceneSetting(SceneSettingId::FogColour).defaultValue(defaults));
    const QVariantList colour{0.1, 0.2, 0.3, 0.4, 0.5};
    EXPECT_EQ(sceneSetting(SceneSettingId::FogColour).defaultValue({{QStringLiteral("FogColour"), colour}}),
              QVariant(colour));
}

} // namespace
