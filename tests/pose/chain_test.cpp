// Forward kinematics of single chains on hand-made skeletons.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "model/pose.h"
#include "skeletons.h"

namespace {

std::vector<Vec3> chainOf(const Model& m, int32_t bone, int32_t frame = 0) {
    ChainScratch scratch;
    collectChain(m, bone, frame, scratch);
    return scratch.offsets;
}

void expectNear(const Vec3& expected, const LineVertex& v) {
    EXPECT_NEAR(v.x, expected.x, 1e-5f);
    EXPECT_NEAR(v.y, expected.y, 1e-5f);
    EXPECT_NEAR(v.z, expected.z, 1e-5f);
}

TEST(Chain, ChildOfRootTurnsWithTheRootAndIgnoresItsTranslation) {
    const Model m = skeleton({-1, 0}, {{{100, 200, 300, 0, 0, kQuarterTurn}, {1, 0, 0, 0, 0, 0}}});
    ChainScratch scratch;
    collectChain(m, 1, 0, scratch);
    ASSERT_EQ(scratch.offsets.size(), 1u);
    LineVertex out[2];
    EXPECT_EQ(chainPositions(scratch, out, 2), 1u);
    expectNear({0, 1, 0}, out[0]);
    EXPECT_TRUE(chainOf(m, 0).empty());  // a root contributes nothing
}

TEST(Chain, RotationsApplyXThenYThenZThenTheParent) {
    // Root turned a quarter about Z, its child a quarter about X; the
    // grandchild's offset (0, 1, 0) goes to +Z under X, which Z leaves alone.
    // The other order would give (-1, 0, 0).
    const Model m = skeleton(
        {-1, 0, 1},
        {{{0, 0, 0, 0, 0, kQuarterTurn}, {0, 0, 0, kQuarterTurn, 0, 0}, {0, 1, 0, 0, 0, 0}}});
    const std::vector<Vec3> offsets = chainOf(m, 2);
    ASSERT_EQ(offsets.size(), 2u);
    EXPECT_NEAR(offsets[0].x, 0, 1e-6f);
    EXPECT_NEAR(offsets[0].y, 0, 1e-6f);
    EXPECT_NEAR(offsets[0].z, 1, 1e-6f);

    const Matrix4 expected = matrixMultiply(
        matrixMultiply(matrixMultiply(matrixRotationX(kQuarterTurn), matrixRotationY(0)),
                       matrixRotationZ(0)),
        matrixMultiply(matrixMultiply(matrixMultiply(matrixRotationX(0), matrixRotationY(0)),
                                      matrixRotationZ(kQuarterTurn)),
                       matrixIdentity()));
    const Matrix4 world = boneWorldRotation(m, 1, 0);
    EXPECT_EQ(std::memcmp(&world, &expected, sizeof world), 0);
}

TEST(Chain, PositionsSumLaterOffsetsInOrder) {
    const Model m = skeleton(
        {-1, 0, 1, 2},
        {{{9, 9, 9, 0, 0, 0}, {0, 0, 3, 0, 0, 0}, {0, 2, 0, 0, 0, 0}, {1, 0, 0, 0, 0, 0}}});
    ChainScratch scratch;
    scratch.recordBones = true;
    collectChain(m, 3, 0, scratch);
    EXPECT_EQ(scratch.bones, (std::vector<int32_t>{3, 2, 1}));
    LineVertex out[5];
    out[3].x = 42;
    EXPECT_EQ(chainPositions(scratch, out, 5), 3u);
    expectNear({1, 2, 3}, out[0]);
    expectNear({0, 2, 3}, out[1]);
    expectNear({0, 0, 3}, out[2]);
    EXPECT_EQ(out[3].x, 42);  // past the chain: untouched

    // Float sums depend on their order: out[0] is ((1 + 1e8) - 1e8) = 0, where
    // a sum from the root down would give 1.
    const Model order = skeleton(
        {-1, 0, 1, 2},
        {{{0, 0, 0, 0, 0, 0}, {-1e8f, 0, 0, 0, 0, 0}, {1e8f, 0, 0, 0, 0, 0}, {1, 0, 0, 0, 0, 0}}});
    scratch.clear();
    collectChain(order, 3, 0, scratch);
    chainPositions(scratch, out, 5);
    EXPECT_EQ(out[0].x, 0.0f);
}

TEST(Chain, CutToCapacityKeepsTruePositions) {
    const Model m = line(6);  // 5 links of (1, 0, 0)
    ChainScratch scratch;
    collectChain(m, 5, 0, scratch);
    LineVertex out[3];
    out[2].x = -7;
    EXPECT_EQ(chainPositions(scratch, out, 2), 2u);
    EXPECT_EQ(out[0].x, 5);
    EXPECT_EQ(out[1].x, 4);
    EXPECT_EQ(out[2].x, -7);
    EXPECT_EQ(chainPositions(scratch, nullptr, 8), 0u);
}

TEST(Chain, SeveralRootsEachAtTheOrigin) {
    const Model m = skeleton({-1, 0, -1, 2}, {{{5, 5, 5, 0, 0, 0},
                                               {1, 0, 0, 0, 0, 0},
                                               {-5, 0, 0, 0, 0, kQuarterTurn},
                                               {2, 0, 0, 0, 0, 0}}});
    LineVertex out[2];
    ChainScratch scratch;
    collectChain(m, 3, 0, scratch);
    ASSERT_EQ(chainPositions(scratch, out, 2), 1u);
    expectNear({0, 2, 0}, out[0]);
    scratch.clear();
    collectChain(m, 1, 0, scratch);
    ASSERT_EQ(chainPositions(scratch, out, 2), 1u);
    expectNear({1, 0, 0}, out[0]);
}

TEST(Chain, BrokenModelsYieldNothing) {
    const Frame keys(4, BoneKey{1, 0, 0, 0.5f, 0, 0});
    struct Case {
        const char* what;
        Model model;
        int32_t bone, frame;
    };
    const Case cases[] = {
        {"parent out of range", skeleton({-1, 0, 9, 2}, {keys}), 3, 0},
        {"negative parent other than -1", skeleton({-1, -2, 1, 2}, {keys}), 3, 0},
        {"cycle", skeleton({-1, 2, 3, 1}, {keys}), 3, 0},
        {"own parent", skeleton({-1, 0, 2, 2}, {keys}), 3, 0},
        {"frame lacks the bone's key", skeleton({-1, 0, 1, 2}, {Frame(3, keys[0])}), 3, 0},
        {"frame lacks the root's key", skeleton({3, 0, 1, -1}, {Frame(3, keys[0])}), 2, 0},
        {"no frames", skeleton({-1, 0, 1, 2}, {}), 3, 0},
        {"frame out of range", skeleton({-1, 0, 1, 2}, {keys}), 3, 1},
        {"negative frame", skeleton({-1, 0, 1, 2}, {keys}), 3, -1},
        {"bone out of range", skeleton({-1, 0, 1, 2}, {keys}), 4, 0},
        {"negative bone", skeleton({-1, 0, 1, 2}, {keys}), -1, 0},
    };
    const Matrix4 identity = matrixIdentity();
    for (const Case& c : cases) {
        EXPECT_TRUE(chainOf(c.model, c.bone, c.frame).empty()) << c.what;
        const Matrix4 w = boneWorldRotation(c.model, c.bone, c.frame);
        EXPECT_EQ(std::memcmp(&w, &identity, sizeof w), 0) << c.what;
    }
    // The sound part of a broken model still evaluates.
    EXPECT_EQ(chainOf(skeleton({-1, 0, 9, 2}, {keys}), 1).size(), 1u);
}

TEST(Chain, ChainsDeeperThanTheLimitAreBroken) {
    const Model m = line(kMaxChainLinks + 2);
    EXPECT_EQ(chainOf(m, kMaxChainLinks).size(), static_cast<size_t>(kMaxChainLinks));
    EXPECT_TRUE(chainOf(m, kMaxChainLinks + 1).empty());
}

TEST(Chain, JointPositionSet) {
    // Every bone of a model in index order, as the reach start-up does: every
    // non-root joint gets its position, the root keeps what it had, rotations
    // stay as read.
    const Model pose = skeleton({-1, 0, 1, 0}, {{{7, 7, 7, kQuarterTurn, 0, 0},
                                                 {0, 0, 2, 0, 0, 0},
                                                 {0, 3, 0, 0, 0, 0},
                                                 {4, 0, 0, 0, 0, 0}}});
    Model set = pose;
    ChainScratch scratch;
    scratch.recordBones = true;
    LineVertex strip[101];
    for (int32_t b = 0; b < 4; ++b) {
        scratch.clear();
        collectChain(pose, b, 0, scratch);
        chainPositionsToSet(scratch, strip, 101, set);
    }
    const Frame& s = set.frames[0];
    EXPECT_EQ(s[0].x, 7);
    EXPECT_EQ(s[0].rx, kQuarterTurn);
    EXPECT_NEAR(s[1].y, -2, 1e-5f);  // the root's quarter turn about X takes +Z to -Y
    EXPECT_NEAR(s[2].z, 3, 1e-5f);
    EXPECT_NEAR(s[2].y, -2, 1e-5f);
    EXPECT_NEAR(s[3].x, 4, 1e-5f);

    // Bone 0 is the root's place even when a file hangs it below another bone.
    const Model flipped = skeleton({1, -1}, {{{5, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0}}});
    Model flippedSet = flipped;
    scratch.clear();
    collectChain(flipped, 0, 0, scratch);
    chainPositionsToSet(scratch, strip, 101, flippedSet);
    EXPECT_EQ(flippedSet.frames[0][0].x, 0);
}

TEST(Chain, JointPositionSetStopsAtTheBoneCopyAndTheSet) {
    const Model m = line(121);  // 120 links
    Model set = m;
    for (BoneKey& k : set.frames[0]) k.x = -1;
    set.frames[0].resize(110);  // entries from 110 on do not exist
    ChainScratch scratch;
    scratch.recordBones = true;
    collectChain(m, 120, 0, scratch);
    std::vector<LineVertex> out(150);
    EXPECT_EQ(chainPositionsToSet(scratch, out.data(), out.size(), set), 120u);
    // Chain entry i is bone 120 - i: entries 0..99 are bones 120..21.
    EXPECT_EQ(set.frames[0][21].x, 21);
    EXPECT_EQ(set.frames[0][20].x, -1);
    Model noFrames;
    EXPECT_EQ(chainPositionsToSet(scratch, out.data(), 3, noFrames), 3u);
}

}  // namespace
