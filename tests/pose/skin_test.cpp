// Skinning of a reference mesh by an animation, checked against positions
// worked out here by hand: rotations about Z written out as cos/sin, joints
// summed along the chain, weights normalised in the test.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "model/skin.h"
#include "model/smd.h"

namespace {

// Two bones: "hip" (root, written at z = 10) and "arm" 5 units along +X from
// it; four corners of two triangles with known links:
//   A (7,0,10)  one link: arm 1
//   B (2,0,10)  hip 1, arm 3 (not normalised in the file)
//   C (5,1,10)  no links: follows its line's bone, arm
//   D (1,0,12)  a link to a bone that does not exist (skipped) and hip 2
//   E, F        corners of the second triangle on hip without links
constexpr const char* kReference = R"(version 1
nodes
0 "hip" -1
1 "arm" 0
end
skeleton
time 0
0 0 0 10 0 0 0
1 5 0 0 0 0 0
end
triangles
skin
1 7 0 10 0 0 1 0 0 1 1 1
0 2 0 10 0 0 1 0 0 2 0 1 1 3
1 5 1 10 0 0 1 0 0
cloth
0 1 0 12 0 0 1 0 0 2 7 1 0 2
0 0 0 10 0 0 1 0 0
0 0 1 10 0 0 1 0 0
end
)";

// The same bones in another order, an extra "tail" the reference lacks, and
// two frames; the root's translation differs from the bind pose's.
constexpr const char* kAnimation = R"(version 1
nodes
0 "arm" 1
1 "hip" -1
2 "tail" 1
end
skeleton
time 0
0 5 0 0 0 0 0.5
1 3 0 10 0 0 0.3
2 0 0 -1 0 0 0
time 1
0 5 0 0 0 0 -0.25
1 3 0 10 0 0 1.1
2 0 0 -1 0 0 0
end
)";

Vec3 rotZ(Vec3 p, double a) {
    const double c = std::cos(a), s = std::sin(a);
    return {static_cast<float>(p.x * c - p.y * s), static_cast<float>(p.x * s + p.y * c), p.z};
}
Vec3 add(Vec3 a, Vec3 b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
Vec3 scale(Vec3 a, float w) {
    return {a.x * w, a.y * w, a.z * w};
}

#define EXPECT_NEAR_VEC(expected, actual)          \
    do {                                           \
        const Vec3 e_ = (expected), a_ = (actual); \
        EXPECT_NEAR(e_.x, a_.x, 1e-4f);            \
        EXPECT_NEAR(e_.y, a_.y, 1e-4f);            \
        EXPECT_NEAR(e_.z, a_.z, 1e-4f);            \
    } while (0)

struct Loaded {
    Model reference, animation, clip;
    BoneMatch match;
    Loaded() {
        EXPECT_NE(loadSmdFromMemory(reference, kReference).status, SmdStatus::Malformed);
        EXPECT_NE(loadSmdFromMemory(animation, kAnimation).status, SmdStatus::Malformed);
        match = matchBones(reference, animation);
        retargetClip(reference, animation, match, clip);
    }
};

// The corners of frame f skinned as the program draws them, root at the origin.
std::vector<Vec3> skinnedFrame(const Loaded& m, int32_t f) {
    std::vector<BoneTransform> bind;
    bindTransforms(m.reference, bind);
    FramePose pose;
    evaluateFrame(m.clip, f, pose);
    std::vector<Matrix4> skin;
    skinMatrices(bind, pose, pose.positions, skin);
    std::vector<Vec3> corners;
    skinMesh(m.reference, skin, corners);
    return corners;
}

TEST(Skin, CornersFollowTheirWeightedBones) {
    const Loaded m;
    ASSERT_EQ(m.reference.links.size(), 5u);  // A 1, B 2, D 2
    EXPECT_EQ(m.match.matched, 2u);
    for (int32_t f = 0; f < 2; ++f) {
        SCOPED_TRACE(f);
        const double hip = f == 0 ? 0.3 : 1.1, arm = f == 0 ? 0.5 : -0.25;
        // The root joint stays at the origin; the arm's joint turns with the hip.
        const Vec3 armJoint = rotZ({5, 0, 0}, hip);
        // A point of a bone, given relative to its bind joint, where it is now.
        const auto onHip = [&](Vec3 local) { return rotZ(local, hip); };
        const auto onArm = [&](Vec3 local) { return add(armJoint, rotZ(local, hip + arm)); };
        const std::vector<Vec3> c = skinnedFrame(m, f);
        ASSERT_EQ(c.size(), 6u);
        EXPECT_NEAR_VEC(onArm({2, 0, 0}), c[0]);  // A
        EXPECT_NEAR_VEC(add(scale(onHip({2, 0, 0}), 0.25f), scale(onArm({-3, 0, 0}), 0.75f)),
                        c[1]);                    // B
        EXPECT_NEAR_VEC(onArm({0, 1, 0}), c[2]);  // C
        EXPECT_NEAR_VEC(onHip({1, 0, 2}), c[3]);  // D
        EXPECT_NEAR_VEC(onHip({0, 1, 0}), c[5]);  // F
    }
}

// Blending the two frames' matrices moves each corner on the straight line
// between its two positions, as the figure's joints move.
TEST(Skin, BlendedMatricesBlendCorners) {
    const Loaded m;
    std::vector<BoneTransform> bind;
    bindTransforms(m.reference, bind);
    FramePose a, b;
    evaluateFrame(m.clip, 0, a);
    evaluateFrame(m.clip, 1, b);
    std::vector<Matrix4> sa, sb, blended;
    skinMatrices(bind, a, a.positions, sa);
    skinMatrices(bind, b, b.positions, sb);
    blendSkinMatrices(sa, sb, 0.25, blended);
    std::vector<Vec3> ca, cb, cm;
    skinMesh(m.reference, sa, ca);
    skinMesh(m.reference, sb, cb);
    skinMesh(m.reference, blended, cm);
    for (size_t i = 0; i < cm.size(); ++i)
        EXPECT_NEAR_VEC(add(scale(ca[i], 0.75f), scale(cb[i], 0.25f)), cm[i]);
}

TEST(Skin, MatchingByNameWithMissingAndExtraBones) {
    Model reference;
    ASSERT_NE(loadSmdFromMemory(reference, R"(version 1
nodes
0 "hip" -1
1 "arm" 0
2 "hand" 1
end
skeleton
time 0
0 0 0 10 0 0 0
1 5 0 0 0 0 0
2 2 0 0 0 0 0.7
end
)")
                  .status,
              SmdStatus::Malformed);
    Model animation;
    ASSERT_NE(loadSmdFromMemory(animation, kAnimation).status, SmdStatus::Malformed);
    const BoneMatch match = matchBones(reference, animation);
    EXPECT_EQ(match.animationBone, (std::vector<int32_t>{1, 0, -1}));
    EXPECT_EQ(match.missing, std::vector<int32_t>{2});
    EXPECT_EQ(match.extra, std::vector<int32_t>{2});
    EXPECT_EQ(boneNameList(reference, match.missing), "\"hand\"");
    EXPECT_EQ(boneNameList(animation, match.extra), "\"tail\"");

    Model clip;
    retargetClip(reference, animation, match, clip);
    ASSERT_EQ(clip.frames.size(), 2u);
    ASSERT_EQ(clip.bones.size(), 3u);
    for (const Frame& frame : clip.frames) {
        ASSERT_EQ(frame.size(), 3u);
        EXPECT_FLOAT_EQ(frame[2].rz, 0.7f);  // the missing hand keeps its bind key
        EXPECT_FLOAT_EQ(frame[2].x, 2.0f);
    }
    EXPECT_FLOAT_EQ(clip.frames[1][0].rz, 1.1f);  // hip from the animation's bone 1
    EXPECT_FLOAT_EQ(clip.frames[1][1].rz, -0.25f);

    // No name in common: nothing matched, every bone missing or extra.
    Model strangers = animation;
    for (Bone& b : strangers.bones) b.name[0] = 'x';
    const BoneMatch none = matchBones(reference, strangers);
    EXPECT_EQ(none.matched, 0u);
    EXPECT_EQ(none.missing.size(), 3u);
    EXPECT_EQ(none.extra.size(), 3u);

    std::vector<int32_t> many{0, 1, 2, 0, 1, 2, 0};
    EXPECT_EQ(boneNameList(reference, many),
              "\"hip\", \"arm\", \"hand\", \"hip\", \"arm\" and 2 more");
}

// Shading: a material keeps its colour, a face turned to the light is
// brighter than one seen edge-on, and a corner that is not finite hides its
// triangle instead of drawing towards infinity.
TEST(Skin, FlatShading) {
    const Loaded m;
    std::vector<Vec3> corners = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0},   // faces +Z
                                 {0, 0, 0}, {1, 0, 0}, {0, 0, 1}};  // faces -Y
    std::vector<LineVertex> v;
    shadeMesh(m.reference, corners, {0, 0, 1}, v);
    ASSERT_EQ(v.size(), 6u);
    const uint32_t skin = materialColor("skin");
    EXPECT_EQ(v[0].color, skin);  // lit fully: the material's own colour
    EXPECT_EQ(v[0].color, v[2].color);
    EXPECT_EQ(v[3].x, 0.0f);
    EXPECT_LT(v[3].color & 0xFF, materialColor("cloth") & 0xFF);  // edge-on: ambient only
    EXPECT_EQ(v[3].color >> 24, 0xFFu);

    corners[4].x = NAN;
    shadeMesh(m.reference, corners, {0, 0, 1}, v);
    EXPECT_EQ(v[3].x, v[4].x);
    EXPECT_EQ(v[4].x, v[5].x);
    EXPECT_TRUE(std::isfinite(v[4].x));
}

}  // namespace
