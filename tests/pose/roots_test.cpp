// Files with several roots, as the viewer draws them: every root at its own
// translation relative to the first root, every chain hanging from its root.
// Checked against forward kinematics written out here in double precision.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

#include "model/bone_strip.h"
#include "model/pose.h"
#include "skeletons.h"

namespace {

using M3 = std::array<std::array<double, 3>, 3>;
struct P3 {
    double x, y, z;
};

M3 multiply(const M3& a, const M3& b) {
    M3 r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k) r[i][j] += a[i][k] * b[k][j];
    return r;
}

// Row-vector rotations: p' = p * R.
M3 rotX(double a) {
    return {{{1, 0, 0}, {0, std::cos(a), std::sin(a)}, {0, -std::sin(a), std::cos(a)}}};
}
M3 rotY(double a) {
    return {{{std::cos(a), 0, -std::sin(a)}, {0, 1, 0}, {std::sin(a), 0, std::cos(a)}}};
}
M3 rotZ(double a) {
    return {{{std::cos(a), std::sin(a), 0}, {-std::sin(a), std::cos(a), 0}, {0, 0, 1}}};
}

P3 apply(const P3& p, const M3& m) {
    return {p.x * m[0][0] + p.y * m[1][0] + p.z * m[2][0],
            p.x * m[0][1] + p.y * m[1][1] + p.z * m[2][1],
            p.x * m[0][2] + p.y * m[1][2] + p.z * m[2][2]};
}

// Joint positions of frame `f`, the first root at the origin, the others at
// their translation less the first root's.
std::vector<P3> forwardKinematics(const Model& m, size_t f) {
    const Frame& keys = m.frames[f];
    std::vector<M3> world(m.bones.size());
    std::vector<P3> pos(m.bones.size());
    const BoneKey* first = nullptr;
    for (size_t b = 0; b < m.bones.size(); ++b) {  // parents come first in these files
        const BoneKey& k = keys[b];
        const M3 local = multiply(multiply(rotX(k.rx), rotY(k.ry)), rotZ(k.rz));
        const int32_t parent = m.bones[b].parent;
        if (parent < 0) {
            if (first == nullptr) first = &k;
            world[b] = local;
            pos[b] = {double(k.x) - first->x, double(k.y) - first->y, double(k.z) - first->z};
            continue;
        }
        world[b] = multiply(local, world[static_cast<size_t>(parent)]);
        const P3 o = apply({k.x, k.y, k.z}, world[static_cast<size_t>(parent)]);
        const P3& q = pos[static_cast<size_t>(parent)];
        pos[b] = {q.x + o.x, q.y + o.y, q.z + o.z};
    }
    return pos;
}

void expectNear(const Vec3& got, const P3& want, const char* what, size_t bone) {
    EXPECT_NEAR(got.x, want.x, 1e-3) << what << " bone " << bone;
    EXPECT_NEAR(got.y, want.y, 1e-3) << what << " bone " << bone;
    EXPECT_NEAR(got.z, want.z, 1e-3) << what << " bone " << bone;
}

// A body whose first root stands off the origin and turns, a detached hand
// control chain, and a leg exported as its own root; two frames that move all
// three roots.
Model multiRootRig() {
    const Frame f0 = {
        {2, 3, 40, 0.1f, 0, 0.6f},     // 0 pelvis (first root)
        {0, 0, 10, 0, 0.2f, 0},        // 1 spine
        {0, 0, 12, 0.3f, 0, 0},        // 2 head
        {20, -5, 55, 0, 0.4f, -0.3f},  // 3 hand control (root)
        {0, 6, 0, 0, 0, 0.5f},         // 4 hand control tip
        {7, 3, 38, 0.2f, 0.1f, 0},     // 5 thigh (root)
        {0, 0, -18, 0.4f, 0, 0},       // 6 shin
        {0, 0, -17, 0, 0, 0},          // 7 foot
    };
    Frame f1 = f0;
    f1[0] = {4, 1, 41, 0, 0.3f, 1.1f};
    f1[3] = {-10, 8, 50, 0.7f, 0, 0};
    f1[5] = {9, 2, 36, 0, -0.5f, 0.2f};
    return skeleton({-1, 0, 1, -1, 3, -1, 5, 6}, {f0, f1});
}

TEST(Roots, EveryRootStandsWhereTheFilePutsItRelativeToTheFirst) {
    const Model m = multiRootRig();
    for (size_t f = 0; f < m.frames.size(); ++f) {
        FramePose pose;
        evaluateFrame(m, static_cast<int32_t>(f), pose, true);
        const std::vector<P3> want = forwardKinematics(m, f);
        for (size_t b = 0; b < m.bones.size(); ++b)
            expectNear(pose.positions[b], want[b], "frame", b);
        EXPECT_EQ(pose.positions[0].x, 0.0f);  // the first root plays in place
        // Without the viewer's rule every root is at the origin again.
        evaluateFrame(m, static_cast<int32_t>(f), pose, false);
        EXPECT_EQ(pose.positions[3].x, 0.0f);
        EXPECT_EQ(pose.positions[5].z, 0.0f);
    }
}

TEST(Roots, StripsHangFromTheirOwnRootAndBlendWithIt) {
    const Model m = multiRootRig();
    ClipClock clock;
    clock.currentFrame = 0;
    clock.nextFrame = 1;
    clock.elapsedMs = 75.0;
    clock.framePeriodMs = 300.0;  // a quarter of the way to frame 1
    ClipPose pose;
    poseClip(m, clock, 69, pose, true);
    const std::vector<P3> a = forwardKinematics(m, 0), b = forwardKinematics(m, 1);
    std::vector<P3> want(a.size());
    for (size_t i = 0; i < a.size(); ++i)
        want[i] = {a[i].x * 0.75 + b[i].x * 0.25, a[i].y * 0.75 + b[i].y * 0.25,
                   a[i].z * 0.75 + b[i].z * 0.25};
    for (size_t i = 0; i < a.size(); ++i) expectNear(pose.joints[i], want[i], "blend", i);

    const StripStyle style{
        .vertices = 69, .written = 69, .segments = 8, .lineColor = 0xFFFFFFFFu, .rootTails = true};
    PlacedJoints placed;
    placeJoints(pose.joints, style, placed);
    LineVertex strip[69];
    // The foot: foot, shin, then the tail at the thigh's root joint (not the origin).
    ASSERT_EQ(fillBoneStrip(m.bones, pose.chains.data(), placed, style, 7, strip), 2u);
    expectNear({strip[0].x, strip[0].y, strip[0].z}, want[7], "strip", 7);
    expectNear({strip[1].x, strip[1].y, strip[1].z}, want[6], "strip", 6);
    for (int i = 2; i < 69; ++i)
        expectNear({strip[i].x, strip[i].y, strip[i].z}, want[5], "tail", 5);
    EXPECT_EQ(strip[2].color, 0u);
    // The hand control's tip hangs from the hand control.
    ASSERT_EQ(fillBoneStrip(m.bones, pose.chains.data(), placed, style, 4, strip), 1u);
    expectNear({strip[1].x, strip[1].y, strip[1].z}, want[3], "tail", 3);
    // A root's own strip is a point at its place.
    ASSERT_EQ(fillBoneStrip(m.bones, pose.chains.data(), placed, style, 3, strip), 0u);
    expectNear({strip[0].x, strip[0].y, strip[0].z}, want[3], "root", 3);
}

// The viewer's clock keeps its rate whatever the frame times, and never
// moves while paused.
TEST(Roots, ViewerClockKeepsTheRateAndPauses) {
    const Model m = line(2);
    Model clip = m;
    clip.frames.resize(7, m.frames[0]);
    ClipClock clock;
    clock.framePeriodMs = 1000.0 / 30;
    static uint32_t now;
    now = 5000;
    const TickSource tick = [] { return now; };
    playClip(clock, clip, tick, false);
    for (int i = 0; i < 60; ++i) {  // 60 frames of 17 ms: 1020 ms, 30.6 clip frames
        now += 17;
        playClip(clock, clip, tick, false);
    }
    EXPECT_EQ(clock.currentFrame, 30 % 7);
    EXPECT_EQ(clock.nextFrame, 31 % 7);
    EXPECT_NEAR(clock.elapsedMs, 1020.0 - 30 * 1000.0 / 30, 1e-9);
    const ClipClock before = clock;
    now += 5000;
    playClip(clock, clip, tick, true);
    EXPECT_EQ(clock.currentFrame, before.currentFrame);
    EXPECT_EQ(clock.elapsedMs, before.elapsedMs);
    showClipFrame(clock, clip, -1);  // stepping back from 0 wraps to the last frame
    EXPECT_EQ(clock.currentFrame, 6);
    EXPECT_EQ(clock.nextFrame, 0);
    EXPECT_EQ(clock.elapsedMs, 0.0);
}

}  // namespace
