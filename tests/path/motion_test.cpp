#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "path_fixtures.h"

namespace {

constexpr double kPi = std::numbers::pi;

// The model's facing (0, -1, 0) turned by the heading matrix.
Vec3 facing(const PathState& path) {
    return vec3TransformCoord({0, -1, 0}, path.headingMatrix);
}

}  // namespace

TEST(Motion, TravelCurveStartAndEnd) {
    PathState path = builtPath(travelCurve());
    stepAlongPath(path, 0.0);
    EXPECT_EQ(path.groundPosition.x, 60.0f);
    EXPECT_EQ(path.groundPosition.y, -50.0f);
    EXPECT_NEAR(path.heading, kTwoPi - std::acos(0.3928), 1e-3);
    EXPECT_NEAR(path.heading, 5.1160, 1e-4);
    const Vec3 f = facing(path);
    EXPECT_NEAR(f.x, -0.9196, 1e-4);
    EXPECT_NEAR(f.y, -0.3928, 1e-4);
    EXPECT_NEAR(headingOfMatrix(path.headingMatrix), 5.1160, 1e-4);

    stepAlongPath(path, 1.0);
    EXPECT_NEAR(path.groundPosition.x, -50.0, 1e-3);
    EXPECT_NEAR(path.groundPosition.y, 50.0, 1e-3);
}

TEST(Motion, MovesByDistanceNotByParameter) {
    PathState path = builtPath(travelCurve());
    // Halfway in time is halfway along the polyline, wherever that is in u.
    stepAlongPath(path, 0.5);
    const float u = paramAtDistance(path, path.pathLength / 2.0);
    const Point2 expected = evalBezier(path.controlPoints, u);
    EXPECT_EQ(path.groundPosition.x, expected.x);
    EXPECT_EQ(path.groundPosition.y, expected.y);
    EXPECT_GT(std::hypot(expected.x - evalBezier(path.controlPoints, 0.5f).x,
                         expected.y - evalBezier(path.controlPoints, 0.5f).y),
              1.0);
}

TEST(Motion, HeadingFacesTheDirectionOfTravel) {
    struct Case {
        Point2 to;
        double heading;
    };
    const Case cases[] = {{{10, 0}, kPi / 2},  {{0, 10}, kPi},          {{-10, 0}, 3 * kPi / 2},
                          {{0, -10}, 2 * kPi}, {{10, 10}, 3 * kPi / 4}, {{10, -10}, kPi / 4}};
    for (const Case& c : cases) {
        PathState path = builtPath({{0, 0}, c.to});
        stepAlongPath(path, 0.5);
        EXPECT_NEAR(path.heading, float(c.heading), 1e-6) << c.to.x << "," << c.to.y;
        const Vec3 f = facing(path);
        const double length = std::hypot(c.to.x, c.to.y);
        EXPECT_NEAR(f.x, c.to.x / length, 1e-6);
        EXPECT_NEAR(f.y, c.to.y / length, 1e-6);
        EXPECT_NEAR(path.groundPosition.x, c.to.x / 2, 1e-4);
        EXPECT_NEAR(path.groundPosition.y, c.to.y / 2, 1e-4);
    }
}

TEST(Motion, PathOfZeroLengthTurnsToMinusXAndStays) {
    PathState path = builtPath({{7, -3}, {7, -3}, {7, -3}});
    for (double t : {0.0, 0.5, 1.0}) {
        stepAlongPath(path, t);
        EXPECT_EQ(path.groundPosition.x, 7.0f);
        EXPECT_EQ(path.groundPosition.y, -3.0f);
        EXPECT_NEAR(path.heading, float(3 * kPi / 2), 1e-6);
        EXPECT_FALSE(std::isnan(path.headingMatrix.m[0][0]));
    }
}

TEST(Motion, ReachWalkArrivalStopsShortOfItsEnd) {
    PathState path = builtPath(reachStartCurve(), -40.0f);
    stepAlongPath(path, 0.85);
    EXPECT_NEAR(path.groundPosition.x, 0.0, 1e-6);
    EXPECT_NEAR(path.groundPosition.y, -28.39, 0.01);
    EXPECT_NEAR(path.heading, float(kTwoPi), 1e-6);
    // At the end of the walk the look-ahead is clamped to u = 1, where this curve
    // has come to rest: no direction is left, as on a path of zero length.
    stepAlongPath(path, 1.0);
    EXPECT_NEAR(path.groundPosition.x, 0.0, 1e-6);
    EXPECT_NEAR(path.groundPosition.y, -30.0, 1e-3);
    EXPECT_NEAR(path.heading, float(3 * kPi / 2), 1e-6);
}

TEST(Motion, ReportsPhaseChangesOfItsDistance) {
    PathState path = builtPath(travelCurve());
    EXPECT_FALSE(stepAlongPath(path, 0.1));
    EXPECT_TRUE(stepAlongPath(path, 0.4));
    EXPECT_EQ(path.movePhase, kPhaseCruising);
    EXPECT_FALSE(stepAlongPath(path, 0.5));
    EXPECT_TRUE(stepAlongPath(path, 0.75));
    EXPECT_TRUE(stepAlongPath(path, 0.01));
    EXPECT_EQ(path.movePhase, kPhaseAccelerating);
}

TEST(Motion, HeadingReadBackFromTheMatrix) {
    for (double angle : {0.25, kPi / 2, kPi, 4.0, 3 * kPi / 2, 5.1160}) {
        EXPECT_NEAR(headingOfMatrix(matrixRotationZ(float(angle))), angle, 1e-6) << angle;
    }
    // No turn reads as a full turn, never as 0.
    EXPECT_EQ(headingOfMatrix(matrixIdentity()), kTwoPi);
    EXPECT_GT(headingOfMatrix(matrixRotationZ(-1e-3f)), 6.28);
}
