#include "platform/gl/GL.h"
#include "platform/gl/TextureLoader.h"
#include "tests/support/OffscreenGL.h"
#include "tests/terrain/TerrainTesting.h"

#include <QOpenGLContext>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

GLint levelParameter(GLint level, GLenum what)
{
    GLint value = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, what, &value);
    return value;
}

GLint integer(GLenum what)
{
    GLint value = 0;
    glGetIntegerv(what, &value);
    return value;
}

class TextureLoading : public testing::Test {
protected:
    void SetUp() override { gl = std::make_unique<OffscreenGL>(16, 16); }
    void TearDown() override
    {
        EXPECT_EQ(OffscreenGL::takeError(), GLenum(GL_NO_ERROR));
        gl.reset();
    }
    ImageFiles files;
    std::unique_ptr<OffscreenGL> gl;
};

TEST_F(TextureLoading, UploadsTopRowFirstWithAFullAveragedChain)
{
    QImage image(6, 5, QImage::Format_RGB32);
    image.fill(qRgb(0, 0, 255));
    for (int x = 0; x < 6; ++x)
        image.setPixel(x, 0, qRgb(255, 0, 0));
    GLuint other = 0;
    glGenTextures(1, &other);
    glBindTexture(GL_TEXTURE_2D, other);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 8); // odd rows of RGBA would go wrong with it

    const auto texture = TextureLoader::textureWithContentsOfFile(files.write(image));
    ASSERT_TRUE(texture);
    EXPECT_EQ(GLuint(integer(GL_TEXTURE_BINDING_2D)), other);
    EXPECT_EQ(integer(GL_UNPACK_ALIGNMENT), 8);
    EXPECT_EQ(texture->width(), 6);
    EXPECT_EQ(texture->height(), 5);

    glBindTexture(GL_TEXTURE_2D, texture->name());
    const std::vector<std::pair<int, int>> chain{{6, 5}, {3, 2}, {1, 1}};
    for (GLint level = 0; level < GLint(chain.size()); ++level) {
        EXPECT_EQ(levelParameter(level, GL_TEXTURE_WIDTH), chain[level].first) << level;
        EXPECT_EQ(levelParameter(level, GL_TEXTURE_HEIGHT), chain[level].second) << level;
    }
    EXPECT_EQ(levelParameter(3, GL_TEXTURE_WIDTH), 0);
    EXPECT_EQ(levelParameter(0, GL_TEXTURE_INTERNAL_FORMAT), GL_RGB8);

    std::vector<std::uint8_t> texels(6 * 5 * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    EXPECT_EQ(std::vector<std::uint8_t>(texels.begin(), texels.begin() + 4), (std::vector<std::uint8_t>{255, 0, 0, 255}));
    EXPECT_EQ(std::vector<std::uint8_t>(texels.end() - 4, texels.end()), (std::vector<std::uint8_t>{0, 0, 255, 255}));
    // The last level averages the whole image: a fifth red, four fifths blue.
    glGetTexImage(GL_TEXTURE_2D, 2, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    EXPECT_NEAR(texels[0], 51, 12);
    EXPECT_NEAR(texels[2], 204, 12);

    GLint filter = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filter);
    EXPECT_EQ(filter, GL_LINEAR_MIPMAP_LINEAR);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &filter);
    EXPECT_EQ(filter, GL_LINEAR);
    if (gl->context()->hasExtension("GL_EXT_texture_filter_anisotropic")) {
        // The most a GPU offers; none on a CPU rasteriser, where it is slow.
        const std::string renderer(reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
        const bool software = renderer.find("llvmpipe") != std::string::npos
            || renderer.find("softpipe") != std::string::npos || renderer.find("swrast") != std::string::npos;
        GLfloat most = 0, set = 0;
        glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &most);
        glGetTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, &set);
        EXPECT_EQ(set, software ? 1.0f : most);
    }
    glDeleteTextures(1, &other);
}

TEST_F(TextureLoading, DecodesJpegAndKeepsAlpha)
{
    QImage translucent(4, 4, QImage::Format_ARGB32);
    translucent.fill(qRgba(10, 20, 30, 40));
    QImage opaque(4, 4, QImage::Format_RGB32);
    opaque.fill(qRgb(200, 100, 50));
    struct Case {
        QString path;
        GLint internalFormat;
    };
    for (const Case& c : {Case{files.write(translucent), GL_RGBA8}, Case{files.write(opaque, "JPEG"), GL_RGB8}}) {
        const auto texture = TextureLoader::textureWithContentsOfFile(c.path);
        ASSERT_TRUE(texture);
        glBindTexture(GL_TEXTURE_2D, texture->name());
        EXPECT_EQ(levelParameter(0, GL_TEXTURE_INTERNAL_FORMAT), c.internalFormat);
        EXPECT_EQ(levelParameter(2, GL_TEXTURE_WIDTH), 1);
    }
}

TEST_F(TextureLoading, NothingWithoutAFileAnImageOrAContext)
{
    EXPECT_FALSE(TextureLoader::textureWithContentsOfFile("/nonexistent/grass.jpg"));
    EXPECT_FALSE(TextureLoader::textureWithContentsOfFile(files.writeBytes("not an image")));
    const QString good = files.write(greyImage(2, 2, [](int, int) { return 1; }));
    gl->context()->doneCurrent();
    EXPECT_FALSE(TextureLoader::textureWithContentsOfFile(good));
    gl->makeCurrent();
    EXPECT_TRUE(TextureLoader::textureWithContentsOfFile(good));
}

TEST_F(TextureLoading, IsDeletedOnlyWhileItsShareGroupIsCurrent)
{
    const QString path = files.write(greyImage(2, 2, [](int, int) { return 1; }));
    auto texture = TextureLoader::textureWithContentsOfFile(path);
    ASSERT_TRUE(texture);
    const GLuint name = texture->name();

    OffscreenGL stranger(16, 16); // an unrelated context, now current
    const auto strangers = TextureLoader::textureWithContentsOfFile(path);
    ASSERT_EQ(strangers->name(), name); // the same number, another texture
    texture.reset();
    EXPECT_TRUE(glIsTexture(name));
    gl->makeCurrent();
    EXPECT_TRUE(glIsTexture(name));

    texture = TextureLoader::textureWithContentsOfFile(path);
    const GLuint second = texture->name();
    texture.reset();
    EXPECT_FALSE(glIsTexture(second));
    stranger.makeCurrent();
    EXPECT_TRUE(glIsTexture(name));
    gl->makeCurrent();
}

} // namespace
