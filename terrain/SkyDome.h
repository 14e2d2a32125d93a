#pragma once

#include <cstdint>
#include <memory>

// One vertex of the sky dome, in dome space (z towards the zenith). The
// colour word and the texture coordinates stay zero: colours are worked out
// from z when the dome is recorded, and the dome is drawn untextured.
struct skyVertex {
    float x;
    float y;
    float z;
    std::uint32_t colour;
    float u;
    float v;
};
static_assert(sizeof(skyVertex) == 24);

// The sky: a hemisphere of radius 75 in cells of 15 by 15 degrees, light blue
// at the rim and deep blue at the zenith, drawn as one triangle strip with a
// colour per vertex.
//
// The dome is recorded in display list 2 on its first drawing and replayed
// afterwards. The list lives in the share group of the view's context and the
// full-screen context, so either context draws it; the name 2 is fixed, not
// generated, and the terrain uses 1.
//
// Main thread only. generateDome() makes no OpenGL call; renderSkyDome(),
// deleteList() and destruction need a context of that share group current.
class SkyDome {
public:
    static constexpr std::uint32_t kListId = 2;
    static constexpr std::int32_t kNumVertices = 576;

    SkyDome();
    // Deletes the display list and frees the vertices.
    ~SkyDome();
    SkyDome(const SkyDome&) = delete;
    SkyDome& operator=(const SkyDome&) = delete;

    // Builds the 576 records afresh: for each ring of 15 degrees from the
    // zenith down and each sector of 15 degrees around, the cell's corners
    // P(a, b), P(a + 15, b), P(a, b + 15), P(a + 15, b + 15). Leaves the
    // display list alone.
    void generateDome();
    // Draws the dome: records display list 2 while drawing, or replays it.
    // Expects the caller to push and pop the model-view matrix around it.
    // Leaves behind: the model-view matrix moved into dome space (translated
    // down 5 and turned so that the zenith points up, +y), smooth shading and
    // the current colour white.
    void renderSkyDome();
    // The sky below the rim, for an opened terrain whose ground may lie
    // lower than the rim: a wall of the rim's colour hanging from the rim
    // kCurtainDepth down, closed by a floor, so that the dome and it enclose
    // every eye of the flight and every ray from it meets something.
    // Immediate mode, outside the list, so that the built-in terrain's sky
    // stays as it is. Expects dome space, as renderSkyDome() leaves it;
    // leaves the current colour white.
    void renderCurtain() const;
    // Deep enough to pass any ground and any eye the preferences allow: the
    // lowest ground at -20 (a height scale of 40), the lowest eye 10 below
    // it, and the rim at -5.
    static constexpr float kCurtainDepth = 75.0f;

    // Deletes display list 2, if this dome holds it; otherwise makes no
    // OpenGL call.
    void deleteList();

    const skyVertex* vertices() const { return Vertices.get(); }
    std::int32_t numVertices() const { return NumVertices; }
    std::uint32_t listId() const { return mListId; }

private:
    std::unique_ptr<skyVertex[]> Vertices;
    std::int32_t NumVertices = 0;
    std::uint32_t mListId = 0;
};
