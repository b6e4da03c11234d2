// The reaching scene without a window: target keys, the timed walk, the solve at
// arrival, the blend, the strips and the marker.
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

TEST_F(ReachSceneTest, TargetKeysMoveAndBoundTheTarget) {
    scene.reachTarget.z = 28;
    EXPECT_TRUE(nudgeTarget(scene, keyPageUp));
    EXPECT_EQ(scene.reachTarget.z, 30.0f);
    nudgeTarget(scene, keyPageUp);
    EXPECT_EQ(scene.reachTarget.z, 30.0f);
    scene.reachTarget.z = -28;
    nudgeTarget(scene, keyPageDown);
    EXPECT_EQ(scene.reachTarget.z, -30.0f);
    nudgeTarget(scene, keyPageDown);
    EXPECT_EQ(scene.reachTarget.z, -30.0f);
    // Odd heights reach the bound as well: 29 + 2 stops at 30.
    scene.reachTarget.z = 29;
    nudgeTarget(scene, keyPageUp);
    EXPECT_EQ(scene.reachTarget.z, 30.0f);

    // Arrows have no bound; Up/Down move x, Right/Left move y.
    scene.reachTarget = {0, -50, 20};
    for (int i = 0; i < 100; ++i) nudgeTarget(scene, keyUp);
    for (int i = 0; i < 60; ++i) nudgeTarget(scene, keyLeft);
    EXPECT_EQ(scene.reachTarget.x, 200.0f);
    EXPECT_EQ(scene.reachTarget.y, -170.0f);
    nudgeTarget(scene, keyDown);
    nudgeTarget(scene, keyRight);
    EXPECT_EQ(scene.reachTarget.x, 198.0f);
    EXPECT_EQ(scene.reachTarget.y, -168.0f);
    EXPECT_FALSE(nudgeTarget(scene, 0x0D));
    EXPECT_FALSE(nudgeTarget(scene, 'A'));
}

TEST_F(ReachSceneTest, TargetKeysAreIgnoredWhileWalkingAndEnterRestarts) {
    frameAt(tickNow);  // idle: the path is planned
    startReach(scene, sets, 1000000);
    for (uint32_t key : {keyUp, keyDown, keyLeft, keyRight, keyPageUp, keyPageDown}) {
        EXPECT_TRUE(nudgeTarget(scene, key));
        EXPECT_EQ(scene.reachTarget.x, 0.0f) << key;
        EXPECT_EQ(scene.reachTarget.y, -50.0f) << key;
        EXPECT_EQ(scene.reachTarget.z, 20.0f) << key;
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
    // At 1000 ms the blend ends: this evaluation still returns the blend set with
    // its last values, later ones the solved pose.
    EXPECT_EQ(chooseReachSource(scene, sets, end + 1000), ReachSource::Blend);
    EXPECT_FALSE(scene.reachFinished);
    EXPECT_EQ(positions(sets.blendPositions)[59].x, last[59].x);
    EXPECT_EQ(chooseReachSource(scene, sets, end + 1001), ReachSource::Reach);

    // Enter: the walk draws the unbent model-space pose.
    startReach(scene, sets, end + 2000);
    EXPECT_EQ(chooseReachSource(scene, sets, end + 2000), ReachSource::Work);
    expectSamePositions(positionSet(c.rest), sets.workPositions);
}

TEST_F(ReachSceneTest, ABlendFirstSeenAfterItsTimeShowsNoStalePositions) {
    frameAt(1000000);
    walk(1000000);
    const uint32_t end = static_cast<uint32_t>(scene.reachEndMs);
    EXPECT_EQ(chooseReachSource(scene, sets, end + 5000), ReachSource::Blend);
    expectSamePositions(sets.workPositions, sets.blendPositions);
    EXPECT_EQ(chooseReachSource(scene, sets, end + 5000), ReachSource::Reach);
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
    const uint32_t keys[] = {keyUp, keyDown, keyLeft, keyRight, keyPageUp, keyPageDown};
    uint32_t tick = 1000000;
    for (int frame = 0; frame < 900; ++frame, tick += 16) {
        const int what = pick(rng);
        for (ReachScene* s : {&scene, &plainScene}) {
            if (what < 8) nudgeTarget(*s, keys[what % 6]);
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

class ReachStrip : public ::testing::Test {
protected:
    // 0 root; 1, 2 a chain; 3 a second root.
    Model bones = hierarchy({-1, 0, 1, -1});
    Model world = positionSet({{9, 9, 9}, {1, 2, 3}, {4, 5, 6}, {7, 8, 9}});
    PathState path;
    LineVertex strip[reachStripSize];

    void SetUp() override {
        path.groundPosition = {10, 20};
        for (LineVertex& v : strip) v = {-1, -1, -1, 0x12345678u};
    }
};

TEST_F(ReachStrip, WorldSpaceChainsRunToTheRootWhichStandsOnTheGround) {
    EXPECT_EQ(buildReachStrip(strip, bones, world, ReachSource::Reach, 2, path), 3u);
    EXPECT_EQ(strip[0].x, 4.0f);
    EXPECT_EQ(strip[1].y, 2.0f);
    EXPECT_EQ(strip[2].x, 10.0f) << "bone 0 at the ground place, not its entry";
    EXPECT_EQ(strip[2].y, 20.0f);
    EXPECT_EQ(strip[2].z, 0.0f);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(strip[k].color, 0xFF000000u);
    // The rest of the first 100 entries sits at the ground place, colours left.
    EXPECT_EQ(strip[3].x, 10.0f);
    EXPECT_EQ(strip[99].y, 20.0f);
    EXPECT_EQ(strip[99].z, 0.0f);
    EXPECT_EQ(strip[50].color, 0x12345678u);
    EXPECT_EQ(strip[100].x, -1.0f) << "the last entry is not written";

    // Another root's own entry is drawn where the set has it.
    EXPECT_EQ(buildReachStrip(strip, bones, world, ReachSource::Blend, 3, path), 1u);
    EXPECT_EQ(strip[0].x, 7.0f);

    colourJointPoints(strip);
    for (int k = 0; k < 100; ++k) EXPECT_EQ(strip[k].color, 0xFF00FF00u);
    EXPECT_EQ(strip[100].color, 0x12345678u);
}

TEST_F(ReachStrip, ModelSpaceChainsArePlacedLikeTheCharacter) {
    path.headingMatrix = matrixRotationZ(1.5707964f);
    path.characterScale = matrixScaling(2, 2, 2);
    const Model model = positionSet({{9, 9, 9}, {1, 0, 3}, {0, -2, 6}, {7, 8, 9}});
    EXPECT_EQ(buildReachStrip(strip, bones, model, ReachSource::Work, 2, path), 3u);
    // (0, -2, 6) scaled by 2, turned a quarter about z: (4, 0, 12), then moved.
    EXPECT_NEAR(strip[0].x, 14.0f, 1e-5f);
    EXPECT_NEAR(strip[0].y, 20.0f, 1e-5f);
    EXPECT_NEAR(strip[0].z, 12.0f, 1e-5f);
    EXPECT_NEAR(strip[1].x, 10.0f, 1e-5f);
    EXPECT_NEAR(strip[1].y, 22.0f, 1e-5f);
    EXPECT_EQ(strip[2].x, 10.0f) << "bone 0 at the origin, placed on the ground";
    EXPECT_EQ(strip[2].z, 0.0f);
    EXPECT_EQ(strip[0].color, 0xFF000000u);
    EXPECT_EQ(strip[3].color, 0u) << "cleared entries stay transparent";
    EXPECT_EQ(strip[99].x, 10.0f);
    EXPECT_EQ(strip[100].x, 0.0f);
    // Every entry after the chain carries the bits of the origin's own placement.
    Vec3 origin =
        vec3TransformCoord(vec3TransformCoord(Vec3{}, path.characterScale), path.headingMatrix);
    origin = {origin.x + 10.0f, origin.y + 20.0f, origin.z};
    for (size_t k = 3; k < reachStripWritten; ++k)
        EXPECT_EQ(std::memcmp(&strip[k], &origin, sizeof origin), 0) << "entry " << k;
}

// The memo must give every strip the bits it gets without one, and must not
// hand out a joint whose unplaced position has changed.
TEST_F(ReachStrip, PlacedJointsGiveTheSameBitsAsPlacingAnew) {
    path.headingMatrix = matrixRotationZ(5.116f);
    path.characterScale = matrixScaling(0.3f, 0.3f, 0.3f);
    Model model = positionSet({{9, 9, 9}, {1.5f, -0.25f, 3}, {0.1f, -2, 6}, {7, 8, 9}});
    StripMemo placed;
    LineVertex plain[reachStripSize];
    for (int round = 0; round < 2; ++round) {
        for (int32_t bone : {2, 1, 3, 0, 2}) {
            for (LineVertex& v : plain) v = {-1, -1, -1, 0x12345678u};
            const size_t a =
                buildReachStrip(strip, bones, model, ReachSource::Work, bone, path, &placed);
            const size_t b = buildReachStrip(plain, bones, model, ReachSource::Work, bone, path);
            EXPECT_EQ(a, b);
            EXPECT_EQ(std::memcmp(strip, plain, sizeof strip), 0) << "bone " << bone;
        }
        // Bone 1 moves between two strips of the same memo.
        setJointPosition(model, 1, {-4.0f, 2.5f, 0.5f});
    }
}

TEST_F(ReachStrip, LongChainsAreCutAndBrokenInputDrawsNothing) {
    // A single chain of 150 bones: cut at 100 entries; strips use at most 99
    // segments.
    std::vector<int32_t> parents(150);
    std::vector<Vec3> ps(150);
    for (int i = 0; i < 150; ++i) parents[i] = i - 1, ps[i] = {float(i), 0, 0};
    Model chain;
    for (int32_t p : parents) chain.bones.push_back(Bone{{}, p});
    EXPECT_EQ(buildReachStrip(strip, chain, positionSet(ps), ReachSource::Reach, 149, path), 100u);
    EXPECT_EQ(strip[99].x, 50.0f);
    EXPECT_EQ(strip[100].x, -1.0f);
    EXPECT_EQ(reachStripSegments(chain), 99u);
    EXPECT_EQ(reachStripSegments(bones), 4u);

    // A cycle is cut the same way; a parent past the bones ends the chain.
    const Model cyclic = hierarchy({-1, 2, 1});
    EXPECT_EQ(buildReachStrip(strip, cyclic, world, ReachSource::Reach, 2, path), 100u);
    const Model broken = hierarchy({-1, 0, 8});
    EXPECT_EQ(buildReachStrip(strip, broken, world, ReachSource::Reach, 2, path), 1u);
    // Bone out of range, or a set without entries: only the ground place.
    EXPECT_EQ(buildReachStrip(strip, bones, world, ReachSource::Reach, 4, path), 0u);
    EXPECT_EQ(buildReachStrip(strip, bones, Model{}, ReachSource::Work, 1, path), 0u);
    EXPECT_EQ(strip[0].x, 10.0f);
    EXPECT_EQ(strip[0].y, 20.0f);
}

// The strip built step by step as its contract reads: the first 100 entries
// at the ground place (world space; colours left) or the whole strip cleared
// (model space), the chain written over it, and in model space every one of
// the first 100 entries placed on its own.
size_t plainReachStrip(LineVertex* strip, const Model& hierarchy, const Model& source,
                       ReachSource kind, int32_t bone, const PathState& path) {
    const Point2 g = path.groundPosition;
    const bool world = kind != ReachSource::Work;
    const Vec3 base = world ? Vec3{g.x, g.y, 0.0f} : Vec3{};
    for (size_t k = 0; k < reachStripSize; ++k) {
        if (world && k < reachStripWritten)
            strip[k].x = base.x, strip[k].y = base.y, strip[k].z = base.z;
        else if (!world)
            strip[k] = LineVertex{};
    }
    const int32_t n = static_cast<int32_t>(hierarchy.bones.size());
    size_t written = 0;
    if (bone >= 0 && bone < n && jointCount(source) >= static_cast<size_t>(n)) {
        for (int32_t b = bone; written < reachStripWritten;) {
            const Vec3 p = b == 0 ? base : jointPosition(source, b);
            strip[written++] = {p.x, p.y, p.z, skeletonLineColor};
            const int32_t parent = hierarchy.bones[static_cast<size_t>(b)].parent;
            if (parent < 0 || parent >= n) break;
            b = parent;
        }
    }
    if (!world) {
        for (size_t k = 0; k < reachStripWritten; ++k) {
            const Vec3 p = vec3TransformCoord(
                vec3TransformCoord({strip[k].x, strip[k].y, strip[k].z}, path.characterScale),
                path.headingMatrix);
            strip[k].x = p.x + g.x, strip[k].y = p.y + g.y, strip[k].z = p.z;
        }
    }
    return written;
}

TEST_F(ReachStrip, RandomSkeletonsGiveTheBitsOfTheStepByStepStrip) {
    std::mt19937 rng(77);
    std::uniform_int_distribution<int> pick(0, 99);
    std::uniform_real_distribution<float> coordinate(-50.0f, 50.0f);
    for (int round = 0; round < 100; ++round) {
        const int32_t n = 1 + pick(rng) % 120;
        Model h;
        std::vector<Vec3> ps(static_cast<size_t>(n));
        for (int32_t b = 0; b < n; ++b) {
            h.bones.push_back(Bone{{}, b == 0 || pick(rng) < 3 ? -1 : b - 1 - pick(rng) % b / 3});
            ps[static_cast<size_t>(b)] = {coordinate(rng), coordinate(rng), coordinate(rng)};
            if (pick(rng) < 5) ps[static_cast<size_t>(b)] = {-0.0f, 0.0f, -0.0f};
        }
        if (pick(rng) < 10) h.bones[static_cast<size_t>(pick(rng) % n)].parent = n + 2;
        const Model source = positionSet(ps);
        path.groundPosition = {coordinate(rng), coordinate(rng)};
        path.headingMatrix = matrixRotationZ(coordinate(rng));
        // A heading that also moves: the placed origin is then off the ground place.
        if (pick(rng) < 30)
            path.headingMatrix =
                matrixMultiply(path.headingMatrix, matrixTranslation(coordinate(rng), 0.5f, 0));
        path.characterScale = matrixScaling(0.3f, 0.3f, 0.3f);
        const ReachSource kind = static_cast<ReachSource>(pick(rng) % 3);
        // One frame, with or without a memo. With one, the joint dots are
        // coloured into a second array and the strip takes its colours at the
        // end; `plain` follows the one-array sequence throughout.
        StripMemo frame;
        StripMemo* memo = pick(rng) < 75 ? &frame : nullptr;
        const bool mixedSets = pick(rng) < 30;  // the set changes within the frame
        LineVertex plain[reachStripSize], dots[reachStripSize];
        std::memcpy(plain, strip, sizeof strip);
        for (LineVertex& v : dots) v = {-7, -7, -7, 0x12345678u};
        std::vector<int32_t> order;
        for (int32_t bone = -1; bone <= n; ++bone) order.push_back(bone);
        if (pick(rng) < 50) std::shuffle(order.begin(), order.end(), rng);
        for (int32_t bone : order) {
            const ReachSource k = mixedSets ? static_cast<ReachSource>(pick(rng) % 3) : kind;
            const size_t a = plainReachStrip(plain, h, source, k, bone, path);
            const size_t b = buildReachStrip(strip, h, source, k, bone, path, memo);
            ASSERT_EQ(a, b);
            ASSERT_EQ(std::memcmp(strip, plain, sizeof strip), 0)
                << "round " << round << " bone " << bone;
            if (pick(rng) < 50) continue;
            colourJointPoints(plain);
            if (memo != nullptr)
                colourJointPoints(strip, dots, *memo);
            else
                colourJointPoints(strip);
            ASSERT_EQ(std::memcmp(memo != nullptr ? dots : strip, plain, sizeof strip), 0)
                << "coloured, round " << round << " bone " << bone;
        }
        if (memo != nullptr) finishJointColours(strip, *memo);
        ASSERT_EQ(std::memcmp(strip, plain, sizeof strip), 0) << "finished, round " << round;
    }
}

// Choosing once per frame with FrameReachSource must leave every bone with the
// set, the flags and the blended bits that choosing for every bone gives, also
// when the tick moves on during the frame or the blend ends in it.
TEST(FrameReachSource, ChoosesAndBlendsAsChoosingForEveryBone) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> coordinate(-50.0f, 50.0f);
    std::vector<Vec3> rest(23);
    for (Vec3& p : rest) p = {coordinate(rng), coordinate(rng), coordinate(rng)};
    JointPositionSets everyBone = setsFrom(rest);
    for (int32_t b = 0; b < 23; ++b)
        setJointPosition(everyBone.reachPositions, b,
                         {coordinate(rng), coordinate(rng), coordinate(rng)});
    JointPositionSets once = everyBone;
    ReachScene a, b;
    a.reachDone = b.reachDone = true;
    a.reachFinished = b.reachFinished = true;
    a.reachEndMs = b.reachEndMs = 4294967000.0;  // the blend runs across the wrap
    uint32_t frameTick = 4294967000u;
    for (int f = 0; f < 100; ++f, frameTick += 13) {  // 1.3 s: the blend ends
        const uint32_t perBone = f % 3 == 0 ? 7 : 0;  // the tick moves on during some frames
        FrameReachSource frame;
        for (uint32_t bone = 0; bone < 23; ++bone) {
            const uint32_t now = frameTick + bone * perBone;
            const ReachSource expected = chooseReachSource(a, everyBone, now);
            ASSERT_EQ(chooseFrameReachSource(b, once, now, frame), expected) << now;
            ASSERT_EQ(a.reachFinished, b.reachFinished) << now;
            ASSERT_EQ(std::memcmp(everyBone.blendPositions.frames[0].data(),
                                  once.blendPositions.frames[0].data(), 23 * sizeof(BoneKey)),
                      0)
                << now;
        }
    }
    EXPECT_FALSE(b.reachFinished);
}

TEST(TargetMarker, SpinsAboutItsVerticalAxisEveryFrame) {
    ReachScene scene;
    LineVertex out[3];
    buildTargetMarker(scene, out);
    EXPECT_EQ(out[0].x, -2.0f);
    EXPECT_EQ(out[0].y, -50.0f);
    EXPECT_EQ(out[0].z, 18.0f);
    EXPECT_EQ(out[0].color, 0xFFFF0000u);
    EXPECT_EQ(out[1].color, 0xFF00FF00u);
    EXPECT_EQ(out[2].color, 0xFF0000FFu);
    EXPECT_EQ(out[2].z, 22.0f);

    spinTargetMarker(scene);
    EXPECT_NEAR(scene.targetMarker[0].x, -2 * std::cos(0.09), 1e-6);
    EXPECT_NEAR(scene.targetMarker[0].y, -2 * std::sin(0.09), 1e-6);
    EXPECT_EQ(scene.targetMarker[0].z, -2.0f);
    // The turns accumulate: 70 frames make 6.3 rad, a little past a full turn.
    for (int i = 1; i < 70; ++i) spinTargetMarker(scene);
    const double angle = std::atan2(scene.targetMarker[1].y, scene.targetMarker[1].x);
    EXPECT_NEAR(angle, 6.3 - 2 * M_PI, 1e-4);
    EXPECT_NEAR(std::hypot(scene.targetMarker[1].x, scene.targetMarker[1].y), 2.0, 1e-4);
    EXPECT_EQ(scene.targetMarker[2].x, 0.0f);
    EXPECT_EQ(scene.targetMarker[2].z, 2.0f);
}

}  // namespace
