#include "platform/gl/GL.h"
#include "platform/gl/TextureLoader.h"
#include "terrain/HeightField.h"
#include "terrain/TerrainImage.h"
#include "tests/support/OffscreenGL.h"
#include "tests/terrain/TerrainTesting.h"

#include <array>
#include <gtest/gtest.h>

namespace {

constexpr int kSize = 64;

GLint integer(GLenum what)
{
    GLint value = 0;
    glGetIntegerv(what, &value);
    return value;
}

class HeightFieldGL : public testing::Test {
protected:
    void SetUp() override
    {
        gl = std::make_unique<OffscreenGL>(kSize, kSize);
        // Seen from above, the unit grid fills the framebuffer: x to the
        // right, z downwards, heights well inside the depth range.
        glMatrixMode(GL_MODELVIEW);
        glRotatef(90.0f, 1.0f, 0.0f, 0.0f);
        glScalef(2.0f, 0.1f, 2.0f);
        flat = files.write(greyImage(16, 16, [](int, int) { return 128; }));
    }
    void TearDown() override
    {
        field.reset();
        EXPECT_EQ(OffscreenGL::takeError(), GLenum(GL_NO_ERROR));
        gl.reset();
    }

    QImage draw(bool wireFrame)
    {
        glClear(GL_COLOR_BUFFER_BIT);
        field->render(wireFrame);
        return gl->image();
    }
    // Pixels not black, and whether all of them are plain white.
    static std::pair<int, bool> coverage(const QImage& image)
    {
        int count = 0;
        bool white = true;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (const QRgb pixel = image.pixel(x, y) & 0xffffff; pixel != 0) {
                    ++count;
                    white = white && pixel == 0xffffff;
                }
        return {count, white};
    }
    static int covered(const QImage& image) { return coverage(image).first; }

    ImageFiles files;
    QString flat;
    std::unique_ptr<OffscreenGL> gl;
    std::unique_ptr<HeightField> field;
};

TEST_F(HeightFieldGL, TheListKeepsTheMeshAndPolygonModeItWasRecordedWith)
{
    field = HeightField::heightFieldWithFile(flat, "", "", 4); // covers 3/4 of the framebuffer each way
    EXPECT_EQ(covered(draw(false)), 48 * 48);
    EXPECT_EQ(field->listId(), 1u);
    EXPECT_EQ(covered(draw(true)), 48 * 48);
    field->makeHeightField(8);
    EXPECT_EQ(covered(draw(true)), 48 * 48);

    field->deleteList();
    EXPECT_EQ(field->listId(), 0u);
    const int lines = covered(draw(true));
    EXPECT_GT(lines, 56);
    EXPECT_LT(lines, 56 * 56 / 2);
    std::array<GLint, 2> mode{};
    glGetIntegerv(GL_POLYGON_MODE, mode.data());
    EXPECT_EQ(mode, (std::array<GLint, 2>{GL_LINE, GL_LINE}));
    EXPECT_EQ(covered(draw(false)), lines); // the replay ignores the flag

    field->deleteList();
    EXPECT_EQ(covered(draw(false)), 56 * 56);
}

// However few its pixels, an opened terrain covers its whole square.
TEST_F(HeightFieldGL, AnOpenedTerrainOfTwoPixelsASideFillsItsSquare)
{
    const auto terrain = TerrainImage::open(files.write(greyImage(2, 2, [](int, int) { return 128; })), 100.0f, 14.0f);
    ASSERT_TRUE(terrain.terrain);
    field = HeightField::heightFieldWithTerrain(*terrain.terrain, "", 256);
    EXPECT_EQ(covered(draw(false)), kSize * kSize);
}

TEST_F(HeightFieldGL, RecordingAndReplayLeaveTexturingOffOnUnitZero)
{
    field = HeightField::heightFieldWithFile(flat, "grass.jpg", "lightmap.png", 8);
    ASSERT_TRUE(field->detailTexture() && field->lightTexture());
    for (const char* pass : {"recording", "replay"}) {
        // What the frame sets up before the terrain, and a unit 1 the list must restore.
        glActiveTexture(GL_TEXTURE1);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
        glActiveTexture(GL_TEXTURE0);
        glEnable(GL_TEXTURE_2D);
        field->render(false);

        EXPECT_EQ(integer(GL_ACTIVE_TEXTURE), GL_TEXTURE0) << pass;
        EXPECT_EQ(integer(GL_CLIENT_ACTIVE_TEXTURE), GL_TEXTURE0) << pass;
        EXPECT_FALSE(glIsEnabled(GL_VERTEX_ARRAY)) << pass;
        for (const GLenum unit : {GL_TEXTURE1, GL_TEXTURE0}) {
            glActiveTexture(unit);
            glClientActiveTexture(unit);
            EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D)) << pass << unit;
            EXPECT_FALSE(glIsEnabled(GL_TEXTURE_COORD_ARRAY)) << pass << unit;
            if (unit == GL_TEXTURE1) {
                GLint mode = 0;
                glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &mode);
                EXPECT_EQ(mode, GL_MODULATE) << pass;
            }
        }
        EXPECT_EQ(OffscreenGL::takeError(), GLenum(GL_NO_ERROR)) << pass;
    }
    for (const TextureInfo* texture : {field->detailTexture(), field->lightTexture()}) {
        glBindTexture(GL_TEXTURE_2D, texture->name());
        for (const GLenum wrap : {GL_TEXTURE_WRAP_S, GL_TEXTURE_WRAP_T}) {
            GLint mode = 0;
            glGetTexParameteriv(GL_TEXTURE_2D, wrap, &mode);
            EXPECT_EQ(mode, GL_REPEAT);
        }
    }
}

TEST_F(HeightFieldGL, AMissingTextureLeavesTheOtherAndBothMissingDrawThePlainColour)
{
    struct Case {
        const char* detail;
        const char* light;
        bool plain;
    };
    for (const Case c : {Case{"", "", true}, Case{"missing.jpg", "lightmap.png", false},
                         Case{"grass.jpg", "missing.png", false}, Case{"grass.jpg", "lightmap.png", false}}) {
        SCOPED_TRACE(testing::Message() << c.detail << " " << c.light);
        field = HeightField::heightFieldWithFile(flat, c.detail, c.light, 8);
        EXPECT_EQ(field->detailTexture() != nullptr, QString(c.detail) == "grass.jpg");
        EXPECT_EQ(field->lightTexture() != nullptr, QString(c.light) == "lightmap.png");
        const QImage recorded = draw(false);
        EXPECT_GT(covered(recorded), 0);
        EXPECT_EQ(coverage(recorded).second, c.plain);
        EXPECT_EQ(draw(false), recorded);
        field.reset();
    }
}

TEST_F(HeightFieldGL, NoMeshDrawsNothing)
{
    for (const auto& [name, gridSize] : {std::pair{QString("missing.png"), 16}, std::pair{flat, 0}}) {
        testing::internal::CaptureStderr();
        field = HeightField::heightFieldWithFile(name, "", "", gridSize);
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(covered(draw(false)), 0) << gridSize;
        EXPECT_EQ(covered(draw(false)), 0) << gridSize;
        EXPECT_EQ(OffscreenGL::takeError(), GLenum(GL_NO_ERROR)) << gridSize;
        field.reset();
    }
}

TEST_F(HeightFieldGL, OnlyTheListItRecordedIsDeleted)
{
    glNewList(HeightField::kListId, GL_COMPILE); // somebody else's list 1
    glEndList();
    {
        HeightField idle;
        idle.deleteList();
    }
    EXPECT_TRUE(glIsList(HeightField::kListId));

    glDeleteLists(HeightField::kListId, 1);
    field = HeightField::heightFieldWithFile(flat, "", "", 4);
    field->render(false);
    field.reset();
    EXPECT_FALSE(glIsList(HeightField::kListId));
}

} // namespace
