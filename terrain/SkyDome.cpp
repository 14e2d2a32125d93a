#include "terrain/SkyDome.h"

#include "geometry/Angles.h"
#include "platform/gl/GL.h"

#include <cmath>
#include <span>

namespace {

constexpr float kRadius = 75.0f;
constexpr float kCellDegrees = 15.0f;
constexpr int kRings = 6;    // from the zenith down to the horizon
constexpr int kSectors = 24; // once around
constexpr int kRecordsPerCell = 4;
static_assert(kRings * kSectors * kRecordsPerCell == SkyDome::kNumVertices);

// The point at elevation a (degrees from the zenith) and azimuth b, in dome
// space; single precision throughout.
skyVertex pointAt(float elevation, float azimuth)
{
    const float a = elevation * Angles::kRadiansPerDegree;
    const float b = azimuth * Angles::kRadiansPerDegree;
    const float ringRadius = kRadius * std::sin(a);
    return {ringRadius * std::cos(b), ringRadius * std::sin(b), kRadius * std::cos(a), 0, 0.0f, 0.0f};
}

constexpr float kRimElevation = 90.0f;

// Light blue (0.6, 0.8, 0.98) at the rim, darkening with height; OpenGL
// clamps the components that go below zero, so the upper sky is pure blue.
void setColourForHeight(float z)
{
    const float s = z / 40.0f;
    glColor3f(s * -0.533f + 0.6f, s * -0.604f + 0.8f, s * -0.439f + 0.98f);
}

} // namespace

SkyDome::SkyDome() = default;

SkyDome::~SkyDome()
{
    deleteList();
}

void SkyDome::generateDome()
{
    // Released first, so that a failed allocation leaves an empty dome.
    Vertices.reset();
    NumVertices = 0;
    Vertices = std::make_unique<skyVertex[]>(kNumVertices);
    NumVertices = kNumVertices;
    skyVertex* out = Vertices.get();
    for (int ring = 0; ring < kRings; ++ring) {
        const float a = kCellDegrees * static_cast<float>(ring);
        for (int sector = 0; sector < kSectors; ++sector) {
            const float b = kCellDegrees * static_cast<float>(sector);
            *out++ = pointAt(a, b);
            *out++ = pointAt(a + kCellDegrees, b);
            *out++ = pointAt(a, b + kCellDegrees);
            *out++ = pointAt(a + kCellDegrees, b + kCellDegrees);
        }
    }
}

// State left behind: see the header.
void SkyDome::renderSkyDome()
{
    if (mListId != 0) {
        glCallList(mListId);
        return;
    }
    mListId = kListId;
    glNewList(mListId, GL_COMPILE_AND_EXECUTE);
    // Dome space (x, y, z) becomes (x, z - 5, -y): the zenith at height 70,
    // the rim 5 below the ground's centre.
    glTranslatef(0.0f, -5.0f, 0.0f);
    glRotatef(270.0f, 1.0f, 0.0f, 0.0f);
    glShadeModel(GL_SMOOTH);
    glBegin(GL_TRIANGLE_STRIP);
    for (const skyVertex& record : std::span(Vertices.get(), std::size_t(NumVertices))) {
        setColourForHeight(record.z);
        glVertex3f(record.x, record.y, record.z);
    }
    glEnd();
    // The terrain's textures are modulated by the current colour, so it must
    // be white again. Set after glEnd: Mesa's display lists drop a colour
    // given after the last vertex of a glBegin/glEnd pair, and the replayed
    // list would leave the rim's light blue behind.
    glColor3f(1.0f, 1.0f, 1.0f);
    glEndList();
}

// The wall's top vertices are the dome's rim vertices, so that no crack
// opens between them; its bottom ones and the floor's centre lie
// kCurtainDepth below the rim. State left behind: see the header.
void SkyDome::renderCurtain() const
{
    setColourForHeight(0.0f);
    glBegin(GL_TRIANGLE_STRIP);
    for (int sector = 0; sector <= kSectors; ++sector) {
        const skyVertex rim = pointAt(kRimElevation, kCellDegrees * static_cast<float>(sector));
        glVertex3f(rim.x, rim.y, rim.z);
        glVertex3f(rim.x, rim.y, -kCurtainDepth);
    }
    glEnd();
    glBegin(GL_TRIANGLE_FAN);
    glVertex3f(0.0f, 0.0f, -kCurtainDepth);
    for (int sector = 0; sector <= kSectors; ++sector) {
        const skyVertex rim = pointAt(kRimElevation, kCellDegrees * static_cast<float>(sector));
        glVertex3f(rim.x, rim.y, -kCurtainDepth);
    }
    glEnd();
    glColor3f(1.0f, 1.0f, 1.0f);
}

void SkyDome::deleteList()
{
    if (mListId == 0)
        return;
    glDeleteLists(mListId, 1);
    mListId = 0;
}
