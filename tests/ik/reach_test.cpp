// The reaching scene without a window: target moves, the timed walk, the solve at
// arrival and the blend.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "ik/reach.h"
#include "test_models.h"

using namespace iktest;

namespace {

// A virtual tick counter; every read is counted, and reads may advance it.
uint32_t tickNow = 0;
uint32_t tickAdvancePerRead = 0;
int tickReads = 0;
uint32_t readTick() {
    ++tickReads;
    const uint32_t t = tickNow;
    tickNow += tickAdvancePerRead;
    return t;
}

class ReachSceneTest : public ::testing::Test {
protected:
    void SetUp() override {
        tickNow = 1000000;
        tickAdvancePerRead = 0;
        tickReads = 0;
        path.pathHeight = reachPathHeight;
    }
    // One frame's program step with the tick counter at `tick`.
    void frameAt(uint32_t tick) {
        tickNow = tick;
        updateReach(scene, path, c.bones, sets, readTick);
    }
    // Walks from an Enter at `start` through arrival (one frame per 16 ms).
    void walk(uint32_t start) {
        startReach(scene, sets, start);
        for (uint32_t t = start; scene.reachActive; t += 16) frameAt(t);
    }
    Model placedRest(const Matrix4& h, Point2 g) const {
        Model m = positionSet(c.rest);
        placeInWorld(m, h, g);
        return m;
    }

    Character c = character();
    JointPositionSets sets = setsFrom(c.rest);
    PathState path;
    ReachScene scene;
};

TEST_F(ReachSceneTest, TargetMovesAndBoundsTheTarget) {
    scene.reachTarget.z = 28;
    nudgeTarget(scene, TargetAxis::Z, true);
    EXPECT_EQ(scene.reachTarget.z, 30.0f);
    nudgeTarget(scene, TargetAxis::Z, true);
    EXPECT_EQ(scene.reachTarget.z, 30.0f);
    scene.reachTarget.z = -28;
    nudgeTarget(scene, TargetAxis::Z, false);
    EXPECT_EQ(scene.reachTarget.z, -30.0f);
    nudgeTarget(scene, TargetAxis::Z, false);
    EXPECT_EQ(scene.reachTarget.z, -30.0f);
    // Odd heights reach the bound as well: 29 + 2 stops at 30.
    scene.reachTarget.z = 29;
    nudgeTarget(scene, TargetAxis::Z, true);
    EXPECT_EQ(scene.reachTarget.z, 30.0f);

    // x and y have no bound.
    scene.reachTarget = {0, -50, 20};
    for (int i = 0; i < 100; ++i) nudgeTarget(scene, TargetAxis::X, true);
    for (int i = 0; i < 60; ++i) nudgeTarget(scene, TargetAxis::Y, false);
    EXPECT_EQ(scene.reachTarget.x, 200.0f);
    EXPECT_EQ(scene.reachTarget.y, -170.0f);
    nudgeTarget(scene, TargetAxis::X, false);
    nudgeTarget(scene, TargetAxis::Y, true);
    EXPECT_EQ(scene.reachTarget.x, 198.0f);
    EXPECT_EQ(scene.reachTarget.y, -168.0f);
    EXPECT_EQ(scene.reachTarget.z, 20.0f);
}

TEST_F(ReachSceneTest, TargetMovesAreIgnoredWhileWalkingAndEnterRestarts) {
    frameAt(tickNow);  // idle: the path is planned
    startReach(scene, sets, 1000000);
    for (TargetAxis axis : {TargetAxis::X, TargetAxis::Y, TargetAxis::Z}) {
        for (bool positive : {false, true}) {
            nudgeTarget(scene, axis, positive);
            EXPECT_EQ(scene.reachTarget.x, 0.0f);
            EXPECT_EQ(scene.reachTarget.y, -50.0f);
            EXPECT_EQ(scene.reachTarget.z, 20.0f);
        }
    }

    frameAt(1001200);
    const Point2 halfway = path.groundPosition;
    EXPECT_LT(halfway.y, -15.0f);
    const std::vector<Point2> frozen = path.controlPoints;
    // Enter during the walk: the same walk restarts from its beginning.
    startReach(scene, sets, 1001200);
    frameAt(1001200);
    EXPECT_TRUE(scene.reachActive);
    EXPECT_EQ(scene.reachFraction, 0.0);
    EXPECT_EQ(path.groundPosition.x, 0.0f);
    EXPECT_EQ(path.groundPosition.y, 0.0f);
    EXPECT_EQ(path.controlPoints[2].y, frozen[2].y);
}

TEST_F(ReachSceneTest, TheWalkEndsOnlyAfterItsTimeAndArrivesAtTheEasedPlace) {
    frameAt(1000000);
    ASSERT_EQ(path.controlPoints.size(), 3u);
    EXPECT_EQ(path.controlPoints[1].y, -30.0f);
    EXPECT_NEAR(path.pathLength, 30.0, 1e-3);
    EXPECT_FALSE(scene.reachStepped);

    startReach(scene, sets, 1000000);
    frameAt(1001000);
    EXPECT_EQ(scene.reachFraction, 0.5);
    EXPECT_TRUE(scene.reachStepped);
    EXPECT_NEAR(path.groundPosition.y, -15.0f, 0.01f);
    // Exactly 2000 ms: still walking, with the fraction 1.
    frameAt(1002000);
    EXPECT_EQ(scene.reachFraction, 1.0);
    EXPECT_TRUE(scene.reachActive);
    EXPECT_FALSE(scene.reachDone);
    const float endOfWalk = path.groundPosition.y;
    EXPECT_NEAR(endOfWalk, -30.0f, 0.01f);

    // The next frame arrives: placed with 0.85 (94.64 % of the path), solved.
    tickAdvancePerRead = 7;
    const int readsBefore = tickReads;
    frameAt(1002001);
    EXPECT_EQ(scene.reachFraction, 0.85);
    EXPECT_FALSE(scene.reachActive);
    EXPECT_TRUE(scene.reachDone);
    EXPECT_TRUE(scene.reachFinished);
    EXPECT_NEAR(path.groundPosition.x, 0.0f, 1e-4f);
    EXPECT_NEAR(path.groundPosition.y, -28.39f, 0.01f);
    EXPECT_GT(path.groundPosition.y, endOfWalk) << "steps back from the last walking frame";
    EXPECT_EQ(tickReads - readsBefore, 2) << "the arrival tick is read anew";
    EXPECT_EQ(scene.reachEndMs, 1002008.0);

    // Solved toward (0, -50, 20) from there; workPositions is the unbent pose at
    // the final place and heading.
    expectSamePositions(placedRest(path.headingMatrix, path.groundPosition), sets.workPositions);
    const Vec3 target{0, -50, 20};
    EXPECT_LT(dist(positions(sets.reachPositions)[59], target),
              dist(positions(sets.workPositions)[59], target) - 5.0);

    // Idle again: the next frame plans from the new place.
    tickAdvancePerRead = 0;
    frameAt(1002100);
    EXPECT_FALSE(scene.reachStepped);
    EXPECT_EQ(path.controlPoints[0].y, path.groundPosition.y);
}

TEST_F(ReachSceneTest, ASecondEnterWalksTheShortRestAndSolvesFromTheUnbentPose) {
    frameAt(1000000);
    walk(1000000);
    const Point2 first = path.groundPosition;
    const std::vector<Vec3> firstReach = positions(sets.reachPositions);
    frameAt(1003000);  // idle frame re-plans
    EXPECT_NEAR(path.pathLength, 30.0 - 28.39, 0.01);

    walk(1003100);
    EXPECT_NEAR(path.groundPosition.y, first.y - 0.9464 * (30.0f + first.y), 0.01f);
    EXPECT_LT(path.groundPosition.y, first.y);
    // The second solve starts from the unbent pose: the placed rest, not the
    // first solved pose.
    expectSamePositions(placedRest(path.headingMatrix, path.groundPosition), sets.workPositions);
    EXPECT_NE(positions(sets.reachPositions)[59].y, firstReach[59].y);
}

TEST_F(ReachSceneTest, TheBlendRunsFromTheUnbentToTheSolvedPose) {
    frameAt(1000000);
    walk(1000000);
    const uint32_t end = static_cast<uint32_t>(scene.reachEndMs);

    // First evaluation on the arrival frame: the unbent pose at the final place.
    EXPECT_EQ(chooseReachSource(scene, sets, end), ReachSource::Blend);
    expectSamePositions(sets.workPositions, sets.blendPositions);

    EXPECT_EQ(chooseReachSource(scene, sets, end + 500), ReachSource::Blend);
    const Vec3 w = positions(sets.workPositions)[59], r = positions(sets.reachPositions)[59];
    const Vec3 b = positions(sets.blendPositions)[59];
    EXPECT_NEAR(b.x, (w.x + r.x) / 2, 1e-4f);
    EXPECT_NEAR(b.y, (w.y + r.y) / 2, 1e-4f);
    EXPECT_NEAR(b.z, (w.z + r.z) / 2, 1e-4f);

    chooseReachSource(scene, sets, end + 999);
    EXPECT_LT(dist(positions(sets.blendPositions)[59], r), 0.001 * dist(w, r) + 1e-4);
    const std::vector<Vec3> last = positions(sets.blendPositions);
    // At 1000 ms the blend ends and the solved pose is shown; the blend set keeps
    // its last values.
    EXPECT_EQ(chooseReachSource(scene, sets, end + 1000), ReachSource::Reach);
    EXPECT_FALSE(scene.reachFinished);
    EXPECT_EQ(positions(sets.blendPositions)[59].x, last[59].x);
    EXPECT_EQ(chooseReachSource(scene, sets, end + 1001), ReachSource::Reach);

    // Enter: the walk draws the unbent model-space pose.
    startReach(scene, sets, end + 2000);
    EXPECT_EQ(chooseReachSource(scene, sets, end + 2000), ReachSource::Work);
    expectSamePositions(positionSet(c.rest), sets.workPositions);
}

TEST_F(ReachSceneTest, ABlendFirstSeenAfterItsTimeShowsTheSolvedPose) {
    frameAt(1000000);
    walk(1000000);
    const uint32_t end = static_cast<uint32_t>(scene.reachEndMs);
    EXPECT_EQ(chooseReachSource(scene, sets, end + 5000), ReachSource::Reach);
    EXPECT_FALSE(scene.reachFinished);
    expectSamePositions(sets.workPositions, sets.blendPositions);
}

TEST_F(ReachSceneTest, EnterDuringTheBlendKeepsItsFlagUntilTheNextArrival) {
    frameAt(1000000);
    walk(1000000);
    startReach(scene, sets, static_cast<uint32_t>(scene.reachEndMs) + 100);
    EXPECT_TRUE(scene.reachFinished);
    EXPECT_TRUE(scene.reachActive);
    EXPECT_FALSE(scene.reachDone);
}

TEST_F(ReachSceneTest, WalkAndBlendSurviveTheTickCounterWrappingAround) {
    frameAt(4294967000u);
    startReach(scene, sets, 4294967000u);
    frameAt(4294967000u + 1000u);  // wrapped: 1000 ms later
    EXPECT_EQ(scene.reachFraction, 0.5);
    EXPECT_TRUE(scene.reachActive);
    frameAt(4294967000u + 2001u);
    EXPECT_FALSE(scene.reachActive);
    EXPECT_TRUE(scene.reachDone);

    scene.reachEndMs = 4294967000.0;
    chooseReachSource(scene, sets, 4294967000u + 500u);
    EXPECT_TRUE(scene.reachFinished);
    EXPECT_NE(positions(sets.blendPositions)[59].x, positions(sets.workPositions)[59].x);
}

// The path's bytes that drawing and walking read.
bool samePath(const PathState& a, const PathState& b) {
    const auto same = [](const auto& x, const auto& y) {
        return x.size() == y.size() &&
               (x.empty() || std::memcmp(x.data(), y.data(), x.size() * sizeof x[0]) == 0);
    };
    return same(a.controlPoints, b.controlPoints) && same(a.samplePoints, b.samplePoints) &&
           same(a.arcTable, b.arcTable) &&
           std::memcmp(&a.pathLength, &b.pathLength, sizeof a.pathLength) == 0 &&
           a.pathVertexCount == b.pathVertexCount &&
           std::memcmp(a.pathVertices, b.pathVertices, sizeof a.pathVertices) == 0 &&
           std::memcmp(&a.groundPosition, &b.groundPosition, sizeof a.groundPosition) == 0 &&
           std::memcmp(&a.headingMatrix, &b.headingMatrix, sizeof a.headingMatrix) == 0 &&
           a.movePhase == b.movePhase;
}

// Keeping the samples of an unchanged plan must leave the path as sampling it
// anew on every idle frame does: through target moves (also ones that leave the
// plan as it was), walks, arrivals and a change of the path's height.
TEST_F(ReachSceneTest, AnUnchangedPlanKeepsTheBitsOfSamplingAnew) {
    ReachScene plainScene = scene;
    PathState plainPath = path;
    JointPositionSets plainSets = sets;
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> pick(0, 99);
    uint32_t tick = 1000000;
    for (int frame = 0; frame < 900; ++frame, tick += 16) {
        const int what = pick(rng);
        for (ReachScene* s : {&scene, &plainScene}) {
            if (what < 8) nudgeTarget(*s, TargetAxis((what % 6) / 2), what % 2 == 0);
        }
        if (what == 8) {
            startReach(scene, sets, tick);
            startReach(plainScene, plainSets, tick);
        }
        if (frame % 300 == 299) path.pathHeight = plainPath.pathHeight = -40.0f + frame;
        tickNow = tick;
        updateReach(scene, path, c.bones, sets, readTick);
        plainScene.planSampled = false;  // samples anew, as every idle frame did
        tickNow = tick;
        updateReach(plainScene, plainPath, c.bones, plainSets, readTick);
        ASSERT_TRUE(samePath(path, plainPath)) << "frame " << frame;
        ASSERT_EQ(scene.reachDone, plainScene.reachDone);
    }
    EXPECT_TRUE(scene.reachDone);
}

TEST(PlanReachPath, EndsTwentyUnitsShortOfTheTargetTowardTheCharacter) {
    PathState path;
    planReachPath(path, {0, -50, 20});
    ASSERT_EQ(path.controlPoints.size(), 3u);
    EXPECT_EQ(path.controlPoints[0].x, 0.0f);
    EXPECT_EQ(path.controlPoints[0].y, 0.0f);
    EXPECT_EQ(path.controlPoints[1].x, 0.0f);
    EXPECT_EQ(path.controlPoints[1].y, -30.0f);
    EXPECT_EQ(path.controlPoints[2].y, -30.0f);

    path.groundPosition = {10, 10};
    planReachPath(path, {40, 50, -5});  // 30-40-50 triangle
    EXPECT_NEAR(path.controlPoints[1].x, 28.0f, 1e-5f);
    EXPECT_NEAR(path.controlPoints[1].y, 34.0f, 1e-5f);

    // A target closer than 20: the stand-off lies behind the character.
    path.groundPosition = {0, -45};
    planReachPath(path, {0, -50, 0});
    EXPECT_NEAR(path.controlPoints[1].y, -30.0f, 1e-5f);
}

TEST(PlanReachPath, StandingOnTheTargetGivesAWalkThatStaysInPlace) {
    PathState path;
    path.groundPosition = {3, -7};
    planReachPath(path, {3, -7, 10});
    ASSERT_EQ(path.controlPoints.size(), 3u);
    for (const Point2& p : path.controlPoints) {
        EXPECT_EQ(p.x, 3.0f);
        EXPECT_EQ(p.y, -7.0f);
    }
    samplePath(path);
    buildArcTable(path);
    stepAlongPath(path, 0.85);
    EXPECT_EQ(path.groundPosition.x, 3.0f);
    EXPECT_EQ(path.groundPosition.y, -7.0f);
    EXPECT_FALSE(std::isnan(path.heading));
}

}  // namespace
