// The CCD solver on hand-made skeletons: turns, pass bounds, rigidity and the
// well-defined behaviour on degenerate directions and broken hierarchies.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "ik/solver.h"
#include "test_models.h"
#include "tests/support/chain_reference.h"

using namespace iktest;

namespace {

double angleBetween(const Vec3& a, const Vec3& b) {
    const double d = (double(a.x) * b.x + double(a.y) * b.y + double(a.z) * b.z) /
                     (std::sqrt(double(a.x) * a.x + double(a.y) * a.y + double(a.z) * a.z) *
                      std::sqrt(double(b.x) * b.x + double(b.y) * b.y + double(b.z) * b.z));
    return std::acos(std::fmax(-1.0, std::fmin(1.0, d)));
}

Vec3 sub(const Vec3& a, const Vec3& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

// A planar arm: 0 root, 1 shoulder, 2 elbow, 3 hand (effector), 4 leg off the
// root, 5 thumb off the elbow.
const Model arm = hierarchy({-1, 0, 1, 2, 0, 2});
const std::vector<Vec3> armRest = {{0, 0, 0},   {0, 0, 10},  {10, 0, 10},
                                   {20, 0, 10}, {0, 0, -10}, {10, 1, 10}};

TEST(IsDescendant, FollowsParentsAndStaysBounded) {
    EXPECT_TRUE(isDescendant(arm, 3, 2));
    EXPECT_TRUE(isDescendant(arm, 3, 0));
    EXPECT_TRUE(isDescendant(arm, 5, 1));
    EXPECT_FALSE(isDescendant(arm, 3, 3)) << "a bone is not its own descendant";
    EXPECT_FALSE(isDescendant(arm, 2, 3));
    EXPECT_FALSE(isDescendant(arm, 4, 1)) << "the leg is not below the shoulder";
    EXPECT_FALSE(isDescendant(arm, 0, 0));
    EXPECT_FALSE(isDescendant(arm, 6, 0)) << "bone outside the list";
    EXPECT_FALSE(isDescendant(arm, 3, -1));

    // A cycle (1 -> 2 -> 1) and a parent index past the bones end the walk.
    const Model cyclic = hierarchy({-1, 2, 1, 1});
    EXPECT_FALSE(isDescendant(cyclic, 3, 0));
    EXPECT_TRUE(isDescendant(cyclic, 3, 2));
    const Model broken = hierarchy({-1, 7, 1});
    EXPECT_FALSE(isDescendant(broken, 2, 0));
    EXPECT_TRUE(isDescendant(broken, 2, 1));
}

// The one-pass marking must answer exactly as the walk of isDescendant, on any
// parent links: forests in any bone order, self links, cycles, broken links.
TEST(MarkDescendants, AnswersAsIsDescendantOnAnyHierarchy) {
    std::mt19937 rng(1209);
    std::uniform_int_distribution<int> pick(0, 99);
    std::vector<uint8_t> below;
    for (int round = 0; round < 400; ++round) {
        const int32_t n = 1 + pick(rng) % 40;
        Model h;
        h.bones.resize(static_cast<size_t>(n));
        for (int32_t b = 0; b < n; ++b) {
            const int kind = pick(rng);
            int32_t parent = kind < 70 && b > 0 ? pick(rng) % b : -1;  // a forest
            if (kind >= 85) parent = pick(rng) % n;                    // anything, cycles too
            if (kind >= 97) parent = n + pick(rng) % 3;                // past the bones
            if (kind == 96) parent = -2;
            h.bones[static_cast<size_t>(b)].parent = parent;
        }
        if (pick(rng) < 50) std::shuffle(h.bones.begin(), h.bones.end(), rng);
        for (int32_t ancestor = -1; ancestor <= n; ++ancestor) {
            markDescendants(h, ancestor, below);
            ASSERT_EQ(below.size(), static_cast<size_t>(n));
            for (int32_t i = 0; i < n; ++i)
                ASSERT_EQ(below[static_cast<size_t>(i)] != 0, isDescendant(h, i, ancestor))
                    << "round " << round << " bone " << i << " ancestor " << ancestor;
        }
    }
}

TEST(CcdJointTurn, AngleAndAxisSwingTheEffectorTowardTheTarget) {
    Vec3 axis{};
    float angle = -1.0f;
    // 30 degrees in the xy plane: the axis is +z and the turn exact.
    ASSERT_TRUE(ccdJointTurn({0, 0, 0}, {10, 0, 0},
                             {std::cos(0.5236f) * 5, std::sin(0.5236f) * 5, 0}, axis, angle));
    EXPECT_NEAR(angle, 0.5236, 1e-6);
    EXPECT_FLOAT_EQ(axis.z, 1.0f);
    const Vec3 turned = vec3TransformCoord({10, 0, 0}, matrixRotationAxis(axis, angle));
    EXPECT_NEAR(turned.x, 10 * std::cos(0.5236), 1e-4);
    EXPECT_NEAR(turned.y, 10 * std::sin(0.5236), 1e-4) << "u must swing toward v, not away";

    // More than 45 degrees is done as exactly the single-precision pi/4.
    ASSERT_TRUE(ccdJointTurn({1, 1, 1}, {1, 1, 11}, {1, 11, 1}, axis, angle));
    EXPECT_EQ(angle, 0.7853982f);
    ASSERT_TRUE(ccdJointTurn({0, 0, 0}, {1, 0, 0}, {-1, 0.01f, 0}, axis, angle));
    EXPECT_EQ(angle, 0.7853982f);
}

TEST(CcdJointTurn, DegenerateDirectionsGiveAWellDefinedTurn) {
    Vec3 axis{};
    float angle = 0.0f;
    // The effector or the target on the joint: no direction, no turn.
    EXPECT_FALSE(ccdJointTurn({1, 2, 3}, {1, 2, 3}, {5, 5, 5}, axis, angle));
    EXPECT_FALSE(ccdJointTurn({1, 2, 3}, {5, 5, 5}, {1, 2, 3}, axis, angle));
    // Already pointing at the target, also at another distance: no turn.
    EXPECT_FALSE(ccdJointTurn({0, 0, 0}, {0, 3, 4}, {0, 6, 8}, axis, angle));
    // Nearly parallel directions whose unit vectors round to a dot product past 1
    // must not produce a NaN angle.
    for (float f : {1e-7f, 3e-7f, 1e-6f}) {
        if (ccdJointTurn({0, 0, 0}, {0.3f, 0.7f, 0.1f}, {0.3f, 0.7f + f, 0.1f}, axis, angle)) {
            EXPECT_FALSE(std::isnan(angle));
            EXPECT_FALSE(std::isnan(axis.x) || std::isnan(axis.y) || std::isnan(axis.z));
            EXPECT_LT(angle, 1e-3f);
        }
    }

    // Exactly opposite: an axis perpendicular to u (and to z), clamped turn.
    ASSERT_TRUE(ccdJointTurn({0, 0, 0}, {0, -10, 0}, {0, 10, 0}, axis, angle));
    EXPECT_EQ(angle, 0.7853982f);
    EXPECT_NEAR(lengthVec3(axis), 1.0f, 1e-6f);
    EXPECT_NEAR(dotVec3(axis, {0, -1, 0}), 0.0f, 1e-6f);
    EXPECT_NEAR(axis.z, 0.0f, 1e-6f);
    // Opposite along the vertical: the axis still lies perpendicular to u.
    ASSERT_TRUE(ccdJointTurn({0, 0, 0}, {0, 0, 10}, {0, 0, -3}, axis, angle));
    EXPECT_NEAR(lengthVec3(axis), 1.0f, 1e-6f);
    EXPECT_NEAR(axis.z, 0.0f, 1e-6f);
}

TEST(CcdPass, TurnsOnlyJointsBelowTheChainRootAndKeepsTheRestStill) {
    Model work = positionSet(armRest);
    // The hand cannot reach (0, 30, 10)... but the pass with chain root 1 may only
    // turn the elbow (2): the shoulder, the root and the leg stay put.
    ccdPass(arm, work, {10, 10, 10}, 3, 1, 3);
    const std::vector<Vec3> after = positions(work);
    for (int b : {0, 1, 2, 4}) {
        EXPECT_EQ(after[b].x, armRest[b].x) << b;
        EXPECT_EQ(after[b].y, armRest[b].y) << b;
        EXPECT_EQ(after[b].z, armRest[b].z) << b;
    }
    // The elbow turned 45 degrees (needed 90): hand and thumb turned with it, rigidly.
    EXPECT_NEAR(angleBetween(sub(after[3], after[2]), sub(armRest[3], armRest[2])), 0.7853982,
                1e-6);
    EXPECT_NEAR(dist(after[3], after[2]), 10.0, 1e-5);
    EXPECT_NEAR(dist(after[5], after[2]), 1.0, 1e-5);
    EXPECT_NEAR(dist(after[5], after[3]), dist(armRest[5], armRest[3]), 1e-5);
    EXPECT_GT(after[3].y, 0.0f) << "turned toward +y, where the target lies";
    // Rotation fields are never touched.
    EXPECT_EQ(work.frames[0][3].rx, 0.7f);
}

TEST(CcdPass, StopsAtTheToleranceAndAtTheChainRoot) {
    // Target 0.4 from the hand: nothing moves.
    Model work = positionSet(armRest);
    ccdPass(arm, work, {20, 0.4f, 10}, 3, 0, 3);
    expectSamePositions(positionSet(armRest), work);

    // A reachable target: the pass visits elbow then shoulder, never the root.
    work = positionSet(armRest);
    const Vec3 target{10, 10, 10};  // sqrt(200) from the shoulder, within 20
    for (int pass = 0; pass < 8; ++pass) ccdPass(arm, work, target, 3, 0, 3);
    const std::vector<Vec3> after = positions(work);
    EXPECT_LT(dist(after[3], target), reachTolerance);
    EXPECT_EQ(after[0].x, 0.0f);
    EXPECT_EQ(after[4].z, -10.0f);
    EXPECT_NEAR(dist(after[1], after[2]), 10.0, 1e-4);
    EXPECT_NEAR(dist(after[2], after[3]), 10.0, 1e-4);

    // A start joint equal to the chain root ends the pass at once.
    work = positionSet(armRest);
    ccdPass(arm, work, target, 2, 2, 3);
    expectSamePositions(positionSet(armRest), work);
}

TEST(CcdPass, AStraightLimbPointingAwayFromTheTargetStillBends) {
    // Target exactly behind the straight arm: every joint sees opposite directions.
    Model work = positionSet(armRest);
    const Vec3 target{-5, 0, 10};
    const double before = dist(armRest[3], target);
    ccdPass(arm, work, target, 3, 0, 3);
    const std::vector<Vec3> after = positions(work);
    EXPECT_LT(dist(after[3], target), before);
    EXPECT_NEAR(dist(after[2], after[3]), 10.0, 1e-4);
    EXPECT_EQ(after[0].z, 0.0f);
}

TEST(CcdPass, BrokenHierarchiesNeverStepPastARootOrOutsideTheBones) {
    const Vec3 target{10, 10, 10};
    // Chain root not an ancestor of the effector (the leg): the pass ends at the
    // root without turning it.
    Model work = positionSet(armRest);
    ccdPass(arm, work, target, 3, 4, 3);
    EXPECT_EQ(positions(work)[0].x, 0.0f);
    EXPECT_EQ(positions(work)[4].z, -10.0f);
    EXPECT_NE(positions(work)[3].y, 0.0f);

    // A cycle above the effector (1 <-> 2): bounded, and nothing turns off a cycle
    // into a NaN.
    const Model cyclic = hierarchy({-1, 2, 1, 2, 0, 2});
    work = positionSet(armRest);
    ccdPass(cyclic, work, target, 3, 0, 3);
    for (const Vec3& p : positions(work)) EXPECT_FALSE(std::isnan(p.x) || std::isnan(p.y));

    // Parent index past the bones, effector past the bones, set too short.
    const Model broken = hierarchy({-1, 0, 9, 2, 0, 2});
    work = positionSet(armRest);
    ccdPass(broken, work, target, 3, 0, 3);
    EXPECT_EQ(positions(work)[1].z, 10.0f);
    work = positionSet(armRest);
    ccdPass(arm, work, target, 3, 0, 59);
    expectSamePositions(positionSet(armRest), work);
    Model shortSet = positionSet({{0, 0, 0}, {0, 0, 10}});
    ccdPass(arm, shortSet, target, 3, 0, 3);
    expectSamePositions(positionSet({{0, 0, 0}, {0, 0, 10}}), shortSet);
}

TEST(PlaceInWorld, TurnsByTheHeadingThenMovesOnTheGround) {
    Model set = positionSet({{1, 0, 5}, {0, -2, -1}});
    placeInWorld(set, matrixRotationZ(1.5707964f), {10, -20});
    const std::vector<Vec3> p = positions(set);
    EXPECT_NEAR(p[0].x, 10.0f, 1e-6f);
    EXPECT_NEAR(p[0].y, -19.0f, 1e-6f);
    EXPECT_EQ(p[0].z, 5.0f);
    EXPECT_NEAR(p[1].x, 12.0f, 1e-6f);
    EXPECT_NEAR(p[1].y, -20.0f, 1e-6f);
    EXPECT_EQ(p[1].z, -1.0f);
}

class SolveReach : public ::testing::Test {
protected:
    Character c = character();
    JointPositionSets sets = setsFrom(c.rest);
    Matrix4 heading = matrixRotationZ(0.3f);
    Point2 ground{5, -28.39f};

    Model placedRest() const {
        Model m = positionSet(c.rest);
        placeInWorld(m, heading, ground);
        return m;
    }
};

TEST_F(SolveReach, BendsTheArmRigidlyAndLeavesTheUnbentPoseInWork) {
    const Model placed = placedRest();
    const Vec3 target{0, -50, 20};
    ASSERT_TRUE(solveReach(c.bones, sets, target, heading, ground));
    const std::vector<Vec3> reach = positions(sets.reachPositions);
    const std::vector<Vec3> rest = positions(placed);

    EXPECT_LT(dist(reach[59], target), dist(rest[59], target) - 5.0);
    // Every bone keeps its length (rigid turns only).
    for (int b = 1; b < 60; ++b) {
        const int p = c.bones.bones[b].parent;
        EXPECT_NEAR(dist(reach[b], reach[p]), dist(rest[b], rest[p]), 1e-4) << "bone " << b;
    }
    // The chest (last chain root) and everything outside the arm never move.
    for (int b : {0, 1, 17, 5, 40}) {
        EXPECT_EQ(reach[b].x, rest[b].x) << b;
        EXPECT_EQ(reach[b].y, rest[b].y) << b;
        EXPECT_EQ(reach[b].z, rest[b].z) << b;
    }
    // workPositions is the rest pose placed by the heading and ground, not the
    // solved pose; restPositions is untouched.
    expectSamePositions(placed, sets.workPositions);
    expectSamePositions(positionSet(c.rest), sets.restPositions);
}

TEST_F(SolveReach, AReachableTargetEndsWithinTheTolerance) {
    // 20 units from the upper-arm joint in the placed pose: well inside the arm.
    const Vec3 shoulder = positions(placedRest())[20];
    const Vec3 target{shoulder.x - 12, shoulder.y - 10, shoulder.z + 4};
    solveReach(c.bones, sets, target, heading, ground);
    EXPECT_LT(dist(positions(sets.reachPositions)[59], target), reachTolerance);
}

TEST_F(SolveReach, PassesWithHigherChainRootsNeverTurnTheirRoot) {
    // Chain root 20 only: bone 20 must stay where the placed rest pose has it.
    const int32_t passes[] = {20, 20, 20};
    const Vec3 target{0, -50, 20};
    solveReach(c.bones, sets, target, heading, ground, ReachChain{59, passes, 3});
    const std::vector<Vec3> reach = positions(sets.reachPositions);
    const std::vector<Vec3> rest = positions(placedRest());
    // Only the elbow (21) turns: it is the pivot, its hand and finger swing.
    for (int b : {17, 19, 20, 21}) {
        EXPECT_EQ(reach[b].x, rest[b].x) << b;
        EXPECT_EQ(reach[b].z, rest[b].z) << b;
    }
    EXPECT_NE(reach[59].x, rest[59].x);
    EXPECT_NE(reach[22].x, rest[22].x);
}

TEST_F(SolveReach, ATargetAlreadyWithinToleranceLeavesThePlacedRestPose) {
    const Vec3 hand = positions(placedRest())[59];
    solveReach(c.bones, sets, {hand.x + 0.3f, hand.y, hand.z - 0.3f}, heading, ground);
    expectSamePositions(placedRest(), sets.reachPositions);
}

TEST_F(SolveReach, AnUnreachableTargetStretchesTheArmTowardIt) {
    const Vec3 target{0, -200, 20};
    solveReach(c.bones, sets, target, heading, ground);
    const std::vector<Vec3> reach = positions(sets.reachPositions);
    const std::vector<Vec3> rest = positions(placedRest());
    // Eight passes of at most 45 degrees per visit leave the arm nearly straight and
    // pointing at the target from the shoulder, far closer than at rest.
    EXPECT_LT(angleBetween(sub(reach[21], reach[20]), sub(reach[59], reach[21])), 0.35);
    EXPECT_LT(angleBetween(sub(reach[59], reach[20]), sub(target, reach[20])), 0.25);
    EXPECT_GT(dist(reach[20], reach[59]), 23.5);
    EXPECT_LT(dist(reach[59], target), dist(rest[59], target) - 20.0);
}

TEST_F(SolveReach, ModelsWithoutTheLimbHoldTheUnbentPose) {
    const Vec3 target{0, -50, 20};
    // Fewer than 60 bones: there is no bone 59.
    Model small = hierarchy({-1, 0, 1});
    JointPositionSets smallSets = setsFrom({{0, 0, 0}, {0, 0, 5}, {0, 0, 10}});
    EXPECT_FALSE(reachChainUsable(small));
    EXPECT_FALSE(solveReach(small, smallSets, target, heading, ground));
    Model smallPlaced = positionSet({{0, 0, 0}, {0, 0, 5}, {0, 0, 10}});
    placeInWorld(smallPlaced, heading, ground);
    expectSamePositions(smallPlaced, smallSets.reachPositions);
    expectSamePositions(smallPlaced, smallSets.workPositions);

    // Bone 59 hangs off the pelvis: bones 20, 19, 17 are not its ancestors.
    Character detached = character();
    detached.bones.bones[59].parent = 0;
    EXPECT_FALSE(reachChainUsable(detached.bones));
    EXPECT_FALSE(solveReach(detached.bones, sets, target, heading, ground));
    expectSamePositions(placedRest(), sets.reachPositions);

    // A cycle through the arm: rejected, and the solve still terminates.
    Character cyclic = character();
    cyclic.bones.bones[17].parent = 59;
    EXPECT_FALSE(reachChainUsable(cyclic.bones));
    sets = setsFrom(c.rest);
    EXPECT_FALSE(solveReach(cyclic.bones, sets, target, heading, ground));
    expectSamePositions(placedRest(), sets.reachPositions);

    // Sets without an entry per bone: nothing is written.
    JointPositionSets shortSets = setsFrom({{1, 2, 3}});
    EXPECT_FALSE(solveReach(c.bones, shortSets, target, heading, ground));
    expectSamePositions(positionSet({{1, 2, 3}}), shortSets.workPositions);
    JointPositionSets noFrames;
    EXPECT_FALSE(solveReach(c.bones, noFrames, target, heading, ground));
}

TEST(RestoreWorkPositions, CopiesPositionsOnly) {
    JointPositionSets sets = setsFrom({{1, 2, 3}, {4, 5, 6}});
    sets.workPositions.frames[0][1] = {9, 9, 9, 0.1f, 0.2f, 0.3f};
    restoreWorkPositions(sets);
    expectSamePositions(sets.restPositions, sets.workPositions);
    EXPECT_EQ(sets.workPositions.frames[0][1].rx, 0.1f);
    // Sets of different lengths copy the common part.
    sets.workPositions = positionSet({{0, 0, 0}});
    restoreWorkPositions(sets);
    expectSamePositions(positionSet({{1, 2, 3}}), sets.workPositions);
}

}  // namespace

namespace {

TEST(InitRestPositions, FillsWorkAndRestWithTheBindPoseJointPositions) {
    // Root 0 read at (5, 5, 5) and turned a quarter about z; 1 and 2 a chain below.
    Model pose = hierarchy({-1, 0, 1, 0});
    pose.frames.push_back(
        {{5, 5, 5, 0, 0, 1.5707964f}, {1, 0, 0, 0, 0, 0}, {0, 2, 0, 0, 0, 0}, {0, 0, -3, 0, 0, 0}});
    JointPositionSets sets;
    sets.workPositions = pose;
    sets.restPositions = pose;
    initRestPositions(pose, sets);

    const std::vector<Vec3> work = positions(sets.workPositions);
    EXPECT_EQ(work[0].x, 5.0f) << "a root keeps its entry as read";
    EXPECT_NEAR(work[1].x, 0.0f, 1e-6f);
    EXPECT_NEAR(work[1].y, 1.0f, 1e-6f);
    EXPECT_NEAR(work[2].x, -2.0f, 1e-6f);
    EXPECT_NEAR(work[2].y, 1.0f, 1e-6f);
    EXPECT_NEAR(work[3].z, -3.0f, 1e-6f);
    expectSamePositions(sets.workPositions, sets.restPositions);
    EXPECT_EQ(sets.workPositions.frames[0][0].rz, 1.5707964f) << "rotations untouched";

    // Sets without an entry per bone are left alone.
    JointPositionSets empty;
    initRestPositions(pose, empty);
    EXPECT_EQ(jointCount(empty.workPositions), 0u);
}

// The rest pose stored from one evaluation of the whole frame has the bits of
// storing every bone's chain, evaluated chain by chain, in bone order: also with
// bone 0 hung below another bone, broken links, cycles and missing keys.
TEST(InitRestPositions, GivesTheBitsOfStoringEveryChain) {
    std::mt19937 rng(17);
    std::uniform_int_distribution<int> pick(0, 99);
    std::uniform_real_distribution<float> angle(-3.2f, 3.2f), length(-20.0f, 20.0f);
    for (int round = 0; round < 200; ++round) {
        const int32_t n = 1 + pick(rng) % 70;
        Model pose;
        for (int32_t b = 0; b < n; ++b)
            pose.bones.push_back(Bone{{}, b == 0 || pick(rng) < 5 ? -1 : pick(rng) % b});
        if (pick(rng) < 20) pose.bones[0].parent = pick(rng) % n;
        if (pick(rng) < 15) pose.bones[static_cast<size_t>(pick(rng) % n)].parent = n + 4;
        Frame keys(static_cast<size_t>(n));
        for (BoneKey& k : keys)
            k = {length(rng), length(rng), length(rng), angle(rng), angle(rng), angle(rng)};
        pose.frames.push_back(keys);
        if (pick(rng) < 10) pose.frames[0].resize(static_cast<size_t>(pick(rng) % n));
        Model expected = pose;  // sets hold an entry per bone, as read
        expected.frames[0] = keys;
        reference::restPositions(pose, expected);
        JointPositionSets sets{expected, expected, expected, expected};
        sets.workPositions.frames[0] = sets.restPositions.frames[0] = keys;
        initRestPositions(pose, sets);
        ASSERT_EQ(std::memcmp(expected.frames[0].data(), sets.restPositions.frames[0].data(),
                              keys.size() * sizeof(BoneKey)),
                  0)
            << "round " << round;
    }
}

}  // namespace
