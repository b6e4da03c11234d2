// Our character's files as the programs read them: the skeleton the reach
// relies on, the bind pose's size, the body mesh, and the two gait cycles
// (one key per bone, rigid bones, a seamless loop, the treadmill contact of
// the walk and the flight of the run). Joint places come from the programs'
// own forward kinematics: the root at the origin, each offset turned by the
// parent's world rotation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "common/math.h"
#include "model/pose.h"
#include "model/smd.h"

namespace {

const std::string kDataDir = ARTIC_DATA_DIR;
constexpr int kReachTip = 59;

Model load(const char* file) {
    Model m;
    const std::string path = kDataDir + "/" + file;
    const SmdLoadResult r = loadSmd(m, path.c_str());
    EXPECT_EQ(r.status, SmdStatus::Loaded) << describeSmdLoad(path.c_str(), r);
    EXPECT_TRUE(r.problems.empty()) << describeSmdLoad(path.c_str(), r);
    return m;
}

const Model& character() {
    static const Model m = load("barney.smd");
    return m;
}
const Model& walk() {
    static const Model m = load("walk.smd");
    return m;
}
const Model& run() {
    static const Model m = load("run.smd");
    return m;
}

float distance(const Vec3& a, const Vec3& b) {
    return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) +
                     (a.z - b.z) * (a.z - b.z));
}

// Joint place of every bone in frame `f`, root at the origin, as drawn.
std::vector<Vec3> joints(const Model& m, int f) {
    FramePose pose;
    evaluateFrame(m, f, pose);
    return pose.positions;
}

std::vector<std::vector<Vec3>> allJoints(const Model& m) {
    std::vector<std::vector<Vec3>> out;
    for (size_t f = 0; f < m.frames.size(); ++f) out.push_back(joints(m, int(f)));
    return out;
}

int boneNamed(const Model& m, const std::string& name) {
    for (size_t b = 0; b < m.bones.size(); ++b)
        if (name == m.bones[b].name) return int(b);
    ADD_FAILURE() << "no bone " << name;
    return 0;
}

// The lowest point of each foot: the least height of its heel, ball and toe tip.
struct Feet {
    std::vector<int> left, right;
};
Feet feet(const Model& m) {
    return {{boneNamed(m, "heel_l"), boneNamed(m, "toe_l"), boneNamed(m, "toe_tip_l")},
            {boneNamed(m, "heel_r"), boneNamed(m, "toe_r"), boneNamed(m, "toe_tip_r")}};
}
float footHeight(const std::vector<Vec3>& j, const std::vector<int>& foot) {
    float h = j[size_t(foot[0])].z;
    for (int b : foot) h = std::min(h, j[size_t(b)].z);
    return h;
}
float lowestFoot(const std::vector<std::vector<Vec3>>& frames, const Feet& f) {
    float low = 1e9f;
    for (const auto& j : frames)
        low = std::min({low, footHeight(j, f.left), footHeight(j, f.right)});
    return low;
}

TEST(CharacterSkeleton, SameBonesInAllFilesWithOneRootAndTheReachChain) {
    const Model& c = character();
    ASSERT_GE(c.bones.size(), 60u);
    ASSERT_LE(c.bones.size(), 68u);
    for (const Model* clip : {&walk(), &run()}) {
        ASSERT_EQ(clip->bones.size(), c.bones.size());
        for (size_t b = 0; b < c.bones.size(); ++b) {
            EXPECT_STREQ(clip->bones[b].name, c.bones[b].name) << "bone " << b;
            EXPECT_EQ(clip->bones[b].parent, c.bones[b].parent) << "bone " << b;
        }
    }
    EXPECT_EQ(c.bones[0].parent, -1);
    std::set<std::string> names;
    for (size_t b = 1; b < c.bones.size(); ++b) {
        // Parents come first, so every chain climbs to bone 0 without a cycle.
        EXPECT_GE(c.bones[b].parent, 0) << "bone " << b << " is a second root";
        EXPECT_LT(c.bones[b].parent, int(b)) << "bone " << b;
        EXPECT_TRUE(names.insert(c.bones[b].name).second) << "name used twice: " << c.bones[b].name;
    }

    // The reach climbs from the hand tip through 20, 19 and 17, in that order.
    std::vector<int> chain;
    for (int b = kReachTip; b >= 0 && chain.size() <= c.bones.size(); b = c.bones[size_t(b)].parent)
        chain.push_back(b);
    ASSERT_EQ(chain.back(), 0);
    const auto at = [&](int bone) {
        return std::find(chain.begin(), chain.end(), bone) - chain.begin();
    };
    EXPECT_LT(at(20), at(19));
    EXPECT_LT(at(19), at(17));
    EXPECT_LT(at(17), std::ptrdiff_t(chain.size()));
    // The tip is a hand's end, not somewhere on the arm: at least two joints below 20.
    EXPECT_GE(at(20), 3);
}

TEST(CharacterBindPose, StandsAboutSeventyTwoUnitsTallFacingMinusYWithTheRightSideAtPlusX) {
    const Model& c = character();
    ASSERT_EQ(c.frames.size(), 1u);
    ASSERT_EQ(c.frames[0].size(), c.bones.size());
    const BoneKey& root = c.frames[0][0];
    EXPECT_EQ(root.x, 0.0f);
    EXPECT_EQ(root.y, 0.0f);
    EXPECT_EQ(root.z, 0.0f);

    const std::vector<Vec3> j = joints(c, 0);
    const Feet f = feet(c);
    const float sole = std::min(footHeight(j, f.left), footHeight(j, f.right));
    float top = -1e9f;
    for (const Vec3& p : j) top = std::max(top, p.z);
    EXPECT_GE(sole, -40.0f);
    EXPECT_LE(sole, -36.0f);
    EXPECT_NEAR(top - sole, 72.0f, 3.0f);
    // Both soles on one ground line.
    EXPECT_NEAR(footHeight(j, f.left), footHeight(j, f.right), 0.01f);

    // Toes point to -Y; the right arm and the reach tip are on the +X side.
    const auto y = [&](const char* name) { return j[size_t(boneNamed(c, name))].y; };
    EXPECT_LT(y("toe_tip_l"), y("heel_l") - 5.0f);
    EXPECT_LT(y("toe_tip_r"), y("heel_r") - 5.0f);
    EXPECT_GT(j[20].x, 4.0f);
    EXPECT_GT(j[kReachTip].x, 4.0f);
    EXPECT_GT(j[size_t(boneNamed(c, "thigh_r"))].x, 0.0f);
    EXPECT_LT(j[size_t(boneNamed(c, "thigh_l"))].x, 0.0f);
    // Arms relaxed: the hand tip hangs well below the shoulder, at about mid-thigh.
    EXPECT_LT(j[kReachTip].z, j[20].z - 25.0f);
    EXPECT_GT(j[kReachTip].z, sole + 20.0f);
}

TEST(CharacterMesh, ClosedBoxesWithUnitOutwardNormalsOnTheirOwnBones) {
    const Model& c = character();
    ASSERT_GE(c.triangles.size(), 300u);
    const std::vector<Vec3> j = joints(c, 0);
    std::set<std::string> materials;
    // Undirected edges by their quantised end points: a closed surface uses each
    // edge an even number of times.
    std::map<std::tuple<long, long, long, long, long, long>, int> edges;
    const auto q = [](float v) { return std::lround(v * 1000.0f); };
    for (size_t t = 0; t < c.triangles.size(); ++t) {
        const Triangle& tri = c.triangles[t];
        materials.insert(tri.material);
        const MeshVertex* v = tri.corners;
        for (int k = 0; k < 3; ++k) {
            ASSERT_GE(v[k].bone, 0);
            ASSERT_LT(size_t(v[k].bone), c.bones.size());
            const Vec3 n{v[k].nx, v[k].ny, v[k].nz};
            EXPECT_NEAR(lengthVec3(n), 1.0f, 1e-3f) << "triangle " << t;
            EXPECT_GE(v[k].u, 0.0f);
            EXPECT_LE(v[k].u, 1.0f);
            EXPECT_GE(v[k].v, 0.0f);
            EXPECT_LE(v[k].v, 1.0f);

            // On its bone: near the bone's joint or the segment to one of its children.
            const Vec3 p{v[k].px, v[k].py, v[k].pz};
            const Vec3 a = j[size_t(v[k].bone)];
            float nearest = distance(p, a);
            for (size_t ch = 0; ch < c.bones.size(); ++ch) {
                if (c.bones[ch].parent != v[k].bone) continue;
                const Vec3 b = j[ch];
                const Vec3 ab{b.x - a.x, b.y - a.y, b.z - a.z};
                const Vec3 ap{p.x - a.x, p.y - a.y, p.z - a.z};
                const float len2 = dotVec3(ab, ab);
                const float s = len2 > 0 ? std::clamp(dotVec3(ap, ab) / len2, 0.0f, 1.0f) : 0.0f;
                nearest = std::min(nearest,
                                   distance(p, {a.x + s * ab.x, a.y + s * ab.y, a.z + s * ab.z}));
            }
            EXPECT_LT(nearest, 8.0f)
                << "triangle " << t << " corner " << k << " bone " << v[k].bone;

            const MeshVertex& e0 = v[k];
            const MeshVertex& e1 = v[(k + 1) % 3];
            auto key = std::make_tuple(q(e0.px), q(e0.py), q(e0.pz), q(e1.px), q(e1.py), q(e1.pz));
            if (key > std::make_tuple(q(e1.px), q(e1.py), q(e1.pz), q(e0.px), q(e0.py), q(e0.pz)))
                key = std::make_tuple(q(e1.px), q(e1.py), q(e1.pz), q(e0.px), q(e0.py), q(e0.pz));
            ++edges[key];
        }
        // The corners wind counter-clockwise about the face's normal.
        const Vec3 e1{v[1].px - v[0].px, v[1].py - v[0].py, v[1].pz - v[0].pz};
        const Vec3 e2{v[2].px - v[0].px, v[2].py - v[0].py, v[2].pz - v[0].pz};
        EXPECT_GT(dotVec3(crossVec3(e1, e2), {v[0].nx, v[0].ny, v[0].nz}), 0.0f)
            << "triangle " << t;
    }
    EXPECT_GE(materials.size(), 1u);
    EXPECT_LE(materials.size(), 2u);
    for (const auto& [edge, count] : edges) EXPECT_EQ(count % 2, 0) << "an open edge";
}

struct CycleCase {
    const char* file;
    size_t minFrames, maxFrames;
};

class Cycle : public ::testing::TestWithParam<CycleCase> {
protected:
    const Model& clip() const {
        return std::string(GetParam().file) == "walk.smd" ? walk() : run();
    }
};

TEST_P(Cycle, OneKeyPerBoneAndRigidBonesInEveryFrame) {
    const Model& m = clip();
    EXPECT_GE(m.frames.size(), GetParam().minFrames);
    EXPECT_LE(m.frames.size(), GetParam().maxFrames);
    const Model& c = character();
    for (size_t f = 0; f < m.frames.size(); ++f) {
        ASSERT_EQ(m.frames[f].size(), m.bones.size()) << "frame " << f;
        for (size_t b = 1; b < m.bones.size(); ++b) {
            const BoneKey& k = m.frames[f][b];
            const BoneKey& bind = c.frames[0][b];
            EXPECT_NEAR(lengthVec3({k.x, k.y, k.z}), lengthVec3({bind.x, bind.y, bind.z}), 1e-5f)
                << "bone " << b << " frame " << f;
        }
    }
}

TEST_P(Cycle, LoopsWithoutAJumpAndWithoutRepeatingTheFirstFrame) {
    const auto frames = allJoints(clip());
    const size_t n = frames.size();
    ASSERT_GE(n, 3u);
    for (size_t b = 1; b < frames[0].size(); ++b) {
        float largest = 0.0f, smallest = 1e9f;
        for (size_t f = 0; f + 1 < n; ++f) {
            const float step = distance(frames[f][b], frames[f + 1][b]);
            largest = std::max(largest, step);
            smallest = std::min(smallest, step);
        }
        const float wrap = distance(frames[n - 1][b], frames[0][b]);
        EXPECT_LE(wrap, largest + 1e-4f) << "bone " << b;
    }
    // Frame 0 is not repeated at the end: the wrap moves the feet like any other step.
    const Feet f = feet(clip());
    for (int b : {f.left[0], f.right[0]}) {
        float smallestStep = 1e9f;
        for (size_t k = 0; k + 1 < n; ++k)
            smallestStep =
                std::min(smallestStep, distance(frames[k][size_t(b)], frames[k + 1][size_t(b)]));
        EXPECT_GT(distance(frames[n - 1][size_t(b)], frames[0][size_t(b)]), 0.5f * smallestStep);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Clips, Cycle, ::testing::Values(CycleCase{"walk.smd", 25, 35}, CycleCase{"run.smd", 16, 24}),
    [](const auto& info) { return std::string(info.param.file).substr(0, 3); });

TEST(WalkCycle, OneFootAlwaysOnTheGroundSlidingBackAtOneSpeed) {
    const Model& m = walk();
    const auto frames = allJoints(m);
    const Feet f = feet(m);
    const float low = lowestFoot(frames, f);
    for (size_t k = 0; k < frames.size(); ++k)
        EXPECT_LE(std::min(footHeight(frames[k], f.left), footHeight(frames[k], f.right)),
                  low + 1.0f)
            << "frame " << k;

    // A flat planted foot (heel and toe tip level, on the ground in two frames in
    // a row) moves straight backwards (+Y), the same distance every frame.
    std::vector<float> slides;
    for (const std::vector<int>* foot : {&f.left, &f.right}) {
        const size_t heel = size_t((*foot)[0]), tip = size_t((*foot)[2]);
        for (size_t k = 0; k < frames.size(); ++k) {
            const auto& a = frames[k];
            const auto& b = frames[(k + 1) % frames.size()];
            const auto flatDown = [&](const std::vector<Vec3>& j) {
                return std::fabs(j[heel].z - j[tip].z) < 0.05f && footHeight(j, *foot) < low + 1.0f;
            };
            if (!flatDown(a) || !flatDown(b)) continue;
            EXPECT_NEAR(b[heel].x, a[heel].x, 0.01f);
            EXPECT_NEAR(b[tip].y - a[tip].y, b[heel].y - a[heel].y, 0.01f);
            slides.push_back(b[heel].y - a[heel].y);
        }
    }
    ASSERT_GE(slides.size(), 6u) << "too few frames with a flat planted foot";
    const auto [mn, mx] = std::minmax_element(slides.begin(), slides.end());
    EXPECT_GT(*mn, 0.5f) << "the planted foot must slide backwards";
    EXPECT_LT(*mx - *mn, 0.02f * *mx) << "the treadmill runs at one speed";
}

// Feet heights with the pelvis lifted by the root's translation, as the file
// places it over a fixed ground line: {lower foot, higher foot} per frame.
std::vector<std::pair<float, float>> groundedFeet(const Model& m) {
    const auto frames = allJoints(m);
    const Feet f = feet(m);
    std::vector<std::pair<float, float>> out;
    for (size_t k = 0; k < frames.size(); ++k) {
        const float lift = m.frames[k][0].z;
        const float a = footHeight(frames[k], f.left) + lift;
        const float b = footHeight(frames[k], f.right) + lift;
        out.push_back({std::min(a, b), std::max(a, b)});
    }
    return out;
}

TEST(WalkCycle, OverAFixedGroundOneFootIsAlwaysDown) {
    const auto feetZ = groundedFeet(walk());
    float ground = 1e9f;
    for (const auto& [lower, higher] : feetZ) ground = std::min(ground, lower);
    int doubleSupport = 0;
    for (size_t k = 0; k < feetZ.size(); ++k) {
        EXPECT_NEAR(feetZ[k].first, ground, 0.05f) << "frame " << k;
        doubleSupport += feetZ[k].second < ground + 0.05f;
    }
    EXPECT_GE(doubleSupport, 2);  // a walk: both feet down for a while
}

TEST(RunCycle, BothFeetLeaveTheGroundBetweenSteps) {
    const Model& m = run();
    // As drawn, with the pelvis at the origin: some frames hold both feet more than
    // a unit above the lowest foot of the cycle.
    const auto frames = allJoints(m);
    const Feet f = feet(m);
    const float low = lowestFoot(frames, f);
    int clear = 0;
    for (const auto& j : frames)
        clear += std::min(footHeight(j, f.left), footHeight(j, f.right)) > low + 1.0f;
    EXPECT_GE(clear, 1);

    // Over the fixed ground: every frame has a foot down or both feet off it, and
    // the flight takes a fair part of the cycle, but not most of it.
    const auto feetZ = groundedFeet(m);
    float ground = 1e9f;
    for (const auto& [lower, higher] : feetZ) ground = std::min(ground, lower);
    int flight = 0, doubleSupport = 0;
    for (size_t k = 0; k < feetZ.size(); ++k) {
        const bool down = feetZ[k].first < ground + 0.05f;
        EXPECT_TRUE(down || feetZ[k].first > ground + 0.5f) << "frame " << k;
        flight += !down;
        doubleSupport += feetZ[k].second < ground + 0.05f;
    }
    EXPECT_GE(flight, 2);
    EXPECT_LE(flight, int(feetZ.size()) * 2 / 5);
    EXPECT_EQ(doubleSupport, 0);
}

TEST(GaitCycles, ArmsSwingAgainstTheLegsAndTheChestTurnsAgainstThePelvis) {
    for (const Model* m : {&walk(), &run()}) {
        const auto frames = allJoints(*m);
        const int handR = boneNamed(*m, "hand_r"), footL = boneNamed(*m, "foot_l");
        const int footR = boneNamed(*m, "foot_r");
        const int shoulderL = boneNamed(*m, "upper_arm_l"), hipL = boneNamed(*m, "thigh_l");
        // Over the cycle the right hand is ahead (-Y) when the left foot is, and the
        // right foot is behind; forward and backward turn together.
        float handFootL = 0.0f, handFootR = 0.0f, chestPelvis = 0.0f;
        float meanHand = 0.0f, meanFootL = 0.0f, meanFootR = 0.0f, meanShoulder = 0.0f,
              meanHip = 0.0f;
        const float n = float(frames.size());
        for (const auto& j : frames) {
            meanHand += j[size_t(handR)].y / n, meanFootL += j[size_t(footL)].y / n;
            meanFootR += j[size_t(footR)].y / n, meanShoulder += j[size_t(shoulderL)].y / n;
            meanHip += j[size_t(hipL)].y / n;
        }
        for (const auto& j : frames) {
            handFootL += (j[size_t(handR)].y - meanHand) * (j[size_t(footL)].y - meanFootL);
            handFootR += (j[size_t(handR)].y - meanHand) * (j[size_t(footR)].y - meanFootR);
            chestPelvis += (j[size_t(shoulderL)].y - meanShoulder) * (j[size_t(hipL)].y - meanHip);
        }
        EXPECT_GT(handFootL, 0.0f);
        EXPECT_LT(handFootR, 0.0f);
        EXPECT_LT(chestPelvis, 0.0f);
    }
}

TEST(GaitCycles, KneesBendInSwingAndTheRunLeansFurther) {
    const auto kneeBend = [](const std::vector<Vec3>& j, int hip, int knee, int ankle) {
        const Vec3 a{j[size_t(hip)].x - j[size_t(knee)].x, j[size_t(hip)].y - j[size_t(knee)].y,
                     j[size_t(hip)].z - j[size_t(knee)].z};
        const Vec3 b{j[size_t(ankle)].x - j[size_t(knee)].x, j[size_t(ankle)].y - j[size_t(knee)].y,
                     j[size_t(ankle)].z - j[size_t(knee)].z};
        return 180.0f - std::acos(dotVec3(a, b) / (lengthVec3(a) * lengthVec3(b))) * 57.29578f;
    };
    const auto lean = [](const Model& m) {
        const auto frames = allJoints(m);
        const size_t neck = size_t(boneNamed(m, "neck"));
        float sum = 0.0f;  // forward is -Y
        for (const auto& j : frames)
            sum += std::atan2(-j[neck].y, j[neck].z) / float(frames.size());
        return sum;
    };
    for (const Model* m : {&walk(), &run()}) {
        const auto frames = allJoints(*m);
        float most = 0.0f, least = 180.0f;
        for (const auto& j : frames) {
            const float k = kneeBend(j, boneNamed(*m, "thigh_r"), boneNamed(*m, "calf_r"),
                                     boneNamed(*m, "foot_r"));
            most = std::max(most, k), least = std::min(least, k);
        }
        EXPECT_GT(most, 50.0f);
        EXPECT_LT(least, 25.0f);
    }
    EXPECT_GT(lean(run()), lean(walk()) + 0.05f);
}

}  // namespace
