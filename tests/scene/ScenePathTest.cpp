#include "platform/system/Clock.h"
#include "platform/system/SettingsStore.h"
#include "scene/Scene.h"
#include "terrain/HeightField.h"
#include "terrain/TerrainImage.h"

#include <QImage>
#include <QTemporaryDir>

#include <cmath>
#include <cstdint>
#include <limits>
#include <gtest/gtest.h>

namespace {

// The camera path, computed here the long way round: the eye on the curve,
// the travel direction as an angle, the look-at point along that angle.
struct Expected {
    double t;
    float eyeX, eyeZ, lookX, lookZ;
};

Expected expectedAfter(double t, double previousX, double previousZ, float lookAhead)
{
    const double aheadX = 25.0 * std::cos(t + 0.5);
    const double aheadZ = 25.0 * std::sin((t + 0.5) * double(1.7f));
    const double eyeX = 25.0 * std::cos(t);
    const double eyeZ = 25.0 * std::sin(1.7 * t);
    const double heading = std::atan2(aheadZ - previousZ, aheadX - previousX);
    return {t, float(eyeX), float(eyeZ), float(eyeX + lookAhead * std::cos(heading)),
            float(eyeZ + lookAhead * std::sin(heading))};
}

class ScenePath : public testing::Test {
protected:
    void SetUp() override
    {
        SettingsStore& store = SettingsStore::shared();
        store.setFloat(10.0f, QStringLiteral("Speed"));
        store.setFloat(12.0f, QStringLiteral("LookAhead"));
        store.setFloat(1.5f, QStringLiteral("CameraHeight"));
        scene = std::make_unique<Scene>(store, Clock([this] { return now; }));
    }

    void expectCamera(const Expected& e, float height)
    {
        const Camera& camera = scene->camera();
        EXPECT_NEAR(scene->pathState().sPathParameter, e.t, 1e-9 * std::max(1.0, std::fabs(e.t)));
        EXPECT_NEAR(camera.position().x, e.eyeX, 2e-4f);
        EXPECT_NEAR(camera.position().z, e.eyeZ, 2e-4f);
        EXPECT_FLOAT_EQ(camera.position().y, height);
        EXPECT_NEAR(camera.lookAtPoint().x, e.lookX, 2e-4f);
        EXPECT_NEAR(camera.lookAtPoint().z, e.lookZ, 2e-4f);
        EXPECT_EQ(camera.lookAtPoint().y, 0.0f);
    }

    double now = 0.0;
    std::unique_ptr<Scene> scene;
};

TEST_F(ScenePath, FirstUpdateMeasuresTimeFromTheReferenceDate)
{
    now = 100.0;
    scene->animate();
    expectCamera(expectedAfter(10.0 * 100.0 * double(0.002f), 0, 0, 12.0f), 1.5f);
}

TEST_F(ScenePath, FirstUpdateAtWallClockTimeUsesBothFactorsOf1Point7)
{
    // At wall-clock times t is large, so the float 1.7 of the point ahead and
    // the exact 1.7 of the eye give visibly different angles.
    now = 8.3e8;
    scene->setAnimationSpeed(1.0f);
    scene->animate();
    expectCamera(expectedAfter(8.3e8 * double(0.002f), 0, 0, 12.0f), 1.5f);
}

TEST_F(ScenePath, LaterUpdatesAdvanceByElapsedTimeAndAimFromThePreviousEye)
{
    now = 50.0;
    scene->animate();
    const Expected first = expectedAfter(10.0 * 50.0 * double(0.002f), 0, 0, 12.0f);
    now = 53.5;
    scene->animate();
    const double previousX = 25.0 * std::cos(first.t);
    const double previousZ = 25.0 * std::sin(1.7 * first.t);
    expectCamera(expectedAfter(first.t + 10.0 * 3.5 * double(0.002f), previousX, previousZ, 12.0f), 1.5f);
}

TEST_F(ScenePath, NegativeSpeedRunsBackwards)
{
    now = 10.0;
    scene->animate();
    const double t0 = scene->pathState().sPathParameter;
    scene->setAnimationSpeed(-4.0f);
    now = 20.0;
    scene->animate();
    EXPECT_NEAR(scene->pathState().sPathParameter, t0 - 4.0 * 10.0 * double(0.002f), 1e-12);
}

TEST_F(ScenePath, SpeedZeroHoldsTheEyeAndReAimsWithNewSettings)
{
    now = 10.0;
    scene->animate();
    const Point eye = scene->camera().position();
    const double t = scene->pathState().sPathParameter;
    scene->setAnimationSpeed(0.0f);
    scene->setLookAhead(3.0f);
    scene->setCameraHeight(7.0f);
    now = 99.0;
    scene->animate();
    EXPECT_EQ(scene->pathState().sPathParameter, t);
    EXPECT_EQ(scene->pathState().sLastTimeStamp, 99.0);
    EXPECT_NEAR(scene->camera().position().x, eye.x, 1e-6f);
    EXPECT_NEAR(scene->camera().position().z, eye.z, 1e-6f);
    EXPECT_EQ(scene->camera().position().y, 7.0f);
    const Point look = scene->camera().lookAtPoint();
    EXPECT_NEAR(std::hypot(look.x - eye.x, look.z - eye.z), 3.0f, 1e-4f);
}

// A picture or video of the flight draws a copy with a clock of its own:
// it goes on from where the original stands, as the original goes on, and
// a whole loop brings it back to where it set out.
TEST_F(ScenePath, ACopyFliesOnFromWhereTheOriginalStandsAndALoopComesBack)
{
    now = 40.0;
    scene->animate();
    scene->setLookAhead(5.0f);
    double copyNow = 40.0;
    Scene copy(*scene, Clock([&copyNow] { return copyNow; }));
    now = copyNow = 42.0;
    scene->animate();
    copy.animate();
    EXPECT_EQ(copy.camera().position().x, scene->camera().position().x);
    EXPECT_EQ(copy.camera().lookAtPoint().z, scene->camera().lookAtPoint().z);
    EXPECT_EQ(copy.getLookAhead(), 5.0f);

    const double loop = *copy.loopSeconds();
    EXPECT_NEAR(loop, 20.0 * M_PI / (10.0 * double(0.002f)), 1e-6);
    copy.flyTo(0.0);
    const Point start = copy.camera().position();
    copy.flyTo(loop / 3.0);
    EXPECT_GT(std::hypot(copy.camera().position().x - start.x, copy.camera().position().z - start.z), 1.0f);
    copy.flyTo(loop);
    EXPECT_NEAR(copy.camera().position().x, start.x, 1e-3f);
    EXPECT_NEAR(copy.camera().position().z, start.z, 1e-3f);
    copy.setAnimationSpeed(0.0f);
    EXPECT_FALSE(copy.loopSeconds());
}

TEST_F(ScenePath, RestartAdvancesOnlyByTheTimeSinceTheRestart)
{
    now = 10.0;
    scene->animate();
    const double t0 = scene->pathState().sPathParameter;
    scene->setAnimate(false);
    now = 500.0; // stopped for a long while
    scene->setAnimate(true);
    EXPECT_EQ(scene->pathState().sLastTimeStamp, 500.0);
    now = 502.0;
    scene->animate();
    EXPECT_NEAR(scene->pathState().sPathParameter, t0 + 10.0 * 2.0 * double(0.002f), 1e-12);
}

TEST_F(ScenePath, LookAheadZeroLooksStraightDown)
{
    scene->setLookAhead(0.0f);
    now = 10.0;
    scene->animate();
    const Point eye = scene->camera().position();
    const Point look = scene->camera().lookAtPoint();
    EXPECT_EQ(look.x, eye.x);
    EXPECT_EQ(look.z, eye.z);
    EXPECT_TRUE(std::isfinite(look.x) && std::isfinite(look.z));
}

// Over an opened terrain, flat at some level, eye and look-at point stand
// on that level where they stand on level 0 over the built-in one.
TEST_F(ScenePath, OverAnOpenedTerrainTheHeightCountsFromTheGroundBeneath)
{
    scene->setFerlowHeight(14.0f);
    for (const int grey : {0, 192, 255}) {
        SCOPED_TRACE(grey);
        QTemporaryDir folder;
        QImage image(32, 32, QImage::Format_Grayscale8);
        image.fill(grey);
        const QString path = folder.filePath(QStringLiteral("flat.png"));
        ASSERT_TRUE(image.save(path));
        scene->setTerrain(TerrainImage::open(path, Scene::kTerrainExtent, 14.0f).terrain);
        ASSERT_TRUE(scene->terrain());
        now += 10.0;
        scene->animate();
        const float ground = (float(grey) / 256.0f - 0.5f) * 14.0f;
        EXPECT_FLOAT_EQ(scene->camera().position().y, ground + 1.5f);
        EXPECT_FLOAT_EQ(scene->camera().lookAtPoint().y, ground);
    }
    scene->setTerrain(nullptr);
    now += 10.0;
    scene->animate();
    EXPECT_EQ(scene->camera().position().y, 1.5f);
    EXPECT_EQ(scene->camera().lookAtPoint().y, 0.0f);
}

TEST(SceneSettings, ReadsTheSevenKeysWithTheirConversions)
{
    SettingsStore& store = SettingsStore::shared();
    store.setFloat(3.25f, QStringLiteral("Speed"));
    store.setFloat(9.5f, QStringLiteral("LookAhead"));
    store.setFloat(21.0f, QStringLiteral("FerlowHeight"));
    store.setFloat(1.0f, QStringLiteral("FogDensity"));
    store.setFloat(-2.5f, QStringLiteral("CameraHeight"));
    store.setInteger((qint64(1) << 32) + 300, QStringLiteral("GridSize"));
    store.setObject(QVariantList{0.1, 0.2, 0.3, 0.4}, QStringLiteral("FogColour"));
    const Scene scene(store, Clock());
    EXPECT_EQ(scene.getAnimationSpeed(), 3.25f);
    EXPECT_EQ(scene.getLookAhead(), 9.5f);
    EXPECT_EQ(scene.getFerlowHeight(), 21.0f);
    EXPECT_EQ(scene.getFogDensity(), 1.0f * 0.01f);
    EXPECT_LT(double(scene.getFogDensity()), 0.01);
    EXPECT_EQ(scene.getCameraHeight(), -2.5f);
    EXPECT_EQ(scene.getGridSize(), HeightField::kMaxGridSize); // clamped, never wrapped
    EXPECT_EQ(scene.getFogColour(), (std::array<float, 4>{0.1f, 0.2f, 0.3f, 0.4f}));
    EXPECT_TRUE(scene.getAnimate());
    EXPECT_FALSE(scene.getWireFrame());
}

// A colour stored as a word, empty or quoted is no colour: the default fog,
// not black.
TEST(SceneSettings, AFogColourThatIsNoListOfNumbersGivesTheDefault)
{
    SettingsStore& store = SettingsStore::shared();
    for (const char* form : {"red", "", "\"0.6, 0.8, 0.98, 1\""}) {
        store.setObject(QString::fromLatin1(form), QStringLiteral("FogColour"));
        EXPECT_EQ(Scene(store, Clock()).getFogColour(), (std::array<float, 4>{0.6f, 0.8f, 0.98f, 1.0f})) << form;
    }
}

// The speed, which the start-up table of hand-edited files cannot show in
// a still picture: a word reads as missing, too fast as the slider's end.
TEST(SceneSettings, AnUnreadableSpeedGivesTheDefaultAndAnAbsurdOneTheSlidersEnd)
{
    SettingsStore& store = SettingsStore::shared();
    for (const auto& [stored, flown] : {std::pair{"fast", 24.0f}, {"1000", 50.0f}, {"-1e9", -5.0f}}) {
        store.setObject(QString::fromLatin1(stored), QStringLiteral("Speed"));
        EXPECT_EQ(Scene(store, Clock()).getAnimationSpeed(), flown) << stored;
    }
    store.removeObjectForKey(QStringLiteral("Speed"));
}

TEST(SceneSettings, ShortFogColourKeepsZeroForTheMissingComponents)
{
    SettingsStore& store = SettingsStore::shared();
    store.setObject(QVariantList{0.5, 0.25}, QStringLiteral("FogColour"));
    EXPECT_EQ(Scene(store, Clock()).getFogColour(), (std::array<float, 4>{0.5f, 0.25f, 0.0f, 0.0f}));
}

} // namespace
