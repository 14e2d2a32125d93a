#include "platform/gl/GL.h"
#include "terrain/SkyDome.h"
#include "tests/support/OffscreenGL.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <numbers>
#include <vector>

namespace {

using Colour = std::array<float, 3>;

TEST(SkyDome, RecordsRunRingByRingFromTheZenithToTheRim)
{
    SkyDome dome;
    EXPECT_EQ(dome.vertices(), nullptr);
    EXPECT_EQ(dome.numVertices(), 0);
    dome.generateDome();
    ASSERT_EQ(dome.numVertices(), 576);
    const skyVertex* records = dome.vertices();

    const std::array<double, 7> height{75, 72.4444, 64.9519, 53.0330, 37.5, 19.4114, 0};
    for (int ring = 0; ring < 6; ++ring)
        for (int sector = 0; sector < 24; ++sector)
            for (int corner = 0; corner < 4; ++corner) {
                const skyVertex& record = records[96 * ring + 4 * sector + corner];
                const int edge = ring + corner % 2;
                const double azimuth = (sector + corner / 2) * 15.0 * std::numbers::pi / 180.0;
                const double radius = height[6 - edge];
                ASSERT_NEAR(record.z, height[edge], 1e-3) << ring << " " << sector << " " << corner;
                ASSERT_NEAR(record.x, radius * std::cos(azimuth), 1e-3);
                ASSERT_NEAR(record.y, radius * std::sin(azimuth), 1e-3);
                ASSERT_EQ(record.colour, 0u);
                ASSERT_EQ(record.u, 0.0f);
                ASSERT_EQ(record.v, 0.0f);
            }
    for (const int zenith : {0, 2}) {
        EXPECT_EQ(records[zenith].x, 0.0f);
        EXPECT_EQ(records[zenith].y, 0.0f);
        EXPECT_EQ(records[zenith].z, 75.0f);
    }
    EXPECT_NEAR(records[3].x, 18.750, 1e-3);
    EXPECT_NEAR(records[3].y, 5.024, 1e-3);
    EXPECT_NEAR(records[575].x, 75.0, 1e-4);

    const std::vector<skyVertex> first(records, records + 576);
    dome.generateDome();
    EXPECT_EQ(std::memcmp(first.data(), dome.vertices(), sizeof(skyVertex) * 576), 0);
}

class SkyDomeGL : public testing::Test {
protected:
    void SetUp() override
    {
        gl = std::make_unique<OffscreenGL>(64, 64);
        // From above, the dome's zenith at the centre of the framebuffer.
        glMatrixMode(GL_PROJECTION);
        glOrtho(-80, 80, -80, 80, -200, 200);
        glMatrixMode(GL_MODELVIEW);
        glRotatef(90.0f, 1.0f, 0.0f, 0.0f);
    }
    void TearDown() override
    {
        EXPECT_EQ(OffscreenGL::takeError(), GLenum(GL_NO_ERROR));
        gl.reset();
    }

    // Draws the dome as the scene does and gives the colour at the centre;
    // the current colour is red beforehand.
    QRgb drawCentre(SkyDome& dome)
    {
        glClear(GL_COLOR_BUFFER_BIT);
        glColor3f(1.0f, 0.0f, 0.0f);
        glPushMatrix();
        dome.renderSkyDome();
        glPopMatrix();
        return gl->image().pixel(32, 32) & 0xffffff;
    }
    static Colour currentColour()
    {
        std::array<GLfloat, 4> colour{};
        glGetFloatv(GL_CURRENT_COLOR, colour.data());
        return {colour[0], colour[1], colour[2]};
    }

    std::unique_ptr<OffscreenGL> gl;
};

TEST_F(SkyDomeGL, ShadesFromTheRimToTheZenithAndLeavesTheColourWhite)
{
    SkyDome dome;
    dome.generateDome();
    // The colours OpenGL takes, clamped, as feedback from the recording pass.
    std::vector<GLfloat> feedback(576 * 3 * 16);
    glFeedbackBuffer(GLsizei(feedback.size()), GL_3D_COLOR, feedback.data());
    glRenderMode(GL_FEEDBACK);
    glColor3f(1.0f, 0.0f, 0.0f);
    glPushMatrix();
    dome.renderSkyDome();
    glPopMatrix();
    const GLint used = glRenderMode(GL_RENDER);
    ASSERT_GT(used, 0);
    std::vector<Colour> colours;
    for (GLint at = 0; at < used;) {
        ASSERT_EQ(feedback[at], GLfloat(GL_POLYGON_TOKEN));
        const int count = int(feedback[at + 1]);
        for (int corner = 0; corner < count; ++corner) {
            const GLfloat* vertex = &feedback[at + 2 + 7 * corner];
            colours.push_back({vertex[3], vertex[4], vertex[5]});
        }
        at += 2 + 7 * count;
    }
    const auto seen = [&colours](Colour expected) {
        return std::any_of(colours.begin(), colours.end(), [&](const Colour& c) {
            return std::fabs(c[0] - expected[0]) < 2e-3f && std::fabs(c[1] - expected[1]) < 2e-3f
                && std::fabs(c[2] - expected[2]) < 2e-3f;
        });
    };
    EXPECT_TRUE(seen({0.0f, 0.0f, 0.1569f}));  // zenith
    EXPECT_TRUE(seen({0.6f, 0.8f, 0.98f}));    // rim
    EXPECT_TRUE(seen({0.1003f, 0.2338f, 0.5684f})); // 60 degrees from the zenith
    EXPECT_EQ(currentColour(), (Colour{1.0f, 1.0f, 1.0f}));

    const QRgb zenith = drawCentre(dome); // the replay
    EXPECT_EQ(qRed(zenith) + qGreen(zenith), 0);
    EXPECT_NEAR(qBlue(zenith), 40, 1);
    EXPECT_EQ(currentColour(), (Colour{1.0f, 1.0f, 1.0f}));

    // Dome space turned so that the zenith stands 70 above the origin.
    std::array<GLfloat, 16> m{};
    glLoadIdentity();
    dome.renderSkyDome();
    glGetFloatv(GL_MODELVIEW_MATRIX, m.data());
    const auto place = [&m](float x, float y, float z) {
        return std::array<long, 3>{std::lround(m[0] * x + m[4] * y + m[8] * z + m[12]),
                                   std::lround(m[1] * x + m[5] * y + m[9] * z + m[13]),
                                   std::lround(m[2] * x + m[6] * y + m[10] * z + m[14])};
    };
    EXPECT_EQ(place(0, 0, 75), (std::array<long, 3>{0, 70, 0}));
    EXPECT_EQ(place(0, 75, 0), (std::array<long, 3>{0, -5, -75}));
}

TEST_F(SkyDomeGL, AListRecordedBeforeTheDomeStaysEmptyUntilDeleted)
{
    SkyDome dome;
    EXPECT_EQ(drawCentre(dome), 0u);
    EXPECT_EQ(dome.listId(), 2u);
    dome.generateDome();
    EXPECT_EQ(drawCentre(dome), 0u);
    dome.deleteList();
    EXPECT_EQ(dome.listId(), 0u);
    EXPECT_NE(drawCentre(dome), 0u);
    EXPECT_EQ(dome.listId(), 2u);
}

TEST_F(SkyDomeGL, OnlyTheListItRecordedIsDeleted)
{
    glNewList(SkyDome::kListId, GL_COMPILE); // somebody else's list 2
    glEndList();
    {
        SkyDome idle;
        idle.deleteList();
    }
    EXPECT_TRUE(glIsList(SkyDome::kListId));
    glDeleteLists(SkyDome::kListId, 1);
    {
        SkyDome dome;
        drawCentre(dome);
    }
    EXPECT_FALSE(glIsList(SkyDome::kListId));
}

} // namespace
