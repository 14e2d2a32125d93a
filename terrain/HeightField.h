#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class BitmapImageRep;
class QImage;
class Image;
class TerrainImage;
class TextureInfo;

// One grid vertex of the terrain: position, then the detail-texture
// coordinates (unit 0), then the light-map coordinates (unit 1). OpenGL reads
// all three arrays from one block of these records at a stride of 28 bytes.
struct vertex {
    float x;
    float y;
    float z;
    float detailS;
    float detailT;
    float lightS;
    float lightT;
};
static_assert(sizeof(vertex) == 28, "OpenGL reads the vertex arrays at a stride of 28 bytes");

// The terrain: an n x n grid of vertices sampled from a grey height image,
// lying in the unit square of the ground plane (x and z from -0.5 to
// 0.5 - 1/n, heights s / 65536 of the 16-bit samples, from 0 to just under 1), covered by a detail texture that
// repeats 32 times across the image and a light map stretched once over it.
//
// An opened terrain's grid reaches from edge to edge instead: its first and
// last lines lie on the square's edges (line k of n at k / (n - 1) - 0.5) and
// sample the image's first and last pixels, and the light map's texel
// centres lie on the lines of a grid as fine as the map. Around it an apron
// runs on at the edges' heights out to x and z of +-kApronReach, past the
// sky's rim, so that no gap opens between ground and sky: its vertices
// follow the n x n grid's, 4n + 4 of them, and its 4n cells' indices follow
// the grid's. The detail texture repeats on over the apron; the light map
// stays at the edge's texels.
//
// The mesh is recorded in display list 1 on the first render() and replayed
// afterwards; deleteList() makes the next render() record it anew. The list
// and both textures live in the share group of the view's context and the
// full-screen context, so either context draws them; the name 1 is fixed,
// not generated, and the sky dome uses 2.
//
// Main thread only. Building the mesh makes no OpenGL call; loading the
// textures, render(), deleteList() and destruction need a context of that
// share group current.
class HeightField {
public:
    static constexpr std::uint32_t kListId = 1;
    // The most vertices a side, whatever the image: a grid of 2048 takes
    // 117 MB of vertices and indices, and the driver's list as much again.
    static constexpr std::int32_t kMaxGridSize = 2048;
    // How far an opened terrain's apron reaches out, in the unit square's
    // units: the sky's rim lies at 0.75 from the centre.
    static constexpr float kApronReach = 1.0f;

    // A new height field with the height image called file (a resource name
    // with its extension, else a file path), a mesh of gridSize x gridSize
    // vertices and the two textures (resource names with extensions). Each
    // step runs whatever the outcome of the one before.
    static std::unique_ptr<HeightField> heightFieldWithFile(const QString& file, const QString& detailTexture,
                                                            const QString& lightTexture, std::int32_t gridSize);

    // The same over an opened terrain's heights, with its baked light map,
    // laid from edge to edge with its apron. Its grid has the grid size's
    // vertices a side, or the image's width where the size is beyond it or
    // below zero, but never fewer than 2 nor more than kMaxGridSize.
    static std::unique_ptr<HeightField> heightFieldWithTerrain(const TerrainImage& terrain,
                                                               const QString& detailTexture, std::int32_t gridSize);

    HeightField();
    // Deletes the display list, then frees the mesh and releases the image
    // and the textures.
    ~HeightField();
    HeightField(const HeightField&) = delete;
    HeightField& operator=(const HeightField&) = delete;

    // The height image: the resource of that name, else the file at that
    // path, else none. A null or empty name changes nothing.
    void loadImage(const QString& name);
    // Builds the mesh again from the height image. A grid size beyond the
    // image's width or below zero samples every pixel of a row, up to
    // kMaxGridSize, beyond which the grid is kMaxGridSize; sizes below 2
    // give no triangles, except over an opened terrain, which keeps 2 and
    // its apron. Without a usable image (none, undecodable, or less
    // high than wide) it logs "makeHeightField : failed to create bitmap" and
    // keeps the mesh it had. The display list is left alone.
    void makeHeightField(std::int32_t gridSize);
    const std::shared_ptr<Image>& heightImage() const { return mHeightImage; }

    // The texture for unit 0 (detail) or unit 1 (light map) from the resource
    // named, extension included. A null name changes nothing; a name that
    // cannot be found or loaded leaves no texture, and the unit then draws
    // untextured.
    void loadDetailTexture(const QString& name);
    void loadLightingTexture(const QString& name);
    // Another light map, with its mipmap levels (TextureLoader::mipmapChain),
    // over the same mesh. Of the size of the one it
    // replaces, it goes into the same texture, so the display list stays;
    // otherwise into a new one, and the list is deleted.
    void setLightMap(const std::vector<QImage>& levels);

    // Draws the terrain: records display list 1 while drawing, filled or as
    // lines, or replays the list recorded earlier (the flag is then ignored).
    // Leaves behind: texture unit 0 active for both the server and the
    // client, 2D texturing and the vertex and texture-coordinate arrays off on
    // units 0 and 1, unit 1's environment GL_MODULATE, both textures'
    // wrap modes GL_REPEAT, and the polygon mode of the recording (GL_LINE
    // after a wire-frame one).
    void render(bool wireFrame);
    // Deletes display list 1, if this height field holds it; otherwise makes
    // no OpenGL call.
    void deleteList();

    const vertex* vertices() const { return mVertices.get(); }
    std::int32_t numberOfVertices() const { return mNumberOfVertices; }
    const std::uint32_t* indices() const { return mIndices.get(); }
    std::int32_t numberOfIndices() const { return mNumberOfIndices; }
    const TextureInfo* detailTexture() const { return mDetailTexture.get(); }
    const TextureInfo* lightTexture() const { return mLightTexture.get(); }
    std::uint32_t listId() const { return mListId; }

private:
    struct Sampling {
        std::int32_t gridSize;
        float step; // image pixels from one grid line to the next
    };
    static Sampling samplingFor(int width, std::int32_t gridSize);
    void buildVertices(const BitmapImageRep& bitmap, Sampling sampling);
    void buildIndices(std::int32_t gridSize, std::size_t apronIndices = 0);
    static std::int32_t edgeToEdgeGridSize(int width, std::int32_t gridSize);
    void buildEdgeToEdge(const BitmapImageRep& bitmap, std::int32_t gridSize);
    void buildApronIndices(std::int32_t gridSize);
    float lightCoordinate(float fraction) const;
    void setUpDetailUnit() const;
    void setUpLightUnit() const;
    static void releaseUnits();

    std::unique_ptr<vertex[]> mVertices;
    std::int32_t mNumberOfVertices = 0;
    std::unique_ptr<std::uint32_t[]> mIndices;
    std::int32_t mNumberOfIndices = 0;
    std::shared_ptr<Image> mHeightImage;
    std::unique_ptr<TextureInfo> mDetailTexture;
    std::unique_ptr<TextureInfo> mLightTexture;
    std::uint32_t mListId = 0;
    // An opened terrain's light map, texels a side; 0 for the built-in
    // terrain, whose grid is laid out as it always was.
    int mLightMapSize = 0;
};
