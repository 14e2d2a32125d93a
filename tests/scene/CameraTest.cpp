#include "scene/Camera.h"

#include <cmath>
#include <gtest/gtest.h>
#include <string>

namespace {

constexpr float kTolerance = 1e-4f;

void expectPoint(const Point& p, float x, float y, float z, float tolerance = kTolerance)
{
    EXPECT_NEAR(p.x, x, tolerance);
    EXPECT_NEAR(p.y, y, tolerance);
    EXPECT_NEAR(p.z, z, tolerance);
}

Camera cameraAt(Point eye, Point target)
{
    Camera camera;
    camera.positionAt(eye.x, eye.y, eye.z);
    camera.lookAt(target.x, target.y, target.z);
    return camera;
}

TEST(Camera, NewCameraSitsAtTheOriginAndStaysThereWhenStepped)
{
    Camera camera;
    camera.moveForwards(0.1f);
    camera.moveBackwards(0.1f);
    expectPoint(camera.position(), 0, 0, 0, 0);
    expectPoint(camera.lookAtPoint(), 0, 0, 0, 0);
    camera.setDistance(5.0f);
    expectPoint(camera.position(), 5, 0, 0);
}

struct StepCase {
    Point eye;
    Point target;
};

class CameraStepping : public testing::TestWithParam<StepCase> {};

TEST_P(CameraStepping, ForwardsLeavesTheTargetOneStepAheadAlongTheSameDirection)
{
    const auto [eye, target] = GetParam();
    Camera camera = cameraAt(eye, target);
    const float len = std::hypot(target.x - eye.x, target.y - eye.y, target.z - eye.z);
    const Point dir{(target.x - eye.x) / len, (target.y - eye.y) / len, (target.z - eye.z) / len};
    camera.moveForwards(0.1f);
    expectPoint(camera.position(), eye.x + 0.1f * dir.x, eye.y + 0.1f * dir.y, eye.z + 0.1f * dir.z);
    expectPoint(camera.lookAtPoint(), eye.x + 0.2f * dir.x, eye.y + 0.2f * dir.y, eye.z + 0.2f * dir.z);
    EXPECT_NEAR(camera.getDistance(), 0.1f, 1e-6f);
}

TEST_P(CameraStepping, BackwardsPutsTheTargetWhereTheEyeWas)
{
    const auto [eye, target] = GetParam();
    Camera camera = cameraAt(eye, target);
    camera.moveBackwards(0.1f);
    expectPoint(camera.lookAtPoint(), eye.x, eye.y, eye.z);
    EXPECT_NEAR(camera.getDistance(), 0.1f, 1e-6f);
}

INSTANTIATE_TEST_SUITE_P(Directions, CameraStepping,
                         testing::Values(StepCase{{0, 5, 0}, {10, 0, 0}}, StepCase{{-3, 2, 7}, {4, -1, -2}},
                                         StepCase{{1, 1, 1}, {1, 1, 1.5f}}, StepCase{{0, 10, 0}, {0, 0, 0}}),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

struct OrbitCase {
    float azimuth;
    float elevation;
    float expectedElevation;
};

class CameraOrbiting : public testing::TestWithParam<OrbitCase> {};

TEST_P(CameraOrbiting, PlacesTheEyeAtAbsoluteAnglesWithTheElevationClamped)
{
    const auto [azimuth, elevation, expected] = GetParam();
    Camera camera = cameraAt({4, 5, 6}, {1, 2, 3});
    const float distance = camera.getDistance();
    camera.rotateByDegrees(azimuth, elevation);
    EXPECT_NEAR(camera.getDistance(), distance, 1e-4f);
    EXPECT_NEAR(camera.getYDegrees(), expected, 1e-3f);
    const float wrapped = std::remainder(azimuth, 360.0f);
    if (std::fabs(expected) < 89.5f && std::fabs(std::fabs(wrapped) - 180.0f) > 1e-3f) {
        EXPECT_NEAR(camera.getXDegrees(), wrapped, 1e-3f);
    }
    expectPoint(camera.lookAtPoint(), 1, 2, 3, 0);
    // Independent placement: spherical coordinates about the target.
    const double ax = azimuth * M_PI / 180.0;
    const double ay = expected * M_PI / 180.0;
    expectPoint(camera.position(), float(1 + distance * std::cos(ay) * std::cos(ax)),
                float(2 + distance * std::sin(ay)), float(3 + distance * std::cos(ay) * std::sin(ax)), 1e-3f);
}

INSTANTIATE_TEST_SUITE_P(Angles, CameraOrbiting,
                         testing::Values(OrbitCase{10, 40, 40}, OrbitCase{-170, -30, -30}, OrbitCase{0, 0, 0},
                                         OrbitCase{400, 10, 10}, OrbitCase{45, 120, 89}, OrbitCase{45, -120, -89},
                                         OrbitCase{45, 89, 89}),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(Camera, AnglesRoundTripThroughRotate)
{
    for (const Point eye : {Point{3, 4, -5}, Point{-7, -2, 1}, Point{0.5f, 30, 0.2f}, Point{-1, 0, -1}}) {
        Camera camera = cameraAt(eye, {0.25f, -0.5f, 1});
        if (std::fabs(camera.getYDegrees()) > 89.0f)
            continue;
        camera.rotateByDegrees(camera.getXDegrees(), camera.getYDegrees());
        expectPoint(camera.position(), eye.x, eye.y, eye.z, 1e-4f * std::max(1.0f, camera.getDistance()));
    }
}

struct ZoomCase {
    float requested;
    float expected;
};

class CameraZooming : public testing::TestWithParam<ZoomCase> {};

TEST_P(CameraZooming, KeepsTheDirectionAndReplacesTooSmallDistances)
{
    const auto [requested, expected] = GetParam();
    Camera camera = cameraAt({3, 4, 0}, {0, 0, 0}); // elevation 53.13, azimuth 0
    camera.setDistance(requested);
    EXPECT_FLOAT_EQ(camera.getDistance(), expected);
    EXPECT_NEAR(camera.getYDegrees(), 53.1301f, 1e-3f);
    expectPoint(camera.position(), expected * 0.6f, expected * 0.8f, 0, 1e-6f * std::max(1.0f, expected));
}

INSTANTIATE_TEST_SUITE_P(Distances, CameraZooming,
                         testing::Values(ZoomCase{9, 9}, ZoomCase{0.001f, 0.001f}, ZoomCase{0.0005f, 0.0001f},
                                         ZoomCase{0, 0.0001f}, ZoomCase{-3, 0.0001f}),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(Camera, ZoomFromCoincidentPointsGoesAlongPlusX)
{
    Camera camera = cameraAt({1, 2, 3}, {1, 2, 3});
    camera.setDistance(2.0f);
    expectPoint(camera.position(), 3, 2, 3);
}

} // namespace
