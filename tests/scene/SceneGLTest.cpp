#include "platform/gl/GL.h"
#include "platform/system/Clock.h"
#include "platform/system/SettingsStore.h"
#include "scene/Scene.h"
#include "tests/support/OffscreenGL.h"

#include <array>
#include <cmath>
#include <gtest/gtest.h>

namespace {

std::array<double, 16> matrix(GLenum which)
{
    std::array<double, 16> m{};
    glGetDoublev(which, m.data());
    return m;
}

bool allFinite(const std::array<double, 16>& m)
{
    for (double v : m)
        if (!std::isfinite(v))
            return false;
    return true;
}

class SceneGL : public testing::Test {
protected:
    void SetUp() override
    {
        gl = std::make_unique<OffscreenGL>(320, 240);
        // A clock that stands still: every frame shows the same place.
        scene = std::make_unique<Scene>(SettingsStore::shared(), Clock([] { return 1000.0; }));
        scene->setViewportRect({0, 0, 320, 240});
    }
    void TearDown() override
    {
        scene.reset();
        gl.reset();
    }

    std::unique_ptr<OffscreenGL> gl;
    std::unique_ptr<Scene> scene;
};

TEST_F(SceneGL, FogStaysOffUntilTheDensityReachesTheThreshold)
{
    struct Case {
        float setting;
        bool fog;
    };
    for (const Case c : {Case{1.0f, false}, Case{0.5f, false}, Case{1.001f, true}, Case{std::nextafter(1.0f, 2.0f), true},
                         Case{25.0f, true}}) {
        scene->setFogDensity(c.setting * 0.01f);
        scene->setFogColour(0.25f, 0.5f, 0.75f, 1.0f);
        scene->render();
        EXPECT_EQ(glIsEnabled(GL_FOG), c.fog ? GL_TRUE : GL_FALSE) << c.setting;
        if (c.fog) {
            GLfloat density = 0, colour[4] = {};
            GLint mode = 0;
            glGetFloatv(GL_FOG_DENSITY, &density);
            glGetFloatv(GL_FOG_COLOR, colour);
            glGetIntegerv(GL_FOG_MODE, &mode);
            EXPECT_EQ(density, c.setting * 0.01f);
            EXPECT_EQ(mode, GL_EXP2);
            EXPECT_FLOAT_EQ(colour[2], 0.75f);
        }
        EXPECT_EQ(OffscreenGL::takeError(), GLenum(GL_NO_ERROR));
    }
}

TEST_F(SceneGL, ViewportAndProjectionFollowTheRectangle)
{
    scene->setViewportRect({10.7, 20.2, 640.9, 480.0});
    std::array<GLint, 4> viewport{};
    glGetIntegerv(GL_VIEWPORT, viewport.data());
    EXPECT_EQ(viewport, (std::array<GLint, 4>{10, 20, 640, 480}));

    // gluPerspective(30, aspect, 0.1, 1000): f = cot(15 degrees).
    const double f = 1.0 / std::tan(15.0 * M_PI / 180.0);
    const auto p = matrix(GL_PROJECTION_MATRIX);
    EXPECT_NEAR(p[0], f / (640.9 / 480.0), 1e-5);
    EXPECT_NEAR(p[5], f, 1e-5);
    EXPECT_NEAR(p[10], -(1000.0 + 0.1) / (1000.0 - 0.1), 1e-6);
    EXPECT_NEAR(p[14], -2.0 * 1000.0 * 0.1 / (1000.0 - 0.1), 1e-6);
    EXPECT_EQ(p[11], -1.0);

    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    const auto mv = matrix(GL_MODELVIEW_MATRIX);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(mv[i], i % 5 == 0 ? 1.0 : 0.0);
    EXPECT_EQ(OffscreenGL::takeError(), GLenum(GL_NO_ERROR));
}

TEST_F(SceneGL, RectanglesWithoutAreaKeepTheProjectionFinite)
{
    for (const QRectF r : {QRectF(0, 0, 320, 0), QRectF(0, 0, 0, 240), QRectF(0, 0, 0, 0)}) {
        scene->setViewportRect(r);
        EXPECT_TRUE(allFinite(matrix(GL_PROJECTION_MATRIX)));
        EXPECT_EQ(OffscreenGL::takeError(), GLenum(GL_NO_ERROR));
    }
}

TEST_F(SceneGL, FrameLeavesTheStateItPromises)
{
    scene->render();
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
    GLint env = 0;
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &env);
    EXPECT_EQ(env, GL_MODULATE);
    GLint depth = 0;
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
    EXPECT_EQ(depth, 1);
    const auto mv = matrix(GL_MODELVIEW_MATRIX);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(mv[i], i % 5 == 0 ? 1.0 : 0.0);
    EXPECT_EQ(OffscreenGL::takeError(), GLenum(GL_NO_ERROR));
}

TEST_F(SceneGL, LookingStraightDownStillGivesAUsableViewingTransform)
{
    for (const float lookAhead : {0.0f, 12.0f}) {
        scene->setLookAhead(lookAhead);
        scene->animate();
        glPushMatrix();
        scene->camera().render();
        const auto mv = matrix(GL_MODELVIEW_MATRIX);
        glPopMatrix();
        ASSERT_TRUE(allFinite(mv)) << lookAhead;
        // The eye maps to the origin of eye space, and the view is not singular.
        double det = mv[0] * (mv[5] * mv[10] - mv[6] * mv[9]) - mv[4] * (mv[1] * mv[10] - mv[2] * mv[9])
            + mv[8] * (mv[1] * mv[6] - mv[2] * mv[5]);
        EXPECT_NEAR(std::fabs(det), 1.0, 1e-6) << lookAhead;
    }
    Camera& camera = scene->camera();
    camera.positionAt(1, 2, 3);
    camera.lookAt(1, 2, 3); // coincident
    glPushMatrix();
    camera.render();
    EXPECT_TRUE(allFinite(matrix(GL_MODELVIEW_MATRIX)));
    glPopMatrix();
}

} // namespace
