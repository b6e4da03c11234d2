// Forward kinematics of whole frames on hand-made skeletons.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "model/pose.h"
#include "skeletons.h"

namespace {

FramePose evaluate(const Model& m, int32_t frame = 0) {
    FramePose pose;
    evaluateFrame(m, frame, pose);
    return pose;
}

void expectNear(const Vec3& expected, const Vec3& v) {
    EXPECT_NEAR(v.x, expected.x, 1e-5f);
    EXPECT_NEAR(v.y, expected.y, 1e-5f);
    EXPECT_NEAR(v.z, expected.z, 1e-5f);
}

TEST(FramePose, ChildOfRootTurnsWithTheRootAndIgnoresItsTranslation) {
    const FramePose pose =
        evaluate(skeleton({-1, 0}, {{{100, 200, 300, 0, 0, kQuarterTurn}, {1, 0, 0, 0, 0, 0}}}));
    EXPECT_EQ(pose.links, (std::vector<int32_t>{0, 1}));
    expectNear({0, 0, 0}, pose.positions[0]);
    expectNear({0, 1, 0}, pose.positions[1]);
}

TEST(FramePose, RotationsApplyXThenYThenZThenTheParent) {
    // Root turned a quarter about Z, its child a quarter about X; the
    // grandchild's offset (0, 1, 0) goes to +Z under X, which Z leaves alone.
    // The other order would give (-1, 0, 0).
    const FramePose pose = evaluate(skeleton(
        {-1, 0, 1},
        {{{0, 0, 0, 0, 0, kQuarterTurn}, {0, 0, 0, kQuarterTurn, 0, 0}, {0, 1, 0, 0, 0, 0}}}));
    expectNear({0, 0, 1}, pose.positions[2]);
    const Matrix4 expected = matrixMultiply(
        matrixMultiply(matrixMultiply(matrixRotationX(kQuarterTurn), matrixRotationY(0)),
                       matrixRotationZ(0)),
        matrixMultiply(matrixMultiply(matrixMultiply(matrixRotationX(0), matrixRotationY(0)),
                                      matrixRotationZ(kQuarterTurn)),
                       matrixIdentity()));
    EXPECT_EQ(std::memcmp(&pose.world[1], &expected, sizeof expected), 0);
}

TEST(FramePose, PositionsSumTheChainFromTheJointUpwards) {
    // Float sums depend on their order: bone 3 is ((1 + 1e8) - 1e8) = 0, where
    // its parent's position plus its own offset would give 1. Bones are listed
    // children first, so parents are evaluated out of index order.
    const FramePose pose = evaluate(skeleton(
        {1, 2, 3, -1},
        {{{1, 0, 0, 0, 0, 0}, {1e8f, 0, 0, 0, 0, 0}, {-1e8f, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0}}}));
    EXPECT_EQ(pose.links, (std::vector<int32_t>{3, 2, 1, 0}));
    EXPECT_EQ(pose.positions[0].x, 0.0f);
    EXPECT_EQ(pose.positions[1].x, 0.0f);
    EXPECT_EQ(pose.positions[2].x, -1e8f);
}

TEST(FramePose, SeveralRootsEachAtTheOrigin) {
    const FramePose pose = evaluate(skeleton({-1, 0, -1, 2}, {{{5, 5, 5, 0, 0, 0},
                                                               {1, 0, 0, 0, 0, 0},
                                                               {-5, 0, 0, 0, 0, kQuarterTurn},
                                                               {2, 0, 0, 0, 0, 0}}}));
    expectNear({1, 0, 0}, pose.positions[1]);
    expectNear({0, 0, 0}, pose.positions[2]);
    expectNear({0, 2, 0}, pose.positions[3]);
}

TEST(FramePose, BrokenChainsBreakOnlyTheirBones) {
    const Frame keys(4, BoneKey{1, 0, 0, 0.5f, 0, 0});
    struct Case {
        const char* what;
        Model model;
        int32_t frame;
        std::vector<int32_t> links;
    };
    const Case cases[] = {
        {"parent out of range", skeleton({-1, 0, 9, 2}, {keys}), 0, {0, 1, -1, -1}},
        {"negative parent other than -1", skeleton({-1, -2, 1, 2}, {keys}), 0, {0, -1, -1, -1}},
        {"cycle", skeleton({-1, 2, 3, 1}, {keys}), 0, {0, -1, -1, -1}},
        {"own parent", skeleton({-1, 0, 2, 2}, {keys}), 0, {0, 1, -1, -1}},
        {"frame lacks the bone's key",
         skeleton({-1, 0, 1, 2}, {Frame(3, keys[0])}),
         0,
         {0, 1, 2, -1}},
        {"frame lacks the root's key",
         skeleton({3, 0, 1, -1}, {Frame(3, keys[0])}),
         0,
         {-1, -1, -1, -1}},
        {"no frames", skeleton({-1, 0, 1, 2}, {}), 0, {-1, -1, -1, -1}},
        {"frame out of range", skeleton({-1, 0, 1, 2}, {keys}), 1, {-1, -1, -1, -1}},
        {"negative frame", skeleton({-1, 0, 1, 2}, {keys}), -1, {-1, -1, -1, -1}},
    };
    for (const Case& c : cases) {
        const FramePose pose = evaluate(c.model, c.frame);
        EXPECT_EQ(pose.links, c.links) << c.what;
        for (size_t b = 0; b < pose.positions.size(); ++b)
            if (pose.links[b] < 0) expectNear({0, 0, 0}, pose.positions[b]);
    }
}

TEST(FramePose, ChainsDeeperThanTheLimitAreBroken) {
    const FramePose pose = evaluate(line(kMaxChainLinks + 2));
    EXPECT_EQ(pose.links[kMaxChainLinks], kMaxChainLinks);
    EXPECT_EQ(pose.positions[kMaxChainLinks].x, static_cast<float>(kMaxChainLinks));
    EXPECT_EQ(pose.links[kMaxChainLinks + 1], -1);
}

}  // namespace
