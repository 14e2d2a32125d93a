#include "scene/Scene.h"

#include "platform/gl/GL.h"
#include "scene/FlightPath.h"
#include "scene/SceneSettings.h"
#include "terrain/HeightField.h"
#include "terrain/SkyDome.h"
#include "terrain/TerrainImage.h"

#include <QVariantList>
#include <algorithm>
#include <cmath>

using namespace FlightPath;

Scene::Scene(const SettingsStore& settings, Clock clock)
    : mCamera(std::make_unique<Camera>())
    , mClock(std::move(clock))
{
    readSettings(settings);
}

Scene::Scene(const Scene& shown, Clock clock)
    : mTerrain(shown.mTerrain)
    , mCamera(std::make_unique<Camera>(*shown.mCamera))
    , mWireFrame(shown.mWireFrame)
    , mAnimate(shown.mAnimate)
    , mSpeed(shown.mSpeed)
    , mFerlowHeight(shown.mFerlowHeight)
    , mLookAhead(shown.mLookAhead)
    , mCameraHeight(shown.mCameraHeight)
    , mGridSize(shown.mGridSize)
    , mFogDensity(shown.mFogDensity)
    , mFogColour(shown.mFogColour)
    , mPathState(shown.mPathState)
    , mClock(std::move(clock))
{
}

// Members go in reverse order of declaration: camera, sky dome, height field.
Scene::~Scene() = default;

void Scene::readSettings(const SettingsStore& store)
{
    for (const SceneSetting& setting : kSceneSettings)
        setting.apply(*this, setting.readReporting(store));
}

std::array<float, 4> Scene::fogColourFromSetting(const QVariant& setting)
{
    // A colour with fewer than four numbers keeps 0 for the missing ones, as
    // a missing colour does for all four.
    std::array<float, 4> colour{};
    const QVariantList numbers = setting.toList();
    for (qsizetype i = 0; i < qsizetype(colour.size()) && i < numbers.size(); ++i)
        colour[std::size_t(i)] = numbers[i].toFloat();
    return colour;
}

void Scene::setAnimate(bool animate)
{
    mAnimate = animate;
    if (animate)
        mPathState.sLastTimeStamp = mClock.now();
}

void Scene::setFogColour(float red, float green, float blue, float alpha)
{
    mFogColour = {red, green, blue, alpha};
}

void Scene::setViewportRect(const QRectF& rect)
{
    // A rectangle with no area (a window shrunk to its title bar) has no
    // aspect ratio: keep the projection finite with 1 so that the frame
    // draws again as soon as the view has a size.
    const auto pixels = [](double extent) { return std::max(0, static_cast<GLint>(static_cast<float>(extent))); };
    glViewport(static_cast<GLint>(static_cast<float>(rect.x())), static_cast<GLint>(static_cast<float>(rect.y())),
               pixels(rect.width()), pixels(rect.height()));
    const double aspect = rect.width() > 0.0 && rect.height() > 0.0 ? rect.width() / rect.height() : 1.0;
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(kFieldOfViewDegrees, aspect, kNearPlane, kFarPlane);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void Scene::animate()
{
    const double now = mClock.now();
    PathState& path = mPathState;
    path.sPathParameter += static_cast<double>(mSpeed) * ((now - path.sLastTimeStamp) * kPathRate);
    path.sLastTimeStamp = now;
    placeCamera();
}

// The previous eye point is taken to be the present one, as it all but is
// in a flight drawn at any frame rate.
void Scene::flyTo(double seconds)
{
    const double t = static_cast<double>(mSpeed) * seconds * kPathRate;
    const auto [x, z] = eyeAt(t);
    mPathState = {mClock.now(), t, x, z};
    placeCamera();
}

std::optional<double> Scene::loopSeconds() const
{
    if (mSpeed == 0.0f)
        return std::nullopt;
    return kPathPeriod / (std::abs(static_cast<double>(mSpeed)) * kPathRate);
}

void Scene::placeCamera()
{
    const float eyeHeight = mCameraHeight;
    PathState& path = mPathState;
    const double t = path.sPathParameter;

    const double a = t + kAheadParameter;
    const double aheadX = kPathRadius * std::cos(a);
    const double aheadZ = kPathRadius * std::sin(a * kAheadFrequency);
    const double dX = aheadX - path.sLastPathX;
    const double dZ = aheadZ - path.sLastPathZ;
    const double length = std::sqrt(dX * dX + dZ * dZ);

    const auto [x, z] = eyeAt(t);
    double lookX = x;
    double lookZ = z;
    // With no direction of travel (the point ahead where the eye was) there
    // is nothing to look along: look straight down rather than at NaN.
    if (length != 0.0) {
        lookX = dX / length * static_cast<double>(mLookAhead) + x;
        lookZ = dZ / length * static_cast<double>(mLookAhead) + z;
    }
    path.sLastPathX = x;
    path.sLastPathZ = z;

    const float ground = groundBeneath(static_cast<float>(x), static_cast<float>(z));
    mCamera->lookAt(static_cast<float>(lookX), ground, static_cast<float>(lookZ));
    mCamera->positionAt(static_cast<float>(x), ground + eyeHeight, static_cast<float>(z));
}

// The near plane's distance above the ground keeps it from cutting into the
// ground beneath the eye.
void Scene::keepEyeAboveGround()
{
    if (!mTerrain)
        return;
    const Point eye = mCamera->position();
    const Point look = mCamera->lookAtPoint();
    const float lift = groundBeneath(eye.x, eye.z) + static_cast<float>(kNearPlane) - eye.y;
    if (lift <= 0.0f)
        return;
    mCamera->positionAt(eye.x, eye.y + lift, eye.z);
    mCamera->lookAt(look.x, look.y + lift, look.z);
}

// The built-in terrain lies low along the path, which the camera height
// counts from level 0. An opened one is not shaped for the path: there the
// height counts from the ground beneath the eye, eye and look-at point
// lifted alike so that the view keeps its angle.
float Scene::groundBeneath(float x, float z) const
{
    if (!mTerrain)
        return 0.0f;
    return (mTerrain->rideHeight(x / kTerrainExtent, z / kTerrainExtent) - 0.5f) * mFerlowHeight;
}

void Scene::applyFog() const
{
    if (static_cast<double>(mFogDensity) >= kFogThreshold) {
        glEnable(GL_FOG);
        glFogi(GL_FOG_MODE, GL_EXP2);
        glFogfv(GL_FOG_COLOR, mFogColour.data());
        glFogf(GL_FOG_DENSITY, mFogDensity);
        glHint(GL_FOG_HINT, GL_NICEST);
    } else {
        glDisable(GL_FOG);
    }
}

// Leaves behind: depth test on, lighting and face culling off, fog on or off
// by the density, GL_MODULATE on the active texture unit, the model-view
// matrix as it was on entry (the identity), and what the terrain and sky
// leave (texture unit 0 active, 2D texturing off, the current colour white).
void Scene::render()
{
    if (mAnimate)
        animate();
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    applyFog();
    glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, static_cast<GLfloat>(GL_MODULATE));
    glEnable(GL_TEXTURE_2D);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDisable(GL_CULL_FACE);
    glPushMatrix();
    mCamera->render();
    drawContents();
    glPopMatrix();
    glFinish();
}

// The terrain, scaled from its unit square to the world and centred on
// height 0, then outside wire frame the sky, below whose rim an opened
// terrain's ground may lie, each under the camera
// transform; the model-view matrix is as it was afterwards. A factory that
// gave no height field is asked again on the next frame.
void Scene::drawContents()
{
    if (!mHeightField)
        mHeightField = makeHeightField();
    glPushMatrix();
    glTranslatef(0.0f, mFerlowHeight * -0.5f, 0.0f);
    glScalef(kTerrainExtent, mFerlowHeight, kTerrainExtent);
    if (mHeightField)
        mHeightField->render(mWireFrame);
    glPopMatrix();

    if (mWireFrame)
        return;
    if (!mSkyDome) {
        mSkyDome = std::make_unique<SkyDome>();
        mSkyDome->generateDome();
    }
    glPushMatrix();
    mSkyDome->renderSkyDome();
    if (mTerrain)
        mSkyDome->renderCurtain();
    glPopMatrix();
}

std::unique_ptr<HeightField> Scene::makeHeightField() const
{
    const QString detail = QString::fromLatin1(kDetailTexture);
    if (mTerrain)
        return HeightField::heightFieldWithTerrain(*mTerrain, detail, mGridSize);
    return HeightField::heightFieldWithFile(QString::fromLatin1(kHeightImage), detail,
                                            QString::fromLatin1(kLightTexture), mGridSize);
}

void Scene::setTerrain(std::shared_ptr<const TerrainImage> terrain)
{
    mHeightField.reset();
    mTerrain = std::move(terrain);
}

void Scene::setTerrainLightMap(std::shared_ptr<const TerrainImage> rebaked)
{
    if (!mTerrain || !rebaked || rebaked->heights() != mTerrain->heights())
        return;
    mTerrain = std::move(rebaked);
    if (mHeightField)
        mHeightField->setLightMap(mTerrain->lightMapLevels());
}

void Scene::setWireFrame(bool wireFrame)
{
    if (wireFrame == mWireFrame)
        return;
    if (mHeightField)
        mHeightField->deleteList();
    mWireFrame = wireFrame;
}

void Scene::setGridSize(std::int32_t gridSize)
{
    if (gridSize == mGridSize)
        return;
    mGridSize = gridSize;
    if (mHeightField) {
        mHeightField->makeHeightField(gridSize);
        mHeightField->deleteList();
    }
}
