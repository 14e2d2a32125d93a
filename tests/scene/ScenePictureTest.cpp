// Frames of the whole scene, read back from a real offscreen framebuffer at a
// fixed clock. FERLOW_REGENERATE_GOLDEN=1 rewrites the golden images in the
// source tree instead of comparing against them.
#include "platform/gl/GL.h"
#include "platform/system/Clock.h"
#include "platform/system/SettingsStore.h"
#include "scene/Scene.h"
#include "terrain/HeightField.h"
#include "tests/support/OffscreenGL.h"

#include <QDir>
#include <cmath>
#include <gtest/gtest.h>

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 200;

struct Stats {
    double red = 0, green = 0, blue = 0, luminanceDeviation = 0;
};

Stats statsOf(const QImage& image, QRect area)
{
    Stats s;
    double sum = 0, sumSquares = 0;
    const int n = area.width() * area.height();
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb p = image.pixel(x, y);
            s.red += qRed(p);
            s.green += qGreen(p);
            s.blue += qBlue(p);
            const double l = qGray(p);
            sum += l;
            sumSquares += l * l;
        }
    s.red /= n;
    s.green /= n;
    s.blue /= n;
    s.luminanceDeviation = std::sqrt(std::max(0.0, sumSquares / n - (sum / n) * (sum / n)));
    return s;
}

double distance(const Stats& s, const QColor& c)
{
    return std::hypot(s.red - c.red(), s.green - c.green(), s.blue - c.blue());
}

class ScenePicture : public testing::Test {
protected:
    void SetUp() override
    {
        gl = std::make_unique<OffscreenGL>(kWidth, kHeight);
        // A clock that stands still: every frame shows the same place.
        scene = std::make_unique<Scene>(SettingsStore::shared(), Clock([] { return 1000.0; }));
        scene->setViewportRect({0, 0, double(kWidth), double(kHeight)});
    }

    void TearDown() override
    {
        scene.reset();
        gl.reset();
    }

    QImage frame()
    {
        scene->render();
        EXPECT_EQ(OffscreenGL::takeError(), GLenum(GL_NO_ERROR));
        return gl->image();
    }

    // Compares with the golden image of that name, allowing for rounding in
    // the rasteriser: a small mean difference and few strongly different pixels.
    void expectMatchesGolden(const QImage& image, const QString& name)
    {
        const QString path = QStringLiteral(FERLOW_SOURCE_DIR "/tests/scene/golden/") + name;
        if (qEnvironmentVariableIntValue("FERLOW_REGENERATE_GOLDEN") == 1) {
            ASSERT_TRUE(image.save(path));
            return;
        }
        const QImage golden(path);
        ASSERT_FALSE(golden.isNull()) << path.toStdString();
        ASSERT_EQ(golden.size(), image.size());
        double total = 0;
        int strong = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QRgb a = image.pixel(x, y), b = golden.pixel(x, y);
                const int d = std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                        std::abs(qBlue(a) - qBlue(b))});
                total += d;
                strong += d > 40;
            }
        const double pixels = image.width() * image.height();
        EXPECT_LT(total / pixels, 2.0) << name.toStdString();
        EXPECT_LT(strong / pixels, 0.01) << name.toStdString();
        if (HasFailure())
            image.save(QDir::current().absoluteFilePath(QStringLiteral("actual-") + name));
    }

    std::unique_ptr<OffscreenGL> gl;
    std::unique_ptr<Scene> scene;
};

TEST_F(ScenePicture, SkyAboveTexturedFoggedTerrain)
{
    const QImage image = frame();
    const Stats top = statsOf(image, {0, 0, kWidth, 4});
    const Stats lowerSky = statsOf(image, {0, 24, kWidth, 4});
    const Stats ground = statsOf(image, {kWidth / 4, kHeight - 40, kWidth / 2, 36});
    // The sky: blue, lighter further down.
    EXPECT_GT(top.blue, top.red + 40);
    EXPECT_GT(top.blue, top.green);
    EXPECT_GT(lowerSky.red + lowerSky.green, top.red + top.green);
    // The near terrain: green, with texture and light detail, not a flat colour.
    EXPECT_GT(ground.green, ground.blue);
    EXPECT_GT(ground.luminanceDeviation, 6.0);
    expectMatchesGolden(image, QStringLiteral("scene.png"));
}

TEST_F(ScenePicture, FogPullsTheDistanceTowardsTheFogColour)
{
    scene->setAnimate(false);
    scene->animate();
    const QColor fog(255, 0, 255); // a colour nothing else in the scene has
    scene->setFogColour(1, 0, 1, 1);
    scene->setFogDensity(0.009f); // below the threshold: off
    const QImage clear = frame();
    scene->setFogDensity(0.03f);
    const QImage fogged = frame();
    const QRect horizon(0, kHeight / 3, kWidth, kHeight / 6);
    EXPECT_LT(distance(statsOf(fogged, horizon), fog), distance(statsOf(clear, horizon), fog) - 40);
    const QRect near(kWidth / 3, kHeight - 12, kWidth / 3, 10);
    EXPECT_GT(distance(statsOf(fogged, near), fog), distance(statsOf(fogged, horizon), fog)); // near stays clearer
}

TEST_F(ScenePicture, WireFrameShowsLinesOnBlackWithoutTheSky)
{
    scene->setWireFrame(true);
    const QImage image = frame();
    EXPECT_EQ(scene->skyDome(), nullptr);
    const Stats top = statsOf(image, {0, 0, kWidth, 4});
    EXPECT_LT(top.red + top.green + top.blue, 3.0);
    int black = 0, lit = 0;
    for (int y = kHeight / 2; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            ((image.pixel(x, y) & 0xffffff) == 0 ? black : lit)++;
    EXPECT_GT(black, kWidth * kHeight / 20);
    EXPECT_GT(lit, kWidth * kHeight / 20);
    GLint mode[2] = {};
    glGetIntegerv(GL_POLYGON_MODE, mode);
    EXPECT_EQ(mode[0], GL_LINE);
    expectMatchesGolden(image, QStringLiteral("wireframe.png"));

    scene->setWireFrame(false);
    frame();
    EXPECT_NE(scene->skyDome(), nullptr);
    glGetIntegerv(GL_POLYGON_MODE, mode);
    EXPECT_EQ(mode[0], GL_FILL);
}

TEST_F(ScenePicture, TerrainAndSkyComeIntoBeingOnTheFirstFrame)
{
    EXPECT_EQ(scene->heightField(), nullptr);
    scene->setGridSize(64); // before the first frame: stored only
    EXPECT_EQ(scene->heightField(), nullptr);
    frame();
    ASSERT_NE(scene->heightField(), nullptr);
    EXPECT_EQ(scene->heightField()->numberOfVertices(), 64 * 64);
    EXPECT_NE(scene->skyDome(), nullptr);
    EXPECT_EQ(scene->heightField()->listId(), 1u);

    const auto* vertices = scene->heightField()->vertices();
    scene->setGridSize(64); // the same size: nothing at all
    scene->setWireFrame(false);
    EXPECT_EQ(scene->heightField()->vertices(), vertices);
    EXPECT_EQ(scene->heightField()->listId(), 1u);

    scene->setGridSize(32);
    EXPECT_EQ(scene->heightField()->numberOfVertices(), 32 * 32);
    EXPECT_EQ(scene->heightField()->listId(), 0u);
    frame();
    EXPECT_EQ(scene->heightField()->listId(), 1u);
}

} // namespace
