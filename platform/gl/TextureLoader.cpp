#include "platform/gl/TextureLoader.h"

#include "platform/gl/Renderer.h"

#include <QImage>
#include <QImageReader>
#include <QOpenGLContext>
#include <algorithm>

namespace {

bool fitsTextureLimit(const QSize& size)
{
    GLint largest = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
    return size.width() <= largest && size.height() <= largest;
}

QImage readImage(const QString& path)
{
    QImageReader reader(path);
    // Refuse from the header what the driver could not hold anyway.
    const QSize announced = reader.size();
    if (announced.isValid() && !fitsTextureLimit(announced))
        return {};
    QImage image;
    if (!reader.read(&image) || !fitsTextureLimit(image.size()))
        return {};
    return image;
}

QSize nextLevelSize(const QSize& size)
{
    return {std::max(1, size.width() / 2), std::max(1, size.height() / 2)};
}

// Uploads the levels to the bound 2D texture, opaque ones as RGB. Rows go
// up in the order QImage stores them, top row first. Leaves the pixel-store
// state as it was.
void uploadMipmapChain(const std::vector<QImage>& levels)
{
    const GLint internalFormat = levels.front().hasAlphaChannel() ? GL_RGBA8 : GL_RGB8;
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    // Rows of four-byte pixels are whole multiples of four bytes, unpadded.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    for (std::size_t index = 0; index < levels.size(); ++index)
        glTexImage2D(GL_TEXTURE_2D, GLint(index), internalFormat, levels[index].width(), levels[index].height(), 0,
                     GL_RGBA, GL_UNSIGNED_BYTE, levels[index].constBits());
    glPopClientAttrib();
}

bool fitsTextureLimit(const std::vector<QImage>& levels)
{
    return !levels.empty() && fitsTextureLimit(levels.front().size());
}

// Trilinear filtering: the detail texture repeats many times across the
// terrain and is mostly seen far off and at a grazing angle, where a texture
// without blending between mipmap levels shimmers as the camera moves and
// shows seams where one level meets the next. Magnified texels are blended
// too, since the camera flies low over the ground.
// Sets the filters of the bound 2D texture.
void setFilters()
{
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    // Trilinear filtering alone picks the level for the texture's most
    // squeezed direction and so blurs the ground towards the horizon;
    // anisotropic filtering keeps it sharp along the line of sight. Only
    // where a GPU does it, though: a software rasteriser takes every extra
    // sample on the CPU (on llvmpipe at 1280 x 720, 16x made a frame 2.5
    // times as slow, and with multisampling a frame took minutes).
    if (QOpenGLContext::currentContext()->hasExtension(QByteArrayLiteral("GL_EXT_texture_filter_anisotropic"))
        && !isSoftwareRenderer(currentRendererName())) {
        GLfloat most = 1.0f;
        glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &most);
        glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, most);
    }
}

} // namespace

TextureInfo::TextureInfo(GLuint name, int width, int height)
    : mName(name)
    , mWidth(width)
    , mHeight(height)
    , mShareGroup(QOpenGLContext::currentContext()->shareGroup())
{
}

TextureInfo::~TextureInfo()
{
    const QOpenGLContext* current = QOpenGLContext::currentContext();
    if (current && mShareGroup && current->shareGroup() == mShareGroup)
        glDeleteTextures(1, &mName);
}

std::unique_ptr<TextureInfo> TextureLoader::textureWithContentsOfFile(const QString& path)
{
    if (!QOpenGLContext::currentContext())
        return nullptr;
    return textureWithImage(readImage(path));
}

// The chain is built here rather than asked of the driver: glGenerateMipmap
// came with OpenGL 3.0 and framebuffer objects, which a 1.x context need not
// offer, and building it one way gives the same texels on every driver.
std::vector<QImage> TextureLoader::mipmapChain(const QImage& image)
{
    std::vector<QImage> levels;
    if (image.isNull())
        return levels;
    const QImage::Format format = image.hasAlphaChannel() ? QImage::Format_RGBA8888 : QImage::Format_RGBX8888;
    QImage level = image;
    for (;;) {
        levels.push_back(level.convertToFormat(format));
        if (level.width() == 1 && level.height() == 1)
            return levels;
        level = level.scaled(nextLevelSize(level.size()), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
}

bool TextureLoader::replaceMipmaps(const TextureInfo& texture, const std::vector<QImage>& levels)
{
    const QOpenGLContext* current = QOpenGLContext::currentContext();
    if (!current || current->shareGroup() != texture.mShareGroup || levels.empty()
        || levels.front().size() != QSize(texture.width(), texture.height()))
        return false;
    GLint previous = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
    glBindTexture(GL_TEXTURE_2D, texture.name());
    uploadMipmapChain(levels);
    glBindTexture(GL_TEXTURE_2D, GLuint(previous));
    return true;
}

std::unique_ptr<TextureInfo> TextureLoader::textureWithImage(const QImage& image)
{
    return textureWithMipmaps(mipmapChain(image));
}

std::unique_ptr<TextureInfo> TextureLoader::textureWithMipmaps(const std::vector<QImage>& levels)
{
    if (!QOpenGLContext::currentContext() || !fitsTextureLimit(levels))
        return nullptr;
    GLint previous = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    uploadMipmapChain(levels);
    setFilters();
    glBindTexture(GL_TEXTURE_2D, GLuint(previous));
    return std::unique_ptr<TextureInfo>(new TextureInfo(name, levels.front().width(), levels.front().height()));
}
