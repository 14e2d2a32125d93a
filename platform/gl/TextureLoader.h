#pragma once

#include "platform/gl/GL.h"

#include <QPointer>
#include <QString>
#include <memory>
#include <vector>

#include <QImage>
class QOpenGLContextGroup;

// A 2D texture object made by TextureLoader: its OpenGL name and the size of
// its base level.
//
// Texture objects live in a share group, not in one context: the view's
// context and the full-screen context share theirs, so a texture made while
// either is current draws in both and outlives either context alone.
// Destruction therefore deletes the texture only while a context of the
// group it was made in is current. Without one the name is left to the
// group, which frees the texture with its last context; deleting the same
// number in an unrelated context would delete somebody else's texture.
class TextureInfo {
public:
    ~TextureInfo();
    TextureInfo(const TextureInfo&) = delete;
    TextureInfo& operator=(const TextureInfo&) = delete;

    GLuint name() const { return mName; }
    int width() const { return mWidth; }
    int height() const { return mHeight; }

private:
    friend class TextureLoader;
    // Takes over the texture called name in the current context's group.
    TextureInfo(GLuint name, int width, int height);

    GLuint mName;
    int mWidth;
    int mHeight;
    QPointer<QOpenGLContextGroup> mShareGroup;
};

// Loads image files into 2D textures of the current OpenGL context.
class TextureLoader {
public:
    // The image file at path decoded with QImage and uploaded as stored, top
    // row first (t = 0 addresses the image's top row), as an RGB or RGBA
    // texture with a full chain of mipmaps, filtered trilinearly and, where
    // the driver offers it, anisotropically. Nothing when no context is
    // current, the file is missing or undecodable, or the image is larger
    // than the driver's largest texture.
    //
    // Leaves the active unit's 2D binding and the pixel-store state as they
    // were.
    static std::unique_ptr<TextureInfo> textureWithContentsOfFile(const QString& path);
    // The same for an image in memory.
    static std::unique_ptr<TextureInfo> textureWithImage(const QImage& image);

    // The image and every smaller level down to 1 x 1, as they are
    // uploaded: each level the one above halved (rounding down, never below
    // one pixel), each pixel the average of the pixels it covers, in
    // RGBA8888, or RGBX8888 where the image is opaque. Nothing for a null
    // image. No OpenGL: safe on any thread, so that a large chain can be
    // made off the main thread.
    static std::vector<QImage> mipmapChain(const QImage& image);
    // A texture of such a chain, as textureWithImage makes one.
    static std::unique_ptr<TextureInfo> textureWithMipmaps(const std::vector<QImage>& levels);
    // The chain into texture, which keeps its name, so that display lists
    // that bind it draw the new image; false, with nothing changed, unless a
    // context of the texture's group is current and the chain's first level
    // has the texture's size. Leaves the binding as it was.
    static bool replaceMipmaps(const TextureInfo& texture, const std::vector<QImage>& levels);
};
